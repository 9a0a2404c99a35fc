// The keys of section "language" of a language file. Each key is the English
// text itself; the value is the text shown in that language.
#pragma once

#include <array>
#include <cerrno>

namespace korvex {

inline constexpr const char* LANGUAGE_SECTION = "language";

// Captions of the window's labels, buttons and check boxes.
inline constexpr const char* KEY_LANGUAGE = "language";
inline constexpr const char* KEY_BROWSE = "browse";
inline constexpr const char* KEY_BACKUP_TIME = "backup time";
inline constexpr const char* KEY_BACKUP_CHANNEL = "backup channel";
inline constexpr const char* KEY_BACKUP_RECORD_TYPE = "backup record type";
inline constexpr const char* KEY_BACKUP_DISK = "backup disk";
inline constexpr const char* KEY_OUTPUT_PATH = "output path";
inline constexpr const char* KEY_START_BACKUP = "start backup";
inline constexpr const char* KEY_STOP_BACKUP = "stop backup";
inline constexpr const char* KEY_ADVANCED_SETTING = "advanced setting";
inline constexpr const char* KEY_BACKUP_MAX_DATA_SIZE = "backup max data size";
inline constexpr const char* KEY_FOLDER_RANGE = "folder range";
inline constexpr const char* KEY_SCAN = "scan";
inline constexpr const char* KEY_STOP_SCAN = "stop scan";
inline constexpr const char* KEY_TIME = "time";
inline constexpr const char* KEY_MOTION = "motion";
inline constexpr const char* KEY_SENSOR = "sensor";
inline constexpr const char* KEY_MANUAL = "manual";
inline constexpr const char* KEY_ALL = "all";
// The advanced band's check box for recovery from a damaged disk.
inline constexpr const char* KEY_RECOVER = "recover damaged recordings";
// The advanced band's check box for the recorder's time beside each AVI file.
inline constexpr const char* KEY_WRITE_TIME_FILE = "write time file";

// Status texts and messages of the jobs.
inline constexpr const char* KEY_VIDEO_END_TIME = "video end time";
inline constexpr const char* KEY_FOLDER = "folder";
inline constexpr const char* KEY_FILE = "file";
inline constexpr const char* KEY_VIDEO_TOTAL_SIZE = "video total size";
inline constexpr const char* KEY_SEARCHING_VIDEO = "Searching video!";
inline constexpr const char* KEY_FINISH = "finish!";
inline constexpr const char* KEY_NO_VIDEO_DATA = "can't find video data!";
inline constexpr const char* KEY_FINISH_SCAN = "finish scan,please check out the file";
inline constexpr const char* KEY_CANNOT_CREATE_REPORT = "can't create the report file";
inline constexpr const char* KEY_CANNOT_WRITE_REPORT = "can't write the report file";
inline constexpr const char* KEY_CANNOT_WRITE_AVI = "can't write the AVI file";
// Shown while the window waits for a job to end before it closes.
inline constexpr const char* KEY_FINISHING_JOB = "finishing the job, please wait";
// A recording file that exists but cannot be opened or read ends the job.
inline constexpr const char* KEY_CANNOT_READ_RECORDING = "can't read the recording file";
// A missing recording file ended the job before the end of its folder range.
inline constexpr const char* KEY_RECORDING_MISSING = "the recording file is missing";
inline constexpr const char* KEY_FOLDERS_NOT_READ = "folders not read";
// Refusals before a job starts.
inline constexpr const char* KEY_OUTPUT_INSIDE_DISK = "the output folder lies inside the recorder disk";
inline constexpr const char* KEY_OUTPUT_BUSY = "another job is writing to the output folder";
inline constexpr const char* KEY_OUTPUT_UNUSABLE = "can't use the output folder";
// After a job's end text: where its log (and the hash list beside it) went.
inline constexpr const char* KEY_JOB_LOG = "the job's log";
inline constexpr const char* KEY_CANNOT_WRITE_LOG = "can't write the job's log";

// The About box and its menu entry, the folder chooser's title, the buttons
// of the message boxes.
inline constexpr const char* KEY_ABOUT_ENTRY = "about Korvex...";
inline constexpr const char* KEY_ABOUT_TITLE = "about Korvex";
inline constexpr const char* KEY_ABOUT_VERSION = "Korvex version 1.0";
inline constexpr const char* KEY_ABOUT_DESCRIPTION = "scans and backs up the recordings of a recorder's disk";
inline constexpr const char* KEY_OK = "OK";
inline constexpr const char* KEY_YES = "yes";
inline constexpr const char* KEY_NO = "no";
inline constexpr const char* KEY_CHOOSE_FOLDER = "please choose a folder:";
// The disk box's Browse menu and the chooser of an image file.
inline constexpr const char* KEY_DISK_FOLDER = "disk folder...";
inline constexpr const char* KEY_DISK_IMAGE = "disk image file...";
inline constexpr const char* KEY_CHOOSE_IMAGE = "please choose a disk image file or device";
// All files first: devices have no extension.
inline constexpr const char* KEY_DISK_IMAGE_FILES =
    "all files and devices (*);;disk images (*.img *.dd *.raw *.bin *.E01 *.e01 *.Ex01)";
inline constexpr const char* KEY_PARTITION = "partition";
// Checks before a job starts.
inline constexpr const char* KEY_DISK_MISSING = "the disk does not exist";
inline constexpr const char* KEY_NO_STORE_FOLDERS = "no recorder folders under the disk";
inline constexpr const char* KEY_STORE_FOLDER_PICKED = "a recorder folder was given as the disk";
inline constexpr const char* KEY_CANNOT_OPEN_DISK = "can't open the disk";
inline constexpr const char* KEY_NO_DISK = "no disk is given";
// After the disk's name in quotes: a file that no reader takes.
inline constexpr const char* KEY_NOT_A_DISK = "is neither a recorder folder nor a disk image this program reads";
inline constexpr const char* KEY_FOLDER_RANGE_REVERSED = "the folder range ends before it begins";
inline constexpr const char* KEY_NO_CHANNEL = "no channel ticked";
inline constexpr const char* KEY_NO_RECORD_TYPE = "no record type ticked";
inline constexpr const char* KEY_END_BEFORE_START = "the end lies before the start";
inline constexpr const char* KEY_CREATE_OUTPUT = "the output folder does not exist, create it?";
// The end of a job, and closing the window while one runs.
inline constexpr const char* KEY_BACKUP_STOPPED = "backup stopped";
inline constexpr const char* KEY_SIZE_LIMIT_REACHED = "size limit reached";
inline constexpr const char* KEY_FILES_WRITTEN = "files written";
inline constexpr const char* KEY_OPEN_OUTPUT_FOLDER = "open the output folder";
inline constexpr const char* KEY_CANNOT_SHOW_OUTPUT_FOLDER = "no file manager opened the output folder";
inline constexpr const char* KEY_STOP_AND_CLOSE = "a job is running, stop it and close?";

// The picking view: its toggle, tools, filters, count and picture texts,
// the time line's legend, lanes and placeholder, the table's column titles
// (the folder column takes KEY_FOLDER, the record types KEY_TIME and its
// neighbours). "%1", "%2", "%3" stand for the numbers put in.
inline constexpr const char* KEY_SEGMENTS_AND_TIMELINE = "segments and timeline";
inline constexpr const char* KEY_OPEN_SCAN_LOG = "open scan log...";
inline constexpr const char* KEY_BACK_UP_SELECTION = "back up selection";
inline constexpr const char* KEY_WHOLE_DISK = "whole disk";
inline constexpr const char* KEY_ZOOM_IN = "zoom in";
inline constexpr const char* KEY_ZOOM_OUT = "zoom out";
inline constexpr const char* KEY_ALL_CHANNELS = "all channels";
inline constexpr const char* KEY_CHANNEL_NUMBER = "channel %1";
inline constexpr const char* KEY_ALL_TYPES = "all types";
inline constexpr const char* KEY_TYPE_CODE = "code %1";
inline constexpr const char* KEY_SEGMENT_COUNT = "%1 segments, %2 shown, %3 picked";
inline constexpr const char* KEY_PICK_A_SEGMENT = "pick a segment to see its first picture";
inline constexpr const char* KEY_READING_PICTURE = "reading the picture...";
// Before the reason a segment has no picture.
inline constexpr const char* KEY_NO_PICTURE = "no picture";
inline constexpr const char* KEY_NO_KEY_FRAME = "no key frame in the segment of channel %1";
inline constexpr const char* KEY_PICTURE_UNDECODABLE = "the picture cannot be decoded";
inline constexpr const char* KEY_OPEN_SCAN_LOG_TITLE = "open a scan's log";
inline constexpr const char* KEY_SCAN_LOG_FILES = "scan logs (*.json);;all files (*)";
inline constexpr const char* KEY_CANNOT_OPEN_SCAN_LOG = "can't open the scan's log";
inline constexpr const char* KEY_OTHER_TYPES = "other";
inline constexpr const char* KEY_DAY_WITHOUT_RECORDINGS = "day without recordings";
inline constexpr const char* KEY_CHANNEL_SHORT = "ch %1";
inline constexpr const char* KEY_NO_SEGMENTS = "no segments: scan the disk or open a scan's log";
inline constexpr const char* KEY_COLUMN_CHANNEL = "channel";
inline constexpr const char* KEY_COLUMN_TYPE = "type";
inline constexpr const char* KEY_COLUMN_START = "start";
inline constexpr const char* KEY_COLUMN_END = "end";
inline constexpr const char* KEY_COLUMN_DURATION = "duration";
inline constexpr const char* KEY_COLUMN_SIZE = "size";
// The segment's frame rate: as its headers name it, and against its stamps.
inline constexpr const char* KEY_COLUMN_NOMINAL_RATE = "nominal rate";
inline constexpr const char* KEY_COLUMN_MEASURED_RATE = "frames per stamp second";
inline constexpr const char* KEY_COLUMN_SECONDS_WITHOUT_FRAME = "seconds without frame";
inline constexpr const char* KEY_COLUMN_STAMPS_BACKWARDS = "stamps backwards";
inline constexpr const char* KEY_COLUMN_DRIFT = "playback drift";
// The recorder clock's offset from real time, in the advanced band, and the
// clock the time window is entered in.
inline constexpr const char* KEY_CLOCK_OFFSET = "recorder clock offset";
inline constexpr const char* KEY_CLOCK_OFFSET_HINT = "+HH:MM:SS or two readings";
inline constexpr const char* KEY_REMEMBER_FOR_DISK = "remember for this disk";
inline constexpr const char* KEY_RECORDER_TIME = "recorder time";
inline constexpr const char* KEY_CORRECTED_TIME = "corrected time";
inline constexpr const char* KEY_BAD_CLOCK_OFFSET = "the recorder clock offset is not understood";
inline constexpr const char* KEY_CORRECTED_NEEDS_OFFSET = "a window in corrected time needs the clock offset";

// The language in its own words, for the language list, and its locale
// ("zh_CN"): dates, the calendar and the toolkit's own dialogs follow it.
inline constexpr const char* KEY_LANGUAGE_NAME = "language name";
inline constexpr const char* KEY_LOCALE = "locale";

// The system's reasons in the user's words; any other errno keeps the
// system's text.
struct SystemErrorKey {
  int errorNumber;
  const char* key;
};
inline constexpr std::array<SystemErrorKey, 14> SYSTEM_ERROR_KEYS = {{
    {ENOENT, "no such file or directory"},
    {EACCES, "permission denied"},
    {EPERM, "operation not permitted"},
    {EROFS, "read-only file system"},
    {ENOSPC, "no space left on device"},
    {EDQUOT, "disk quota exceeded"},
    {EIO, "input/output error"},
    {ENOTDIR, "not a directory"},
    {EISDIR, "is a directory"},
    {EEXIST, "file exists"},
    {ENAMETOOLONG, "file name too long"},
    {ELOOP, "too many levels of symbolic links"},
    {EBUSY, "device or resource busy"},
    {EFBIG, "file too large"},
}};

// A picked segment the backup cannot take, and why; the refusal of a pick
// that holds such segments, before their list.
inline constexpr const char* KEY_CHANNEL_NOT_BACKED_UP =
    "channel %1 cannot be backed up: the backup takes channels 1 to 16";
inline constexpr const char* KEY_CODE_NOT_BACKED_UP =
    "record type code %1 cannot be backed up: the backup takes time, motion, sensor and manual";
inline constexpr const char* KEY_PICK_NOT_BACKED_UP =
    "the pick holds segments that cannot be backed up; unpick them and back up again:";
// A scan stopped by the Stop button, before its report's path.
inline constexpr const char* KEY_SCAN_STOPPED = "scan stopped; the report holds what was found until then:";

// Case details, written into every job's log, and the check of a log.
inline constexpr const char* KEY_CASE_DETAILS = "case details";
inline constexpr const char* KEY_EDIT_CASE = "case...";
inline constexpr const char* KEY_CASE_NUMBER = "case number";
inline constexpr const char* KEY_EXHIBIT = "exhibit reference";
inline constexpr const char* KEY_EXAMINER = "examiner";
inline constexpr const char* KEY_ORGANISATION = "organisation";
inline constexpr const char* KEY_NOTES = "notes";
inline constexpr const char* KEY_CANCEL = "cancel";
inline constexpr const char* KEY_VERIFY_LOG = "verify...";
inline constexpr const char* KEY_VERIFY_LOG_TITLE = "verify a job's log";
inline constexpr const char* KEY_JOB_LOG_FILES = "job logs (*.json);;all files (*)";
inline constexpr const char* KEY_VERIFYING = "verifying...";
inline constexpr const char* KEY_VERIFY_HOLDS = "everything the log lists holds";
inline constexpr const char* KEY_VERIFY_DIFFERS = "the log does not hold";

// The player of the picking view.
inline constexpr const char* KEY_PLAYER_PLAY = "play";
inline constexpr const char* KEY_PLAYER_PAUSE = "pause";
inline constexpr const char* KEY_PLAYER_STEP_BACK = "one frame back";
inline constexpr const char* KEY_PLAYER_STEP_FORWARD = "one frame on";
inline constexpr const char* KEY_PLAYER_PREVIOUS_KEY = "previous key frame";
inline constexpr const char* KEY_PLAYER_NEXT_KEY = "next key frame";
inline constexpr const char* KEY_PLAYER_GO_TO = "go to";
inline constexpr const char* KEY_PLAYER_SPEED = "speed";
inline constexpr const char* KEY_PLAYER_SAVE_STILL = "save still";
inline constexpr const char* KEY_PLAYER_FRAME = "frame %1 of %2";
inline constexpr const char* KEY_PLAYER_KEY_FRAME = "key frame";
inline constexpr const char* KEY_PLAYER_DAMAGED = "damaged: the last good picture is shown";
inline constexpr const char* KEY_PLAYER_CORRECTED = "corrected %1";
inline constexpr const char* KEY_PLAYER_STILL_SAVED = "still saved: %1";
inline constexpr const char* KEY_PLAYER_STILL_FAILED = "can't save the still: %1";
inline constexpr const char* KEY_PLAYER_READING = "reading the segment...";
inline constexpr const char* KEY_PLAYER_NOT_A_TIME = "not a time of this segment: %1";
inline constexpr const char* KEY_PLAYER_CANNOT_READ = "can't play the segment: %1";

// Every key that a language file must hold (and every key of
// SYSTEM_ERROR_KEYS).
inline constexpr std::array<const char*, 150> LANGUAGE_KEYS = {
    KEY_LANGUAGE,        KEY_BROWSE,           KEY_BACKUP_TIME,     KEY_BACKUP_CHANNEL,
    KEY_BACKUP_RECORD_TYPE, KEY_BACKUP_DISK,   KEY_OUTPUT_PATH,     KEY_START_BACKUP,
    KEY_STOP_BACKUP,     KEY_ADVANCED_SETTING, KEY_BACKUP_MAX_DATA_SIZE, KEY_FOLDER_RANGE,
    KEY_SCAN,            KEY_STOP_SCAN,        KEY_TIME,            KEY_MOTION,
    KEY_SENSOR,          KEY_MANUAL,           KEY_ALL,             KEY_VIDEO_END_TIME,
    KEY_FOLDER,          KEY_FILE,             KEY_VIDEO_TOTAL_SIZE, KEY_SEARCHING_VIDEO,
    KEY_FINISH,          KEY_NO_VIDEO_DATA,    KEY_FINISH_SCAN,     KEY_CANNOT_CREATE_REPORT,
    KEY_CANNOT_WRITE_REPORT, KEY_CANNOT_WRITE_AVI, KEY_FINISHING_JOB, KEY_CANNOT_READ_RECORDING,
    KEY_RECORDING_MISSING, KEY_FOLDERS_NOT_READ, KEY_OUTPUT_INSIDE_DISK, KEY_OUTPUT_BUSY,
    KEY_OUTPUT_UNUSABLE, KEY_ABOUT_ENTRY,    KEY_ABOUT_TITLE,     KEY_ABOUT_VERSION,
    KEY_ABOUT_DESCRIPTION, KEY_OK,           KEY_YES,             KEY_NO,
    KEY_CHOOSE_FOLDER,   KEY_DISK_FOLDER,      KEY_DISK_IMAGE,      KEY_CHOOSE_IMAGE,    KEY_DISK_IMAGE_FILES,
    KEY_PARTITION,       KEY_DISK_MISSING,     KEY_NO_STORE_FOLDERS, KEY_STORE_FOLDER_PICKED,
    KEY_CANNOT_OPEN_DISK, KEY_NO_CHANNEL,      KEY_NO_RECORD_TYPE,  KEY_END_BEFORE_START,
    KEY_CREATE_OUTPUT,   KEY_BACKUP_STOPPED,   KEY_SIZE_LIMIT_REACHED, KEY_FILES_WRITTEN,
    KEY_OPEN_OUTPUT_FOLDER, KEY_STOP_AND_CLOSE, KEY_RECOVER,
    KEY_JOB_LOG,         KEY_CANNOT_WRITE_LOG,
    KEY_SEGMENTS_AND_TIMELINE, KEY_OPEN_SCAN_LOG, KEY_BACK_UP_SELECTION, KEY_WHOLE_DISK,
    KEY_ZOOM_IN,         KEY_ZOOM_OUT,         KEY_ALL_CHANNELS,    KEY_CHANNEL_NUMBER,
    KEY_ALL_TYPES,       KEY_TYPE_CODE,        KEY_SEGMENT_COUNT,   KEY_PICK_A_SEGMENT,
    KEY_READING_PICTURE, KEY_NO_PICTURE,       KEY_NO_KEY_FRAME,    KEY_PICTURE_UNDECODABLE,
    KEY_OPEN_SCAN_LOG_TITLE, KEY_SCAN_LOG_FILES, KEY_CANNOT_OPEN_SCAN_LOG, KEY_OTHER_TYPES,
    KEY_DAY_WITHOUT_RECORDINGS, KEY_CHANNEL_SHORT, KEY_NO_SEGMENTS,  KEY_COLUMN_CHANNEL,
    KEY_COLUMN_TYPE,     KEY_COLUMN_START,     KEY_COLUMN_END,      KEY_COLUMN_DURATION,
    KEY_COLUMN_SIZE,     KEY_WRITE_TIME_FILE,  KEY_COLUMN_NOMINAL_RATE, KEY_COLUMN_MEASURED_RATE,
    KEY_COLUMN_SECONDS_WITHOUT_FRAME, KEY_COLUMN_STAMPS_BACKWARDS, KEY_COLUMN_DRIFT,
    KEY_NO_DISK,          KEY_NOT_A_DISK,      KEY_FOLDER_RANGE_REVERSED,
    KEY_CANNOT_SHOW_OUTPUT_FOLDER, KEY_LANGUAGE_NAME, KEY_LOCALE,
    KEY_CHANNEL_NOT_BACKED_UP, KEY_CODE_NOT_BACKED_UP, KEY_PICK_NOT_BACKED_UP, KEY_SCAN_STOPPED,
    KEY_CASE_DETAILS,    KEY_EDIT_CASE,        KEY_CASE_NUMBER,     KEY_EXHIBIT,
    KEY_EXAMINER,        KEY_ORGANISATION,     KEY_NOTES,           KEY_CANCEL,
    KEY_VERIFY_LOG,      KEY_VERIFY_LOG_TITLE, KEY_JOB_LOG_FILES,   KEY_VERIFYING,
    KEY_VERIFY_HOLDS,    KEY_VERIFY_DIFFERS,
    KEY_PLAYER_PLAY, KEY_PLAYER_PAUSE, KEY_PLAYER_STEP_BACK, KEY_PLAYER_STEP_FORWARD,
    KEY_PLAYER_PREVIOUS_KEY, KEY_PLAYER_NEXT_KEY, KEY_PLAYER_GO_TO, KEY_PLAYER_SPEED,
    KEY_PLAYER_SAVE_STILL, KEY_PLAYER_FRAME, KEY_PLAYER_KEY_FRAME, KEY_PLAYER_DAMAGED,
    KEY_PLAYER_CORRECTED, KEY_PLAYER_STILL_SAVED, KEY_PLAYER_STILL_FAILED, KEY_PLAYER_READING,
    KEY_PLAYER_NOT_A_TIME, KEY_PLAYER_CANNOT_READ,
    KEY_CLOCK_OFFSET,    KEY_CLOCK_OFFSET_HINT, KEY_REMEMBER_FOR_DISK, KEY_RECORDER_TIME,
    KEY_CORRECTED_TIME,  KEY_BAD_CLOCK_OFFSET, KEY_CORRECTED_NEEDS_OFFSET,
};

}  // namespace korvex
