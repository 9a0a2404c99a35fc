// The folder that holds the language files. A build tree keeps them beside
// the executables; an installed program keeps them under share/korvex, so
// that nothing lies beside the executables in /usr/bin.
#pragma once

#include <cstddef>
#include <string>

namespace korvex {

// Where an installed program's language files lie, relative to its folder
// ("../share/korvex" for the usual bin and share folders).
extern const char* const INSTALLED_LANGUAGE_FOLDER;

// Clears the buffer and writes the folder of the language files into it:
// the program folder when mainset.ini lies there, else
// "<program folder>/<INSTALLED_LANGUAGE_FOLDER>" (also when neither holds
// mainset.ini, so that a missing file reads as missing). Looked up afresh at
// every call. Returns false, with the buffer empty, when the path does not
// fit the capacity.
bool getLanguageFolder(char* buffer, std::size_t capacity);

// The folder that job output goes to until the user picks another, with a
// trailing '/': the program folder when the language files lie beside it (a
// build or unpacked tree), else - an installed program, whose folder is a
// system one such as /usr/bin - the user's home folder.
std::string defaultOutputFolder();

}  // namespace korvex
