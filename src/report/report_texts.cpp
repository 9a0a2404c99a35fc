#include "report/report_texts.h"

#include <map>
#include <memory>

#include "lang/language.h"

namespace korvex {

ReportTexts languageReportTexts() {
  auto texts = std::make_shared<std::map<std::string, std::string>>();
  char buffer[TEXT_BUFFER_SIZE];
  const auto read = [&](const char* key) {
    if (getLanguageText(REPORT_TEXT_SECTION, key, buffer, sizeof buffer) > 0) (*texts)[key] = buffer;
  };
  for (const char* key : REPORT_KEYS) read(key);
  for (const char* key : REPORT_FIELD_KEYS) read(key);
  return [texts](const char* key) {
    const auto found = texts->find(key);
    return found == texts->end() ? std::string(key) : found->second;
  };
}

std::string languageReportCode() { return currentLanguage == 1 ? "zh" : "en"; }

}  // namespace korvex
