// Prints, from wherever it is copied to, the folder in which it finds the
// language files and the text of a key there, so that the lookup can be
// checked with the real program folder in a build tree and an installed one.
//
//   korvex-language-probe KEY [LANGUAGE-INDEX]
//
// Line 1: the language folder; line 2: the text (empty when missing).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "lang/language.h"
#include "lang/language_folder.h"
#include "lang/program_folder.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fputs("usage: korvex-language-probe KEY [LANGUAGE-INDEX]\n", stderr);
    return 2;
  }
  if (argc == 3) korvex::currentLanguage = static_cast<std::int32_t>(std::atoi(argv[2]));
  char folder[korvex::PATH_BUFFER_SIZE];
  if (!korvex::getLanguageFolder(folder, sizeof folder)) return 1;
  std::printf("%s\n%s\n", folder, korvex::languageText(argv[1]).c_str());
  return 0;
}
