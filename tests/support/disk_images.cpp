#include "support/disk_images.h"

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

namespace korvex::testing {

namespace fs = std::filesystem;

namespace {

// The Debian package of each tool, for the skip message.
const std::map<std::string, std::string>& toolPackages() {
  static const std::map<std::string, std::string> packages = {
      {"mkfs.vfat", "dosfstools"}, {"mcopy", "mtools"},       {"mdel", "mtools"},
      {"mkfs.ext4", "e2fsprogs"},  {"mkfs.exfat", "exfatprogs"}, {"sfdisk", "fdisk"},
      {"ewfacquire", "ewf-tools"},
  };
  return packages;
}

// Debian keeps the file system tools in /sbin, which a user's PATH may lack.
const char* const TOOL_PATH = "PATH=\"$PATH:/usr/sbin:/sbin\"; export PATH; ";

std::string check(int status, const std::string& what, const std::string& output) {
  if (status == 0) return {};
  return what + " failed (status " + std::to_string(status) + "): " + output;
}

std::string kib(std::uint64_t bytes) { return std::to_string(bytes / 1024); }

}  // namespace

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

int runShell(const std::string& command, std::string* output) {
  const std::string full = std::string(TOOL_PATH) + "{ " + command + "; } </dev/null 2>&1";
  FILE* pipe = popen(full.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  const int status = pclose(pipe);
  if (output != nullptr) *output = text;
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string missingTools(const std::vector<std::string>& tools) {
  std::string missing;
  for (const std::string& tool : tools) {
    if (runShell("command -v " + shellQuoted(tool) + " >/dev/null") == 0) continue;
    const auto package = toolPackages().find(tool);
    missing += (missing.empty() ? "" : ", ") + tool + " is missing (Debian package " +
               (package != toolPackages().end() ? package->second : "?") + "; tools/install-deps installs it)";
  }
  return missing;
}

std::string makeFat32Image(const std::string& folder, const std::string& image, std::uint64_t bytes) {
  std::string output;
  std::error_code ignored;
  fs::remove(image, ignored);
  // One sector per cluster, so that a small image still has the clusters
  // FAT32 needs.
  int status = runShell("mkfs.vfat -F 32 -S 512 -s 1 -C " + shellQuoted(image) + " " + kib(bytes), &output);
  if (status != 0) return check(status, "mkfs.vfat", output);
  std::string entries;
  for (const auto& entry : fs::directory_iterator(folder)) entries.append(" ").append(shellQuoted(entry.path().string()));
  if (entries.empty()) return {};
  status = runShell("MTOOLS_SKIP_CHECK=1 mcopy -s -Q -i " + shellQuoted(image) + entries + " ::/", &output);
  return check(status, "mcopy", output);
}

std::string makeExt4Image(const std::string& folder, const std::string& image, std::uint64_t bytes) {
  std::string output;
  std::error_code ignored;
  fs::remove(image, ignored);
  const int status =
      runShell("mkfs.ext4 -q -F -d " + shellQuoted(folder) + " " + shellQuoted(image) + " " + kib(bytes) + "k", &output);
  return check(status, "mkfs.ext4", output);
}

std::string makeExfatImage(const std::string& image, std::uint64_t bytes) {
  std::string output;
  std::error_code ignored;
  fs::remove(image, ignored);
  const int status =
      runShell("truncate -s " + std::to_string(bytes) + " " + shellQuoted(image) + " && mkfs.exfat " + shellQuoted(image),
               &output);
  return check(status, "mkfs.exfat", output);
}

std::string makePartitionedImage(const std::string& image, const std::vector<PartitionSpec>& partitions,
                                 const std::string& label) {
  constexpr std::uint64_t MIB = 1024 * 1024;
  std::string script = "label: " + label + "\n";
  std::vector<std::uint64_t> starts;
  std::uint64_t at = MIB;
  for (const PartitionSpec& partition : partitions) {
    std::error_code error;
    const std::uint64_t size = fs::file_size(partition.fileSystemImage, error);
    if (error) return "no file system image " + partition.fileSystemImage;
    const std::uint64_t rounded = (size + MIB - 1) / MIB * MIB;
    starts.push_back(at);
    script += "start=" + std::to_string(at / 512) + ", size=" + std::to_string(rounded / 512) +
              ", type=" + partition.type + (partition.name.empty() ? "" : ", name=\"" + partition.name + "\"") + "\n";
    at += rounded;
  }
  // Room after the last partition for GPT's backup table.
  at += MIB;
  std::error_code ignored;
  fs::remove(image, ignored);
  {
    std::ofstream create(image, std::ios::binary);
  }
  fs::resize_file(image, at);
  const std::string scriptPath = image + ".sfdisk";
  {
    std::ofstream out(scriptPath);
    out << script;
  }
  std::string output;
  const int status = runShell("sfdisk -q --no-reread --no-tell-kernel " + shellQuoted(image) + " < " +
                                  shellQuoted(scriptPath),
                              &output);
  fs::remove(scriptPath, ignored);
  if (status != 0) return check(status, "sfdisk", output);
  // Each file system goes in at its partition's start, as dd conv=notrunc
  // seek=... would put it.
  std::fstream disk(image, std::ios::binary | std::ios::in | std::ios::out);
  for (std::size_t i = 0; i < partitions.size(); ++i) {
    const std::vector<std::uint8_t> bytes = readBytes(partitions[i].fileSystemImage);
    disk.seekp(static_cast<std::streamoff>(starts[i]));
    disk.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  disk.close();
  return disk ? "" : "cannot write the file systems into " + image;
}

std::string makeEwfSet(const std::string& raw, const std::string& target, std::uint64_t segmentBytes,
                       const std::string& compression) {
  std::string output;
  const int status = runShell("ewfacquire -u -q -c " + compression + " -d sha1 -S " + std::to_string(segmentBytes) +
                                  " -t " + shellQuoted(target) + " " + shellQuoted(raw),
                              &output);
  if (status != 0) return check(status, "ewfacquire", output);
  std::error_code error;
  if (!fs::exists(target + ".E01", error)) return "ewfacquire made no " + target + ".E01: " + output;
  return {};
}

std::string corruptEwfChunk(const std::string& raw, const std::string& target, std::uint64_t rawOffset,
                            bool compressed, std::uint64_t chunkBytes) {
  const std::vector<std::uint8_t> disk = readBytes(raw);
  if (rawOffset >= disk.size()) return "byte " + std::to_string(rawOffset) + " lies past the end of " + raw;
  const std::uint64_t start = rawOffset / chunkBytes * chunkBytes;
  const auto from = disk.begin() + static_cast<std::ptrdiff_t>(start);
  const auto to = disk.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(start + chunkBytes, disk.size()));
  // Uncompressed, a chunk is stored as it is, the segments in media order:
  // the first place that holds the chunk's bytes is that chunk. Compressed
  // at "fast", it is what zlib makes of it at its fastest level; a byte in
  // the middle of that is flipped.
  std::vector<std::uint8_t> stored(from, to);
  std::uint64_t flip = rawOffset - start;
  if (compressed) {
    uLongf packedBytes = compressBound(static_cast<uLong>(stored.size()));
    std::vector<std::uint8_t> packed(packedBytes);
    if (compress2(packed.data(), &packedBytes, stored.data(), static_cast<uLong>(stored.size()), Z_BEST_SPEED) != Z_OK)
      return "zlib cannot compress the chunk at byte " + std::to_string(start);
    packed.resize(packedBytes);
    stored = std::move(packed);
    flip = stored.size() / 2;
  }
  const std::boyer_moore_horspool_searcher chunk(stored.begin(), stored.end());
  for (int number = 1; number <= 99; ++number) {
    char extension[8];
    std::snprintf(extension, sizeof extension, ".E%02d", number);
    const std::string segment = target + extension;
    std::vector<std::uint8_t> bytes = readBytes(segment);
    if (bytes.empty()) break;
    const auto found = std::search(bytes.begin(), bytes.end(), chunk);
    if (found == bytes.end()) continue;
    found[static_cast<std::ptrdiff_t>(flip)] ^= 0xff;
    writeBytes(segment, bytes);
    return {};
  }
  return "no segment of " + target + " holds the chunk at byte " + std::to_string(start) + " as it is";
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
  // In one read: images are tens of MiB, and byte by byte is slow under the
  // sanitizers.
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace korvex::testing
