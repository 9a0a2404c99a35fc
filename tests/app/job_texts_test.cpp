// The texts of a running job: the backup's status, the scan's percent and
// the messages that end a job, in the languages of the program folder.
#include <gtest/gtest.h>

#include <cerrno>
#include <limits>

#include "app/job_texts.h"
#include "app/window_fixture.h"
#include "lang/language.h"
#include "lang/language_keys.h"

namespace korvex {
namespace {

using JobTextsTest = testing::WindowTest;

BackupStatus sampleStatus(bool videoFound) {
  BackupStatus status;
  status.videoFound = videoFound;
  status.frameTime.year = 2012;
  status.frameTime.month = 5;
  status.frameTime.day = 14;
  status.frameTime.hour = 9;
  status.frameTime.minute = 5;
  status.frameTime.second = 3;
  status.folder = 3;
  status.file = 17;
  status.totalBytes = 120ull * 1048576 + 1048575;  // MiB truncate
  return status;
}

TEST_F(JobTextsTest, BackupStatusInEachLanguage) {
  struct Case {
    const char* name;
    std::int32_t language;
    const char* languageFile;  // replaces English's file when set
    bool videoFound;
    const char* expected;
  };
  const Case cases[] = {
      {"English, video", 0, nullptr, true, "Video end time=2012.5.14.9:5:3\r\nFolder=3, File=17, Video total size=120M"},
      {"English, searching", 0, nullptr, false, "Searching for video...\r\nFolder=3, File=17"},
      {"Chinese, video", 1, nullptr, true,
       "录像结束时间=2012.5.14.9:5:3\r\n目录=3, 文件=17, "
       "录像总量=120M"},
      {"Chinese, searching", 1, nullptr, false, "正在搜索录像!\r\n目录=3, 文件=17"},
      {"keys as texts", 0,
       "video end time=video end time\nfolder=folder\nfile=file\nvideo total size=video total size\n", true,
       "video end time=2012.5.14.9:5:3\r\nfolder=3, file=17, video total size=120M"},
      {"missing texts", 0, "other=x\n", true, "=2012.5.14.9:5:3\r\n=3, =17, =120M"},
      {"missing texts, searching", 0, "other=x\n", false, "\r\n=3, =17"},
  };
  for (const Case& c : cases) {
    if (c.languageFile != nullptr) writeLanguageFile("English", c.languageFile);
    currentLanguage = c.language;
    EXPECT_EQ(backupStatusText(sampleStatus(c.videoFound)), c.expected) << c.name;
  }
}

TEST_F(JobTextsTest, BackupStatusOfTheFirstFileBeforeAnyFrame) {
  // An AVI file was attempted, no frame written yet: the zero time shows.
  BackupStatus status;
  status.videoFound = true;
  EXPECT_EQ(backupStatusText(status), "Video end time=0.0.0.0:0:0\r\nFolder=0, File=0, Video total size=0M");
}

TEST_F(JobTextsTest, BackupStatusIsNeverCut) {
  const std::string longest(TEXT_BUFFER_SIZE - 1, 'x');
  writeLanguageFile("English", "video end time=" + longest + "\nfolder=" + longest + "\nfile=" + longest +
                                   "\nvideo total size=" + longest + "\n");
  BackupStatus status = sampleStatus(true);
  status.folder = std::numeric_limits<std::int32_t>::min();
  status.file = std::numeric_limits<std::int32_t>::min();
  status.frameTime.year = -32768;
  status.totalBytes = std::numeric_limits<std::uint64_t>::max();
  const std::string text = backupStatusText(status);
  // More than 2 PiB shows as the largest 32-bit number of MiB.
  EXPECT_EQ(text, longest + "=-32768.5.14.9:5:3\r\n" + longest + "=-2147483648, " + longest + "=-2147483648, " +
                      longest + "=2147483647M");
}

TEST_F(JobTextsTest, TextsAreLookedUpAtEachCall) {
  EXPECT_EQ(backupStatusText(sampleStatus(false)), "Searching for video...\r\nFolder=3, File=17");
  writeLanguageFile("English", "Searching video!=Looking\nfolder=Dir\nfile=Nr\n");
  EXPECT_EQ(backupStatusText(sampleStatus(false)), "Looking\r\nDir=3, Nr=17");
}

TEST_F(JobTextsTest, ScanPercent) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "0%"}, {1, "1%"}, {42, "42%"}, {100, "100%"}, {-7, "-7%"}, {std::numeric_limits<std::int32_t>::min(), "-2147483648%"},
  };
  for (const auto& [percent, expected] : cases) EXPECT_EQ(scanPercentText(percent), expected) << percent;
}

TEST_F(JobTextsTest, ScanFinishedNamesTheReportInQuotes) {
  EXPECT_EQ(scanFinishedText("/out/ScanFile_2026_12_1_8_0_0.txt"),
            "Scan finished. The report is in the file \"/out/ScanFile_2026_12_1_8_0_0.txt\"");
  currentLanguage = 1;
  EXPECT_EQ(scanFinishedText("/o/r.txt"), "扫描完成,请查看文件 \"/o/r.txt\"");
  // A path longer than any fixed buffer is not cut.
  currentLanguage = 0;
  const std::string path = "/" + std::string(5000, 'p') + "/ScanFile_1_2_3_4_5_6.txt";
  EXPECT_EQ(scanFinishedText(path), "Scan finished. The report is in the file \"" + path + "\"");
}

TEST_F(JobTextsTest, OutputFailuresNameThePathAndTheReason) {
  struct Case {
    const char* key;
    const char* path;
    int errorNumber;
    const char* expected;
  };
  const Case cases[] = {
      {KEY_CANNOT_CREATE_REPORT, "/no/such/ScanFile_1.txt", ENOENT,
       "Cannot create the report file: \"/no/such/ScanFile_1.txt\" (No such file or directory)"},
      {KEY_CANNOT_WRITE_REPORT, "/full/ScanFile_1.txt", ENOSPC,
       "Cannot write the report file: \"/full/ScanFile_1.txt\" (No space left on device)"},
      {KEY_CANNOT_WRITE_AVI, "/ro/folder=0_file=0_chn1_Time_2012_5_4_8_9_10.avi", EACCES,
       "Cannot write the AVI file: \"/ro/folder=0_file=0_chn1_Time_2012_5_4_8_9_10.avi\" (Permission denied)"},
  };
  for (const Case& c : cases) EXPECT_EQ(outputFailureText(c.key, c.path, c.errorNumber), c.expected) << c.key;
  currentLanguage = 1;
  EXPECT_EQ(outputFailureText(KEY_CANNOT_WRITE_AVI, "/a.avi", ENOSPC),
            "无法写入AVI文件: \"/a.avi\" (设备上没有空间)");
}

// A job failed by one of ours rather than the system (its file or folder
// replaced under it) has no errno: the failure's own words are given.
TEST_F(JobTextsTest, AFailureCausedByAReplacementIsToldInItsOwnWords) {
  const std::string file =
      "the file at that name is no longer the one this job wrote (replaced or changed by something else while the "
      "job ran)";
  const std::string folder =
      "the folder's name leads to another folder than the one the job wrote into (replaced while the job ran)";
  struct Case {
    FailureCode code;
    FailureCode cause;
    const std::string& words;
    bool backup;
    int language;
    std::string expected;
  };
  const Case cases[] = {
      {FailureCode::OutputNotWritten, FailureCode::OutputFileReplaced, file, true, 0,
       "Cannot write the AVI file: \"/o/a.avi\" (" + file + ")"},
      {FailureCode::OutputNotWritten, FailureCode::OutputFolderReplaced, folder, true, 1,
       "无法写入AVI文件: \"/o/a.avi\" (" + folder + ")"},
      {FailureCode::ReportNotWritten, FailureCode::OutputFileReplaced, file, false, 0,
       "Cannot write the report file: \"/o/a.avi\" (" + file + ")"},
  };
  for (const Case& c : cases) {
    currentLanguage = c.language;
    JobEnd end;
    end.end = JobOutcome::Failed;
    end.failure = {c.code, 0, "/o/a.avi", c.words, c.cause};
    EXPECT_EQ(jobEndText(end, c.backup, {}), c.expected);
  }
}

TEST_F(JobTextsTest, BackupSummaryTellsHowItEndedWhatItWroteAndTheLog) {
  BackupResult result;
  result.videoFound = true;
  result.totalBytesWritten = 3ull * 1048576 + 5;
  result.files.resize(2);
  struct Case {
    JobOutcome end;
    int language;
    const char* log;
    const char* expected;
  };
  const Case cases[] = {
      {JobOutcome::Finished, 0, "", "Finished!\r\nFiles written=2, Video total size=3M"},
      {JobOutcome::Finished, 0, "/o/backup.json",
       "Finished!\r\nFiles written=2, Video total size=3M\r\nLog of the job, with the SHA-256 list of its files beside "
       "it: \"/o/backup.json\""},
      {JobOutcome::Stopped, 0, "",
       "Backup stopped. Every AVI file written so far is finished.\r\nFiles written=2, Video total size=3M"},
      {JobOutcome::SizeLimit, 0, "", "Finished: the size limit was reached.\r\nFiles written=2, Video total size=3M"},
      {JobOutcome::SizeLimit, 1, "/o/b.json", "完成:已达到最大数据量。\r\n已写入文件=2, 录像总量=3M\r\n任务日志(其文件的SHA-256列表在同一目录): \"/o/b.json\""},
  };
  for (const Case& c : cases) {
    currentLanguage = c.language;
    result.end = c.end;
    result.logPath = c.log;
    EXPECT_EQ(backupSummaryText(result), c.expected);
  }
  currentLanguage = 0;
  result.end = JobOutcome::Failed;
  result.failure = {FailureCode::OutputNotWritten, ENOSPC, "/full/a.avi", {}};
  result.logPath.clear();
  EXPECT_EQ(backupSummaryText(result),
            "Cannot write the AVI file: \"/full/a.avi\" (No space left on device)\r\nFiles written=2, Video total size=3M");
  // A log that could not be written is named with its reason.
  result.logFailure = {FailureCode::LogNotWritten, ENOSPC, "/full/BackupLog_1.json", {}};
  EXPECT_EQ(backupSummaryText(result),
            "Cannot write the AVI file: \"/full/a.avi\" (No space left on device)\r\nFiles written=2, Video total size=3M"
            "\r\nCannot write the job's log: \"/full/BackupLog_1.json\" (No space left on device)");
}

TEST_F(JobTextsTest, BackupStatusReadFromTheJobState) {
  JobState state;
  state.reset();
  state.videoFound = true;
  state.currentFrameTime = sampleStatus(true).frameTime;
  state.currentBackupFolder = 3;
  state.currentBackupFile = 17;
  state.totalBytesWritten = 5;
  const BackupStatus status = readBackupStatus(state);
  EXPECT_TRUE(status.videoFound);
  EXPECT_EQ(status.frameTime, sampleStatus(true).frameTime);
  EXPECT_EQ(status.folder, 3);
  EXPECT_EQ(status.file, 17);
  EXPECT_EQ(status.totalBytes, 5u);
}

}  // namespace
}  // namespace korvex
