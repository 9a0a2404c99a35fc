// The picking view over real jobs: a scan fills the table and the time line
// with the report's rows, a pick sets the form and backs up exactly the
// picked segments, and the pictures are those ffmpeg decodes.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>
#include <cstdio>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "app/control_ids.h"
#include "app/picture_loader.h"
#include "app/segment_browser.h"
#include "app/segment_table_model.h"
#include "app/timeline_view.h"
#include "app/window_fixture.h"
#include "jobs/custody_log.h"
#include "jobs/scan_report.h"
#include "store/record_types.h"
#include "support/disk_images.h"
#include "support/media_probe.h"
#include "support/media_samples.h"
#include "support/recorder_simulator.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::T0;
using testing::TempDir;
using testing::WAIT_MS;

constexpr std::time_t STARTED = 1796112000;
void click(const MainDialog& window, int id) { QTest::mouseClick(window.control(id), Qt::LeftButton); }

void typeInto(QLineEdit* edit, const std::string& text) {
  edit->selectAll();
  QTest::keyClicks(edit, QString::fromStdString(text));
}

bool tickUntilIdle(MainDialog& window) {
  return QTest::qWaitFor(
      [&window] {
        testing::tickJob(window);
        return !window.jobWorkerRunning() && window.startBackupButton()->isEnabled();
      },
      WAIT_MS);
}

// One report row's fields, in the texts the table shows.
struct ReportRow {
  int channel = 0;
  std::string mode, start, end, duration, size;
  int folder = 0;
};

std::vector<ReportRow> reportRows(const std::string& report) {
  std::vector<ReportRow> rows;
  std::istringstream lines(report);
  std::string line;
  std::getline(lines, line);  // the column titles
  while (std::getline(lines, line)) {
    ReportRow row;
    int serial = 0, y0, m0, d0, h0, i0, s0, y1, m1, d1, h1, i1, s1, dh, dm, ds, size;
    char mode[16] = {}, unit = 0;
    if (std::sscanf(line.c_str(), "%d | %d | %15s | %d.%d.%d %d:%d:%d | %d.%d.%d %d:%d:%d |%d:%d:%d | %d%c | %d", &serial,
                    &row.channel, mode, &y0, &m0, &d0, &h0, &i0, &s0, &y1, &m1, &d1, &h1, &i1, &s1, &dh, &dm, &ds,
                    &size, &unit, &row.folder) != 21)
      continue;
    char text[64];
    row.mode = mode;
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y0, m0, d0, h0, i0, s0);
    row.start = text;
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y1, m1, d1, h1, i1, s1);
    row.end = text;
    std::snprintf(text, sizeof text, "%d:%02d:%02d", dh, dm, ds);
    row.duration = text;
    row.size = std::to_string(size) + unit;
    rows.push_back(row);
  }
  return rows;
}

std::string cell(const SegmentTableModel& model, int row, int column) {
  return model.data(model.index(row, column)).toString().toStdString();
}

QImage asRgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB888); }

// ffmpeg's picture of the sample's first key frame, as RGB at a size.
QImage ffmpegPicture(const TempDir& dir, const std::vector<std::uint8_t>& unit, int width, int height) {
  const std::string path = dir.file("key.h264");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(unit.data()),
                                              static_cast<std::streamsize>(unit.size()));
  const testing::ProgramRun run = testing::runProgram(
      {"ffmpeg", "-v", "error", "-i", path, "-frames:v", "1", "-vf",
       "scale=" + std::to_string(width) + ":" + std::to_string(height) + ":flags=bicubic", "-f", "rawvideo",
       "-pix_fmt", "rgb24", "-"});
  if (run.exitStatus != 0 || run.out.size() != static_cast<std::size_t>(width * height * 3)) return {};
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y)
    std::memcpy(image.scanLine(y), run.out.data() + static_cast<std::size_t>(y) * width * 3, static_cast<std::size_t>(width) * 3);
  return image;
}

// The largest difference of any colour of any pixel.
int largestDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width() * 3; ++x)
      largest = std::max(largest, std::abs(int{a.constScanLine(y)[x]} - int{b.constScanLine(y)[x]}));
  return largest;
}

// The window's language list set to entry `index`.
void chooseLanguage(MainDialog& window, int index) {
  qobject_cast<QComboBox*>(window.control(ID_LANGUAGE_LIST))->setCurrentIndex(index);
  window.onLanguageChanged();
}

// A disk image with an MBR and two ext4 partitions, each holding a store
// with a segment of channel 1 at T0: on partition 1 its frames do not decode,
// on partition 2 they are the sample's pictures. "" or what went wrong.
std::string twoStoreImage(const TempDir& work, std::string& image) {
  const std::string missing = testing::missingTools({"mkfs.ext4", "sfdisk"});
  if (!missing.empty()) return missing;
  const std::string first = work.path() + "/first/";
  testing::StoreWriter store(first);
  store.writeFile(0, 0, testing::RecordingFileBuilder()
                            .frame(testing::keyedFrame(0, 5, 6, T0))
                            .frame(testing::keyedFrame(0, 5, 6, T0 + 1))
                            .timesFromFrames());
  store.fillFolder(0);
  const std::string second = work.path() + "/second/";
  testing::SimulationOptions options;
  options.fileBytes = 60000;
  testing::simulateRecorder(second, {{0, 1, T0, 3, false}}, options);
  std::string error = testing::makeExt4Image(first, work.file("p1.img"), 16 * 1024 * 1024);
  if (error.empty()) error = testing::makeExt4Image(second, work.file("p2.img"), 16 * 1024 * 1024);
  image = work.file("mbr.img");
  if (error.empty())
    error = testing::makePartitionedImage(image, {{work.file("p1.img"), "83"}, {work.file("p2.img"), "83"}});
  return error;
}

class SegmentViewTest : public testing::WindowTest {
 protected:
  SegmentViewTest() : zone_("UTC0") {}

  // Real media: channel 1 twice (Time, then Time again after a pause),
  // channel 3 (Motion) beside the first, channel 2 (Sensor) later; small
  // recording files so segments run over several.
  void writeStore() {
    testing::SimulationOptions options;
    options.fileBytes = 60000;
    testing::simulateRecorder(disk_.root(),
                              {{0, 1, T0, 3, false}, {2, 2, T0 + 1, 3, false}, {0, 1, T0 + 10, 2, false},
                               {1, 4, T0 + 20, 2, false}},
                              options);
  }

  std::unique_ptr<MainDialog> scannedWindow() {
    auto window = showWindow();
    click(*window, ID_ADVANCED_SETTING);
    typeInto(qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->lineEdit(), disk_.root());
    typeInto(qobject_cast<QLineEdit*>(window->control(ID_OUTPUT_FOLDER)), out_.path());
    ScanOptions options;
    options.startedAt = STARTED;
    window->setScanOptions(options);
    click(*window, ID_SCAN);
    EXPECT_TRUE(tickUntilIdle(*window));
    window->segmentBrowser()->takeScannedSegments();
    QApplication::processEvents();
    messages.clear();  // the scan's own end
    return window;
  }

  // The middle of a segment's bar on the time line.
  static QPoint barOf(const SegmentBrowser& browser, std::uint32_t segment) {
    const SegmentRecord& s = browser.segments()[segment];
    const TimelineView& timeline = *browser.timeline();
    const int lane = browser.segments().laneOfChannel(s.channel);
    const int x = (timeline.xOfTime(s.startTime) + timeline.xOfTime(std::int64_t{s.endTime} + 1)) / 2;
    return {x, timeline.laneTop(lane) + timeline.laneHeight() / 2};
  }

  std::vector<std::string> aviFiles() const { return testing::listFiles(out_.path(), "folder=", ".avi"); }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
};

TEST_F(SegmentViewTest, ScanFillsTheTableAndTheLanesWithTheReportsRows) {
  writeStore();
  auto window = scannedWindow();
  SegmentBrowser& browser = *window->segmentBrowser();
  EXPECT_TRUE(browser.isVisible());
  const auto rows = reportRows(testing::readTextFile(out_.path() + "/ScanFile_2026_12_1_8_0_0.txt"));
  ASSERT_EQ(rows.size(), 4u);
  const SegmentTableModel& model = *browser.model();
  ASSERT_EQ(model.rowCount(), 4);
  for (int k = 0; k < 4; ++k) {
    const ReportRow& row = rows[static_cast<std::size_t>(k)];
    EXPECT_EQ(cell(model, k, SegmentTableModel::Channel), std::to_string(row.channel)) << k;
    EXPECT_EQ(cell(model, k, SegmentTableModel::RecordType), row.mode) << k;
    EXPECT_EQ(cell(model, k, SegmentTableModel::Start), row.start) << k;
    EXPECT_EQ(cell(model, k, SegmentTableModel::End), row.end) << k;
    EXPECT_EQ(cell(model, k, SegmentTableModel::Duration), row.duration) << k;
    EXPECT_EQ(cell(model, k, SegmentTableModel::Size), row.size) << k;
    EXPECT_EQ(cell(model, k, SegmentTableModel::Folder), std::to_string(row.folder)) << k;
  }

  // One lane per channel with recordings, and each row's bar in its lane,
  // in its record type's colour.
  const auto& lanes = browser.segments().lanes();
  ASSERT_EQ(lanes.size(), 3u);
  std::set<int> channels;
  for (const ReportRow& row : rows) channels.insert(row.channel);
  std::size_t laneSegments = 0;
  for (const auto& lane : lanes) {
    EXPECT_TRUE(channels.count(lane.channel + 1)) << lane.channel;
    laneSegments += lane.byStart.size();
  }
  EXPECT_EQ(laneSegments, rows.size());
  const QImage painted = browser.timeline()->grab().toImage();
  for (std::uint32_t k = 0; k < 4; ++k) {
    const QPoint at = barOf(browser, k) * painted.devicePixelRatio();
    EXPECT_EQ(QColor(painted.pixel(at)), TimelineView::recordTypeColour(browser.segments()[k].recordType)) << k;
    EXPECT_EQ(browser.timeline()->segmentAt(barOf(browser, k)), k);
  }

  // Sorting and filtering reorder the rows only.
  browser.table()->sortByColumn(SegmentTableModel::Start, Qt::DescendingOrder);
  std::string latest;
  for (const ReportRow& row : rows) latest = std::max(latest, row.start);
  EXPECT_EQ(cell(model, 0, SegmentTableModel::Start), latest);
  EXPECT_EQ(model.rowCount(), 4);
  browser.channelFilter()->setCurrentIndex(browser.channelFilter()->findData(0));
  emit browser.channelFilter()->activated(browser.channelFilter()->currentIndex());
  EXPECT_EQ(model.rowCount(), 2);
  browser.typeFilter()->setCurrentIndex(browser.typeFilter()->findData(2));
  emit browser.typeFilter()->activated(browser.typeFilter()->currentIndex());
  EXPECT_EQ(model.rowCount(), 0);

  // The date pickers' calendars mark the day with recordings.
  auto* calendar = qobject_cast<QDateEdit*>(window->control(ID_BEGIN_DATE))->calendarWidget();
  ASSERT_NE(calendar, nullptr);
  EXPECT_EQ(calendar->dateTextFormat(QDate(2012, 5, 4)).fontWeight(), QFont::Bold);
  EXPECT_NE(calendar->dateTextFormat(QDate(2012, 5, 5)).fontWeight(), QFont::Bold);
}

TEST_F(SegmentViewTest, PickedSegmentsSetTheFormAndAreBackedUpExactly) {
  writeStore();
  auto window = scannedWindow();
  SegmentBrowser& browser = *window->segmentBrowser();
  TimelineView* timeline = browser.timeline();
  // Segments by serial: 0 ch1 Time T0, 1 ch3 Motion T0+1 (ends first? by key order), 2 ch1 Time T0+10, 3 ch2 Sensor.
  std::uint32_t first = 0, fourth = 0;
  for (std::uint32_t k = 0; k < 4; ++k) {
    if (browser.segments()[k].startTime == T0) first = k;
    if (browser.segments()[k].startTime == T0 + 20) fourth = k;
  }
  QTest::mouseClick(timeline, Qt::LeftButton, {}, barOf(browser, first));
  QTest::mouseClick(timeline, Qt::LeftButton, Qt::ControlModifier, barOf(browser, fourth));
  EXPECT_EQ(browser.pickedSegments(), (std::vector<std::uint32_t>{std::min(first, fourth), std::max(first, fourth)}));
  EXPECT_EQ(browser.table()->selectionModel()->selectedRows().size(), 2);

  // The form shows the pick: channels 1 and 2, the span of both, their types.
  for (int k = 0; k < 16; ++k)
    EXPECT_EQ(qobject_cast<QCheckBox*>(window->control(ID_CHANNEL_FIRST + k))->isChecked(), k == 0 || k == 1) << k;
  EXPECT_EQ(qobject_cast<QTimeEdit*>(window->control(ID_BEGIN_TIME))->time(), QTime(8, 9, 10));
  EXPECT_EQ(qobject_cast<QTimeEdit*>(window->control(ID_END_TIME))->time(), QTime(8, 9, 31));
  EXPECT_TRUE(qobject_cast<QCheckBox*>(window->control(ID_TYPE_TIME))->isChecked());
  EXPECT_FALSE(qobject_cast<QCheckBox*>(window->control(ID_TYPE_MOTION))->isChecked());
  EXPECT_TRUE(qobject_cast<QCheckBox*>(window->control(ID_TYPE_SENSOR))->isChecked());
  const auto windows = browser.pickedWindows();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[0], (PickedWindow{0b01, T0, T0 + 2, 1u << RECORD_TYPE_TIME}));
  EXPECT_EQ(windows[1], (PickedWindow{0b10, T0 + 20, T0 + 21, 1u << RECORD_TYPE_SENSOR}));

  // The form's window alone would also take channel 1's second segment;
  // the backup of the selection takes the two picked ones only.
  QTest::mouseClick(browser.backUpSelectionButton(), Qt::LeftButton);
  EXPECT_TRUE(tickUntilIdle(*window));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Finished!\r\nFiles written=2, "))) << messages[0].toStdString();
  std::vector<std::string> expected;
  for (std::uint32_t k : {first, fourth}) {
    const SegmentRecord& s = browser.segments()[k];
    const CalendarTime c = recorderTimeToCalendar(s.startTime);
    char name[160];
    std::snprintf(name, sizeof name, "/folder=%d_file=%d_chn%d_%s_%d_%d_%d_%d_%d_%d.avi", s.firstFrame.folder,
                  s.firstFrame.file, s.channel + 1, k == first ? "Time" : "Sensor", c.year, c.month, c.day, c.hour,
                  c.minute, c.second);
    expected.push_back(out_.path() + name);
  }
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(aviFiles(), expected);
  if (!testing::programOnPath("ffprobe")) GTEST_SKIP() << "ffprobe not on PATH";
  for (std::size_t k = 0; k < expected.size(); ++k) {
    const testing::MediaProbe probe = testing::probeMedia(expected[k]);
    const auto video = probe.streamsOfType("video");
    ASSERT_EQ(video.size(), 1u) << expected[k];
    // 25 pictures a second: 3 seconds of channel 1, 2 of channel 2.
    EXPECT_EQ(video[0].at("nb_read_frames"), expected[k].find("chn1_") != std::string::npos ? "75" : "50") << expected[k];
  }
  // A plain backup afterwards is the form's selection again.
  EXPECT_TRUE(window->onStartBackup());
  EXPECT_TRUE(tickUntilIdle(*window));
  EXPECT_EQ(aviFiles().size(), 5u);  // the two again (named _2) and channel 1's second segment
}

TEST_F(SegmentViewTest, DragPicksAcrossLanesAndTheTablePicksForTheTimeLine) {
  writeStore();
  auto window = scannedWindow();
  SegmentBrowser& browser = *window->segmentBrowser();
  TimelineView* timeline = browser.timeline();
  // From before the first segment to T0+2, over every lane: the two
  // segments that have begun by then.
  const int lanes = static_cast<int>(browser.segments().lanes().size());
  const QPoint from(timeline->xOfTime(T0 - 1), timeline->laneTop(0) + 2);
  const QPoint to(timeline->xOfTime(T0 + 2), timeline->laneTop(lanes - 1) + timeline->laneHeight() - 3);
  QTest::mousePress(timeline, Qt::LeftButton, {}, from);
  QTest::mouseMove(timeline, (from + to) / 2);
  QTest::mouseMove(timeline, to);
  QTest::mouseRelease(timeline, Qt::LeftButton, {}, to);
  std::set<RecorderTime> starts;
  for (std::uint32_t k : browser.pickedSegments()) starts.insert(browser.segments()[k].startTime);
  EXPECT_EQ(starts, (std::set<RecorderTime>{T0, T0 + 1}));
  EXPECT_EQ(browser.table()->selectionModel()->selectedRows().size(), 2);

  // A row picked in the table is the time line's pick too.
  browser.table()->selectRow(3);
  EXPECT_EQ(browser.pickedSegments(), std::vector<std::uint32_t>{browser.model()->segmentAt(3)});
  // A click on no segment picks nothing.
  QTest::mouseClick(timeline, Qt::LeftButton, {}, QPoint(timeline->xOfTime(T0 + 15), timeline->laneTop(0) + 5));
  EXPECT_TRUE(browser.pickedSegments().empty());
  EXPECT_FALSE(browser.backUpSelectionButton()->isEnabled());
}

TEST_F(SegmentViewTest, PicturesAreTheKeyFramesAsFfmpegDecodesThem) {
  if (!testing::programOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg not on PATH";
  writeStore();
  auto window = scannedWindow();
  SegmentBrowser& browser = *window->segmentBrowser();
  const auto& key = testing::sampleVideo().front().bytes;

  // The picked segment's first key frame beside the table, fitted in its box.
  browser.table()->selectRow(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !browser.picture()->pixmap().isNull(); }, WAIT_MS));
  const QImage shown = asRgb(browser.picture()->pixmap().toImage());
  EXPECT_EQ(shown.size(), QSize(220, 180));
  const QImage reference = ffmpegPicture(out_, key, 220, 180);
  ASSERT_FALSE(reference.isNull());
  EXPECT_LE(largestDifference(shown, reference), 2);
  EXPECT_EQ(browser.pictureCaption()->text(),
            QStringLiteral("Ch %1  %2")
                .arg(browser.segments()[browser.model()->segmentAt(0)].channel + 1)
                .arg(QString::fromStdString(segmentTimeText(browser.segments()[browser.model()->segmentAt(0)].startTime))));

  // The pointer resting on a segment shows the key frame nearest its time,
  // here at the picture's own size.
  TimelineView* timeline = browser.timeline();
  std::uint32_t first = 0;
  for (std::uint32_t k = 0; k < 4; ++k)
    if (browser.segments()[k].startTime == T0) first = k;
  const QPoint at(timeline->xOfTime(T0), barOf(browser, first).y());
  QTest::mouseMove(timeline, at);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !timeline->hoverPicture().isNull(); }, WAIT_MS));
  const QImage hover = asRgb(timeline->hoverPicture());
  const QImage own = ffmpegPicture(out_, key, testing::SAMPLE_WIDTH, testing::SAMPLE_HEIGHT);
  EXPECT_EQ(largestDifference(hover, own), 0);
  EXPECT_TRUE(timeline->hoverCaption().endsWith(QString::fromStdString(segmentTimeText(T0))));
}

TEST_F(SegmentViewTest, PayloadThatDoesNotDecodeShowsAPlaceholder) {
  testing::StoreWriter store(disk_.root());
  store.writeFile(0, 0, testing::RecordingFileBuilder()
                            .frame(testing::keyedFrame(0, 5, 6, T0))
                            .frame(testing::keyedFrame(0, 5, 6, T0 + 1))
                            .timesFromFrames());
  store.fillFolder(0);
  auto window = scannedWindow();
  SegmentBrowser& browser = *window->segmentBrowser();
  ASSERT_EQ(browser.model()->rowCount(), 1);
  QSignalSpy shown(&browser, &SegmentBrowser::pictureShown);
  browser.table()->selectRow(0);
  ASSERT_TRUE(shown.wait(WAIT_MS));
  EXPECT_TRUE(browser.picture()->pixmap().isNull());
  EXPECT_TRUE(browser.picture()->text().startsWith(QStringLiteral("No picture: The picture cannot be decoded: ")))
      << browser.picture()->text().toStdString();
  // The placeholder follows the language; the decoder's detail stays.
  const QString detail = browser.picture()->text().mid(QStringLiteral("No picture: The picture cannot be decoded: ").size());
  EXPECT_FALSE(detail.isEmpty());
  chooseLanguage(*window, 1);
  EXPECT_EQ(browser.picture()->text(), QStringLiteral("无画面: 画面无法解码: ") + detail);
  chooseLanguage(*window, 0);
  EXPECT_EQ(browser.picture()->text(), QStringLiteral("No picture: The picture cannot be decoded: ") + detail);
}

TEST_F(SegmentViewTest, ScanLogOpensIntoTheViewWithItsPictures) {
  writeStore();
  auto window = scannedWindow();
  SegmentBrowser& browser = *window->segmentBrowser();
  // A log of two of the scan's segments, in the custody log's shape.
  nlohmann::json segments = nlohmann::json::array();
  int serial = 0;
  for (const SegmentRecord& s : browser.segments().segments()) {
    if (s.channel != 0) continue;
    segments.push_back({{"serial", ++serial}, {"channel", s.channel + 1}, {"recordType", "Time"},
                        {"recordTypeCode", s.recordType}, {"start", {{"recorder", s.startTime}, {"text", ""}}},
                        {"end", {{"recorder", s.endTime}, {"text", ""}}}, {"durationSeconds", s.endTime - s.startTime},
                        {"bytes", s.byteCount}, {"size", "1K"}, {"startFolder", s.startFolder}});
  }
  const std::string path = out_.file("scan.json");
  std::ofstream(path) << nlohmann::json{{"job", "scan"}, {"segments", segments}}.dump();
  ASSERT_TRUE(browser.openScanLog(QString::fromStdString(path)));
  EXPECT_EQ(browser.model()->rowCount(), 2);
  ASSERT_EQ(browser.segments().lanes().size(), 1u);
  EXPECT_EQ(browser.segments().lanes()[0].channel, 0);
  // Its pictures are found by the segments' times on the form's disk.
  browser.table()->selectRow(1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !browser.picture()->pixmap().isNull(); }, WAIT_MS));
  EXPECT_TRUE(browser.pictureCaption()->text().endsWith(QString::fromStdString(segmentTimeText(T0 + 10))));

  std::ofstream(out_.file("other.json")) << R"({"job": "backup"})";
  EXPECT_FALSE(browser.openScanLog(QString::fromStdString(out_.file("other.json"))));
  EXPECT_EQ(messages, std::vector<QString>{QString::fromStdString("Cannot open the scan's log: " + out_.file("other.json") +
                                                                   ": not the log of a scan")});
  EXPECT_EQ(browser.model()->rowCount(), 2);  // what was shown stays
}

TEST_F(SegmentViewTest, PickedWindowsMergeOnlySpansOfOneChannelAndRecordType) {
  auto window = makeWindow();
  SegmentBrowser& browser = *window->segmentBrowser();
  auto segment = [](std::int32_t channel, std::int32_t type, RecorderTime start, RecorderTime end) {
    SegmentRecord s;
    s.channel = channel;
    s.recordType = type;
    s.startTime = start;
    s.endTime = end;
    return s;
  };
  // Channel 1: Time, Motion from within its last second, Time again from
  // within Motion's; channel 2: Time meeting the first one's span.
  browser.showSegments({segment(0, RECORD_TYPE_TIME, T0, T0 + 1), segment(0, RECORD_TYPE_MOTION, T0 + 1, T0 + 3),
                        segment(0, RECORD_TYPE_TIME, T0 + 2, T0 + 5), segment(1, RECORD_TYPE_TIME, T0 + 1, T0 + 4),
                        segment(0, RECORD_TYPE_TIME, T0 + 9, T0 + 9)},
                       {}, false);
  constexpr std::uint32_t TIME = 1u << RECORD_TYPE_TIME;
  constexpr std::uint32_t MOTION = 1u << RECORD_TYPE_MOTION;
  struct Case {
    std::vector<std::uint32_t> picked;
    std::vector<PickedWindow> windows;
  };
  const Case cases[] = {
      {{0}, {{0b01, T0, T0 + 1, TIME}}},
      {{0, 1}, {{0b01, T0, T0 + 1, TIME}, {0b01, T0 + 1, T0 + 3, MOTION}}},
      {{0, 2}, {{0b01, T0, T0 + 5, TIME}}},
      {{0, 1, 2, 3, 4},
       {{0b01, T0, T0 + 5, TIME}, {0b01, T0 + 9, T0 + 9, TIME}, {0b01, T0 + 1, T0 + 3, MOTION},
        {0b10, T0 + 1, T0 + 4, TIME}}},
  };
  for (const Case& c : cases) {
    browser.pick(c.picked, TimelineView::PickMode::Replace);
    EXPECT_EQ(browser.pickedWindows(), c.windows) << c.picked.size();
  }
}

// The loader reads the partition it is asked for, and opens the disk again
// when only the partition changes.
TEST_F(SegmentViewTest, PictureLoaderReadsThePartitionAsked) {
  TempDir work;
  std::string image;
  const std::string error = twoStoreImage(work, image);
  if (error.find("missing") != std::string::npos) GTEST_SKIP() << error;
  ASSERT_EQ(error, "");
  PictureLoader loader;
  std::uint64_t answered = 0;
  QImage picture;
  QString problem;
  QObject::connect(&loader, &PictureLoader::pictureReady,
                   [&](std::uint64_t request, const QImage& shown, RecorderTime, PictureProblem, const QString& why) {
                     answered = request;
                     picture = shown;
                     problem = why;
                   });
  KeyFrameSearch search;
  search.channel = 0;
  search.lastFile = FILES_PER_FOLDER - 1;
  search.from = T0;
  search.until = T0 + 10;
  struct Case {
    int partition;
    bool picture;
  };
  // 0 is the first partition that holds a store: the first.
  const Case cases[] = {{2, true}, {1, false}, {2, true}, {0, false}, {2, true}};
  for (const Case& c : cases) {
    const std::uint64_t request = loader.request(image, c.partition, search, 0, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return answered == request; }, WAIT_MS)) << c.partition;
    EXPECT_EQ(!picture.isNull(), c.picture) << c.partition << ": " << problem.toStdString();
    if (c.picture) EXPECT_EQ(picture.size(), QSize(testing::SAMPLE_WIDTH, testing::SAMPLE_HEIGHT));
    else EXPECT_FALSE(problem.isEmpty()) << c.partition;
  }
}

// The scan's pictures come from the partition the scan read, and so do an
// opened log's, whatever disk the form holds: the log names its disk.
TEST_F(SegmentViewTest, PicturesComeFromThePartitionOfTheForm) {
  TempDir work;
  std::string image;
  const std::string error = twoStoreImage(work, image);
  if (error.find("missing") != std::string::npos) GTEST_SKIP() << error;
  ASSERT_EQ(error, "");
  auto window = showWindow();
  click(*window, ID_ADVANCED_SETTING);
  typeInto(qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->lineEdit(), image);
  typeInto(qobject_cast<QLineEdit*>(window->control(ID_OUTPUT_FOLDER)), out_.path());
  auto* partition = window->findChild<QSpinBox*>(QStringLiteral("partition"));
  ASSERT_NE(partition, nullptr);
  partition->setValue(2);
  ScanOptions options;
  options.startedAt = STARTED;
  window->setScanOptions(options);
  click(*window, ID_SCAN);
  ASSERT_TRUE(tickUntilIdle(*window));
  SegmentBrowser& browser = *window->segmentBrowser();
  browser.takeScannedSegments();
  ASSERT_EQ(browser.model()->rowCount(), 1);
  EXPECT_EQ(browser.disk().partition, 2);
  EXPECT_EQ(browser.disk().disk, image);

  auto pictureOfRow = [&browser] {
    QSignalSpy shown(&browser, &SegmentBrowser::pictureShown);
    browser.table()->clearSelection();
    browser.table()->selectRow(0);
    EXPECT_TRUE(shown.wait(WAIT_MS));
    return browser.picture()->pixmap().toImage();
  };
  const QImage scanned = pictureOfRow();
  ASSERT_FALSE(scanned.isNull()) << browser.picture()->text().toStdString();
  if (testing::programOnPath("ffmpeg")) {
    const QImage reference = ffmpegPicture(out_, testing::sampleVideo().front().bytes, 220, 180);
    ASSERT_FALSE(reference.isNull());
    EXPECT_LE(largestDifference(asRgb(scanned), reference), 2);
  }

  // The scan's log, opened with another partition or another disk in the form.
  const std::vector<std::string> logs = testing::listFiles(out_.path(), "", ".json");
  ASSERT_EQ(logs.size(), 1u);
  auto* drive = qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST));
  for (const std::string& formDisk : {image, out_.path()}) {
    SCOPED_TRACE(formDisk);
    drive->setEditText(QString::fromStdString(formDisk));
    partition->setValue(1);
    ASSERT_TRUE(browser.openScanLog(QString::fromStdString(logs[0])));
    EXPECT_EQ(browser.disk().disk, image);
    EXPECT_EQ(browser.disk().partition, 2);
    EXPECT_FALSE(pictureOfRow().isNull()) << browser.picture()->text().toStdString();
    // A backup of picked segments reads the same disk.
    EXPECT_EQ(drive->currentText().toStdString(), image);
    EXPECT_EQ(partition->value(), 2);
  }
}

TEST_F(SegmentViewTest, TextsFollowTheLanguageList) {
  writeStore();
  auto window = scannedWindow();
  SegmentBrowser& browser = *window->segmentBrowser();
  const SegmentTableModel& model = *browser.model();
  int timeRow = -1;
  for (int row = 0; row < model.rowCount(); ++row)
    if (browser.segments()[model.segmentAt(row)].recordType == RECORD_TYPE_TIME) timeRow = row;
  ASSERT_GE(timeRow, 0);
  auto header = [&model](int column) { return model.headerData(column, Qt::Horizontal).toString(); };
  struct Text {
    const char* what;
    std::function<QString()> shown;
    QString english, chinese;
  };
  const Text texts[] = {
      {"toggle", [&] { return window->segmentViewToggle()->text(); }, "Segments and timeline", "录像段与时间轴"},
      {"open log", [&] { return browser.openScanLogButton()->text(); }, "Open scan log...", "打开扫描日志..."},
      {"back up", [&] { return browser.backUpSelectionButton()->text(); }, "Back up selection", "备份所选录像段"},
      {"whole disk", [&] { return browser.wholeDiskButton()->text(); }, "Whole disk", "整个硬盘"},
      {"zoom out", [&] { return browser.zoomOutButton()->text(); }, "Zoom out", "缩小"},
      {"channel column", [&] { return header(SegmentTableModel::Channel); }, "Channel", "通道"},
      {"duration column", [&] { return header(SegmentTableModel::Duration); }, "Duration", "时长"},
      {"folder column", [&] { return header(SegmentTableModel::Folder); }, "Folder", "目录"},
      {"type cell", [&] { return model.data(model.index(timeRow, SegmentTableModel::RecordType)).toString(); },
       "Time", "定时"},
      {"every channel", [&] { return browser.channelFilter()->itemText(0); }, "All channels", "全部通道"},
      {"channel 1", [&] { return browser.channelFilter()->itemText(browser.channelFilter()->findData(0)); },
       "Channel 1", "通道 1"},
      {"every type", [&] { return browser.typeFilter()->itemText(0); }, "All types", "全部类型"},
      {"motion", [&] { return browser.typeFilter()->itemText(browser.typeFilter()->findData(RECORD_TYPE_MOTION)); },
       "Motion", "移动"},
      {"count", [&] { return browser.segmentCount()->text(); }, "4 segments, 4 shown, 0 picked",
       "共 4 段,显示 4 段,已选 0 段"},
      {"picture", [&] { return browser.picture()->text(); }, "Pick a segment to see its first picture",
       "选择一个录像段以查看其第一幅画面"},
      {"lane", [&] { return browser.timeline()->laneCaption(0); }, "Ch 1", "通道1"},
      {"no lanes", [&] { return browser.timeline()->placeholderText(); },
       "No segments: scan the disk or open a scan's log", "没有录像段:请扫描硬盘或打开扫描日志"},
  };
  for (const int language : {1, 0, 1, 0}) {
    chooseLanguage(*window, language);
    for (const Text& t : texts) EXPECT_EQ(t.shown(), language == 1 ? t.chinese : t.english) << t.what << " " << language;
    // The legend names the record types as the form's boxes do.
    const QString legend = browser.legend()->text();
    for (const QString& part : language == 1 ? QStringList{"定时", "移动", "警告", "手动", "其他", "无录像的日期"}
                                             : QStringList{"Time", "Motion", "Sensor", "Manual", "other",
                                                           "day without recordings"})
      EXPECT_TRUE(legend.contains(part)) << part.toStdString() << " " << language;
  }

  // A picture's caption, and a log that cannot be opened.
  browser.table()->selectRow(timeRow);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !browser.picture()->pixmap().isNull(); }, WAIT_MS));
  const QString time = QString::fromStdString(segmentTimeText(browser.segments()[model.segmentAt(timeRow)].startTime));
  const int channel = browser.segments()[model.segmentAt(timeRow)].channel + 1;
  std::ofstream(out_.file("other.json")) << R"({"job": "backup"})";
  for (const int language : {1, 0}) {
    chooseLanguage(*window, language);
    EXPECT_EQ(browser.pictureCaption()->text(),
              (language == 1 ? QStringLiteral("通道%1  %2") : QStringLiteral("Ch %1  %2")).arg(channel).arg(time));
    EXPECT_EQ(browser.segmentCount()->text(),
              language == 1 ? QStringLiteral("共 4 段,显示 4 段,已选 1 段") : QStringLiteral("4 segments, 4 shown, 1 picked"));
    messages.clear();
    EXPECT_FALSE(browser.openScanLog(QString::fromStdString(out_.file("other.json"))));
    EXPECT_EQ(messages, std::vector<QString>{(language == 1 ? QStringLiteral("无法打开扫描日志: ")
                                                            : QStringLiteral("Cannot open the scan's log: ")) +
                                             QString::fromStdString(out_.file("other.json") + ": not the log of a scan")});
  }
}

TEST_F(SegmentViewTest, PlainFormKeepsTheViewClosedUntilAsked) {
  auto window = showWindow();
  EXPECT_FALSE(window->segmentBrowser()->isVisible());
  const QSize plain = window->size();
  window->segmentViewToggle()->click();
  EXPECT_TRUE(window->segmentBrowser()->isVisible());
  window->segmentViewToggle()->click();
  EXPECT_FALSE(window->segmentBrowser()->isVisible());
  QApplication::processEvents();
  EXPECT_EQ(window->size(), plain);
}

// A start time garbled far from its end: the report wraps the difference to
// 32 bits, and the log and the table show that same duration.
TEST(SegmentTexts, AGarbledSegmentHasOneDurationInTheReportTheLogAndTheTable) {
  testing::ScopedTimeZone zone("UTC0");
  SegmentRecord segment;
  segment.serial = 1;
  segment.recordType = RECORD_TYPE_TIME;
  segment.startTime = -2000000000;
  segment.endTime = T0;
  segment.byteCount = 1536;
  SegmentTracker tracker = segmentTracker(segment);
  char row[REPORT_ROW_BUFFER_SIZE];
  const std::size_t length = formatSegmentRow(tracker, segment.serial, row, sizeof row);
  const auto rows = reportRows(std::string(SCAN_REPORT_HEADER.substr(0, SCAN_REPORT_HEADER.find('\n') + 1)) +
                               std::string(row, length));
  ASSERT_EQ(rows.size(), 1u) << row;
  EXPECT_EQ(rows[0].duration, "-266346:-45:-46");

  CustodyRecord record;
  record.segments = {segment};
  const nlohmann::json log = nlohmann::json::parse(custodyJson(record));
  EXPECT_EQ(log["segments"][0]["durationSeconds"], -(266346 * 3600 + 45 * 60 + 46));

  SegmentList list;
  list.append({segment});
  SegmentTableModel model(list);
  model.appended(1);
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(cell(model, 0, SegmentTableModel::Duration), rows[0].duration);
  EXPECT_EQ(cell(model, 0, SegmentTableModel::Size), rows[0].size);
}

// The rate columns: the tally's numbers, or nothing where none was made.
TEST(SegmentTableModelRate, ShowsTheRateAgainstTheStamps) {
  SegmentRecord counted, plain;
  StampRateTally tally;
  for (int k = 0; k < 100; ++k) tally.add(1336118950 + (k < 25 ? 0 : k < 45 ? 1 : k < 70 ? 3 : 4), 25);
  counted.rate = tally.result();
  SegmentList list;
  list.append({counted, plain});
  SegmentTableModel model(list);
  model.appended(2);
  const std::pair<int, std::string> columns[] = {{SegmentTableModel::MeasuredRate, "20.00 (20-30)"},
                                                 {SegmentTableModel::SecondsWithoutFrame, "1"},
                                                 {SegmentTableModel::Drift, "-20.0 %"}};
  for (const auto& [column, text] : columns) {
    EXPECT_EQ(cell(model, 0, column), text);
    EXPECT_EQ(cell(model, 1, column), "");
  }
}

// A store with segments the backup cannot take beside ones it can: channel 7
// Time, channel 29 Manual, channel 1 with record type code 9.
class UnexportableTest : public SegmentViewTest {
 protected:
  void writeMixedStore() {
    testing::SimulationOptions options;
    options.fileBytes = 60000;
    testing::simulateRecorder(disk_.root(),
                              {{6, RECORD_TYPE_TIME, T0, 2, false}, {28, RECORD_TYPE_MANUAL, T0 + 1, 2, false},
                               {0, 9, T0 + 4, 2, false}},
                              options);
  }
  std::uint32_t segmentOf(const SegmentBrowser& browser, std::int32_t channel) const {
    for (std::uint32_t k = 0; k < browser.segments().size(); ++k)
      if (browser.segments()[k].channel == channel) return k;
    ADD_FAILURE() << "no segment of channel index " << channel;
    return 0;
  }
};

TEST_F(UnexportableTest, WhatTheBackupCannotTakeIsMarkedAndRefused) {
  writeMixedStore();
  auto window = scannedWindow();
  SegmentBrowser& browser = *window->segmentBrowser();
  const SegmentTableModel& model = *browser.model();
  ASSERT_EQ(model.rowCount(), 3);
  // Greyed with the reason as a tooltip; a code without a name is shown as
  // the type filter offers it.
  const QColor greyed = QPalette().color(QPalette::Disabled, QPalette::Text);
  struct Row {
    std::int32_t channel;
    const char* type;
    const char* reason;  // "": the backup takes it
  };
  const Row rows[] = {
      {6, "Time", ""},
      {28, "Manual", "Channel 29 cannot be backed up: the backup takes channels 1 to 16."},
      {0, "Code 9", "Record type code 9 cannot be backed up: the backup takes Time, Motion, Sensor and Manual."},
  };
  for (const Row& row : rows) {
    const int at = model.rowOfSegment(segmentOf(browser, row.channel));
    EXPECT_EQ(cell(model, at, SegmentTableModel::RecordType), row.type) << row.channel;
    const QModelIndex index = model.index(at, SegmentTableModel::Start);
    EXPECT_EQ(model.data(index, Qt::ToolTipRole).toString().toStdString(), row.reason) << row.channel;
    EXPECT_EQ(model.data(index, Qt::ForegroundRole).value<QColor>() == greyed, *row.reason != 0) << row.channel;
  }
  EXPECT_GE(browser.typeFilter()->findText(QStringLiteral("Code 9")), 0);

  struct Pick {
    const char* what;
    std::vector<std::int32_t> channels;
    std::vector<const char*> refused;  // empty: backed up
  };
  const Pick picks[] = {
      {"channel 7 and channel 29", {6, 28}, {rows[1].reason}},
      {"code 9", {0}, {rows[2].reason}},
      {"all three", {28, 6, 0}, {rows[1].reason, rows[2].reason}},
      {"channel 7", {6}, {}},
  };
  for (const Pick& pick : picks) {
    std::vector<std::uint32_t> segments;
    for (std::int32_t channel : pick.channels) segments.push_back(segmentOf(browser, channel));
    browser.pick(segments, TimelineView::PickMode::Replace);
    messages.clear();
    QTest::mouseClick(browser.backUpSelectionButton(), Qt::LeftButton);
    if (!pick.refused.empty()) {
      // The reasons each once, in the segments' order.
      ASSERT_EQ(messages.size(), 1u) << pick.what;
      QStringList lines = messages[0].split(QStringLiteral("\r\n"));
      EXPECT_EQ(lines.takeFirst(),
                QStringLiteral("The pick holds segments that cannot be backed up. Unpick them and back up again:"));
      QStringList expected;
      for (const char* reason : pick.refused) expected.push_back(QString::fromUtf8(reason));
      lines.sort();
      expected.sort();
      EXPECT_EQ(lines, expected) << pick.what;
      EXPECT_FALSE(window->jobWorkerRunning()) << pick.what;
      EXPECT_TRUE(aviFiles().empty()) << pick.what;
      continue;
    }
    // "All" shows that some channels are ticked.
    EXPECT_EQ(qobject_cast<QCheckBox*>(window->control(ID_ALL_CHANNELS))->checkState(), Qt::PartiallyChecked);
    EXPECT_TRUE(tickUntilIdle(*window));
    ASSERT_EQ(messages.size(), 1u) << pick.what;
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Finished!\r\nFiles written=1, "))) << messages[0].toStdString();
    EXPECT_EQ(aviFiles().size(), 1u);
    // A finished backup's bar is full.
    EXPECT_EQ(window->findChild<QProgressBar*>(QStringLiteral("backupProgress"))->value(), 100);
  }
  // A scan starting empties the backup's bar.
  ScanOptions options;
  options.startedAt = STARTED + 1;
  window->setScanOptions(options);
  ASSERT_TRUE(window->onScan());
  EXPECT_EQ(window->findChild<QProgressBar*>(QStringLiteral("backupProgress"))->value(), 0);
  EXPECT_TRUE(tickUntilIdle(*window));
}

TEST_F(SegmentViewTest, EmptyTimeLineHasNoAxisAndTheHoverPictureStaysInView) {
  auto window = showWindow();
  window->showSegmentView(true);
  TimelineView& timeline = *window->segmentBrowser()->timeline();
  // Nothing drawn in the axis band: no date, no ticks.
  const QImage empty = timeline.grab().toImage();
  const QColor base = timeline.palette().base().color();
  int marked = 0;
  for (int y = 0; y < 30 * empty.devicePixelRatio(); ++y)
    for (int x = 0; x < empty.width(); ++x) marked += QColor(empty.pixel(x, y)) != base;
  EXPECT_EQ(marked, 0);

  // The picture beside the pointer, in every corner of a small time line,
  // lies inside it with its caption whole where there is room for it.
  timeline.setFixedSize(420, 120);
  QImage picture(176, 144, QImage::Format_RGB888);
  picture.fill(Qt::darkGreen);
  const QString caption = QStringLiteral("No picture: no key frame in the segment of channel 12");
  timeline.setHoverPicture(picture, caption);
  for (const QPoint at : {QPoint(5, 5), QPoint(415, 5), QPoint(5, 115), QPoint(415, 115), QPoint(210, 60)}) {
    QTest::mouseMove(&timeline, at);
    const QRect box = timeline.hoverBox();
    EXPECT_TRUE(timeline.rect().contains(box)) << at.x() << "," << at.y();
    EXPECT_GE(box.width(), QFontMetrics(timeline.font()).horizontalAdvance(caption)) << at.x() << "," << at.y();
  }
}

}  // namespace
}  // namespace korvex
