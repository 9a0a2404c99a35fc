// The texts of an examination report. They lie in section "report" of each
// language file, each key the English text itself; a face looks them up in
// the language chosen and hands them to the writer.
#pragma once

#include <array>
#include <functional>
#include <string>

namespace korvex {

inline constexpr const char* REPORT_TEXT_SECTION = "report";

// The text of a key in the report's language; the key itself where the
// language has none.
using ReportTexts = std::function<std::string(const char* key)>;

// Section titles, column heads and the report's own sentences.
inline constexpr std::array<const char*, 72> REPORT_KEYS = {
    "examination report", "case", "not recorded", "made by", "made at", "page",
    "logs examined", "log file", "job", "program", "version", "started", "ended", "outcome", "reason",
    "the disk", "the settings", "clock offset", "seconds", "recorder clock minus true time",
    "recording segments", "segment number", "channel", "type", "start", "end", "corrected start", "corrected end",
    "duration", "size", "real rate", "drift", "thumbnail", "no thumbnail",
    "no disk given: no thumbnails", "exported files", "file", "bytes", "SHA-256", "segment",
    "first frame", "last frame", "stills", "time", "corrected time", "recovery", "nothing was passed over",
    "resyncs", "unreadable regions", "files passed over", "damaged frames", "frames outside the time window",
    "unreadable files", "missing file", "offset", "length", "frames", "jobs",
    "the scan's report", "frames per second", "nominal", "a log that cannot be read", "contents",
    "this report's SHA-256 is in the hash list beside it", "scan", "backup", "still",
    // The window's button and messages.
    "report...", "choose the jobs' logs for the report", "the examination report", "can't write the report",
    "writing the report...",
};

// Labels of the logs' fields, by their JSON names; a field without one is
// shown under its JSON name.
inline constexpr std::array<const char*, 48> REPORT_FIELD_KEYS = {
    "number", "exhibit", "examiner", "organisation", "notes",
    "path", "resolvedPath", "format", "device", "fileSystem", "mountPoint", "model", "serial",
    "image", "md5", "sha1", "sha256", "segments", "storedHashesVerified", "partition", "index", "wholeDisk",
    "startBytes", "lengthBytes", "description",
    "diskRoot", "outputFolder", "folderStart", "folderEnd", "recover", "beginTime", "endTime",
    "maxDataSizeMB", "channels", "recordTypes", "pickedWindows", "timeFile", "verification",
    "endedAt", "resumedAt", "bytesPassed", "through", "files", "payloadLength", "lastOffset", "lastTime",
    "foldersNotRead", "foldersLeft",
};

// The texts of every key above in the current language (section "report"
// of its file), read once; a key the file lacks, or one not above, reads as
// itself.
ReportTexts languageReportTexts();

// "en" or "zh": the page's language for the current language.
std::string languageReportCode();

}  // namespace korvex
