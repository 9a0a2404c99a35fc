// The log every job leaves beside its output, for whoever must later show
// what was exported, from which disk, with which selection, and that the
// files are unchanged since: a list of SHA-256 hashes that `sha256sum -c`
// checks, and a JSON record of the job.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/output_files.h"
#include "jobs/file_hasher.h"
#include "jobs/job_result.h"
#include "jobs/job_settings.h"
#include "jobs/segment_texts.h"  // calendarText
#include "store/disk_source.h"

namespace korvex {

inline constexpr std::string_view HASH_LIST_EXTENSION = ".sha256";
inline constexpr std::string_view JOB_LOG_EXTENSION = ".json";

// "finished", "no-video", "stopped", "size-limit", "failed", "interrupted".
const char* jobOutcomeName(JobOutcome outcome);

// Why a job failed, in one sentence, as its log gives it: "cannot read the
// recording file <path>: <reason>", "cannot write <path>: <reason>", ...;
// empty when nothing failed.
std::string jobFailureText(const Failure& failure, bool backup);

// A file the log lists with its hash.
struct LoggedFile {
  std::string path;  // empty: there is none
  FileHash hash;
};

// Everything a job's log records. New kinds of facts get a field here and
// their keys in custodyJson.
struct CustodyRecord {
  bool backup = false;  // otherwise a scan
  std::time_t started = 0;
  std::time_t ended = 0;
  JobOutcome outcome = JobOutcome::Finished;
  std::string reason;  // for a failed job
  DiskDescription disk;
  JobSettings settings;
  SourceEnd source;
  std::vector<ExportedFile> files;      // a backup's AVI files, with their hashes
  std::vector<SegmentRecord> segments;  // a scan's segments
  LoggedFile report;                    // a scan's report
  RecoveryLog recovery;                 // what recovery did (settings.recover)
};

// The record as JSON text (two-space indents, a line end at the end).
std::string custodyJson(const CustodyRecord& record);

// The disk as the log describes it: a JSON object's text.
std::string diskJsonText(const DiskDescription& disk);

// The hash list: "<64 hex digits>  <name>\n" per file, names relative to
// the output folder, in the order given; files without a hash are left out.
std::string hashList(const std::vector<LoggedFile>& files);

// "2026-12-08T09:05:03+01:00": local time with its offset from UTC.
std::string isoLocalTime(std::time_t moment);

// The file name after the last '/'.
std::string fileNameOf(const std::string& path);

// "<folder>/BackupLog_<y>_<m>_<d>_<h>_<mi>_<s>", without an extension, from
// the local time at which the backup started ('/' as for the report).
std::string backupLogStem(const std::string& outputFolder, const CalendarTime& started);

// The two files of a job's log, created new (never over an existing name,
// never through a link) under one stem: "<stem>.sha256" and "<stem>.json",
// or "<stem>_2.sha256" and "<stem>_2.json", ... while either is taken.
// Room for them is kept on the disk while the job runs, so that they can
// still be written when the job has filled the disk.
class CustodyLogFiles {
 public:
  explicit CustodyLogFiles(OutputFiles& output = diskOutput()) : output_(output) {}
  ~CustodyLogFiles();
  CustodyLogFiles(const CustodyLogFiles&) = delete;
  CustodyLogFiles& operator=(const CustodyLogFiles&) = delete;

  // False (failure() set) when they cannot be created.
  bool create(const std::string& stem);
  // Keeps room for a hash list and a record of at least these sizes. Where
  // the file system cannot keep room, nothing is kept.
  void reserve(std::uint64_t hashListBytes, std::uint64_t jsonBytes);
  // Writes both, each cut to its length, and closes them. False when
  // either could not be written whole: failure() names it, and both are
  // removed (a list cut short would verify a part as if it were all).
  bool write(const std::string& hashList, const std::string& json);

  bool created() const { return hashList_.file != nullptr; }
  const std::string& hashListPath() const { return hashList_.path; }
  const std::string& logPath() const { return json_.path; }
  // LogNotWritten with the file and its errno: the first that failed.
  const Failure& failure() const { return failure_; }

 private:
  struct LogFile {
    std::string path;
    std::unique_ptr<OutputFile> file;
    std::uint64_t reserved = 0;
    void reserve(std::uint64_t bytes);
    // Writes `text` and closes the file: 0, or the errno of the failure.
    int write(const std::string& text);
  };
  void noteFailure(const std::string& path, int errorNumber);

  OutputFiles& output_;
  LogFile hashList_;
  LogFile json_;
  Failure failure_;
};

// Room a log keeps for its fixed part, and for each file or segment more.
inline constexpr std::uint64_t LOG_RESERVE_BASE = 16 * 1024;
inline constexpr std::uint64_t LOG_RESERVE_PER_FILE = 1536;
inline constexpr std::uint64_t LOG_RESERVE_PER_SEGMENT = 512;
// The frame rate against the stamps, and a file's subtitle file.
inline constexpr std::uint64_t LOG_RESERVE_PER_TIME_FILE = 768;
inline constexpr std::uint64_t LOG_RESERVE_PER_SOURCE_RUN = 128;

}  // namespace korvex
