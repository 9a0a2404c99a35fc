// The roots that the window offers as the recorder's disk: the mount points
// of the mounted file systems, without the kernel's pseudo file systems.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

// The mount table is read only up to this size.
inline constexpr std::size_t MOUNT_TABLE_MAX_BYTES = 4 * 1024 * 1024;

// Mount points of a mount table in the format of /proc/self/mounts (device,
// mount point, type, ...; blanks in names written as octal escapes such as
// \040), each ending with '/', sorted, without repeats. Left out: pseudo file
// systems (proc, sysfs, cgroup, devtmpfs, ...), anything mounted under
// /proc, /sys or /dev, and tmpfs under /run.
std::vector<std::string> mountRootsFromTable(std::string_view mountTable);

// mountRootsFromTable over /proc/self/mounts; empty when it cannot be read.
std::vector<std::string> listDriveRoots();

// A recorder disk root as a job uses it: a text without a trailing '/' gets
// one, since file paths are made by appending to it. Empty stays empty.
std::string diskRootFromText(std::string_view text);

}  // namespace korvex
