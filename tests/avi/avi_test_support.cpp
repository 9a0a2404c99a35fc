#include "avi_test_support.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>

#include "support/media_samples.h"

namespace korvex::avitest {

std::unique_ptr<AviFile> createAvi(const std::string& path) {
  Failure failure;
  auto avi = AviFile::create(path, failure);
  EXPECT_NE(avi, nullptr) << path << ": " << aviErrorMessage(failure.code) << ", errno " << failure.errorNumber;
  return avi;
}

std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  if (at + 4 > bytes.size()) return 0xDEADBEEF;
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::uint16_t le16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  if (at + 2 > bytes.size()) return 0xBEEF;
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::string fourcc(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  if (at + 4 > bytes.size()) return "<past end>";
  return std::string(reinterpret_cast<const char*>(bytes.data() + at), 4);
}

off_t fileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

std::vector<std::uint8_t> fileBytes(const std::string& path) { return testing::readWholeFile(path); }

long firstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i)
    if (a[i] != b[i]) return static_cast<long>(i);
  return a.size() == b.size() ? -1 : static_cast<long>(common);
}

std::vector<std::uint8_t> pattern(std::size_t length, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(1 + (seed + i) % 255);
  return bytes;
}

namespace {

class Placer {
 public:
  explicit Placer(std::vector<std::uint8_t>& block) : block_(block) {}
  void u32(std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) block_.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }
  void u16(std::size_t at, std::uint32_t value) {
    block_.at(at) = static_cast<std::uint8_t>(value);
    block_.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
  }
  void id(std::size_t at, const char* text) { std::memcpy(&block_.at(at), text, 4); }
  void bytes4(std::size_t at, const std::array<std::uint8_t, 4>& b) { std::memcpy(&block_.at(at), b.data(), 4); }

 private:
  std::vector<std::uint8_t>& block_;
};

}  // namespace

std::vector<std::uint8_t> expectedHeaderBlock(const ExpectedHeader& want) {
  std::vector<std::uint8_t> block(2048, 0);
  Placer p(block);
  const std::uint32_t a = static_cast<std::uint32_t>(want.tracks.size());
  const std::uint32_t e = 212 + 100 * a;
  const std::uint32_t j = want.final ? e + 84 : e;
  const auto w = static_cast<std::uint32_t>(want.width);
  const auto h = static_cast<std::uint32_t>(want.height);

  p.id(0, "RIFF");
  p.u32(4, want.riffSize);
  p.id(8, "AVI ");
  p.id(12, "LIST");
  p.u32(16, e - 20);
  p.id(20, "hdrl");
  p.id(24, "avih");
  p.u32(28, 56);
  p.u32(32, want.microsPerFrame);
  p.u32(44, want.flags);
  p.u32(48, want.frames);
  p.u32(56, 1 + a);
  p.u32(64, w);
  p.u32(68, h);
  p.id(88, "LIST");
  p.u32(92, 116);
  p.id(96, "strl");
  p.id(100, "strh");
  p.u32(104, 56);
  p.id(108, "vids");
  p.bytes4(112, want.fourcc);
  p.u32(128, 1000000);
  p.u32(132, want.videoRate);
  p.u32(140, want.frames);
  p.u32(148, 0xFFFFFFFF);
  p.id(164, "strf");
  p.u32(168, 40);
  p.u32(172, 40);
  p.u32(176, w);
  p.u32(180, h);
  p.u16(184, 1);
  p.u16(186, 24);
  p.bytes4(188, want.fourcc);
  p.u32(192, w * h * 3);

  for (std::uint32_t t = 0; t < a; ++t) {
    const ExpectedTrack& track = want.tracks[t];
    const std::size_t at = 212 + 100 * t;
    std::int64_t s = (track.bits + 7) / 8 * static_cast<std::int64_t>(track.channels);
    if (s < 4) s = 4;
    const auto byteRate = static_cast<std::uint32_t>(static_cast<std::int64_t>(track.kbps) * 1000 / 8);
    p.id(at, "LIST");
    p.u32(at + 4, 92);
    p.id(at + 8, "strl");
    p.id(at + 12, "strh");
    p.u32(at + 16, 56);
    p.id(at + 20, "auds");
    p.u32(at + 40, static_cast<std::uint32_t>(s / 4));
    p.u32(at + 44, byteRate);
    p.u32(at + 52, static_cast<std::uint32_t>(4 * static_cast<std::int64_t>(track.byteCount) / s));
    p.u32(at + 60, 0xFFFFFFFF);
    p.u32(at + 64, static_cast<std::uint32_t>(s / 4));
    p.id(at + 76, "strf");
    p.u32(at + 80, 16);
    p.u16(at + 84, static_cast<std::uint32_t>(track.formatTag) & 0xFFFF);
    p.u16(at + 86, static_cast<std::uint32_t>(track.channels));
    p.u32(at + 88, static_cast<std::uint32_t>(track.sampleRate));
    p.u32(at + 92, byteRate);
    p.u16(at + 96, static_cast<std::uint32_t>(s / 4));
    p.u16(at + 98, static_cast<std::uint32_t>(track.bits));
  }
  if (want.final) {
    p.id(e, "LIST");
    p.u32(e + 4, 76);
    p.id(e + 8, "INFO");
    p.id(e + 12, "ISFT");
    p.u32(e + 16, 64);
  }
  p.id(j, "JUNK");
  p.u32(j + 4, 2028 - j);
  p.id(2036, "LIST");
  p.u32(2040, want.moviSize);
  p.id(2044, "movi");
  return block;
}

void appendIndexEntry(std::vector<std::uint8_t>& out, const ExpectedEntry& entry) {
  out.insert(out.end(), entry.id.begin(), entry.id.begin() + 4);
  for (std::uint32_t value : {entry.flags, entry.offset, entry.length})
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void appendChunk(std::vector<std::uint8_t>& out, const std::string& id, const std::vector<std::uint8_t>& data) {
  out.insert(out.end(), id.begin(), id.begin() + 4);
  const auto length = static_cast<std::uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() % 2 == 1) out.push_back(0);
}

}  // namespace korvex::avitest
