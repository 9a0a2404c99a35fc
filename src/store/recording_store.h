// The recorder's disk: numbered folders of numbered recording files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"

namespace korvex {

// Every folder holds file0000.dat to file0127.dat.
inline constexpr int FILES_PER_FOLDER = 128;

// Number of entries directly under `root` whose names start with "dir",
// whatever their kind (a plain file named dirlist.txt counts too). The root
// is used as given, so it must end with '/'. 0 when the root cannot be read.
// The root's access time is left as it was where that is allowed.
int countStoreFolders(const std::string& root);

// The store's name of a folder: "dir%05d".
std::string storeFolderName(std::int32_t folder);
// The name of a recording file inside its folder: "file%04d.dat".
std::string storeFileName(std::int32_t file);

// "<root>dir%05d/file%04d.dat" (the root and recordingFileName). Nothing is
// inserted after the root.
std::string recordingFilePath(const std::string& root, int folder, int file);

// Opens a folder for listing (relative to `at`, or AT_FDCWD) without
// touching its access time where that is allowed: only the owner (or root)
// may ask for that, so it falls back to a plain open. -1 with errno set.
int openFolderToList(int at, const char* path);

// The number of the recorder folder `name` names, exactly as
// recordingFilePath writes it ("dir00002", "dir123456"); none for any other
// name ("dir2", "dirlist.txt"). `ignoreCase` for file systems that do.
std::optional<std::int32_t> storeFolderNumber(const char* name, bool ignoreCase = false);

// What listing a folder found: the entries whose names start with a prefix.
struct FolderEntries {
  int count = 0;
  std::vector<std::int32_t> numbers;  // of the recorder folders among them, ascending
  Failure failure;  // why the folder could not be listed: Missing or NotOpened
};

// A store's failure for the errno of an open or a listing: Missing for a name
// that is not there (or not a folder on the way), NotOpened for the rest,
// with strerror's words.
Failure storeFailureOf(int errorNumber);

// Lists the folder open at `folder` (which stays open and is not moved).
FolderEntries listFolderEntries(int folder, const std::string& prefix);

}  // namespace korvex
