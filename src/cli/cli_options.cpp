#include "cli/cli_options.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string_view>

#include "jobs/selection.h"
#include "store/record_types.h"

namespace korvex::cli {

namespace {

// Every command there is, as a message that asks for one names them.
#define COMMAND_NAMES "scan, backup, disks, report, verify or still"

const char* const GENERAL_USAGE =
    "usage: korvex-cli <command> [options]\n"
    "\n"
    "Reads the recording files of a video recorder's disk, never writing to it.\n"
    "\n"
    "commands:\n"
    "  scan      list the recording segments of every channel in a report\n"
    "  backup    export the selected recordings into AVI files\n"
    "  disks     list the partitions of a disk image or device, and which hold a store\n"
    "  report    write an examination report made from the jobs' logs\n"
    "  verify    check a job's files against its log, and its AVI files against the disk\n"
    "  still     save one frame of a channel as a PNG, with its time and hash\n"
    "\n"
    "  korvex-cli <command> --help   describes a command\n"
    "  korvex-cli --version          prints the version\n";

#define RECOVER_HELP \
  "With --recover, past the point where a recording file's frames end (a damaged\n" \
  "frame header, a zero length), the file is searched for the next frame and read\n" \
  "on from it to its end, older frames behind the newest ones included; unreadable\n" \
  "blocks are passed over and listed, files that cannot be opened are passed over,\n" \
  "and the file headers' times are not used. A frame found by the search is taken\n" \
  "only when its time lies within 366 days of the newest frame seen; the others\n" \
  "are counted and listed in the log as passed over, with their times. A frame\n" \
  "whose length nothing after it confirms (the next frame header, unwritten\n" \
  "zeros, the end of the file, or only older frames further on) is listed as\n" \
  "damaged and taken by neither job. stderr shows what was recovered, up to 20\n" \
  "entries of each kind and a count of the rest; the job's log (.json) lists\n" \
  "every one.\n"

#define CASE_HELP \
  "  --case TEXT         the case number, written into the job's log\n" \
  "  --exhibit TEXT      the exhibit reference of the disk\n" \
  "  --examiner TEXT     who runs the job\n" \
  "  --organisation TEXT the examiner's organisation\n" \
  "  --notes TEXT        anything else the log should hold\n"

const char* const VERIFY_USAGE =
    "usage: korvex-cli verify LOG.json [--disk DISK] [--partition N]\n"
    "\n"
    "Checks every file a job's log lists, in the log's folder, against its SHA-256,\n"
    "and the hash list beside the log (.sha256) against the log. With --disk, the\n"
    "disk the backup read, each AVI file's chunks are compared one by one with the\n"
    "payloads of the frames they came from, read again from the recording files,\n"
    "and with the digest of those payloads the backup logged. Nothing is written.\n"
    "\n"
    "  --disk DISK         the recorder disk the backup read (folder, image, device)\n"
    "  --partition N       on an image or device, the partition that holds the store\n"
    "\n"
    "Each difference is one line on stderr, naming the file (and for a chunk the\n"
    "frame: channel, recording file, offset, time), then a summary.\n"
    "Exit status: 0 everything holds; 1 a difference, a file missing or a disk that\n"
    "cannot be read; 2 bad usage; 130 interrupted.\n";

const char* const SCAN_USAGE =
    "usage: korvex-cli scan --disk DISK --out DIR [--partition N]\n"
    "                       [--folder-start N] [--folder-end N] [--recover]\n"
    "                       [--no-time-file] [--clock-offset OFF]\n"
    "\n"
    "Walks the recorder folders dirNNNNN of DISK and writes the report\n"
    "DIR/ScanFile_<year>_<month>_<day>_<hour>_<minute>_<second>.txt with one row per\n"
    "recording segment: channel, record type, start, end, duration, size, folder.\n"
    "\n"
    "  --disk DISK         the recorder disk: its root folder (mounted read-only),\n"
    "                      a disk image file (raw, or the first file of an EWF set)\n"
    "                      or a block device, read without mounting\n"
    "  --partition N       on an image or device, the partition that holds the\n"
    "                      store (as korvex-cli disks numbers them; default: the\n"
    "                      first that holds one)\n"
    "  --out DIR           the folder that receives the report\n"
    "  --folder-start N    first folder to visit (default 0)\n"
    "  --folder-end N      folder at which to stop, not visited (default 0: all)\n"
    "  --recover           recovery for a damaged disk (see below)\n"
    "  --no-time-file      leave each segment's frame rate against the recorder's\n"
    "                      time stamps out of the job's log (.json)\n"
    CASE_HELP
    "  --clock-offset OFF  how far the recorder's clock was ahead of real time,\n"
    "                      +HH:MM:SS or -HH:MM:SS (behind), or the two clocks'\n"
    "                      readings at one moment, \"RECORDER=REFERENCE\"\n"
    "  --clock-reading TIME, --reference-reading TIME\n"
    "                      the same as two options: what the recorder showed and\n"
    "                      what the reference clock showed, \"YYYY-MM-DD HH:MM:SS\"\n"
    "                      (the offset goes into the job's log)\n"
    "\n"
    RECOVER_HELP
    "\n"
    "DIR may not lie on the recorder's disk; one job at a time writes to a folder,\n"
    "and an existing report is never replaced (the new one gets _2, _3, ...).\n"
    "Prints the report's path on stdout and the progress on stderr.\n"
    "Exit status: 0 done; 3 no video data found (no folder, or a recording file\n"
    "missing before the last folder); 2 bad usage (a dir* folder given as the disk\n"
    "too); 1 the disk does not exist or cannot be read, the report cannot be\n"
    "written, a recording file cannot be read, or the output folder cannot be used;\n"
    "130 interrupted (the report holds what was found).\n";

const char* const BACKUP_USAGE =
    "usage: korvex-cli backup --disk DISK --out DIR [--partition N]\n"
    "                         [--begin TIME] [--end TIME]\n"
    "                         [--channels LIST|all] [--types LIST] [--max-mb N]\n"
    "                         [--folder-start N] [--folder-end N] [--recover]\n"
    "                         [--no-time-file] [--clock-offset OFF]\n"
    "                         [--window-in recorder|corrected]\n"
    "\n"
    "Exports the selected recordings into AVI files in DIR, one per channel and\n"
    "recording segment (H.264 video, A-law sound).\n"
    "\n"
    "  --disk DISK         the recorder disk: its root folder (mounted read-only),\n"
    "                      a disk image file (raw, or the first file of an EWF set)\n"
    "                      or a block device, read without mounting\n"
    "  --partition N       on an image or device, the partition that holds the\n"
    "                      store (as korvex-cli disks numbers them; default: the\n"
    "                      first that holds one)\n"
    "  --out DIR           an existing, writable folder for the AVI files\n"
    "  --begin TIME        start of the time window, local \"YYYY-MM-DD HH:MM:SS\"\n"
    "                      (default: the earliest time)\n"
    "  --end TIME          end of the time window, included (default: the latest);\n"
    "                      an hour the clocks repeat counts from its first pass\n"
    "                      for --begin to its second for --end, and a time they\n"
    "                      skip is the instant they jumped\n"
    "  --channels LIST     channels 1 to 16, comma-separated, or all (default all)\n"
    "  --types LIST        record types time,motion,sensor,manual (default all)\n"
    "  --max-mb N          stop after about N MiB of media (default 0: no limit)\n"
    "  --folder-start N    first folder to visit (default 0)\n"
    "  --folder-end N      folder at which to stop, not visited (default 0: all)\n"
    "  --recover           recovery for a damaged disk (see below)\n"
    "  --no-time-file      no subtitle file (.srt) of the recorder's time beside each\n"
    "                      AVI file, and no frame rate against the time stamps in\n"
    "                      the job's log (.json)\n"
    CASE_HELP
    "  --clock-offset OFF  how far the recorder's clock was ahead of real time,\n"
    "                      +HH:MM:SS or -HH:MM:SS (behind), or the two clocks'\n"
    "                      readings at one moment, \"RECORDER=REFERENCE\"\n"
    "  --clock-reading TIME, --reference-reading TIME\n"
    "                      the same as two options: what the recorder showed and\n"
    "                      what the reference clock showed, \"YYYY-MM-DD HH:MM:SS\"\n"
    "                      (the offset goes into the job's log and the\n"
    "                      corrected time into the subtitle files)\n"
    "  --window-in CLOCK   recorder (default) or corrected: the clock --begin and\n"
    "                      --end are given in (corrected needs an offset); AVI\n"
    "                      names and the report stay in the recorder's time\n"
    "\n"
    RECOVER_HELP
    "AVI files made of such older frames end in _recovered.avi.\n"
    "\n"
    "DIR may not lie on the recorder's disk; one job at a time writes to a folder,\n"
    "and existing files are never replaced (new names get _2, _3, ...).\n"
    "Prints each AVI file's path on stdout as it is created, the progress on stderr.\n"
    "Exit status: 0 done; 3 no video data found; 2 bad usage (a dir* folder given\n"
    "as the disk too); 1 other failures (a disk that does not exist among them);\n"
    "130 interrupted by Ctrl-C, SIGTERM or SIGHUP (every AVI file written so far is\n"
    "finished and playable). A recording file that cannot be read ends the job\n"
    "with status 1, naming the file.\n";

const char* const STILL_USAGE =
    "usage: korvex-cli still --disk DISK --out DIR --channel N --at TIME\n"
    "                        [--partition N] [--recover] [--clock-offset OFF]\n"
    "\n"
    "Saves the picture of channel N recorded at TIME (the first frame of that second,\n"
    "else the last one before it) as DIR/still_chn<N>_<recorder time>.png, at its\n"
    "full size and without marks, with a JSON record beside it (the disk, the\n"
    "recording file and offset of the frame, its recorder time, the PNG's SHA-256)\n"
    "and a hash list of both that sha256sum -c checks.\n"
    "\n"
    "  --disk DISK         the recorder disk: its root folder (mounted read-only),\n"
    "                      a disk image file (raw, or the first file of an EWF set)\n"
    "                      or a block device, read without mounting\n"
    "  --partition N       on an image or device, the partition that holds the store\n"
    "  --out DIR           an existing, writable folder for the still\n"
    "  --channel N         the channel, 1 to 32\n"
    "  --at TIME           local \"YYYY-MM-DD HH:MM:SS\", as the report shows times\n"
    "  --recover           read a damaged disk as recovery does\n"
    "  --clock-offset OFF  how far the recorder's clock was ahead of real time\n"
    "                      (+HH:MM:SS, or \"RECORDER=REFERENCE\"): the record gives\n"
    "                      the corrected time beside the recorder's\n"
    "\n"
    "Existing files are never replaced (new names get _2, _3, ...). Prints the\n"
    "PNG's path on stdout.\n"
    "Exit status: 0 saved; 3 no picture of the channel at or just before TIME;\n"
    "2 bad usage; 1 other failures (the frame does not decode, the disk cannot be\n"
    "read, the files cannot be written).\n";

// A whole decimal number, optionally signed, in the range of int32.
std::optional<std::int32_t> strictNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || text[0] == ' ' || text[0] == '\t') return std::nullopt;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

bool validDate(int year, int month, int day) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

// "YYYY-MM-DD HH:MM:SS" in local time, as the window's pickers take it; a
// time the clocks pass twice is the occurrence asked for.
std::optional<RecorderTime> parseLocalTime(const std::string& text, LocalOccurrence which) {
  int year, month, day, hour, minute, second, used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &year, &month, &day, &hour, &minute, &second, &used) != 6 ||
      static_cast<std::size_t>(used) != text.size() || text.size() != 19)
    return std::nullopt;
  // Years well inside what a signed 32-bit count of seconds holds in any zone.
  if (year < 1902 || year > 2037 || !validDate(year, month, day) || hour > 23 || minute > 59 || second > 59 ||
      hour < 0 || minute < 0 || second < 0)
    return std::nullopt;
  return recorderTimeFromPickers({year, month, day}, {hour, minute, second}, which);
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

bool parseChannels(const std::string& text, JobSettings& settings, std::string& error) {
  settings.channelEnabled.fill(0);
  if (text == "all") {
    for (int k = 0; k < SELECTABLE_CHANNELS; ++k) settings.channelEnabled[static_cast<std::size_t>(k)] = 1;
    return true;
  }
  for (const std::string& item : splitList(text)) {
    const auto channel = strictNumber(item);
    if (!channel || *channel < 1 || *channel > SELECTABLE_CHANNELS) {
      error = "--channels: '" + item + "' is not a channel from 1 to 16";
      return false;
    }
    settings.channelEnabled[static_cast<std::size_t>(*channel - 1)] = 1;
  }
  return true;
}

bool parseTypes(const std::string& text, JobSettings& settings, std::string& error) {
  settings.recordTypeEnabled.fill(0);
  for (const std::string& item : splitList(text)) {
    std::int32_t code = 0;
    if (item == "time") code = RECORD_TYPE_TIME;
    else if (item == "motion") code = RECORD_TYPE_MOTION;
    else if (item == "sensor") code = RECORD_TYPE_SENSOR;
    else if (item == "manual") code = RECORD_TYPE_MANUAL;
    else {
      error = "--types: unknown record type '" + item + "' (time, motion, sensor, manual)";
      return false;
    }
    settings.recordTypeEnabled[static_cast<std::size_t>(code)] = 1;
  }
  return true;
}

// The case detail an option names, or null.
std::string* caseField(JobSettings& settings, const std::string& option) {
  CaseDetails& c = settings.caseDetails;
  if (option == "--case") return &c.number;
  if (option == "--exhibit") return &c.exhibit;
  if (option == "--examiner") return &c.examiner;
  if (option == "--organisation") return &c.organisation;
  if (option == "--notes") return &c.notes;
  return nullptr;
}

bool parseVerify(const std::vector<std::string>& args, CliRequest& request, std::string& error) {
  request.command = Command::Verify;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string option = args[i];
    if (option == "--help" || option == "-h") {
      request.helpFor = Command::Verify;
      request.command = Command::Help;
      return true;
    }
    if (option.rfind("--", 0) != 0) {
      if (!request.logPath.empty()) {
        error = "verify takes one log, not '" + option + "' too";
        return false;
      }
      request.logPath = option;
      continue;
    }
    std::optional<std::string> value;
    if (const auto eq = option.find('='); eq != std::string::npos) {
      value = option.substr(eq + 1);
      option.resize(eq);
    }
    if (option != "--disk" && option != "--partition") {
      error = "unknown option '" + option + "' for verify";
      return false;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        error = "option " + option + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (option == "--disk") {
      if (value->empty()) {
        error = "--disk needs a folder, a disk image or a device";
        return false;
      }
      request.settings.diskRoot = *value;
    } else {
      const auto number = strictNumber(*value);
      if (!number || *number < 1) {
        error = "--partition: '" + *value + "' is not a partition number (1, 2, ...)";
        return false;
      }
      request.partition = *number;
    }
  }
  if (request.logPath.empty()) {
    error = "verify needs a job's log: korvex-cli verify LOG.json [--disk DISK]";
    return false;
  }
  return true;
}

// The recorder clock's offset, from --clock-offset or from the two readings.
bool parseClockOptions(const std::optional<std::string>& offsetGiven, const std::optional<std::string>& recorderReading,
                       const std::optional<std::string>& referenceReading, JobSettings& s, std::string& error) {
  if (!offsetGiven && !recorderReading && !referenceReading) return true;
  if (offsetGiven && (recorderReading || referenceReading)) {
    error = "--clock-offset and --clock-reading/--reference-reading give the same thing: use one";
    return false;
  }
  if (!offsetGiven && (!recorderReading || !referenceReading)) {
    error = "--clock-reading and --reference-reading go together";
    return false;
  }
  std::string why;
  std::optional<ClockOffset> offset = offsetGiven ? parseClockOffset(*offsetGiven, why)
                                                  : clockOffsetFromReadings(*recorderReading, *referenceReading, why);
  if (!offset) {
    error = std::string(offsetGiven ? "--clock-offset: " : "--clock-reading/--reference-reading: ") + why;
    return false;
  }
  offset->givenBy = processUserName() + (offsetGiven ? " (given with --clock-offset)"
                                                     : " (given with --clock-reading and --reference-reading)");
  offset->givenAt = std::time(nullptr);
  s.clockOffset = std::move(*offset);
  return true;
}

}  // namespace

const char* usageText(Command command) {
  switch (command) {
    case Command::Scan: return SCAN_USAGE;
    case Command::Backup: return BACKUP_USAGE;
    case Command::Verify: return VERIFY_USAGE;
    case Command::Still: return STILL_USAGE;
    default: return GENERAL_USAGE;
  }
}

bool parseCommandLine(const std::vector<std::string>& args, CliRequest& request, std::string& error) {
  request = CliRequest{};
  if (args.empty()) {
    error = "a command is needed: " COMMAND_NAMES " (see korvex-cli --help)";
    return false;
  }
  const std::string& name = args[0];
  if (name == "--help" || name == "-h" || name == "help") {
    request.command = Command::Help;
    return true;
  }
  if (name == "--version") {
    request.command = Command::Version;
    return true;
  }
  if (name == "scan") request.command = Command::Scan;
  else if (name == "backup") request.command = Command::Backup;
  else if (name == "verify") return parseVerify(args, request, error);
  else if (name == "still") request.command = Command::Still;
  else {
    error = "unknown command '" + name + "' (" COMMAND_NAMES ")";
    return false;
  }

  JobSettings& s = request.settings;
  const bool backup = request.command == Command::Backup;
  s.timeFile = true;
  if (backup) {
    selectEverything(s);
  }
  const bool still = request.command == Command::Still;
  bool haveDisk = false, haveOut = false, haveChannel = false, haveAt = false;
  std::optional<std::string> offsetGiven, recorderReading, referenceReading;
  bool windowCorrected = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string option = args[i];
    std::optional<std::string> value;
    if (option == "--help" || option == "-h") {
      request.helpFor = request.command;
      request.command = Command::Help;
      return true;
    }
    if (const auto eq = option.find('='); option.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = option.substr(eq + 1);
      option.resize(eq);
    }
    if (option == "--recover") {
      if (value) {
        error = "--recover takes no value";
        return false;
      }
      s.recover = true;
      continue;
    }
    if (option == "--no-time-file") {
      if (value) {
        error = "--no-time-file takes no value";
        return false;
      }
      s.timeFile = false;
      continue;
    }
    const bool known = option == "--disk" || option == "--out" || option == "--partition" ||
                       (!still && (option == "--folder-start" || option == "--folder-end")) ||
                       (still && (option == "--channel" || option == "--at")) ||
                       (!still && caseField(s, option) != nullptr) ||
                       option == "--clock-offset" || option == "--clock-reading" ||
                       option == "--reference-reading" ||
                       (backup && (option == "--begin" || option == "--end" || option == "--channels" ||
                                   option == "--types" || option == "--max-mb" || option == "--window-in"));
    if (!known) {
      error = "unknown option '" + option + "' for " + name;
      return false;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        error = "option " + option + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (std::string* field = caseField(s, option)) {
      *field = *value;
    } else if (option == "--disk") {
      s.diskRoot = *value;
      if (s.diskRoot.empty()) {
        error = "--disk needs a folder, a disk image or a device";
        return false;
      }
      haveDisk = true;
    } else if (option == "--partition") {
      const auto number = strictNumber(*value);
      if (!number || *number < 1) {
        error = "--partition: '" + *value + "' is not a partition number (1, 2, ...)";
        return false;
      }
      request.partition = *number;
    } else if (option == "--out") {
      s.outputFolder = *value;
      if (s.outputFolder.empty()) {
        error = "--out needs a folder";
        return false;
      }
      haveOut = true;
    } else if (option == "--folder-start" || option == "--folder-end" || option == "--max-mb") {
      const auto number = strictNumber(*value);
      if (!number) {
        error = option + ": '" + *value + "' is not a number";
        return false;
      }
      if (*number < 0) {
        error = option + ": '" + *value + "' is negative";
        return false;
      }
      if (option == "--folder-start") s.folderStart = *number;
      else if (option == "--folder-end") s.folderEnd = *number;
      else s.maxDataSizeMB = *number;
    } else if (option == "--begin" || option == "--end") {
      const auto time =
          parseLocalTime(*value, option == "--begin" ? LocalOccurrence::First : LocalOccurrence::Second);
      if (!time) {
        error = option + ": '" + *value + "' is not a local time \"YYYY-MM-DD HH:MM:SS\"";
        return false;
      }
      (option == "--begin" ? s.beginTime : s.endTime) = *time;
    } else if (option == "--channel") {
      const auto channel = strictNumber(*value);
      if (!channel || *channel < 1 || *channel > CHANNEL_TABLE_SIZE) {
        error = "--channel: '" + *value + "' is not a channel from 1 to 32";
        return false;
      }
      request.stillChannel = *channel - 1;
      haveChannel = true;
    } else if (option == "--at") {
      const auto time = parseLocalTime(*value, LocalOccurrence::First);
      if (!time) {
        error = "--at: '" + *value + "' is not a local time \"YYYY-MM-DD HH:MM:SS\"";
        return false;
      }
      request.stillAt = *time;
      haveAt = true;
    } else if (option == "--channels") {
      if (!parseChannels(*value, s, error)) return false;
    } else if (option == "--types") {
      if (!parseTypes(*value, s, error)) return false;
    } else if (option == "--clock-offset") {
      offsetGiven = *value;
    } else if (option == "--clock-reading") {
      recorderReading = *value;
    } else if (option == "--reference-reading") {
      referenceReading = *value;
    } else if (option == "--window-in") {
      if (*value != "recorder" && *value != "corrected") {
        error = "--window-in: '" + *value + "' is neither recorder nor corrected";
        return false;
      }
      windowCorrected = *value == "corrected";
    }
  }
  if (!parseClockOptions(offsetGiven, recorderReading, referenceReading, s, error)) return false;
  if (windowCorrected && !s.clockOffset) {
    error = "--window-in corrected needs --clock-offset (or the two readings)";
    return false;
  }
  if (!haveDisk || !haveOut) {
    error = std::string(name) + " needs --disk DISK and --out DIR";
    return false;
  }
  if (still && (!haveChannel || !haveAt)) {
    error = "still needs --channel N and --at TIME";
    return false;
  }
  if (s.folderEnd != 0 && s.folderEnd <= s.folderStart) {
    error = "--folder-end " + std::to_string(s.folderEnd) + " must be above --folder-start " +
            std::to_string(s.folderStart) + " (or 0: to the last folder)";
    return false;
  }
  if (backup && s.beginTime > s.endTime) {
    error = "--begin is after --end";
    return false;
  }
  if (windowCorrected) windowFromCorrectedTime(s);
  return true;
}

}  // namespace korvex::cli
