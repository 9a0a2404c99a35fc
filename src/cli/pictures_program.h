// The commands that make pictures (still, report) need the picture decoder's
// libraries, which take longer to load than a scan of a small store reads
// (0.2 s from a cold cache): korvex-cli leaves them out and hands those
// commands to a program of its own, korvex-cli-pictures, which holds every
// command.
#pragma once

#include <string>

namespace korvex::cli {

// The environment variable that tells korvex-cli-pictures the folder of the
// korvex-cli that started it: the language files are found from there.
inline constexpr const char* CLI_FOLDER_VARIABLE = "KORVEX_CLI_FOLDER";

// Where korvex-cli-pictures is for the korvex-cli in `programFolder`: beside
// it (a build folder), else in the installed place relative to it.
std::string picturesProgramPath(const std::string& programFolder);

// Replaces this process with korvex-cli-pictures, given the same arguments.
// Returns only when it cannot be started, naming it and why on stderr, with
// EXIT_FAILURE_OTHER.
int runPicturesProgram(char** argv);

// In korvex-cli-pictures: takes the folder korvex-cli passed, if any.
void takeCliFolder();

}  // namespace korvex::cli
