#include "lang/language.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lang/ini_reader.h"
#include "lang/language_keys.h"
#include "lang/language_folder.h"
#include "lang/program_folder.h"

namespace korvex {

std::int32_t currentLanguage = 0;

namespace {

// The path of mainset.ini in the language folder, or false when it does not
// fit the buffer.
bool mainSettingsPath(const char (&folder)[PATH_BUFFER_SIZE], char (&path)[PATH_BUFFER_SIZE]) {
  std::memset(path, 0, sizeof path);
  const int written = std::snprintf(path, sizeof path, "%s/mainset.ini", folder);
  return written > 0 && static_cast<std::size_t>(written) < sizeof path;
}

}  // namespace

std::size_t getLanguageText(const char* section, const char* key, char* buffer, std::size_t capacity) {
  return getTextOfLanguage(currentLanguage, section, key, buffer, capacity);
}

std::size_t getTextOfLanguage(std::int32_t language, const char* section, const char* key, char* buffer,
                              std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  buffer[0] = '\0';
  if (section == nullptr || key == nullptr) return 0;

  char folder[PATH_BUFFER_SIZE];
  if (!getLanguageFolder(folder, sizeof folder)) return 0;
  char settings[PATH_BUFFER_SIZE];
  if (!mainSettingsPath(folder, settings)) return 0;

  char languageKey[32];
  const int keyLength = std::snprintf(languageKey, sizeof languageKey, "lang%d", static_cast<int>(language));
  if (keyLength <= 0 || static_cast<std::size_t>(keyLength) >= sizeof languageKey) return 0;

  char languageName[PATH_BUFFER_SIZE];
  readIniValue(settings, "LANG", languageKey, "", languageName, sizeof languageName);
  char languageFolder[PATH_BUFFER_SIZE];
  readIniValue(settings, languageName, "dir", "", languageFolder, sizeof languageFolder);

  char languageFile[PATH_BUFFER_SIZE];
  const int pathLength = std::snprintf(languageFile, sizeof languageFile, "%s/LANG/%s/lang.ini", folder, languageFolder);
  if (pathLength <= 0 || static_cast<std::size_t>(pathLength) >= sizeof languageFile) return 0;

  return readIniValue(languageFile, section, key, "", buffer, capacity);
}

std::string languageText(const char* key) { return languageTextOf(currentLanguage, key); }

std::string languageTextOf(std::int32_t language, const char* key) {
  char text[TEXT_BUFFER_SIZE] = {};
  const std::size_t length = getTextOfLanguage(language, LANGUAGE_SECTION, key, text, sizeof text);
  return std::string(text, length);
}

std::int32_t readStartupLanguage() {
  char folder[PATH_BUFFER_SIZE];
  char settings[PATH_BUFFER_SIZE];
  char value[PATH_BUFFER_SIZE] = {};
  if (getLanguageFolder(folder, sizeof folder) && mainSettingsPath(folder, settings))
    readIniValue(settings, "LANG", "language set", "0", value, sizeof value);
  else std::strcpy(value, "0");
  // strtol follows atoi's rules and, unlike atoi, defines what an
  // out-of-range number gives.
  const long number = std::strtol(value, nullptr, 10);
  if (number > INT32_MAX) return INT32_MAX;
  if (number < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(number);
}

}  // namespace korvex
