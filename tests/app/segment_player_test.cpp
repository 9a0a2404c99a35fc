// The picking view's player on the offscreen platform: its keys step and
// jump to the frames ffmpeg decodes, the time under the picture is the
// frame's stamp, playing keeps only a few frames ahead, a damaged frame
// keeps the last good picture with a mark, and "Save still" writes the
// picture on screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <cstring>
#include <fstream>

#include "app/segment_player.h"
#include "jobs/segment_texts.h"
#include "store/frame_header.h"
#include "support/media_probe.h"
#include "support/media_samples.h"
#include "support/recorder_simulator.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::T0;
using testing::TempDir;

constexpr int PLAYER_WAIT_MS = 30000;

QImage rgbImage(const char* bytes, int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y)
    std::memcpy(image.scanLine(y), bytes + static_cast<std::ptrdiff_t>(y) * width * 3, static_cast<std::size_t>(width) * 3);
  return image;
}

class SegmentPlayerTest : public ::testing::Test {
 protected:
  SegmentPlayerTest() : zone_("UTC0") {}

  // Channel 1 for `seconds`; `damaged` spoils that picture's payload.
  void record(int seconds, std::size_t damaged = static_cast<std::size_t>(-1)) {
    testing::SimulationOptions options;
    options.fileBytes = 80000;
    options.onFrame = [&](testing::FrameSpec& frame, const testing::SimulatedPlace&) {
      if (frame.frameKind == FRAME_KIND_AUDIO) return;
      if (stamps_.size() == damaged) std::fill(frame.payload.begin() + 4, frame.payload.end(), std::uint8_t{0x5a});
      stamps_.push_back(frame.timeStamp);
      stream_.insert(stream_.end(), frame.payload.begin(), frame.payload.end());
    };
    testing::simulateRecorder(disk_.root(), {{0, 1, T0, seconds, true}}, options);
  }

  std::vector<QImage> ffmpegPictures() {
    const std::string path = out_.file("stream.h264");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(stream_.data()),
                                                static_cast<std::streamsize>(stream_.size()));
    const testing::ProgramRun run =
        testing::runProgram({"ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    std::remove(path.c_str());
    const std::size_t size = std::size_t{testing::SAMPLE_WIDTH} * testing::SAMPLE_HEIGHT * 3;
    std::vector<QImage> pictures;
    for (std::size_t at = 0; at + size <= run.out.size(); at += size)
      pictures.push_back(rgbImage(run.out.data() + at, testing::SAMPLE_WIDTH, testing::SAMPLE_HEIGHT));
    return pictures;
  }

  // Opens the segment and waits for its first frame.
  void open(SegmentPlayer& player) {
    KeyFrameSearch search;
    search.lastFolder = 1000;
    QSignalSpy shown(&player, &SegmentPlayer::frameShown);
    player.setSegment(disk_.root(), 0, search, RECORDER_TIME_MIN);
    ASSERT_TRUE(shown.wait(PLAYER_WAIT_MS));
    ASSERT_EQ(player.shownFrame(), 0u);
  }

  // Presses `key` and waits for frame `expected` to be on screen.
  static bool pressAndWait(SegmentPlayer& player, Qt::Key key, std::size_t expected) {
    QTest::keyClick(&player, key);
    return QTest::qWaitFor([&] { return player.shownFrame() == expected; }, PLAYER_WAIT_MS);
  }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
  std::vector<RecorderTime> stamps_;
  std::vector<std::uint8_t> stream_;
};

TEST_F(SegmentPlayerTest, KeysStepAndJumpToTheFramesFfmpegDecodes) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg not on PATH";
  record(3);
  const std::vector<QImage> expected = ffmpegPictures();
  ASSERT_EQ(expected.size(), 75u);
  SegmentPlayer player;
  player.resize(500, 500);
  player.show();
  open(player);
  struct Step {
    Qt::Key key;
    std::size_t frame;
  };
  // Steps, a key-frame jump, a step back across the key frame, jumps back,
  // the ends.
  const Step steps[] = {{Qt::Key_Right, 1},    {Qt::Key_Right, 2},   {Qt::Key_PageDown, 25}, {Qt::Key_Left, 24},
                        {Qt::Key_Left, 23},    {Qt::Key_PageUp, 0},  {Qt::Key_End, 74},      {Qt::Key_PageUp, 50},
                        {Qt::Key_PageUp, 25},  {Qt::Key_Home, 0},    {Qt::Key_Left, 0}};
  for (const Step& step : steps) {
    ASSERT_TRUE(pressAndWait(player, step.key, step.frame)) << step.frame << " shown " << player.shownFrame();
    EXPECT_TRUE(player.shownDecoded());
    EXPECT_EQ(player.shownPicture().convertToFormat(QImage::Format_RGB888), expected[step.frame]) << step.frame;
    const QString caption = player.caption()->text();
    EXPECT_TRUE(caption.startsWith(QString::fromStdString(segmentTimeText(stamps_[step.frame])))) << caption.toStdString();
    EXPECT_EQ(player.position()->value(), static_cast<int>(step.frame));
  }
  // A typed recorder time goes to the first frame of its second.
  EXPECT_TRUE(player.goToTime(QString::fromStdString(segmentTimeText(T0 + 2))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return player.shownFrame() == 50; }, PLAYER_WAIT_MS));
  EXPECT_FALSE(player.goToTime(QStringLiteral("2001-01-01 00:00:00")));
  EXPECT_FALSE(player.goToTime(QStringLiteral("yesterday")));
  // Escape is not the player's: it leaves it to the window.
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&player, &escape);
  EXPECT_FALSE(escape.isAccepted());
}

TEST_F(SegmentPlayerTest, KeysAreThePlayersOnlyWhileItHasTheFocus) {
  record(2);
  QWidget window;
  auto* field = new QLineEdit(&window);
  auto* player = new SegmentPlayer(&window);
  auto* column = new QVBoxLayout(&window);
  column->addWidget(field);
  column->addWidget(player);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  open(*player);
  struct Case {
    QWidget* focus;
    std::size_t frame;  // after Right, End and Left
  };
  const Case cases[] = {{field, 0}, {player, 48}, {field, 48}};
  for (const Case& c : cases) {
    c.focus->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == c.focus; }, PLAYER_WAIT_MS));
    for (const Qt::Key key : {Qt::Key_Right, Qt::Key_End, Qt::Key_Left}) QTest::keyClick(static_cast<QWidget*>(nullptr), key);
    QTest::qWait(200);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player->shownFrame() == c.frame; }, PLAYER_WAIT_MS)) << player->shownFrame();
  }
}

TEST_F(SegmentPlayerTest, PlayingKeepsAFewFramesAheadAndSpaceStopsIt) {
  record(4);
  SegmentPlayer player;
  player.show();
  open(player);
  player.setSpeedEighths(64);
  std::size_t mostQueued = 0;
  std::vector<std::size_t> shown;
  QObject::connect(&player, &SegmentPlayer::frameShown, [&](std::size_t frame) {
    shown.push_back(frame);
    mostQueued = std::max(mostQueued, player.feeder()->framesQueued());
  });
  QTest::keyClick(&player, Qt::Key_Space);
  EXPECT_TRUE(player.playing());
  ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() >= 30; }, PLAYER_WAIT_MS));
  QTest::keyClick(&player, Qt::Key_Space);
  EXPECT_FALSE(player.playing());
  EXPECT_LE(mostQueued, FrameFeeder::FRAMES_AHEAD);
  // In order, one after the other.
  for (std::size_t k = 0; k < shown.size(); ++k) EXPECT_EQ(shown[k], k + 1);
  // Played to its end, it stops on its last frame.
  player.play();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !player.playing(); }, PLAYER_WAIT_MS));
  EXPECT_EQ(player.shownFrame(), 99u);
}

TEST_F(SegmentPlayerTest, DamagedFrameKeepsTheLastGoodPictureMarked) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg not on PATH";
  record(2, 30);
  const std::vector<QImage> decoded = ffmpegPictures();  // ffmpeg skips the damaged one
  SegmentPlayer player;
  player.show();
  open(player);
  player.showFrame(29);
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.shownFrame() == 29; }, PLAYER_WAIT_MS));
  const QImage good = player.shownPicture();
  ASSERT_TRUE(pressAndWait(player, Qt::Key_Right, 30));
  EXPECT_FALSE(player.shownDecoded());
  EXPECT_EQ(player.shownPicture(), good);
  EXPECT_TRUE(player.caption()->text().startsWith(QString::fromStdString(segmentTimeText(stamps_[30]))));
  EXPECT_FALSE(player.caption()->styleSheet().isEmpty());  // the mark
  // Playing goes on past it.
  player.play();
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.shownFrame() >= 40; }, PLAYER_WAIT_MS));
  player.pause();
  // Back to the key frame before the damage: the picture ffmpeg decodes.
  ASSERT_TRUE(pressAndWait(player, Qt::Key_PageUp, 25));
  EXPECT_TRUE(player.shownDecoded());
  EXPECT_EQ(player.shownPicture().convertToFormat(QImage::Format_RGB888), decoded[25]);
}

TEST_F(SegmentPlayerTest, SaveStillWritesThePictureOnScreen) {
  record(2);
  SegmentPlayer player;
  player.setOutputFolderOfForm([this] { return out_.path(); });
  player.setClockOffset(90);
  player.show();
  open(player);
  ASSERT_TRUE(pressAndWait(player, Qt::Key_Right, 1));
  QSignalSpy saved(&player, &SegmentPlayer::stillSaved);
  player.saveStill();
  ASSERT_TRUE(saved.wait(PLAYER_WAIT_MS));
  const QString path = saved.at(0).at(0).toString();
  ASSERT_FALSE(path.isEmpty()) << saved.at(0).at(1).toString().toStdString();
  EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_RGB888),
            player.shownPicture().convertToFormat(QImage::Format_RGB888));
  std::ifstream json(path.toStdString().substr(0, path.size() - 4) + ".json");
  const std::string record((std::istreambuf_iterator<char>(json)), {});
  EXPECT_NE(record.find("\"frameInSegment\": 1"), std::string::npos) << record;
  EXPECT_NE(record.find("\"clockOffsetSeconds\": 90"), std::string::npos) << record;
}

}  // namespace
}  // namespace korvex
