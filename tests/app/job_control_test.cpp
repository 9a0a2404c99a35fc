// The jobs run from the window: the four job buttons, the progress the
// timers show, the messages that end a job, stopping, and closing the window
// while a job runs, over stores written for each test.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <filesystem>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>

#include "app/control_ids.h"
#include "app/window_fixture.h"
#include "jobs/output_folder.h"
#include "jobs/scan_report.h"
#include "support/avi_contents.h"
#include "support/disk_images.h"
#include "support/media_probe.h"
#include "support/recorder_simulator.h"
#include "support/scratch_mount.h"
#include "support/store_writer.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::FrameSpec;
using testing::RecordingFileBuilder;
using testing::StoreWriter;
using testing::T0;
using testing::TempDir;
using testing::WAIT_MS;

constexpr std::time_t STARTED = 1796112000;  // names the report ScanFile_2026_12_1_8_0_0.txt in UTC
const char* const REPORT_NAME = "ScanFile_2026_12_1_8_0_0.txt";
const char* const SCAN_LOG_NAME = "ScanFile_2026_12_1_8_0_0.json";
const char* const BACKUP_LOG_NAME = "BackupLog_2026_12_1_8_0_0.json";

// The line an end message closes with: where the job's log is.
QString logLine(const std::string& logPath) {
  return QString::fromStdString("\r\nLog of the job, with the SHA-256 list of its files beside it: \"" + logPath + "\"");
}
// Or the log that could not be written.
QString logFailureLine(const std::string& logPath, const char* reason) {
  return QString::fromStdString("\r\nCannot write the job's log: \"" + logPath + "\" (" + reason + ")");
}
// Generous: the tests also run under ThreadSanitizer.
using Buttons = std::array<bool, 4>;  // start backup, stop backup, scan, stop scan
constexpr Buttons ALL_ON = {true, true, true, true};
constexpr Buttons OPENED = {true, false, true, false};
constexpr Buttons IDLE = {true, false, true, false};
constexpr Buttons BACKUP_RUNNING = {false, true, false, false};
constexpr Buttons SCAN_RUNNING = {false, false, false, true};
constexpr Buttons WAITING_FOR_WORKER = {false, false, false, false};

// Holds the worker in one of its callbacks until the test opens the gate.
// The callback shares the gate's state, so it never outlives it.
class WorkerGate {
 public:
  WorkerGate() : state_(std::make_shared<State>()) {
    state_->released = state_->release.get_future().share();
    reached_ = state_->reached.get_future();
  }
  ~WorkerGate() { open(); }
  WorkerGate(const WorkerGate&) = delete;
  WorkerGate& operator=(const WorkerGate&) = delete;

  // For the worker: its `atCall`-th call waits there until open().
  std::function<void()> holdAt(int atCall = 1) const {
    auto state = state_;
    return [state, atCall] {
      if (state->calls.fetch_add(1) + 1 != atCall) return;
      state->reached.set_value();
      state->released.wait();
    };
  }
  bool reached() const { return reached_.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
  // Processes events until the worker waits at the gate.
  bool waitUntilReached() const {
    return QTest::qWaitFor([this] { return reached(); }, WAIT_MS);
  }
  void open() {
    if (!state_->opened.exchange(true)) state_->release.set_value();
  }

 private:
  struct State {
    std::atomic<int> calls{0};
    std::promise<void> reached;
    std::promise<void> release;
    std::shared_future<void> released;
    std::atomic<bool> opened{false};
  };
  std::shared_ptr<State> state_;
  std::future<void> reached_;
};

// The AVI files a backup created, as its worker tells them.
class CreatedFiles {
 public:
  std::function<void(const std::string&)> recorder() const {
    auto state = state_;
    return [state](const std::string& path) {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->paths.push_back(path);
    };
  }
  std::vector<std::string> paths() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->paths;
  }

 private:
  struct State {
    std::mutex mutex;
    std::vector<std::string> paths;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

BackupOptions watchedBackup(const CreatedFiles& created, std::function<void()> hold = {}) {
  BackupOptions options;
  options.startedAt = STARTED;
  options.fileCreated = [record = created.recorder(), hold = std::move(hold)](const std::string& path) {
    record(path);
    if (hold) hold();
  };
  return options;
}

ScanOptions scanStartedAtNoon(std::function<void()> hold = {}) {
  ScanOptions options;
  options.startedAt = STARTED;
  if (hold) options.trace = [hold = std::move(hold)](const char*) { hold(); };
  return options;
}

Buttons jobButtons(const MainDialog& window) {
  return {window.startBackupButton()->isEnabled(), window.stopBackupButton()->isEnabled(),
          window.scanButton()->isEnabled(), window.stopScanButton()->isEnabled()};
}

QString statusText(const MainDialog& window) {
  return qobject_cast<QPlainTextEdit*>(window.control(ID_STATUS))->toPlainText();
}
int progressValue(const MainDialog& window) {
  return qobject_cast<QProgressBar*>(window.control(ID_SCAN_PROGRESS))->value();
}
QString percentText(const MainDialog& window) {
  return qobject_cast<QLabel*>(window.control(ID_SCAN_PERCENT))->text();
}

void click(const MainDialog& window, int id) { QTest::mouseClick(window.control(id), Qt::LeftButton); }

void typeInto(QLineEdit* edit, const std::string& text) {
  edit->selectAll();
  QTest::keyClicks(edit, QString::fromStdString(text));
}

// Ticks the job's timer until the worker has ended and its end is shown.
bool tickUntilIdle(MainDialog& window) {
  return QTest::qWaitFor(
      [&window] {
        testing::tickJob(window);
        return !window.jobWorkerRunning() && window.startBackupButton()->isEnabled();
      },
      WAIT_MS);
}

// Every AVI file is complete: it parses, and its index lists every chunk.
void expectFinished(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const testing::AviContents avi = testing::readAviContents(path);
    EXPECT_TRUE(avi.valid) << path;
    EXPECT_GT(avi.count("00db"), 0u) << path;
    EXPECT_EQ(avi.indexEntries, avi.chunks.size()) << path;
  }
}

FrameSpec frame(std::int32_t channel, std::int32_t keyA, std::int32_t keyB, RecorderTime t, std::size_t bytes = 16,
                std::int32_t type = 1) {
  return testing::keyedFrame(channel, keyA, keyB, t, bytes, type);
}

std::string reportHeader() { return std::string(SCAN_REPORT_HEADER); }

const QString STOP_AND_CLOSE = QStringLiteral(
    "A job is running. Stop it and close the window? Every file written so far is finished first.");

// The backup's summary after its first line.
// The size in whole MiB from 1 MiB, below it in whole KiB or bytes.
QString summaryTail(std::size_t files, std::uint64_t bytes) {
  const QString size = bytes >= 1048576 ? QStringLiteral("%1M").arg(bytes / 1048576)
                       : bytes >= 1024  ? QStringLiteral("%1K").arg(bytes / 1024)
                                        : QStringLiteral("%1B").arg(bytes);
  return QStringLiteral("\r\nFiles written=%1, Video total size=%2").arg(files).arg(size);
}

class JobWindowTest : public testing::WindowTest {
 protected:
  JobWindowTest() : zone_("UTC0"), store_(disk_.root()) {}

  // Shown, with its lower band open, the disk and the output folder typed
  // into their boxes.
  std::unique_ptr<MainDialog> jobWindow(const std::string& diskRoot, const std::string& output) {
    auto window = showWindow();
    click(*window, ID_ADVANCED_SETTING);
    auto* drives = qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST));
    typeInto(drives->lineEdit(), diskRoot);
    EXPECT_EQ(drives->currentText().toStdString(), diskRoot);
    typeInto(qobject_cast<QLineEdit*>(window->control(ID_OUTPUT_FOLDER)), output);
    BackupOptions options;
    options.startedAt = STARTED;
    window->setBackupOptions(options);
    return window;
  }
  std::unique_ptr<MainDialog> jobWindow() { return jobWindow(disk_.root(), out_.path()); }

  // Every channel, every record type, a time window round every test store.
  static void selectEverything(const MainDialog& window) {
    click(window, ID_ALL_CHANNELS);
    qobject_cast<QDateEdit*>(window.control(ID_BEGIN_DATE))->setDate(QDate(2000, 1, 1));
    qobject_cast<QTimeEdit*>(window.control(ID_BEGIN_TIME))->setTime(QTime(0, 0, 0));
    qobject_cast<QDateEdit*>(window.control(ID_END_DATE))->setDate(QDate(2030, 12, 31));
    qobject_cast<QTimeEdit*>(window.control(ID_END_TIME))->setTime(QTime(23, 59, 59));
  }

  // Two folders: channel 1 with a segment that ends in folder 0 and one that
  // runs on into folder 1, channel 2 with one frame.
  void writeScanStore() {
    store_.writeFile(0, 0, RecordingFileBuilder()
                               .frame(frame(0, 5, 6, T0))
                               .frame(frame(0, 5, 6, T0 + 1))
                               .frame(frame(1, 7, 8, T0 + 2, 1000, 2))
                               .timesFromFrames());
    store_.writeFile(0, 1, RecordingFileBuilder().frame(frame(0, 9, 10, T0 + 5)).timesFromFrames());
    store_.fillFolder(0);
    store_.writeFile(1, 0, RecordingFileBuilder().frame(frame(0, 9, 10, T0 + 3605, 1536)).timesFromFrames());
    store_.fillFolder(1);
  }
  static std::string scanStoreReport() {
    return reportHeader() +
           "    1 |    1    |     Time  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8: 9:11  |   0: 0: 1  |    32B |   0\r\n"
           "    2 |    1    |     Time  |  2012. 5. 4  8: 9:15  |  2012. 5. 4  9: 9:15  |   1: 0: 0  |     1K |   0\r\n"
           "    3 |    2    |   Motion  |  2012. 5. 4  8: 9:12  |  2012. 5. 4  8: 9:12  |   0: 0: 0  |  1000B |   0\r\n";
  }
  std::string reportPath() const { return out_.path() + "/" + REPORT_NAME; }
  QString scanLog() const { return logLine(out_.path() + "/" + SCAN_LOG_NAME); }
  QString backupLog() const { return logLine(out_.path() + "/" + BACKUP_LOG_NAME); }
  std::vector<std::string> aviFiles() const { return testing::listFiles(out_.path(), "folder=", ".avi"); }

  testing::ScopedTimeZone zone_;
  TempDir disk_;
  TempDir out_;
  StoreWriter store_;
};

TEST_F(JobWindowTest, ScanRunsToItsFinishMessageWithTheReportsRows) {
  writeScanStore();
  auto window = jobWindow();
  window->setScanOptions(scanStartedAtNoon());
  click(*window, ID_SCAN);
  EXPECT_EQ(jobButtons(*window), SCAN_RUNNING);
  EXPECT_EQ(percentText(*window), QStringLiteral("0%"));

  // The window's own timer sees the end.
  EXPECT_TRUE(QTest::qWaitFor([this] { return !messages.empty(); }, WAIT_MS));
  EXPECT_EQ(messages, std::vector<QString>{QString::fromStdString("Scan finished. The report is in the file \"" +
                                                                  reportPath() + "\"") + scanLog()});
  EXPECT_EQ(modalTitles, std::vector<QString>{QStringLiteral("Korvex")});
  EXPECT_EQ(progressValue(*window), 100);
  EXPECT_EQ(percentText(*window), QStringLiteral("100%"));
  EXPECT_EQ(jobButtons(*window), IDLE);
  EXPECT_FALSE(window->jobWorkerRunning());
  // Complete when the user is told to open it: the open segments too.
  EXPECT_EQ(testing::readTextFile(reportPath()), scanStoreReport());
}

struct DebugLines {
  std::mutex mutex;
  std::vector<std::string> lines;
};
DebugLines debugLines;

void captureDebug(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtDebugMsg || !text.startsWith(QStringLiteral("i = "))) return;
  std::lock_guard<std::mutex> lock(debugLines.mutex);
  debugLines.lines.push_back(std::string(context.category ? context.category : "") + ": " + text.toStdString());
}

TEST_F(JobWindowTest, ScanTracesEachFolderToTheDebugOutput) {
  writeScanStore();
  auto window = jobWindow();
  ScanOptions options;
  options.startedAt = STARTED;
  window->setScanOptions(options);
  {
    std::lock_guard<std::mutex> lock(debugLines.mutex);
    debugLines.lines.clear();
  }
  const QtMessageHandler previous = qInstallMessageHandler(captureDebug);
  // Silent by default: nothing on any output.
  EXPECT_TRUE(window->onScan());
  EXPECT_TRUE(tickUntilIdle(*window));
  {
    std::lock_guard<std::mutex> lock(debugLines.mutex);
    EXPECT_TRUE(debugLines.lines.empty());
  }
  // Enabled through the logging rules, as QT_LOGGING_RULES does.
  QLoggingCategory::setFilterRules(QStringLiteral("korvex.scan.debug=true"));
  options.startedAt = STARTED + 1;
  window->setScanOptions(options);
  EXPECT_TRUE(window->onScan());
  EXPECT_TRUE(tickUntilIdle(*window));
  QLoggingCategory::setFilterRules(QString());
  qInstallMessageHandler(previous);
  std::lock_guard<std::mutex> lock(debugLines.mutex);
  EXPECT_EQ(debugLines.lines, (std::vector<std::string>{"korvex.scan: i = 0  folder_count = 2  progressbar = 50",
                                                        "korvex.scan: i = 1  folder_count = 2  progressbar = 100"}));
}

TEST_F(JobWindowTest, ScanOfARangeWithoutFoldersToVisitGivesTheHeaderAndTheFinishMessage) {
  writeScanStore();
  auto window = jobWindow();
  window->setScanOptions(scanStartedAtNoon());
  typeInto(qobject_cast<QLineEdit*>(window->control(ID_FOLDER_START)), "5");
  click(*window, ID_SCAN);
  EXPECT_TRUE(tickUntilIdle(*window));
  EXPECT_EQ(messages, std::vector<QString>{QString::fromStdString("Scan finished. The report is in the file \"" +
                                                                  reportPath() + "\"") + scanLog()});
  EXPECT_EQ(progressValue(*window), 100);
  EXPECT_EQ(percentText(*window), QStringLiteral("100%"));
  EXPECT_EQ(testing::readTextFile(reportPath()), reportHeader());
}

TEST_F(JobWindowTest, AMissingOutputFolderIsOfferedToBeCreated) {
  writeScanStore();
  const std::string missing = out_.path() + "/new/deeper";
  auto window = jobWindow(disk_.root(), missing);
  window->setScanOptions(scanStartedAtNoon());
  const QString question =
      QString::fromStdString("The output folder does not exist. Create it? \"" + missing + "\"");
  // Declined: nothing starts, nothing is made.
  questionAnswer = QMessageBox::No;
  EXPECT_FALSE(window->onScan());
  EXPECT_EQ(messages, std::vector<QString>{question});
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_EQ(jobButtons(*window), IDLE);
  // Accepted: the folder is made and the scan writes its report there.
  questionAnswer = QMessageBox::Yes;
  messages.clear();
  EXPECT_TRUE(window->onScan());
  EXPECT_TRUE(tickUntilIdle(*window));
  EXPECT_EQ(messages, (std::vector<QString>{question, QString::fromStdString("Scan finished. The report is in the file \"" +
                                                                             missing + "/" + REPORT_NAME + "\"") +
                                                           logLine(missing + "/" + SCAN_LOG_NAME)}));
  EXPECT_EQ(testing::readTextFile(missing + "/" + REPORT_NAME), scanStoreReport());
}

// A missing output folder on the disk, directly or through a link to it, is
// refused before it is offered: nothing is made on the disk.
TEST_F(JobWindowTest, AMissingOutputFolderOnTheDiskIsRefusedUnmade) {
  writeScanStore();
  testing::TempDir links;
  ASSERT_EQ(symlink(disk_.path().c_str(), (links.path() + "/disk").c_str()), 0);
  for (const std::string& missing : {disk_.path() + "/newout", links.path() + "/disk/new/deeper"}) {
    SCOPED_TRACE(missing);
    const auto modified = std::filesystem::last_write_time(disk_.path());
    auto window = jobWindow(disk_.root(), missing);
    questionAnswer = QMessageBox::Yes;
    messages.clear();
    EXPECT_FALSE(window->onScan());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("The output folder lies on the recorder's disk")));
    EXPECT_TRUE(messages[0].endsWith(QString::fromStdString("\"" + missing + "\""))) << messages[0].toStdString();
    EXPECT_FALSE(std::filesystem::exists(disk_.path() + "/newout"));
    EXPECT_FALSE(std::filesystem::exists(disk_.path() + "/new"));
    EXPECT_EQ(std::filesystem::last_write_time(disk_.path()), modified);
  }
}

TEST_F(JobWindowTest, ScanReportThatCannotBeWrittenIsNamedWithTheReason) {
  testing::ScratchMount small(64 * 1024);
  if (!small.mounted()) GTEST_SKIP() << small.reason();
  // Room for the report's creation but not for its rows.
  RecordingFileBuilder().raw(std::vector<std::uint8_t>(60 * 1024 - FILE_HEADER_SIZE, 1)).writeTo(small.path() + "/filler");
  RecordingFileBuilder file;
  for (int i = 0; i < 2000; ++i) file.frame(frame(i % 32, 10 + i, 10 + i, T0 + i));
  store_.writeFile(0, 0, file);
  store_.fillFolder(0);
  auto window = jobWindow(disk_.root(), small.path());
  window->setScanOptions(scanStartedAtNoon());
  click(*window, ID_SCAN);
  EXPECT_TRUE(tickUntilIdle(*window));
  // No room left for the log either: it says so too.
  EXPECT_EQ(messages, std::vector<QString>{QString::fromStdString("Cannot write the report file: \"" + small.path() +
                                                                  "/" + REPORT_NAME + "\" (No space left on device)") +
                                           logFailureLine(small.path() + "/ScanFile_2026_12_1_8_0_0.sha256",
                                                          "No space left on device")});
  EXPECT_EQ(jobButtons(*window), IDLE);
}

TEST_F(JobWindowTest, BackupRunsToFinishWithItsAviFiles) {
  const auto store = testing::simulateRecorder(disk_.root(), {{0, 1, T0, 3, true}, {3, 2, T0 + 1, 3, true}});
  auto window = jobWindow();
  selectEverything(*window);
  CreatedFiles created;
  window->setBackupOptions(watchedBackup(created));
  click(*window, ID_START_BACKUP);
  EXPECT_EQ(jobButtons(*window), BACKUP_RUNNING);
  EXPECT_TRUE(tickUntilIdle(*window));

  EXPECT_EQ(messages, std::vector<QString>{QStringLiteral("Finished!") + summaryTail(2, store.payloadBytes) + backupLog()});
  EXPECT_EQ(jobButtons(*window), IDLE);
  // The bar and its percent, as the scan's.
  EXPECT_EQ(window->findChild<QProgressBar*>(QStringLiteral("backupProgress"))->value(), 100);
  EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("backupPercent"))->text(), QStringLiteral("100%"));
  // The last tick shows where the job ended.
  const CalendarTime last = recorderTimeToCalendar(store.lastTime);
  const QString expectedStatus = QStringLiteral("Video end time=%1.%2.%3.%4:%5:%6\nFolder=0, File=127, Video total size=%7M")
                                     .arg(last.year)
                                     .arg(last.month)
                                     .arg(last.day)
                                     .arg(last.hour)
                                     .arg(last.minute)
                                     .arg(last.second)
                                     .arg(store.payloadBytes / 1024 / 1024);
  EXPECT_EQ(statusText(*window), expectedStatus);

  const std::vector<std::string> expectedFiles = {out_.path() + "/folder=0_file=0_chn1_Time_2012_5_4_8_9_10.avi",
                                                  out_.path() + "/folder=0_file=0_chn4_Motion_2012_5_4_8_9_11.avi"};
  EXPECT_EQ(created.paths(), expectedFiles);
  EXPECT_EQ(aviFiles(), expectedFiles);
  expectFinished(expectedFiles);
  std::size_t videoFrames = 0;
  for (const std::string& path : expectedFiles) videoFrames += testing::readAviContents(path).count("00db");
  EXPECT_EQ(videoFrames, store.videoFrames);
  for (const std::string& path : expectedFiles) {
    const testing::ProgramRun decoded = testing::decodeMedia(path);
    EXPECT_EQ(decoded.exitStatus, 0) << path;
    EXPECT_EQ(decoded.err, "") << path;
  }
}

TEST_F(JobWindowTest, BackupWithASelectionThatMatchesNothingFindsNoVideo) {
  testing::simulateRecorder(disk_.root(), {{0, 1, T0, 2, true}});
  auto window = jobWindow();
  selectEverything(*window);
  // Only channel 16, which recorded nothing.
  click(*window, ID_ALL_CHANNELS);
  click(*window, ID_CHANNEL_LAST);
  click(*window, ID_START_BACKUP);
  EXPECT_TRUE(tickUntilIdle(*window));
  EXPECT_EQ(messages, std::vector<QString>{QStringLiteral("No video data found.") + summaryTail(0, 0) + backupLog()});
  EXPECT_EQ(statusText(*window), QStringLiteral("Searching for video...\nFolder=0, File=127"));
  EXPECT_TRUE(aviFiles().empty());
  EXPECT_EQ(jobButtons(*window), IDLE);
}

TEST_F(JobWindowTest, EachProblemBeforeAJobHasItsOwnMessage) {
  writeScanStore();
  TempDir emptyDisk;
  const std::string nowhere = out_.path() + "/no/such/disk";
  const std::string folder0 = disk_.path() + "/dir00000";
  struct Case {
    const char* what;
    std::string disk;
    std::function<void(const MainDialog&)> select;
    bool scanToo;  // the scan refuses it as well
    QString message;
  };
  const auto endBeforeStart = [](const MainDialog& window) {
    qobject_cast<QDateEdit*>(window.control(ID_END_DATE))->setDate(QDate(1999, 1, 1));
  };
  const auto noChannel = [](const MainDialog& window) { click(window, ID_ALL_CHANNELS); };
  const auto noType = [](const MainDialog& window) {
    for (int id : {ID_TYPE_TIME, ID_TYPE_MOTION, ID_TYPE_SENSOR, ID_TYPE_MANUAL}) click(window, id);
  };
  const Case cases[] = {
      {"no dir* folders", emptyDisk.path(), {}, true,
       QString::fromStdString("No recorder folders (dir00000, dir00001, ...) lie directly under the disk: \"" +
                              emptyDisk.path() + "\"")},
      {"missing disk", nowhere, {}, true,
       QString::fromStdString("The disk does not exist: \"" + nowhere + "\" (No such file or directory)")},
      {"a dir* folder picked", folder0, {}, true,
       QString::fromStdString("This is one of the recorder's folders. The disk is the folder that holds it: \"" +
                              disk_.path() + "\"")},
      {"no channel", disk_.path(), noChannel, false, QStringLiteral("No channel is ticked. Tick the channels to back up.")},
      {"no record type", disk_.path(), noType, false,
       QStringLiteral("No record type is ticked. Tick the record types to back up.")},
      {"end before start", disk_.path(), endBeforeStart, false,
       QStringLiteral("The end of the backup time lies before its start.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto window = jobWindow(c.disk, out_.path());
    selectEverything(*window);
    if (c.select) c.select(*window);
    window->setScanOptions(scanStartedAtNoon());
    messages.clear();
    EXPECT_FALSE(window->onStartBackup());
    EXPECT_EQ(messages, std::vector<QString>{c.message});
    EXPECT_EQ(jobButtons(*window), IDLE);
    EXPECT_FALSE(window->jobWorkerRunning());
    if (c.scanToo) {
      EXPECT_FALSE(window->onScan());
      EXPECT_EQ(messages.size(), 2u);
    }
  }
  EXPECT_TRUE(testing::listFiles(out_.path()).empty());
}

// Five segments of channel 1 one after the other, over many small
// recording files: each segment gets an AVI file of its own.
testing::SimulationResult writeLongStore(const std::string& root) {
  std::vector<testing::SimulatedSegment> segments;
  for (int i = 0; i < 5; ++i) segments.push_back({0, 1, T0 + 3 * i, 3, true});
  testing::SimulationOptions options;
  options.fileBytes = 20000;
  return testing::simulateRecorder(root, segments, options);
}

TEST_F(JobWindowTest, StopBackupMidStoreFinishesTheFilesAndSaysSo) {
  writeLongStore(disk_.root());
  auto window = jobWindow();
  selectEverything(*window);
  WorkerGate gate;
  CreatedFiles created;
  window->setBackupOptions(watchedBackup(created, gate.holdAt(1)));
  click(*window, ID_START_BACKUP);
  ASSERT_TRUE(gate.waitUntilReached());

  // The first file is created, nothing written to it yet.
  testing::tickJob(*window);
  const QString status = statusText(*window);
  EXPECT_EQ(status, QStringLiteral("Video end time=0.0.0.0:0:0\nFolder=0, File=0, Video total size=0M"));

  click(*window, ID_STOP_BACKUP);
  EXPECT_TRUE(window->jobWorkerRunning());
  EXPECT_EQ(jobButtons(*window), WAITING_FOR_WORKER);
  testing::tickJob(*window);
  EXPECT_EQ(statusText(*window), status);

  gate.open();
  EXPECT_TRUE(tickUntilIdle(*window));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith(
      QStringLiteral("Backup stopped. Every AVI file written so far is finished.\r\nFiles written=1, ")))
      << messages[0].toStdString();
  messages.clear();
  EXPECT_EQ(jobButtons(*window), IDLE);
  // The job ended with the recording file it was in: one segment's file,
  // finished, with the frames of that recording file only.
  const std::vector<std::string> stopped = created.paths();
  ASSERT_EQ(stopped.size(), 1u);
  EXPECT_EQ(aviFiles(), stopped);
  expectFinished(stopped);
  const std::size_t framesBeforeStop = testing::readAviContents(stopped[0]).count("00db");
  EXPECT_LT(framesBeforeStop, 3u * 25);

  // Started again, the backup runs through the store.
  EXPECT_TRUE(window->onStartBackup());
  // The last job's text is gone as the next starts.
  EXPECT_EQ(statusText(*window), QString());
  EXPECT_TRUE(tickUntilIdle(*window));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Finished!\r\nFiles written=5, "))) << messages[0].toStdString();
  // The stopped run's file stays as it was; the new run's gets a number.
  EXPECT_EQ(aviFiles().size(), 5u + 1);
  expectFinished(aviFiles());
  EXPECT_EQ(testing::readAviContents(stopped[0]).count("00db"), framesBeforeStop);
  const std::string again = stopped[0].substr(0, stopped[0].size() - 4) + "_2.avi";
  EXPECT_EQ(testing::readAviContents(again).count("00db"), 3u * 25);
}

TEST_F(JobWindowTest, ASecondJobIsRefusedWhileTheWorkerStillRuns) {
  writeLongStore(disk_.root());
  auto window = jobWindow();
  selectEverything(*window);
  window->setScanOptions(scanStartedAtNoon());
  WorkerGate gate;
  CreatedFiles created;
  window->setBackupOptions(watchedBackup(created, gate.holdAt(1)));
  EXPECT_TRUE(window->onStartBackup());
  ASSERT_TRUE(gate.waitUntilReached());

  EXPECT_FALSE(window->onScan());
  EXPECT_FALSE(window->onStartBackup());
  click(*window, ID_SCAN);  // disabled: nothing happens
  // Stop only asks: until the worker has ended nothing starts.
  click(*window, ID_STOP_BACKUP);
  EXPECT_EQ(jobButtons(*window), WAITING_FOR_WORKER);
  EXPECT_FALSE(window->onScan());
  EXPECT_FALSE(window->onStartBackup());
  EXPECT_TRUE(window->jobWorkerRunning());
  EXPECT_TRUE(testing::listFiles(out_.path(), "ScanFile").empty());

  gate.open();
  EXPECT_TRUE(tickUntilIdle(*window));
  EXPECT_EQ(created.paths().size(), 1u);
  messages.clear();
  EXPECT_TRUE(window->onScan());
  EXPECT_TRUE(tickUntilIdle(*window));
  EXPECT_EQ(messages, std::vector<QString>{QString::fromStdString("Scan finished. The report is in the file \"" +
                                                                  reportPath() + "\"") + scanLog()});
}

TEST_F(JobWindowTest, ButtonStatesThroughTheJobs) {
  writeScanStore();
  {
    auto window = jobWindow();
    EXPECT_EQ(jobButtons(*window), OPENED) << "opened";
    window->onStopBackup();
    EXPECT_EQ(jobButtons(*window), IDLE) << "stop backup while idle";
    EXPECT_TRUE(messages.empty());
  }
  {
    auto window = jobWindow();
    window->onStopScan();
    EXPECT_EQ(jobButtons(*window), IDLE) << "stop scan while idle";
    EXPECT_TRUE(messages.empty());
  }
  auto window = jobWindow();
  selectEverything(*window);

  struct Step {
    const char* moment;
    int startButton;
    int stopButton;  // 0: the job runs to its end
    Buttons whileRunning;
    bool message;
  };
  const Step steps[] = {
      {"backup stopped", ID_START_BACKUP, ID_STOP_BACKUP, BACKUP_RUNNING, true},
      {"scan stopped", ID_SCAN, ID_STOP_SCAN, SCAN_RUNNING, true},
      {"backup's end shown", ID_START_BACKUP, 0, BACKUP_RUNNING, true},
      {"scan's end shown", ID_SCAN, 0, SCAN_RUNNING, true},
  };
  for (const Step& step : steps) {
    WorkerGate gate;
    window->setBackupOptions(watchedBackup(CreatedFiles(), gate.holdAt(1)));
    window->setScanOptions(scanStartedAtNoon(gate.holdAt(1)));
    messages.clear();
    click(*window, step.startButton);
    EXPECT_EQ(jobButtons(*window), step.whileRunning) << step.moment;
    ASSERT_TRUE(gate.waitUntilReached()) << step.moment;
    if (step.stopButton != 0) {
      click(*window, step.stopButton);
      EXPECT_EQ(jobButtons(*window), WAITING_FOR_WORKER) << step.moment;
    }
    gate.open();
    EXPECT_TRUE(tickUntilIdle(*window)) << step.moment;
    EXPECT_EQ(jobButtons(*window), IDLE) << step.moment;
    EXPECT_EQ(messages.size(), step.message ? 1u : 0u) << step.moment;
  }
}

TEST_F(JobWindowTest, StopScanKeepsTheProgressAndLetsTheWorkerCloseItsReport) {
  writeScanStore();
  auto window = jobWindow();
  WorkerGate gate;
  // Held as folder 1 starts: folder 0 has been read.
  window->setScanOptions(scanStartedAtNoon(gate.holdAt(2)));
  click(*window, ID_SCAN);
  ASSERT_TRUE(gate.waitUntilReached());
  testing::tickJob(*window);
  EXPECT_EQ(percentText(*window), QStringLiteral("100%"));
  click(*window, ID_STOP_SCAN);
  EXPECT_EQ(jobButtons(*window), WAITING_FOR_WORKER);
  gate.open();
  EXPECT_TRUE(tickUntilIdle(*window));
  // It says that it stopped, and what it wrote.
  EXPECT_EQ(messages, std::vector<QString>{QString::fromStdString(
                          "Scan stopped. The report holds what was found until then: \"" + reportPath() + "\"") +
                                           scanLog()});
  EXPECT_EQ(percentText(*window), QStringLiteral("100%"));
  // The segments still open when it stopped are in the report.
  EXPECT_EQ(testing::readTextFile(reportPath()),
            reportHeader() +
                "    1 |    1    |     Time  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8: 9:11  |   0: 0: 1  |    32B |   0\r\n"
                "    2 |    1    |     Time  |  2012. 5. 4  8: 9:15  |  2012. 5. 4  8: 9:15  |   0: 0: 0  |    16B |   0\r\n"
                "    3 |    2    |   Motion  |  2012. 5. 4  8: 9:12  |  2012. 5. 4  8: 9:12  |   0: 0: 0  |  1000B |   0\r\n");
}

// Stop pressed after the worker ended, before the window saw it: the job had
// nothing left to stop, and its end is shown as it ended.
TEST_F(JobWindowTest, StopAfterTheScanEndedKeepsItsSummary) {
  writeScanStore();
  auto window = jobWindow();
  window->setScanOptions(scanStartedAtNoon());
  click(*window, ID_SCAN);
  // Waited for without the event loop: the window's timer does not tick.
  for (int waited = 0; window->jobWorkerRunning() && waited < WAIT_MS; ++waited)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_FALSE(window->jobWorkerRunning());
  EXPECT_TRUE(messages.empty());
  window->onStopScan();
  EXPECT_TRUE(tickUntilIdle(*window));
  EXPECT_EQ(messages, std::vector<QString>{QString::fromStdString("Scan finished. The report is in the file \"" +
                                                                  reportPath() + "\"") + scanLog()});
  EXPECT_EQ(testing::readTextFile(reportPath()), scanStoreReport());
}

TEST_F(JobWindowTest, ClosingTheWindowMidBackupFinishesTheFilesFirst) {
  writeLongStore(disk_.root());
  auto window = jobWindow();
  selectEverything(*window);
  WorkerGate gate;
  CreatedFiles created;
  window->setBackupOptions(watchedBackup(created, gate.holdAt(1)));

  // Run modally, as the program does; close it once the worker is inside
  // the store.
  bool closeAsked = false;
  bool visibleWhileFinishing = false;
  bool closingWhileFinishing = false;
  QString statusWhileFinishing;
  Buttons buttonsWhileFinishing = ALL_ON;
  bool outputEnabledWhileFinishing = true;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, window.get(), [&] {
    if (closeAsked || !gate.reached()) return;
    closeAsked = true;
    window->close();
    visibleWhileFinishing = window->isVisible();
    closingWhileFinishing = window->closing();
    statusWhileFinishing = statusText(*window);
    buttonsWhileFinishing = jobButtons(*window);
    outputEnabledWhileFinishing = window->control(ID_OUTPUT_FOLDER)->isEnabled();
    gate.open();
  });
  QTimer::singleShot(0, window.get(), [&window] { window->startBackupButton()->click(); });
  poll.start();
  // A window that never closes ends the test instead of hanging it.
  QTimer::singleShot(WAIT_MS, window.get(), [&] {
    gate.open();
    window->QDialog::done(42);
  });
  const int result = window->exec();
  poll.stop();

  EXPECT_TRUE(closeAsked);
  EXPECT_TRUE(visibleWhileFinishing);
  EXPECT_TRUE(closingWhileFinishing);
  EXPECT_EQ(statusWhileFinishing, QStringLiteral("Finishing the job, please wait..."));
  EXPECT_EQ(buttonsWhileFinishing, WAITING_FOR_WORKER);
  EXPECT_FALSE(outputEnabledWhileFinishing);
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->jobWorkerRunning());
  // Asked first; the job's end shows nothing more.
  EXPECT_EQ(messages, std::vector<QString>{STOP_AND_CLOSE});
  const std::vector<std::string> files = created.paths();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(aviFiles(), files);
  expectFinished(files);
}

TEST_F(JobWindowTest, ClosingTheWindowMidScanCompletesTheReport) {
  writeScanStore();
  auto window = jobWindow();
  WorkerGate gate;
  window->setScanOptions(scanStartedAtNoon(gate.holdAt(2)));
  click(*window, ID_SCAN);
  ASSERT_TRUE(gate.waitUntilReached());
  // Escape does nothing; declining the question keeps the job running.
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(messages.empty());
  questionAnswer = QMessageBox::No;
  window->close();
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->closing());
  EXPECT_TRUE(window->jobWorkerRunning());
  questionAnswer = QMessageBox::Yes;
  window->close();
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->closing());
  // Asking again while it finishes changes nothing.
  window->close();
  EXPECT_TRUE(window->isVisible());
  gate.open();
  // The window's own timer sees the worker end.
  EXPECT_TRUE(QTest::qWaitFor([&window] { return !window->isVisible(); }, WAIT_MS));
  EXPECT_EQ(window->result(), QDialog::Rejected);
  EXPECT_FALSE(window->closing());
  EXPECT_EQ(messages, (std::vector<QString>{STOP_AND_CLOSE, STOP_AND_CLOSE}));
  EXPECT_EQ(testing::readTextFile(reportPath()),
            reportHeader() +
                "    1 |    1    |     Time  |  2012. 5. 4  8: 9:10  |  2012. 5. 4  8: 9:11  |   0: 0: 1  |    32B |   0\r\n"
                "    2 |    1    |     Time  |  2012. 5. 4  8: 9:15  |  2012. 5. 4  8: 9:15  |   0: 0: 0  |    16B |   0\r\n"
                "    3 |    2    |   Motion  |  2012. 5. 4  8: 9:12  |  2012. 5. 4  8: 9:12  |   0: 0: 0  |  1000B |   0\r\n");
}

TEST_F(JobWindowTest, AWindowDestroyedMidBackupStillFinishesTheFiles) {
  writeLongStore(disk_.root());
  CreatedFiles created;
  {
    auto window = jobWindow();
    selectEverything(*window);
    WorkerGate gate;
    window->setBackupOptions(watchedBackup(created, gate.holdAt(1)));
    click(*window, ID_START_BACKUP);
    ASSERT_TRUE(gate.waitUntilReached());
    gate.open();
    window.reset();
  }
  // The window waited for its worker: whether it stopped early or ran on
  // through the store, every file it made is finished.
  std::vector<std::string> files = created.paths();
  ASSERT_FALSE(files.empty());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(aviFiles(), files);
  expectFinished(files);
}

TEST_F(JobWindowTest, EndMessagesAreLookedUpWhenShown) {
  testing::simulateRecorder(disk_.root(), {{0, 1, T0, 2, true}});
  auto window = jobWindow();
  selectEverything(*window);
  WorkerGate gate;
  window->setBackupOptions(watchedBackup(CreatedFiles(), gate.holdAt(1)));
  click(*window, ID_START_BACKUP);
  ASSERT_TRUE(gate.waitUntilReached());
  writeLanguageFile("English", "finish!=Done at last\nvideo end time=Last\nfolder=D\nfile=F\nvideo total size=S\n");
  gate.open();
  EXPECT_TRUE(tickUntilIdle(*window));
  // A missing key gives the empty text; the numbers and the log's path stay.
  EXPECT_EQ(messages, std::vector<QString>{QStringLiteral("Done at last\r\n=1, S=26K") +
                                           QString::fromStdString("\r\n \"" + out_.path() + "/" + BACKUP_LOG_NAME + "\"")});
  EXPECT_EQ(statusText(*window), QStringLiteral("Last=2012.5.4.8:9:11\nD=0, F=127, S=0M"));
}

TEST_F(JobWindowTest, AnOutputFolderOnTheDiskIsRefusedWithAMessage) {
  writeScanStore();
  for (const std::string& out : {disk_.path(), disk_.path() + "/dir00000"}) {
    SCOPED_TRACE(out);
    auto window = jobWindow(disk_.root(), out);
    selectEverything(*window);
    messages.clear();
    const Buttons before = jobButtons(*window);
    EXPECT_FALSE(window->onStartBackup());
    EXPECT_FALSE(window->onScan());
    const QString expected = QStringLiteral(
                                 "The output folder lies on the recorder's disk, which is never written. Choose a "
                                 "folder outside it: \"") +
                             QString::fromStdString(out) + QStringLiteral("\"");
    EXPECT_EQ(messages, (std::vector<QString>{expected, expected}));
    EXPECT_EQ(jobButtons(*window), before);
    EXPECT_FALSE(window->jobWorkerRunning());
  }
  EXPECT_TRUE(testing::listFiles(disk_.path(), "ScanFile_").empty());
  EXPECT_TRUE(testing::listFiles(disk_.path(), "folder=").empty());
}

TEST_F(JobWindowTest, AnOutputFolderThatIsAFileIsRefusedWithTheReason) {
  writeScanStore();
  const std::string file = out_.file("not-a-folder");
  testing::writeBytes(file, {1, 2, 3});
  auto window = jobWindow(disk_.root(), file);
  selectEverything(*window);
  EXPECT_FALSE(window->onStartBackup());
  EXPECT_FALSE(window->onScan());
  const QString expected =
      QString::fromStdString("Cannot write to the output folder: \"" + file + "\" (Not a directory)");
  EXPECT_EQ(messages, (std::vector<QString>{expected, expected}));
  EXPECT_EQ(jobButtons(*window), IDLE);
}

TEST_F(JobWindowTest, AFolderAnotherJobWritesToIsRefusedWithAMessage) {
  writeScanStore();
  LockedOutputFolder locked = OutputFolderLock::acquire(out_.path());
  ASSERT_TRUE(locked) << locked.failure.reason;
  OutputFolderLock& held = locked.lock;
  auto window = jobWindow();
  selectEverything(*window);
  EXPECT_FALSE(window->onStartBackup());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Another job is writing to this output folder."))) << messages[0].toStdString();
  // Free again once the other job has ended; the window's own job holds it
  // only while it runs.
  held = OutputFolderLock();
  messages.clear();
  window->setScanOptions(scanStartedAtNoon());
  EXPECT_TRUE(window->onScan());
  EXPECT_TRUE(tickUntilIdle(*window));
  EXPECT_TRUE(OutputFolderLock::acquire(out_.path()).lock.held());
}

TEST_F(JobWindowTest, AnUnreadableRecordingFileEndsTheJobWithAMessageNamingIt) {
  writeScanStore();
  const std::string victim = store_.filePath(0, 7);
  ASSERT_EQ(unlink(victim.c_str()), 0);
  ASSERT_EQ(mkdir(victim.c_str(), 0755), 0);
  auto window = jobWindow();
  selectEverything(*window);
  const QString expected = QString::fromStdString("Cannot read the recording file, the job ended there: \"" + victim +
                                                  "\" (a folder, not a recording file)");
  window->setScanOptions(scanStartedAtNoon());
  ASSERT_TRUE(window->onScan());
  EXPECT_TRUE(tickUntilIdle(*window));
  ASSERT_TRUE(window->onStartBackup());
  EXPECT_TRUE(tickUntilIdle(*window));
  EXPECT_EQ(messages,
            (std::vector<QString>{expected + scanLog(), expected + summaryTail(3, 32 + 16 + 1000) + backupLog()}));
}

TEST_F(JobWindowTest, AScanOfAnImageFileChosenFromTheDiskBoxsBrowseMenu) {
  const std::string missing = testing::missingTools({"mkfs.ext4"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  writeScanStore();
  TempDir images;
  const std::string image = images.file("recorder.img");
  ASSERT_EQ(testing::makeExt4Image(disk_.path(), image, 8 * 1024 * 1024), "");
  auto window = jobWindow("/", out_.path());
  QString title, filter;
  window->setFileChooser([&](QWidget*, const QString& t, const QString&, const QString& f) {
    title = t;
    filter = f;
    return QString::fromStdString(image);
  });
  window->diskImageAction()->trigger();
  EXPECT_EQ(title, QStringLiteral("Choose a disk image file (raw or E01) or a device"));
  EXPECT_EQ(filter, QStringLiteral("All files and devices (*);;Disk images (*.img *.dd *.raw *.bin *.E01 *.e01 *.Ex01)"));
  EXPECT_EQ(qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->currentText().toStdString(), image);
  window->setScanOptions(scanStartedAtNoon());
  ASSERT_TRUE(window->onScan());
  EXPECT_TRUE(tickUntilIdle(*window));
  EXPECT_EQ(messages, std::vector<QString>{QString::fromStdString("Scan finished. The report is in the file \"" +
                                                                  reportPath() + "\"") +
                                           scanLog()});
  // The same report as from the folder.
  EXPECT_EQ(testing::readTextFile(reportPath()), scanStoreReport());
  // The time window now spans the recordings the scan found.
  EXPECT_EQ(qobject_cast<QDateEdit*>(window->control(ID_BEGIN_DATE))->date(), QDate(2012, 5, 4));
  EXPECT_EQ(qobject_cast<QTimeEdit*>(window->control(ID_BEGIN_TIME))->time(), QTime(8, 9, 10));
  EXPECT_EQ(qobject_cast<QTimeEdit*>(window->control(ID_END_TIME))->time(), QTime(9, 9, 15));
}

TEST_F(JobWindowTest, ThePartitionOfTheAdvancedBandPicksWhereTheStoreIsRead) {
  const std::string missing = testing::missingTools({"mkfs.ext4", "sfdisk"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  writeScanStore();
  TempDir work;
  TempDir nothing;
  ASSERT_EQ(testing::makeExt4Image(nothing.path(), work.file("p1.img"), 2 * 1024 * 1024), "");
  ASSERT_EQ(testing::makeExt4Image(disk_.path(), work.file("p2.img"), 8 * 1024 * 1024), "");
  const std::string image = work.file("disk.img");
  ASSERT_EQ(testing::makePartitionedImage(image, {{work.file("p1.img"), "83"}, {work.file("p2.img"), "83"}}), "");
  auto window = jobWindow(image, out_.path());
  auto* partition = window->findChild<QSpinBox*>(QStringLiteral("partition"));
  ASSERT_NE(partition, nullptr);
  EXPECT_EQ(partition->value(), 0);
  window->setScanOptions(scanStartedAtNoon());
  // Partition 1 holds no store: refused, naming the image.
  partition->setValue(1);
  EXPECT_FALSE(window->onScan());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith(QString::fromStdString("Cannot read a recorder disk from: \"" + image + "\"")))
      << messages[0].toStdString();
  // Partition 2, and 0 (the first that holds one), read the store.
  for (int chosen : {2, 0}) {
    SCOPED_TRACE(chosen);
    partition->setValue(chosen);
    messages.clear();
    window->setScanOptions(scanStartedAtNoon());
    ASSERT_TRUE(window->onScan());
    EXPECT_TRUE(tickUntilIdle(*window));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Scan finished."))) << messages[0].toStdString();
  }
  EXPECT_EQ(testing::readTextFile(reportPath()), scanStoreReport());
}

TEST_F(JobWindowTest, AnImageWithoutAStoreIsRefusedNamingIt) {
  TempDir images;
  const std::string image = images.file("empty.img");
  testing::writeBytes(image, std::vector<std::uint8_t>(64 * 1024, 0));
  auto window = jobWindow(image, out_.path());
  EXPECT_FALSE(window->onScan());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], QString::fromStdString("\"" + image +
                                                "\" is neither a recorder folder nor a disk image this program reads."));
  EXPECT_EQ(jobButtons(*window), IDLE);
}

TEST_F(JobWindowTest, TheSummarysButtonOpensTheOutputFolder) {
  testing::simulateRecorder(disk_.root(), {{0, 1, T0, 2, true}});
  auto window = jobWindow();
  selectEverything(*window);
  onModal = [this](QDialog& dialog) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    messages.push_back(box->text());
    auto* open = box->findChild<QPushButton*>(QStringLiteral("openOutputFolder"));
    EXPECT_NE(open, nullptr);
    if (open != nullptr) {
      EXPECT_EQ(open->text(), QStringLiteral("Open output folder"));
      open->click();
    }
    return 0;
  };
  ASSERT_TRUE(window->onStartBackup());
  EXPECT_TRUE(tickUntilIdle(*window));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(openedUrls, std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(out_.path()))});
}

TEST_F(JobWindowTest, ASizeLimitReachedIsSaidSo) {
  testing::SimulationOptions options;
  options.media = testing::SimulatedMedia::Synthetic;
  const auto store = testing::simulateRecorder(disk_.root(), {{0, 1, T0, 4, true}}, options);
  ASSERT_GT(store.payloadBytes, 2u * 1024 * 1024);
  auto window = jobWindow();
  selectEverything(*window);
  typeInto(qobject_cast<QLineEdit*>(window->control(ID_SIZE_LIMIT)), "1");
  ASSERT_TRUE(window->onStartBackup());
  EXPECT_TRUE(tickUntilIdle(*window));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Finished: the size limit was reached.\r\nFiles written=1, ")))
      << messages[0].toStdString();
}

}  // namespace
}  // namespace korvex
