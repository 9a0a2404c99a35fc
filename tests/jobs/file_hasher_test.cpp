// The digest of a file's ranges, taken while the file is read back for its
// own hash: the same value as the ranges' bytes digested on their own,
// wherever they fall against the pieces the file is read in.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "jobs/file_hasher.h"
#include "jobs/sha256_digest.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using testing::TempDir;

constexpr std::uint32_t MIB = 1024 * 1024;

struct RangesCase {
  const char* name;
  std::uint32_t fileBytes;
  std::vector<FileRange> ranges;
  bool digested;  // false: the ranges cannot all be taken from the file
};

TEST(FileHasher, DigestsTheRangesOfTheFileInOnePass) {
  const std::vector<RangesCase> cases = {
      {"none", 5000, {}, true},
      {"within the first piece", 5000, {{8, 100}, {116, 3000}}, true},
      {"across a piece's end", 3 * MIB, {{MIB - 10, 20}, {MIB + 100, MIB}, {3 * MIB - 5, 5}}, true},
      {"a whole piece and more", 3 * MIB, {{0, 2 * MIB + 1}}, true},
      {"past the file's end", 2 * MIB, {{10, 10}, {2 * MIB - 4, 8}}, false},
      {"out of order", 2 * MIB, {{MIB + 10, 10}, {10, 10}}, false},
  };
  const TempDir dir;
  for (const RangesCase& each : cases) {
    SCOPED_TRACE(each.name);
    std::vector<std::uint8_t> bytes(each.fileBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 12));
    const std::string path = dir.root() + "file.bin";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

    // Ranges that the file holds, digested on their own.
    std::string expected;
    if (each.digested) {
      Sha256Digest alone;
      for (const FileRange& range : each.ranges) alone.add(bytes.data() + range.offset, range.length);
      expected = alone.finish();
    }
    std::string digest;
    const FileHash hash = sha256OfFile(path, each.ranges, digest);
    EXPECT_FALSE(hash.failure.failed());
    EXPECT_EQ(hash.sha256, sha256OfFile(path).sha256);
    EXPECT_EQ(digest, expected);

    FileHasher hasher;
    hasher.add(3, path, each.ranges);
    EXPECT_EQ(hasher.finish().at(3).sha256, hash.sha256);
    EXPECT_EQ(hasher.rangesSha256(3), digest);
    EXPECT_EQ(hasher.rangesSha256(2), "");
  }
}

}  // namespace
}  // namespace korvex
