// Fields of the kernel's mount tables (/proc/self/mounts, /proc/self/mountinfo).
#pragma once

#include <string>
#include <string_view>

namespace korvex {

// The next blank-separated field of a mount table line, taken off its front.
std::string_view nextMountField(std::string_view& line);

// The kernel writes blank, tab, newline and backslash in names as \ooo.
std::string unescapeMountField(std::string_view field);

}  // namespace korvex
