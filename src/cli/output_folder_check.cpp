#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "jobs/custody_log.h"
#include "jobs/recovery_log.h"
#include "store/recording_store.h"

namespace korvex::cli {

bool claimOutputFolder(const JobSettings& settings, const char* what, OutputFolderLock& lock) {
  const std::string& folder = settings.outputFolder;
  const Failure claim = korvex::claimOutputFolder(folder, settings.diskRoot, lock);
  switch (claim.code) {
    case FailureCode::None:
      return true;
    case FailureCode::OutputInsideStore:
      std::fprintf(stderr, "korvex-cli: %s is the recorder disk %s or lies inside it; the disk is never written, "
                   "choose an output folder outside it\n", folder.c_str(), settings.diskRoot.c_str());
      return false;
    case FailureCode::OutputOnEvidence:
      std::fprintf(stderr, "korvex-cli: %s lies on a file system stored on the recorder disk %s; the disk is never "
                   "written, choose an output folder on another disk\n", folder.c_str(), settings.diskRoot.c_str());
      return false;
    case FailureCode::OutputFolderBusy:
      std::fprintf(stderr,
                   "korvex-cli: %s: another job is writing to this output folder; wait for it to end or choose "
                   "another folder\n", folder.c_str());
      return false;
    case FailureCode::OutputNotAFolder:
      std::fprintf(stderr, "korvex-cli: cannot write %s to %s: not a folder\n", what, folder.c_str());
      return false;
    default:  // OutputFolderMissing, OutputNotWritable
      std::fprintf(stderr, "korvex-cli: cannot write %s to %s: %s\n", what, folder.c_str(), claim.reason.c_str());
      return false;
  }
  return false;
}

std::string missingFileNote(const SourceEnd& source) {
  if (source.foldersNotRead <= 0 || source.missingPath.empty()) return foldersLeftNote(source);
  return "; recording file " + source.missingPath + " is missing, " + std::to_string(source.foldersNotRead) +
         (source.foldersNotRead == 1 ? " folder" : " folders") + " of the range not read" + foldersLeftNote(source);
}

std::string foldersLeftNote(const SourceEnd& source) {
  if (source.foldersLeft.empty()) return {};
  std::string note = "; folders that exist and were not read (--recover reads them):";
  const std::size_t shown = std::min<std::size_t>(source.foldersLeft.size(), RECOVERY_LINES_SHOWN);
  for (std::size_t i = 0; i < shown; ++i) note += " " + storeFolderName(source.foldersLeft[i]);
  if (source.foldersLeft.size() > shown) note += " and " + std::to_string(source.foldersLeft.size() - shown) + " more";
  return note;
}

std::string recoveryNote(const RecoveryLog& log) {
  std::string note = "recovery: " + std::to_string(log.recoveredFrames) + " frames found past a file's end of frames, " +
                     std::to_string(log.resyncs.size()) + " resyncs, " + std::to_string(log.unreadable.size()) +
                     " unreadable regions, " + std::to_string(skippedFileCount(log)) + " files passed over, " +
                     std::to_string(log.damaged.size()) + " damaged frames passed over, " +
                     std::to_string(framesOutsideWindowCount(log)) + " frames outside the time window passed over";
  const auto more = [&](std::size_t count) {
    if (count > RECOVERY_LINES_SHOWN) note += "\n  ... and " + std::to_string(count - RECOVERY_LINES_SHOWN) + " more";
  };
  for (std::size_t i = 0; i < log.resyncs.size() && i < RECOVERY_LINES_SHOWN; ++i) {
    const Resync& r = log.resyncs[i];
    note += "\n  " + r.file + ": frames ended at byte " + std::to_string(r.endedAt) + ", went on at " +
            std::to_string(r.resumedAt) + " (" + std::to_string(r.bytesPassed) + " bytes passed over)";
  }
  more(log.resyncs.size());
  for (std::size_t i = 0; i < log.unreadable.size() && i < RECOVERY_LINES_SHOWN; ++i) {
    const UnreadableRegion& u = log.unreadable[i];
    note += "\n  " + u.file + ": " + std::to_string(u.length) + " bytes unreadable at byte " + std::to_string(u.offset);
  }
  more(log.unreadable.size());
  for (std::size_t i = 0; i < log.skipped.size() && i < RECOVERY_LINES_SHOWN; ++i) {
    const SkippedFile& skipped = log.skipped[i];
    note += "\n  " + skipped.file;
    if (skipped.count() > 1) note += " to " + skipped.lastFile() + " (" + std::to_string(skipped.count()) + " files)";
    note += " passed over: " + skipped.reason;
  }
  more(log.skipped.size());
  for (std::size_t i = 0; i < log.damaged.size() && i < RECOVERY_LINES_SHOWN; ++i) {
    const DamagedFrameEntry& d = log.damaged[i];
    note += "\n  " + d.file + ": frame at byte " + std::to_string(d.offset) + " passed over: " + d.reason;
  }
  more(log.damaged.size());
  for (std::size_t i = 0; i < log.outsideWindow.size() && i < RECOVERY_LINES_SHOWN; ++i) {
    const FramesOutsideWindowEntry& o = log.outsideWindow[i];
    note += "\n  " + o.file + ": " + std::to_string(o.frames) + (o.frames == 1 ? " frame" : " frames") +
            " at byte " + std::to_string(o.offset) + " stamped " + calendarText(o.firstTime) +
            " passed over: more than 366 days from the newest frame";
  }
  more(log.outsideWindow.size());
  return note;
}

namespace {

// `word` as one word of a POSIX shell's command line: as it is when it
// holds only characters no shell treats specially, else in single quotes
// with each ' as '\''.
std::string shellWord(const std::string& word) {
  static constexpr char plain[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-./+,:=@%";
  if (!word.empty() && word.find_first_not_of(plain) == std::string::npos) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

int noteJobLog(ProgressDisplay& progress, const std::string& hashListPath, std::size_t hashListEntries,
               const std::string& logPath, const std::string& failedPath, int errorNumber, int status) {
  if (!hashListPath.empty() && hashListEntries == 0) {
    // sha256sum fails on a list without a line: no check is offered.
    progress.message("hash list: " + hashListPath + " (empty: no file to check)");
  } else if (!hashListPath.empty()) {
    const std::size_t slash = hashListPath.rfind('/');
    std::string folder = slash == std::string::npos ? "." : hashListPath.substr(0, slash + 1);
    // A folder named like an option would be taken for one by cd.
    if (folder.front() == '-') folder = "./" + folder;
    const std::string name = slash == std::string::npos ? hashListPath : hashListPath.substr(slash + 1);
    progress.message("hash list: " + hashListPath + " (to check: cd " + shellWord(folder) + " && sha256sum -c " +
                     shellWord(name) + ")");
  }
  if (!logPath.empty()) progress.message("job log: " + logPath);
  if (failedPath.empty()) return status;
  progress.message("korvex-cli: cannot write the job's log " + failedPath + ": " + std::strerror(errorNumber));
  return status == EXIT_DONE ? EXIT_FAILURE_OTHER : status;
}

}  // namespace korvex::cli
