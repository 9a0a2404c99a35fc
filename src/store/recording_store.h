// The recorder's disk: numbered folders of numbered recording files.
#pragma once

#include <string>

namespace korvex {

// Every folder holds file0000.dat to file0127.dat.
inline constexpr int FILES_PER_FOLDER = 128;

// Number of entries directly under `root` whose names start with "dir",
// whatever their kind (a plain file named dirlist.txt counts too). The root
// is used as given, so it must end with '/'. 0 when the root cannot be read.
int countStoreFolders(const std::string& root);

// "<root>dir%05d/file%04d.dat". Nothing is inserted after the root.
std::string recordingFilePath(const std::string& root, int folder, int file);

}  // namespace korvex
