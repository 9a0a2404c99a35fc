// The bytes the writer puts into the file: header block forms, chunks,
// padding and the index.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "avi/avi_file.h"
#include "avi_test_support.h"
#include "support/temp_dir.h"

namespace korvex {
namespace {

using namespace avitest;
using testing::TempDir;

const std::array<std::uint8_t, 4> X264 = {'X', '2', '6', '4'};

std::vector<std::uint8_t> headerOf(const std::string& path) {
  auto bytes = fileBytes(path);
  bytes.resize(2048);
  return bytes;
}

// Compares a header block with the expected one, naming the first offset
// that differs.
void expectBlock(const std::vector<std::uint8_t>& actual, const std::vector<std::uint8_t>& expected) {
  const long at = firstDifference(actual, expected);
  EXPECT_EQ(at, -1) << "header block differs at offset " << at;
}

TEST(AviPutLe32, StoresLeastSignificantByteFirst) {
  struct Case {
    std::uint32_t value;
    std::uint8_t bytes[4];
  };
  const Case cases[] = {
      {1, {0x01, 0x00, 0x00, 0x00}},
      {256, {0x00, 0x01, 0x00, 0x00}},
      {0xFEFFF7FFu, {0xFF, 0xF7, 0xFF, 0xFE}},
      {0x12345678u, {0x78, 0x56, 0x34, 0x12}},
  };
  for (const Case& c : cases) {
    std::uint8_t out[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    aviPutLe32(out + 1, c.value);
    EXPECT_EQ(out[0], 0xAA) << c.value;
    EXPECT_EQ(std::memcmp(out + 1, c.bytes, 4), 0) << c.value;
    EXPECT_EQ(out[5], 0xAA) << c.value;
  }
}

TEST(AviErrorMessage, TextOfEveryCode) {
  struct Case {
    FailureCode code;
    const char* text;
  };
  const Case cases[] = {
      {FailureCode::None, "AVI writer - No Error"},
      {FailureCode::AviTooLarge, "AVI writer - AVI file size limit reached"},
      {FailureCode::AviNotCreated, "AVI writer - Error opening AVI file"},
      {FailureCode::AviNotWritten, "AVI writer - Error writing to AVI file"},
      {FailureCode::AviIndexNotWritten, "AVI writer - Error writing index (file may still be useable)"},
      {FailureCode::AviNotClosed, "AVI writer - Error closing AVI file"},
      {FailureCode::NoMemory, "AVI writer - Out of memory (malloc failed)"},
      {FailureCode::AviTooManyTracks, "AVI writer - only 8 audio tracks supported"},
      {FailureCode::NotEnded, "AVI writer - Unknown Error"},  // a code of no writer
      {static_cast<FailureCode>(255), "AVI writer - Unknown Error"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(aviErrorMessage(c.code), c.text) << "code " << static_cast<int>(c.code);
  }
}

TEST(AviCreate, ReservesZeroBlockAndStartsChunksAfterIt) {
  TempDir dir;
  const std::string path = dir.file("new.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(writer->writePosition(), 2048u);
  EXPECT_EQ(writer->streams().audio_track_count, 0);
  EXPECT_EQ(writer->currentAudioTrack(), 0);
  EXPECT_EQ(writer->indexEntryCount(), 0u);
  EXPECT_EQ(AviFileTestAccess::indexCapacity(*writer), 0u);
  EXPECT_TRUE(AviFileTestAccess::index(*writer).empty());
  // Without a set-up call there is no header yet: 2048 zero bytes.
  EXPECT_EQ(fileBytes(path), std::vector<std::uint8_t>(2048, 0));
}

TEST(AviFinish, FileWithoutChunksIsExactly2056Bytes) {
  TempDir dir;
  const std::string path = dir.file("empty.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(writer->finish());

  const auto bytes = fileBytes(path);
  ASSERT_EQ(bytes.size(), 2056u);
  EXPECT_EQ(le32(bytes, 4), 2048u);     // RIFF size
  EXPECT_EQ(le32(bytes, 2040), 4u);     // movi list size
  EXPECT_EQ(le32(bytes, 48), 0u);       // total frames
  EXPECT_EQ(le32(bytes, 44), 0x110u);   // has an index
  EXPECT_EQ(fourcc(bytes, 2048), "idx1");
  EXPECT_EQ(le32(bytes, 2052), 0u);

  ExpectedHeader want;
  want.final = true;
  want.riffSize = 2048;
  want.moviSize = 4;
  auto expected = expectedHeaderBlock(want);
  appendChunk(expected, "idx1", {});
  EXPECT_EQ(firstDifference(bytes, expected), -1);
}

TEST(AviFinish, OneFrameFileIsExactly3080Bytes) {
  TempDir dir;
  const std::string path = dir.file("one.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  writer->defineVideo(176, 144, 25.0, "X264");
  const auto frame = pattern(1000);
  ASSERT_TRUE(writer->putVideoFrame(frame.data(), 1000, true));
  ASSERT_TRUE(writer->finish());

  const auto bytes = fileBytes(path);
  ASSERT_EQ(bytes.size(), 3080u);
  EXPECT_EQ(le32(bytes, 4), 3072u);
  EXPECT_EQ(le32(bytes, 2040), 1012u);
  EXPECT_EQ(le32(bytes, 48), 1u);
  EXPECT_EQ(fourcc(bytes, 2048), "00db");
  EXPECT_EQ(le32(bytes, 2052), 1000u);
  EXPECT_EQ(fourcc(bytes, 3056), "idx1");
  EXPECT_EQ(le32(bytes, 3060), 16u);
  EXPECT_EQ(fourcc(bytes, 3064), "00db");
  EXPECT_EQ(le32(bytes, 3068), 0x10u);
  EXPECT_EQ(le32(bytes, 3072), 2048u);
  EXPECT_EQ(le32(bytes, 3076), 1000u);

  ExpectedHeader want;
  want.final = true;
  want.riffSize = 3072;
  want.moviSize = 1012;
  want.frames = 1;
  want.width = 176;
  want.height = 144;
  want.microsPerFrame = 40000;
  want.videoRate = 25000000;
  want.fourcc = X264;
  auto expected = expectedHeaderBlock(want);
  appendChunk(expected, "00db", frame);
  std::vector<std::uint8_t> index;
  appendIndexEntry(index, {"00db", 0x10, 2048, 1000});
  appendChunk(expected, "idx1", index);
  EXPECT_EQ(firstDifference(bytes, expected), -1);
}

// Set-up calls rewrite the provisional block with fixed sizes, no frame
// counts and no INFO list; finishing replaces it with the final one.
TEST(AviHeaderBlock, ProvisionalThenFinalFieldByField) {
  TempDir dir;
  const std::string path = dir.file("forms.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  writer->defineVideo(352, 288, 25.0, "X264");
  const auto first = pattern(100);
  const auto second = pattern(51, 7);
  ASSERT_TRUE(writer->putVideoFrame(first.data(), 100, true));
  ASSERT_TRUE(writer->putVideoFrame(second.data(), 51, false));
  writer->addAudioTrack(1, 8000, 8, 6, 64);
  const auto sound = pattern(320, 3);
  ASSERT_TRUE(writer->putAudio(sound.data(), 320));
  writer->addAudioTrack(2, 16000, 16, 1, 512);

  // Provisional: E = 412, the filler straight after it.
  auto block = headerOf(path);
  EXPECT_EQ(le32(block, 4), 4278185987u);
  EXPECT_EQ(le32(block, 16), 392u);
  EXPECT_EQ(le32(block, 44), 0x110u);
  EXPECT_EQ(le32(block, 48), 0u);
  EXPECT_EQ(le32(block, 56), 3u);
  EXPECT_EQ(le32(block, 140), 0u);
  EXPECT_EQ(le32(block, 212 + 52), 320u);  // audio length from the count at the time
  EXPECT_EQ(le32(block, 312 + 52), 0u);
  EXPECT_EQ(fourcc(block, 412), "JUNK");
  EXPECT_EQ(le32(block, 416), 1616u);
  EXPECT_EQ(le32(block, 2040), 4278185987u);

  ExpectedHeader want;
  want.width = 352;
  want.height = 288;
  want.microsPerFrame = 40000;
  want.videoRate = 25000000;
  want.fourcc = X264;
  want.tracks = {ExpectedTrack{1, 8000, 8, 6, 64, 320}, ExpectedTrack{2, 16000, 16, 1, 512, 0}};
  expectBlock(block, expectedHeaderBlock(want));

  // The chunks still went to write_pos, after the block.
  auto bytes = fileBytes(path);
  EXPECT_EQ(fourcc(bytes, 2048), "00db");
  EXPECT_EQ(fourcc(bytes, 2156), "00db");
  EXPECT_EQ(fourcc(bytes, 2216), "01wb");
  ASSERT_TRUE(writer->finish());

  // Final: media ends at 2544, idx1 holds 3 entries.
  bytes = fileBytes(path);
  ASSERT_EQ(bytes.size(), 2600u);
  block = headerOf(path);
  EXPECT_EQ(le32(block, 4), 2592u);
  EXPECT_EQ(le32(block, 48), 2u);
  EXPECT_EQ(le32(block, 140), 2u);
  EXPECT_EQ(fourcc(block, 412), "LIST");
  EXPECT_EQ(fourcc(block, 420), "INFO");
  EXPECT_EQ(fourcc(block, 496), "JUNK");
  EXPECT_EQ(le32(block, 500), 1532u);
  EXPECT_EQ(le32(block, 2040), 500u);
  want.final = true;
  want.riffSize = 2592;
  want.moviSize = 500;
  want.frames = 2;
  expectBlock(block, expectedHeaderBlock(want));
}

TEST(AviHeaderBlock, UnfinishedFileKeepsLastProvisionalBlockAndHasNoIndex) {
  TempDir dir;
  const std::string path = dir.file("unfinished.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  writer->defineVideo(176, 144, 25.0, "X264");
  const auto frame = pattern(10);
  ASSERT_TRUE(writer->putVideoFrame(frame.data(), 10, true));
  // Gathered chunks reach the file when written out.
  EXPECT_EQ(fileBytes(path).size(), 2048u);
  ASSERT_TRUE(writer->flush());

  const auto bytes = fileBytes(path);
  EXPECT_EQ(bytes.size(), 2066u);
  EXPECT_EQ(le32(bytes, 4), AVI_PROVISIONAL_SIZE);
  EXPECT_EQ(le32(bytes, 48), 0u);
  ASSERT_TRUE(writer->finish());
}

TEST(AviHeaderBlock, FillerSizesForZeroOneAndEightTracks) {
  struct Case {
    int tracks;
    std::uint32_t provisionalFiller;
    std::uint32_t finalFiller;
  };
  const Case cases[] = {{0, 1816, 1732}, {1, 1716, 1632}, {8, 1016, 932}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tracks);
    TempDir dir;
    const std::string path = dir.file("filler.avi");
    auto writer = createAvi(path);
    ASSERT_NE(writer, nullptr);
    writer->defineVideo(176, 144, 25.0, "X264");
    for (int t = 0; t < c.tracks; ++t) writer->addAudioTrack(1, 8000, 8, 6, 64);

    const std::uint32_t e = 212 + 100 * static_cast<std::uint32_t>(c.tracks);
    for (const bool final : {false, true}) {
      if (final) {
        ASSERT_TRUE(writer->finish());
      }
      const auto block = headerOf(path);
      const std::uint32_t j = final ? e + 84 : e;
      EXPECT_EQ(le32(block, 56), 1u + static_cast<std::uint32_t>(c.tracks));
      EXPECT_EQ(fourcc(block, j), "JUNK");
      EXPECT_EQ(le32(block, j + 4), final ? c.finalFiller : c.provisionalFiller);
      EXPECT_EQ(j + 8 + le32(block, j + 4), 2036u);
      for (std::uint32_t at = j + 8; at < 2036; ++at) ASSERT_EQ(block[at], 0) << "filler byte " << at;
      EXPECT_EQ(fourcc(block, 2036), "LIST");
      EXPECT_EQ(fourcc(block, 2044), "movi");
      EXPECT_EQ(fourcc(block, e), final ? "LIST" : "JUNK");
    }
  }
}

TEST(AviHeaderBlock, FrameRateGivesMicrosecondsAndRateOverScale) {
  struct Case {
    double fps;
    std::uint32_t microsPerFrame;
    std::uint32_t rate;
  };
  const Case cases[] = {
      {25.0, 40000, 25000000},  {29.97, 33367, 29970000}, {30.0, 33333, 30000000}, {0.001, 1000000000, 1000},
      {0.0009, 0, 0},           {0.0, 0, 0},              {-25.0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fps);
    TempDir dir;
    const std::string path = dir.file("rate.avi");
    auto writer = createAvi(path);
    ASSERT_NE(writer, nullptr);
    writer->defineVideo(176, 144, c.fps, "X264");
    for (const bool final : {false, true}) {
      if (final) {
        ASSERT_TRUE(writer->finish());
      }
      const auto block = headerOf(path);
      EXPECT_EQ(le32(block, 32), c.microsPerFrame);
      EXPECT_EQ(le32(block, 128), 1000000u);
      EXPECT_EQ(le32(block, 132), c.rate);
    }
  }
}

TEST(AviHeaderBlock, NeverDefinedVideoHasZeroSizesRateAndFourcc) {
  TempDir dir;
  const std::string path = dir.file("novideo.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  writer->addAudioTrack(1, 8000, 8, 6, 64);
  ASSERT_TRUE(writer->finish());
  const auto block = headerOf(path);
  for (std::size_t at : {32, 64, 68, 112, 132, 176, 180, 188, 192}) EXPECT_EQ(le32(block, at), 0u) << "offset " << at;
}

TEST(AviDefineVideo, FourccBytes) {
  struct Case {
    const char* given;
    std::array<std::uint8_t, 4> stored;
  };
  const Case cases[] = {
      {"X264", {'X', '2', '6', '4'}},
      {"xvid", {'x', 'v', 'i', 'd'}},      // no case change
      {"H264extra", {'H', '2', '6', '4'}},  // only four bytes are used
      {"RGB", {0, 0, 0, 0}},               // uncompressed
      {"RGBA", {0, 0, 0, 0}},
      {"RG", {'R', 'G', 0, 0}},  // a short text is padded, not over-read
      {"", {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    TempDir dir;
    const std::string path = dir.file("fourcc.avi");
    auto writer = createAvi(path);
    ASSERT_NE(writer, nullptr);
    writer->defineVideo(8, 8, 25.0, c.given);
    EXPECT_EQ(writer->streams().codec_fourcc[4], '\0');
    const auto block = headerOf(path);
    for (std::size_t at : {112, 188}) EXPECT_EQ(std::memcmp(&block[at], c.stored.data(), 4), 0) << "offset " << at;
  }
}

// Odd chunks are padded with one zero byte; idx1 keeps the unpadded length
// and the absolute offset of each chunk's header.
TEST(AviChunks, OddLengthsArePaddedAndIndexedByAbsoluteOffset) {
  struct Put {
    bool video;
    std::size_t length;
    int keyframe;
    std::uint32_t offset;
    std::uint32_t flags;
  };
  const Put puts[] = {
      {true, 5, 1, 2048, 0x10}, {true, 0, 0, 2062, 0},   {true, 3, 2, 2070, 0x10},
      {true, 4, -1, 2082, 0x10}, {false, 7, 1, 2094, 0x10}, {true, 1, 0, 2110, 0},
  };
  TempDir dir;
  const std::string path = dir.file("padding.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  writer->defineVideo(176, 144, 25.0, "X264");
  writer->addAudioTrack(1, 8000, 8, 6, 64);

  std::vector<std::uint8_t> media, index;
  std::uint8_t seed = 1;
  for (const Put& put : puts) {
    // Exactly sized buffers: a pad byte taken from past the data would show.
    const auto data = pattern(put.length, seed++);
    const auto length = static_cast<std::int32_t>(put.length);
    const bool result = put.video ? writer->putVideoFrame(data.data(), length, put.keyframe != 0)
                                  : writer->putAudio(data.data(), length);
    ASSERT_TRUE(result);
    appendChunk(media, put.video ? "00db" : "01wb", data);
    appendIndexEntry(index, {put.video ? "00db" : "01wb", put.flags, put.offset, static_cast<std::uint32_t>(put.length)});
  }
  EXPECT_EQ(writer->videoFrameCount(), 5);
  EXPECT_EQ(writer->streams().audio_tracks[0].byte_count, 7u);
  EXPECT_EQ(writer->writePosition(), 2120u);
  ASSERT_EQ(writer->indexEntryCount(), 6u);
  EXPECT_EQ(AviFileTestAccess::index(*writer), index);
  ASSERT_TRUE(writer->finish());

  const auto bytes = fileBytes(path);
  ASSERT_EQ(bytes.size(), 2120u + 8 + 96);
  const std::vector<std::uint8_t> media0(bytes.begin() + 2048, bytes.begin() + 2120);
  EXPECT_EQ(firstDifference(media0, media), -1);
  EXPECT_EQ(bytes[2048 + 8 + 5], 0);  // the pad byte
  EXPECT_EQ(fourcc(bytes, 2120), "idx1");
  EXPECT_EQ(le32(bytes, 2124), 96u);
  const std::vector<std::uint8_t> written(bytes.begin() + 2128, bytes.end());
  EXPECT_EQ(firstDifference(written, index), -1);
  EXPECT_EQ(le32(bytes, 2040), 2120u - 2044);
}

// Data read straight into the file's buffer gives the same file as data
// put from the caller's buffer.
TEST(AviChunks, ReservedAndCommittedChunksGiveTheBytesOfPutOnes) {
  struct Chunk {
    bool video;
    std::size_t length;
    bool keyframe;
  };
  const Chunk chunks[] = {{true, 5, true},  {true, 0, false}, {false, 7, false}, {true, 40000, false},
                          {false, 320, false}, {true, AVI_MAX_RESERVED_LENGTH, true}, {true, 1, false}};
  TempDir dir;
  const std::string putPath = dir.file("put.avi");
  const std::string reservedPath = dir.file("reserved.avi");
  auto put = createAvi(putPath);
  auto reserved = createAvi(reservedPath);
  ASSERT_NE(put, nullptr);
  ASSERT_NE(reserved, nullptr);
  for (AviFile* avi : {put.get(), reserved.get()}) {
    avi->defineVideo(176, 144, 25.0, "X264");
    avi->addAudioTrack(1, 8000, 8, 6, 64);
  }
  std::uint8_t seed = 1;
  for (const Chunk& c : chunks) {
    SCOPED_TRACE(c.length);
    const auto data = pattern(c.length, seed++);
    const auto length = static_cast<std::int32_t>(c.length);
    ASSERT_TRUE(c.video ? put->putVideoFrame(data.data(), length, c.keyframe) : put->putAudio(data.data(), length));
    std::uint8_t* place = reserved->reserveChunk(static_cast<std::uint32_t>(c.length));
    ASSERT_NE(place, nullptr);
    std::copy(data.begin(), data.end(), place);
    ASSERT_TRUE(c.video ? reserved->commitVideoFrame(c.keyframe) : reserved->commitAudio());
    EXPECT_EQ(reserved->writePosition(), put->writePosition());
  }
  EXPECT_EQ(reserved->videoFrameCount(), put->videoFrameCount());
  EXPECT_EQ(reserved->streams().audio_tracks[0].byte_count, put->streams().audio_tracks[0].byte_count);
  EXPECT_EQ(AviFileTestAccess::index(*reserved), AviFileTestAccess::index(*put));
  ASSERT_TRUE(put->finish());
  ASSERT_TRUE(reserved->finish());
  const auto bytes = fileBytes(reservedPath);
  EXPECT_GT(bytes.size(), AVI_WRITE_BLOCK);  // a block was written on the way
  EXPECT_EQ(firstDifference(bytes, fileBytes(putPath)), -1);
}

// The room lasts until the next call: a commit without it, after another
// call, or after a refused reservation fails and adds nothing.
TEST(AviChunks, ReservedRoomIsGivenUpByAnyOtherCall) {
  TempDir dir;
  const std::string path = dir.file("given-up.avi");
  auto avi = createAvi(path);
  ASSERT_NE(avi, nullptr);
  const auto data = pattern(10);
  EXPECT_FALSE(avi->commitVideoFrame(true));
  EXPECT_EQ(avi->lastFailure().code, FailureCode::AviNotWritten);

  ASSERT_NE(avi->reserveChunk(100), nullptr);
  ASSERT_TRUE(avi->putVideoFrame(data.data(), 10, true));
  EXPECT_FALSE(avi->commitVideoFrame(false));
  ASSERT_NE(avi->reserveChunk(100), nullptr);
  ASSERT_TRUE(avi->defineVideo(176, 144, 25.0, "X264"));
  EXPECT_FALSE(avi->commitAudio());
  ASSERT_NE(avi->reserveChunk(100), nullptr);
  ASSERT_TRUE(avi->flush());
  EXPECT_FALSE(avi->commitVideoFrame(true));

  AviFileTestAccess::clearFailure(*avi);
  EXPECT_EQ(avi->reserveChunk(AVI_MAX_RESERVED_LENGTH + 1), nullptr);
  EXPECT_EQ(avi->lastFailure().code, FailureCode::AviNotWritten);
  EXPECT_EQ(avi->lastFailure().errorNumber, EINVAL);
  EXPECT_FALSE(avi->commitVideoFrame(true));

  // Reserved and never committed: nothing is added.
  ASSERT_NE(avi->reserveChunk(50), nullptr);
  EXPECT_EQ(avi->indexEntryCount(), 1u);
  EXPECT_EQ(avi->videoFrameCount(), 1);
  ASSERT_TRUE(avi->finish());
  EXPECT_EQ(fileBytes(path).size(), 2048u + 18 + 8 + 16);
  EXPECT_EQ(avi->reserveChunk(10), nullptr);  // finished
}

TEST(AviChunks, AudioGoesToTheMostRecentTrack) {
  TempDir dir;
  const std::string path = dir.file("tracks.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  const auto sound = pattern(10);

  // Before any track: 01wb, counted into track 0, no audio stream declared.
  ASSERT_TRUE(writer->putAudio(sound.data(), 10));
  EXPECT_EQ(writer->streams().audio_tracks[0].byte_count, 10u);
  writer->defineVideo(176, 144, 25.0, "X264");
  EXPECT_EQ(le32(headerOf(path), 56), 1u);

  writer->addAudioTrack(1, 8000, 8, 6, 64);
  EXPECT_EQ(writer->currentAudioTrack(), 0);
  ASSERT_TRUE(writer->putAudio(sound.data(), 4));
  writer->addAudioTrack(1, 8000, 8, 6, 64);
  EXPECT_EQ(writer->currentAudioTrack(), 1);
  ASSERT_TRUE(writer->putAudio(sound.data(), 6));
  for (int t = 2; t < 8; ++t) writer->addAudioTrack(1, 8000, 8, 6, 64);
  EXPECT_EQ(writer->currentAudioTrack(), 7);
  EXPECT_EQ(writer->streams().audio_track_count, 8);
  ASSERT_TRUE(writer->putAudio(sound.data(), 2));

  EXPECT_EQ(writer->streams().audio_tracks[0].byte_count, 14u);
  EXPECT_EQ(writer->streams().audio_tracks[1].byte_count, 6u);
  EXPECT_EQ(writer->streams().audio_tracks[7].byte_count, 2u);
  ASSERT_TRUE(writer->finish());

  const auto bytes = fileBytes(path);
  EXPECT_EQ(fourcc(bytes, 2048), "01wb");
  EXPECT_EQ(fourcc(bytes, 2066), "01wb");
  EXPECT_EQ(fourcc(bytes, 2078), "02wb");
  EXPECT_EQ(fourcc(bytes, 2092), "08wb");
  EXPECT_EQ(le32(bytes, 56), 9u);
  EXPECT_EQ(le32(bytes, 212 + 52), 14u);
  EXPECT_EQ(le32(bytes, 312 + 52), 6u);
  EXPECT_EQ(le32(bytes, 912 + 52), 2u);
}

TEST(AviHeaderBlock, AudioStreamFieldsFollowSampleSize) {
  struct Case {
    std::int32_t channels, bits, formatTag, kbps;
    std::int64_t sampleSize;
    std::uint32_t blockAlign, byteRate, length;  // length for 1200 bytes
  };
  const Case cases[] = {
      {1, 8, 6, 64, 4, 1, 8000, 1200},  // the backup's A-law track
      {1, 16, 6, 64, 4, 1, 8000, 1200},
      {2, 16, 1, 1411, 4, 1, 176375, 1200},
      {2, 24, 1, 2304, 6, 1, 288000, 800},
      {2, 32, 3, 3072, 8, 2, 384000, 600},
      {3, 12, 1, 96, 6, 1, 12000, 800},
      {0, 0, 0x12345, 0, 4, 1, 0, 1200},  // only the tag's low 16 bits reach the file
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.channels << " channels, " << c.bits << " bits");
    AviAudioTrack track;
    track.channel_count = c.channels;
    track.bits_per_sample = c.bits;
    EXPECT_EQ(aviAudioSampleSize(track), c.sampleSize);

    TempDir dir;
    const std::string path = dir.file("audio.avi");
    auto writer = createAvi(path);
    ASSERT_NE(writer, nullptr);
    writer->addAudioTrack(c.channels, 8000, c.bits, c.formatTag, c.kbps);
    const auto sound = pattern(1200);
    ASSERT_TRUE(writer->putAudio(sound.data(), 1200));
    ASSERT_TRUE(writer->finish());
    const auto block = headerOf(path);
    EXPECT_EQ(fourcc(block, 232), "auds");
    EXPECT_EQ(le32(block, 252), c.blockAlign);  // scale
    EXPECT_EQ(le32(block, 256), c.byteRate);    // rate
    EXPECT_EQ(le32(block, 264), c.length);
    EXPECT_EQ(le32(block, 276), c.blockAlign);  // sample size
    EXPECT_EQ(le16(block, 296), static_cast<std::uint16_t>(c.formatTag & 0xFFFF));
    EXPECT_EQ(le16(block, 298), c.channels);
    EXPECT_EQ(le32(block, 300), 8000u);
    EXPECT_EQ(le32(block, 304), c.byteRate);
    EXPECT_EQ(le16(block, 308), c.blockAlign);
    EXPECT_EQ(le16(block, 310), c.bits);
  }
}

TEST(AviIndex, GrowsBy4096EntriesKeepingTheFirst) {
  TempDir dir;
  const std::string path = dir.file("index.avi");
  auto writer = createAvi(path);
  ASSERT_NE(writer, nullptr);
  const auto data = pattern(3);
  std::vector<std::uint8_t> expectedIndex;
  std::uint32_t offset = 2048;
  std::vector<std::uint8_t> firstEntries;

  const int total = 2 * 4096 + 1;
  for (int i = 0; i < total; ++i) {
    const auto length = static_cast<std::int32_t>(i % 4);
    ASSERT_TRUE(writer->putVideoFrame(data.data(), length, i % 25 == 0)) << i;
    appendIndexEntry(expectedIndex, {"00db", i % 25 == 0 ? 0x10u : 0u, offset, static_cast<std::uint32_t>(length)});
    offset += 8 + static_cast<std::uint32_t>(length + length % 2);
    if (i == 0) {
      EXPECT_EQ(AviFileTestAccess::indexCapacity(*writer), 4096u);
    }
    if (i == 4095) {
      EXPECT_EQ(AviFileTestAccess::indexCapacity(*writer), 4096u);
      firstEntries = AviFileTestAccess::index(*writer);
    }
    if (i == 4096) {
      EXPECT_EQ(AviFileTestAccess::indexCapacity(*writer), 8192u);
      const auto& raw = AviFileTestAccess::index(*writer);
      ASSERT_GE(raw.size(), firstEntries.size());
      EXPECT_EQ(std::memcmp(raw.data(), firstEntries.data(), firstEntries.size()), 0);
    }
  }
  EXPECT_EQ(AviFileTestAccess::indexCapacity(*writer), 3u * 4096);
  EXPECT_EQ(writer->indexEntryCount(), static_cast<std::size_t>(total));
  ASSERT_TRUE(writer->finish());

  const auto bytes = fileBytes(path);
  ASSERT_EQ(bytes.size(), offset + 8 + expectedIndex.size());
  EXPECT_EQ(fourcc(bytes, offset), "idx1");
  EXPECT_EQ(le32(bytes, offset + 4), expectedIndex.size());
  const std::vector<std::uint8_t> written(bytes.begin() + offset + 8, bytes.end());
  EXPECT_EQ(firstDifference(written, expectedIndex), -1);
  EXPECT_EQ(le32(bytes, 48), static_cast<std::uint32_t>(total));
}

TEST(AviFileLifetime, FinishesWhenDestroyed) {
  TempDir dir;
  const std::string path = dir.file("handle.avi");
  {
    auto writer = createAvi(path);
    ASSERT_NE(writer, nullptr);
    writer->defineVideo(176, 144, 25.0, "X264");
  }
  const auto bytes = fileBytes(path);
  EXPECT_EQ(bytes.size(), 2056u);
  EXPECT_EQ(fourcc(bytes, 2048), "idx1");
  EXPECT_EQ(fourcc(bytes, 212), "LIST");  // the final block's INFO list
}

}  // namespace
}  // namespace korvex
