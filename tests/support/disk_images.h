// Disk images made on the fly by Debian's own tools, never mounted: FAT32
// (mkfs.vfat, files put in by mcopy), ext4 (mkfs.ext4 -d), exFAT (empty,
// mkfs.exfat), a partition table (sfdisk on a file) and EWF sets
// (ewfacquire). Each builder returns "" when it worked, else what went wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvex::testing {

// Why the tools cannot be used ("mkfs.vfat is missing (Debian package
// dosfstools)"), or "" when all are there.
std::string missingTools(const std::vector<std::string>& tools);

// Runs a shell command with its output (both streams) in `output`; the exit
// status, or -1 when it could not be run.
int runShell(const std::string& command, std::string* output = nullptr);
std::string shellQuoted(const std::string& text);

// A FAT32 file system of `bytes` in the file `image`, holding every entry
// of `folder` (copied recursively).
std::string makeFat32Image(const std::string& folder, const std::string& image, std::uint64_t bytes);
// An ext4 file system of `bytes` built from `folder`.
std::string makeExt4Image(const std::string& folder, const std::string& image, std::uint64_t bytes);
// An empty exFAT file system of `bytes`.
std::string makeExfatImage(const std::string& image, std::uint64_t bytes);

struct PartitionSpec {
  std::string fileSystemImage;  // copied in at the partition's start
  std::string type;             // sfdisk's type: "83", "c", ...
  std::string name = {};        // GPT: the partition's name, as given
};
// A disk with an MBR (`label` "dos") or GPT ("gpt") partition table,
// partitions starting at 1 MiB, one after another, each the size of its file
// system image rounded up to whole MiB.
std::string makePartitionedImage(const std::string& image, const std::vector<PartitionSpec>& partitions,
                                 const std::string& label = "dos");

// An EWF set `target`.E01, .E02, ... from a raw image: segments of
// `segmentBytes` (at least 1 MiB), compressed as ewfacquire's -c says
// ("none", "fast"), MD5 and SHA-1 stored.
std::string makeEwfSet(const std::string& raw, const std::string& target, std::uint64_t segmentBytes,
                       const std::string& compression = "none");

// Flips one byte in the EWF set `target`.E01, ... made from the disk `raw`:
// the one that holds byte `rawOffset` of the disk, or with `compressed`
// (a set made "fast") one in the middle of the compressed chunk that holds
// it. That chunk then fails its checksum. "" or what went wrong.
std::string corruptEwfChunk(const std::string& raw, const std::string& target, std::uint64_t rawOffset,
                            bool compressed = false, std::uint64_t chunkBytes = 32768);

// Bytes of a file and back.
std::vector<std::uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace korvex::testing
