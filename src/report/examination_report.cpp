#include "report/examination_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include "jobs/custody_log.h"
#include "jobs/output_folder.h"
#include "jobs/segment_texts.h"

#ifndef KORVEX_VERSION
#define KORVEX_VERSION "unknown"
#endif

namespace korvex {

namespace {

using Json = nlohmann::json;

std::string escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string base64(const std::vector<std::uint8_t>& bytes) {
  static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::uint32_t a = bytes[i];
    const std::uint32_t b = i + 1 < bytes.size() ? bytes[i + 1] : 0;
    const std::uint32_t c = i + 2 < bytes.size() ? bytes[i + 2] : 0;
    const std::uint32_t triple = (a << 16) | (b << 8) | c;
    out += digits[(triple >> 18) & 63];
    out += digits[(triple >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(triple >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? digits[triple & 63] : '=';
  }
  return out;
}

// A value as a person reads it: texts as they are, a time by its text,
// lists joined, objects as "key: value" pairs.
std::string plainText(const Json& value) {
  if (value.is_null()) return {};
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "yes" : "no";
  if (value.is_number_float()) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value.get<double>());
    return text;
  }
  if (value.is_number()) return value.dump();
  if (value.is_object() && value.contains("text") && value["text"].is_string()) return value["text"].get<std::string>();
  if (value.is_object() && value.contains("name") && value["name"].is_string()) return value["name"].get<std::string>();
  std::string joined;
  if (value.is_array()) {
    for (const Json& element : value) joined += (joined.empty() ? "" : ", ") + plainText(element);
    return joined;
  }
  for (auto member = value.begin(); member != value.end(); ++member)
    joined += (joined.empty() ? "" : "; ") + member.key() + ": " + plainText(member.value());
  return joined;
}

const Json* member(const Json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return nullptr;
  return &*found;
}

std::string textOf(const Json& object, const char* key) {
  const Json* value = member(object, key);
  return value ? plainText(*value) : std::string();
}

bool isHash(const std::string& key) { return key == "md5" || key == "sha1" || key == "sha256" || key.ends_with("Hash"); }

class Page {
 public:
  Page(const ReportRequest& request, const ReportTexts& texts) : request_(request), texts_(texts) {}
  std::string html();

 private:
  struct Parsed {
    const ReportLog* log = nullptr;
    Json record;
    bool ok = false;
    std::string job;
  };

  std::string t(const char* key) const { return escaped(texts_(key)); }
  std::string cell(const std::string& text) const {
    return text.empty() ? "<td class=\"none\">" + t("not recorded") + "</td>" : "<td>" + escaped(text) + "</td>";
  }
  std::string hashCell(const std::string& text) const {
    return text.empty() ? cell(text) : "<td class=\"hash\">" + escaped(text) + "</td>";
  }
  // A part on a new page, or (`newPage` false) on after the one before.
  void beginSection(const char* titleKey, const std::string& anchor, bool newPage = true);
  void endSection() { out_ += "</td></tr></tbody></table>\n"; }
  void fieldRows(const Json& object, const std::string& prefix);
  void fieldTable(const Json& object);
  std::string logTitle(const Parsed& parsed) const;
  std::optional<double> clockOffset(const Json& record) const;

  // "No. 4 (ScanFile_....json)": the scan segment of the file's channel and
  // record type that holds its first frame, where a scan log is given.
  std::string scanSegmentOf(const Json& file) const;

  void caseSection();
  void logsSection();
  void diskSection();
  void settingsSection();
  void segmentsSection();
  void filesSection();
  void stillsSection();
  void recoverySection();

  const ReportRequest& request_;
  const ReportTexts& texts_;
  std::vector<Parsed> parsed_;
  std::string header_;
  std::string out_;
  bool first_ = true;
};

void Page::beginSection(const char* titleKey, const std::string& anchor, bool newPage) {
  // Each part opens a page; the table's head is repeated on every page the
  // part takes, which is how print engines give a running header.
  // Qt's rich text takes the break only from the element's own style.
  out_ += first_ || !newPage ? "<table class=\"part first\" width=\"100%\">"
                             : "<table class=\"part\" width=\"100%\" style=\"page-break-before: always\">";
  first_ = false;
  out_ += "<thead><tr><td class=\"running\">" + header_ + "</td></tr></thead><tbody><tr><td>\n";
  out_ += "<h2 id=\"" + anchor + "\">" + t(titleKey) + "</h2>\n";
}

void Page::fieldRows(const Json& object, const std::string& prefix) {
  for (auto field = object.begin(); field != object.end(); ++field) {
    const std::string& key = field.key();
    // A text's hex twin restores odd bytes exactly; the log keeps it.
    if (key.ends_with("Hex")) continue;
    const Json& value = field.value();
    const std::string label = prefix.empty() ? texts_(key.c_str()) : prefix + " / " + texts_(key.c_str());
    if (value.is_object() && !value.contains("text")) {
      fieldRows(value, label);
      continue;
    }
    if (value.is_array() && !value.empty() && value.front().is_object() && !value.front().contains("name")) {
      std::size_t n = 0;
      for (const Json& element : value) fieldRows(element, label + " " + std::to_string(++n));
      continue;
    }
    const std::string text = plainText(value);
    out_ += "<tr><th>" + escaped(label) + "</th>" + (isHash(key) ? hashCell(text) : cell(text)) + "</tr>\n";
  }
}

void Page::fieldTable(const Json& object) {
  out_ += "<table class=\"fields\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\">\n";
  fieldRows(object, "");
  out_ += "</table>\n";
}

std::string Page::logTitle(const Parsed& parsed) const {
  std::string title = escaped(fileNameOf(parsed.log->path));
  if (!parsed.job.empty()) title += " (" + t(parsed.job.c_str()) + ")";
  return title;
}

// Seconds the recorder's clock ran ahead of true time, where the log says.
std::optional<double> Page::clockOffset(const Json& record) const {
  for (const Json* holder : {&record, member(record, "settings")}) {
    if (!holder) continue;
    const Json* offset = member(*holder, "clockOffset");
    if (!offset) offset = member(*holder, "clockOffsetSeconds");
    if (!offset) continue;
    if (offset->is_number()) return offset->get<double>();
    const Json* seconds = member(*offset, "seconds");
    if (seconds && seconds->is_number()) return seconds->get<double>();
  }
  return std::nullopt;
}

std::string Page::scanSegmentOf(const Json& file) const {
  const auto integer = [](const Json& object, const char* key, const char* inner) -> std::optional<std::int64_t> {
    const Json* value = member(object, key);
    if (value && inner) value = member(*value, inner);
    if (!value || !value->is_number_integer()) return std::nullopt;
    return value->get<std::int64_t>();
  };
  const auto channel = integer(file, "channel", nullptr);
  const auto type = integer(file, "recordTypeCode", nullptr);
  const auto first = integer(file, "firstFrame", "recorder");
  if (!channel || !type || !first) return {};
  for (const Parsed& p : parsed_) {
    const Json* segments = p.ok && p.job == "scan" ? member(p.record, "segments") : nullptr;
    if (!segments || !segments->is_array()) continue;
    for (const Json& s : *segments) {
      if (integer(s, "channel", nullptr) != channel || integer(s, "recordTypeCode", nullptr) != type) continue;
      const auto start = integer(s, "start", "recorder");
      const auto end = integer(s, "end", "recorder");
      if (start && end && *start <= *first && *first <= *end)
        return texts_("segment number") + " " + textOf(s, "serial") + " (" + fileNameOf(p.log->path) + ")";
    }
  }
  return {};
}

void Page::caseSection() {
  beginSection("case", "case");
  const Json* found = nullptr;
  for (const Parsed& p : parsed_)
    if (p.ok && (found = member(p.record, "case"))) break;
  if (found && found->is_object()) fieldTable(*found);
  else out_ += "<p class=\"none\">" + t("not recorded") + "</p>\n";
  out_ += "<table class=\"fields\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\">\n<tr><th>" + t("made by") + "</th>" + cell(std::string("Korvex ") + KORVEX_VERSION) +
          "</tr>\n<tr><th>" + t("made at") + "</th>" + cell(isoLocalTime(request_.made)) + "</tr>\n</table>\n";
  out_ += "<p>" + t("this report's SHA-256 is in the hash list beside it") + "</p>\n";
  endSection();
}

void Page::logsSection() {
  beginSection("jobs", "jobs", false);
  out_ += "<table class=\"data\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\"><thead><tr><th>" + t("log file") + "</th><th>" + t("job") + "</th><th>" +
          t("program") + "</th><th>" + t("started") + "</th><th>" + t("ended") + "</th><th>" + t("outcome") +
          "</th><th>" + t("SHA-256") + "</th></tr></thead><tbody>\n";
  for (const Parsed& p : parsed_) {
    out_ += "<tr>" + cell(fileNameOf(p.log->path));
    if (!p.ok) {
      out_ += "<td colspan=\"5\">" + t("a log that cannot be read") + "</td>" + hashCell(p.log->sha256) + "</tr>\n";
      continue;
    }
    std::string outcome = textOf(p.record, "outcome");
    if (const Json* reason = member(p.record, "reason")) outcome += ": " + plainText(*reason);
    out_ += cell(p.job.empty() ? std::string() : texts_(p.job.c_str())) +
            cell(textOf(p.record, "program") + " " + textOf(p.record, "version")) + cell(textOf(p.record, "started")) +
            cell(textOf(p.record, "ended")) + cell(outcome) + hashCell(p.log->sha256) + "</tr>\n";
  }
  out_ += "</tbody></table>\n";
  endSection();
}

void Page::diskSection() {
  beginSection("the disk", "disk");
  // Jobs on one disk name it alike: it is shown once.
  std::vector<std::string> shown;
  for (const Parsed& p : parsed_) {
    const Json* disk = p.ok ? member(p.record, "disk") : nullptr;
    if (!disk || !disk->is_object()) continue;
    const std::string dump = disk->dump();
    bool seen = false;
    for (const std::string& s : shown) seen = seen || s == dump;
    if (seen) continue;
    shown.push_back(dump);
    out_ += "<h3>" + logTitle(p) + "</h3>\n";
    fieldTable(*disk);
  }
  if (shown.empty()) out_ += "<p class=\"none\">" + t("not recorded") + "</p>\n";
  endSection();
}

void Page::settingsSection() {
  beginSection("the settings", "settings");
  for (const Parsed& p : parsed_) {
    if (!p.ok) continue;
    out_ += "<h3>" + logTitle(p) + "</h3>\n";
    const std::optional<double> offset = clockOffset(p.record);
    char seconds[64] = "";
    if (offset) std::snprintf(seconds, sizeof seconds, "%+.0f ", *offset);
    out_ += "<table class=\"fields\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\"><tr><th>" + t("clock offset") + "</th>" +
            (offset ? cell(seconds + texts_("seconds") + " (" + texts_("recorder clock minus true time") + ")")
                    : cell("")) +
            "</tr></table>\n";
    if (const Json* settings = member(p.record, "settings"); settings && settings->is_object()) fieldTable(*settings);
  }
  endSection();
}

void Page::segmentsSection() {
  beginSection("recording segments", "segments");
  bool any = false;
  for (std::size_t index = 0; index < parsed_.size(); ++index) {
    const Parsed& p = parsed_[index];
    const Json* segments = p.ok ? member(p.record, "segments") : nullptr;
    if (!segments || !segments->is_array()) continue;
    any = true;
    out_ += "<h3>" + logTitle(p) + "</h3>\n";
    if (!request_.thumbnailsLooked) out_ += "<p class=\"none\">" + t("no disk given: no thumbnails") + "</p>\n";
    const std::optional<double> offset = clockOffset(p.record);
    out_ += "<table class=\"data\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\"><thead><tr><th>" + t("segment number") + "</th><th>" + t("channel") + "</th><th>" +
            t("type") + "</th><th>" + t("start") + " / " + t("end") + "</th><th>" + t("corrected start") + " / " +
            t("corrected end") + "</th><th>" + t("duration") + "</th><th>" + t("size") + "</th><th>" +
            t("real rate") + "</th><th>" + t("drift") + "</th><th>" + t("thumbnail") + "</th></tr></thead><tbody>\n";
    std::size_t n = 0;
    for (const Json& s : *segments) {
      const std::size_t segment = n++;
      if (!s.is_object()) continue;
      const auto corrected = [&](const char* key) -> std::string {
        const Json* time = member(s, key);
        const Json* recorder = time ? member(*time, "recorder") : nullptr;
        if (!offset || !recorder || !recorder->is_number_integer()) return {};
        const double value = recorder->get<double>() - *offset;
        if (value < RECORDER_TIME_MIN || value > RECORDER_TIME_MAX) return {};
        return calendarText(static_cast<RecorderTime>(std::llround(value)));
      };
      std::string rate, drift;
      if (const Json* r = member(s, "rate"); r && r->is_object()) {
        rate = textOf(*r, "mean");
        if (!rate.empty() && member(*r, "nominal")) rate += " (" + texts_("nominal") + " " + textOf(*r, "nominal") + ")";
        if (!rate.empty()) rate += " " + texts_("frames per second");
        if (const Json* d = member(*r, "driftPercent")) drift = plainText(*d) + " %";
      }
      std::string duration;
      const Json* startTime = member(s, "start");
      const Json* endTime = member(s, "end");
      const Json* startRecorder = startTime ? member(*startTime, "recorder") : nullptr;
      const Json* endRecorder = endTime ? member(*endTime, "recorder") : nullptr;
      if (startRecorder && endRecorder && startRecorder->is_number_integer() && endRecorder->is_number_integer())
        duration = segmentDurationText(startRecorder->get<RecorderTime>(), endRecorder->get<RecorderTime>());
      out_ += "<tr>" + cell(textOf(s, "serial")) + cell(textOf(s, "channel")) + cell(textOf(s, "recordType")) +
              cell(textOf(s, "start") + " - " + textOf(s, "end"));
      const std::string from = corrected("start"), to = corrected("end");
      out_ += cell(from.empty() ? std::string() : from + " - " + to) + cell(duration) + cell(textOf(s, "size")) +
              cell(rate) + cell(drift);
      const auto picture = request_.thumbnails.find({index, segment});
      if (picture != request_.thumbnails.end() && !picture->second.empty())
        out_ += "<td><img class=\"thumb\" width=\"120\" alt=\"" + t("thumbnail") + "\" src=\"data:image/png;base64," +
                base64(picture->second) + "\"></td>";
      else
        out_ += "<td class=\"none\">" + t("no thumbnail") + "</td>";
      out_ += "</tr>\n";
    }
    out_ += "</tbody></table>\n";
  }
  if (!any) out_ += "<p class=\"none\">" + t("not recorded") + "</p>\n";
  endSection();
}

void Page::filesSection() {
  beginSection("exported files", "files");
  out_ += "<table class=\"data\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\"><thead><tr><th>" + t("file") + "</th><th>" + t("bytes") + "</th><th>" +
          t("SHA-256") + "</th><th>" + t("segment") + "</th><th>" + t("job") + "</th></tr></thead><tbody>\n";
  bool any = false;
  const auto row = [&](const Json& file, const std::string& from, const Parsed& p) {
    any = true;
    std::string hash = textOf(file, "sha256");
    out_ += "<tr>" + cell(textOf(file, "name")) + cell(textOf(file, "bytes")) + hashCell(hash) + cell(from) +
            cell(fileNameOf(p.log->path)) + "</tr>\n";
  };
  for (const Parsed& p : parsed_) {
    if (!p.ok) continue;
    if (const Json* report = member(p.record, "report"); report && report->is_object())
      row(*report, texts_("the scan's report"), p);
    const Json* files = member(p.record, "files");
    if (!files || !files->is_array()) continue;
    for (const Json& f : *files) {
      if (!f.is_object()) continue;
      std::string from = scanSegmentOf(f);
      if (member(f, "channel"))
        from += (from.empty() ? "" : ", ") + texts_("channel") + " " + textOf(f, "channel") + ", " + textOf(f, "recordType");
      if (member(f, "firstFrame"))
        from += ", " + textOf(f, "firstFrame") + " - " + textOf(f, "lastFrame") + " (" + textOf(f, "from") + " - " +
                textOf(f, "to") + ")";
      row(f, from, p);
      // A side file (the stamps as subtitles) follows its video.
      if (const Json* side = member(f, "timeFile"); side && side->is_object())
        row(*side, textOf(f, "name"), p);
    }
  }
  out_ += "</tbody></table>\n";
  if (!any) out_ += "<p class=\"none\">" + t("not recorded") + "</p>\n";
  endSection();
}

void Page::stillsSection() {
  std::vector<std::pair<const Parsed*, const Json*>> stills;
  for (const Parsed& p : parsed_) {
    if (!p.ok) continue;
    if (const Json* list = member(p.record, "stills"); list && list->is_array())
      for (const Json& still : *list) stills.emplace_back(&p, &still);
    else if (p.job == "still")
      stills.emplace_back(&p, member(p.record, "still") ? member(p.record, "still") : &p.record);
  }
  beginSection("stills", "stills");
  if (stills.empty()) {
    out_ += "<p class=\"none\">" + t("not recorded") + "</p>\n";
    endSection();
    return;
  }
  out_ += "<table class=\"data\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\"><thead><tr><th>" + t("file") + "</th><th>" + t("time") + "</th><th>" +
          t("channel") + "</th><th>" + t("bytes") + "</th><th>" + t("SHA-256") + "</th></tr></thead><tbody>\n";
  // A still's record keeps its picture under "png", its frame under
  // "frame" and its times under "recorderTime" and "correctedTime"; flat
  // records name them at the top.
  const auto field = [](const Json& still, const char* group, const char* key, const char* flat) {
    const Json* nested = member(still, group);
    std::string text = nested ? textOf(*nested, key) : std::string();
    return text.empty() ? textOf(still, flat) : text;
  };
  for (const auto& [p, still] : stills) {
    std::string name = field(*still, "png", "name", "name");
    if (name.empty()) name = textOf(*still, "file");
    std::string time = field(*still, "recorderTime", "text", "time");
    if (const std::string corrected = field(*still, "correctedTime", "text", "correctedTime"); !corrected.empty())
      time += " (" + t("corrected time") + " " + corrected + ")";
    out_ += "<tr>" + cell(name) + cell(time) + cell(field(*still, "frame", "channel", "channel")) +
            cell(field(*still, "png", "bytes", "bytes")) + hashCell(field(*still, "png", "sha256", "sha256")) +
            "</tr>\n";
  }
  out_ += "</tbody></table>\n";
  endSection();
}

void Page::recoverySection() {
  beginSection("recovery", "recovery");
  struct Kind {
    const char* key;
    const char* title;
  };
  static constexpr Kind kinds[] = {
      {"resyncs", "resyncs"},
      {"unreadableRegions", "unreadable regions"},
      {"passedOver", "files passed over"},
      {"damagedFrames", "damaged frames"},
      {"outsideTimeWindow", "frames outside the time window"},
  };
  bool any = false;
  const auto list = [&](const Json& entries, const char* title) {
    if (!entries.is_array() || entries.empty()) return;
    any = true;
    // Columns: the members of the first entry, in its order.
    std::vector<std::string> columns;
    for (auto c = entries.front().begin(); c != entries.front().end(); ++c)
      if (!c.key().ends_with("Hex")) columns.push_back(c.key());
    out_ += "<h4>" + t(title) + " (" + std::to_string(entries.size()) + ")</h4>\n<table class=\"data\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\"><thead><tr>";
    for (const std::string& c : columns) out_ += "<th>" + escaped(texts_(c.c_str())) + "</th>";
    out_ += "</tr></thead><tbody>\n";
    for (const Json& entry : entries) {
      out_ += "<tr>";
      for (const std::string& c : columns) out_ += cell(textOf(entry, c.c_str()));
      out_ += "</tr>\n";
    }
    out_ += "</tbody></table>\n";
  };
  for (const Parsed& p : parsed_) {
    if (!p.ok) continue;
    const std::size_t before = out_.size();
    const bool anyBefore = any;
    any = false;
    out_ += "<h3>" + logTitle(p) + "</h3>\n";
    if (const Json* unreadable = member(p.record, "unreadable")) list(*unreadable, "unreadable files");
    if (const Json* missing = member(p.record, "missing"); missing && missing->is_object()) {
      any = true;
      out_ += "<h4>" + t("missing file") + "</h4>\n";
      fieldTable(*missing);
    }
    if (const Json* recovery = member(p.record, "recovery"); recovery && recovery->is_object())
      for (const Kind& kind : kinds)
        if (const Json* entries = member(*recovery, kind.key)) list(*entries, kind.title);
    if (!any) out_.resize(before);
    any = any || anyBefore;
  }
  if (!any) out_ += "<p>" + t("nothing was passed over") + "</p>\n";
  endSection();
}

constexpr const char* STYLE = R"(<style>
@page { size: A4; margin: 14mm 12mm 16mm 12mm; @bottom-right { content: counter(page); } }
body { font-family: "DejaVu Sans", "Noto Sans CJK SC", sans-serif; font-size: 9pt; color: #000; margin: 0; }
h1 { font-size: 16pt; margin: 0 0 6pt 0; }
h2 { font-size: 13pt; margin: 4pt 0 6pt 0; border-bottom: 1px solid #000; }
h3 { font-size: 10.5pt; margin: 10pt 0 4pt 0; }
h4 { font-size: 9.5pt; margin: 8pt 0 3pt 0; }
table.part { width: 100%; border-collapse: collapse; page-break-before: always; break-before: page; }
table.part.first { page-break-before: auto; break-before: auto; }
table.part > thead { display: table-header-group; }
td.running { font-size: 7.5pt; color: #333; border-bottom: 1px solid #888; padding: 0 0 3pt 0; }
table.fields, table.data { border-collapse: collapse; width: 100%; margin-bottom: 6pt; }
table.fields th { text-align: left; width: 30%; font-weight: normal; color: #333; }
table.fields th, table.fields td, table.data th, table.data td { border: 1px solid #aaa; padding: 2pt 3pt;
  vertical-align: top; }
table.data th { background: #eee; text-align: left; }
table.data thead { display: table-header-group; }
tr { page-break-inside: avoid; break-inside: avoid; }
.hash { font-family: "DejaVu Sans Mono", monospace; font-size: 7pt; word-break: break-all; }
.none { color: #666; font-style: italic; }
img.thumb { width: 120px; }
</style>
)";

}  // namespace

std::string Page::html() {
  for (const ReportLog& log : request_.logs) {
    Parsed p;
    p.log = &log;
    p.record = Json::parse(log.text, nullptr, false);
    p.ok = p.record.is_object();
    if (p.ok) p.job = textOf(p.record, "job");
    parsed_.push_back(std::move(p));
  }
  std::string caseNumber;
  for (const Parsed& p : parsed_)
    if (p.ok && member(p.record, "case") && caseNumber.empty()) caseNumber = textOf(p.record["case"], "number");
  header_ = t("examination report");
  if (!caseNumber.empty()) header_ += " &middot; " + t("case") + " " + escaped(caseNumber);
  header_ += " &middot; Korvex " + escaped(KORVEX_VERSION) + " &middot; " + escaped(isoLocalTime(request_.made));

  out_ = "<!DOCTYPE html>\n<html lang=\"" + escaped(request_.languageCode) +
         "\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + t("examination report") +
         (caseNumber.empty() ? std::string() : " " + escaped(caseNumber)) + "</title>\n" + STYLE + "</head>\n<body>\n";
  out_ += "<h1>" + t("examination report") + "</h1>\n";
  caseSection();
  logsSection();
  diskSection();
  settingsSection();
  segmentsSection();
  filesSection();
  stillsSection();
  recoverySection();
  out_ += "</body>\n</html>\n";
  return std::move(out_);
}

std::string examinationReportHtml(const ReportRequest& request, const ReportTexts& texts) {
  return Page(request, texts).html();
}

std::vector<std::string> reportDisks(const std::vector<ReportLog>& logs) {
  std::vector<std::string> disks;
  for (const ReportLog& log : logs) {
    const Json record = Json::parse(log.text, nullptr, false);
    const Json* settings = member(record, "settings");
    const Json* disk = member(record, "disk");
    for (const Json* named : {settings ? member(*settings, "diskRoot") : nullptr, disk ? member(*disk, "path") : nullptr})
      if (named && named->is_string() && !named->get<std::string>().empty() &&
          std::find(disks.begin(), disks.end(), named->get<std::string>()) == disks.end())
        disks.push_back(named->get<std::string>());
  }
  return disks;
}

std::string sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return {};
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += digits[digest[i] >> 4];
    hex += digits[digest[i] & 15];
  }
  return hex;
}

bool readReportLog(const std::string& path, ReportLog& log, std::string& problem) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    problem = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat info{};
  std::string text;
  bool ok = ::fstat(fd, &info) == 0;
  if (!ok) problem = "cannot read " + path + ": " + std::strerror(errno);
  else if (!S_ISREG(info.st_mode)) ok = false, problem = "cannot read " + path + ": not a regular file";
  else if (static_cast<std::uint64_t>(info.st_size) > MAX_REPORT_LOG_BYTES)
    ok = false, problem = "cannot read " + path + ": larger than a job's log can be";
  char buffer[65536];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      problem = "cannot read " + path + ": " + std::strerror(errno);
    } else if (n == 0) {
      break;
    } else if (text.size() + static_cast<std::size_t>(n) > MAX_REPORT_LOG_BYTES) {
      ok = false;
      problem = "cannot read " + path + ": larger than a job's log can be";
    } else {
      text.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  if (!ok) return false;
  log.path = path;
  log.sha256 = sha256Hex(text);
  log.text = std::move(text);
  return true;
}

std::string examinationReportStem(const std::string& folder, std::time_t made) {
  std::tm local{};
  if (localtime_r(&made, &local) == nullptr) return {};
  char name[96];
  const int n = std::snprintf(name, sizeof name, "ExaminationReport_%d_%d_%d_%d_%d_%d", local.tm_year + 1900,
                              local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) return {};
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

WrittenReport writeExaminationReport(OutputFiles& output, const std::string& stem,
                                     const std::vector<ReportFile>& files) {
  WrittenReport written;
  std::vector<std::unique_ptr<OutputFile>> open;
  const auto undo = [&](FailureCode code, const std::string& path, int error) {
    open.clear();
    for (const std::string& made : written.paths) output.remove(made);
    if (!written.hashListPath.empty()) output.remove(written.hashListPath);
    written.paths.clear();
    written.hashListPath.clear();
    written.failure = Failure{code, error, path, std::strerror(error)};
    return written;
  };
  // All names under one stem: the hash list's first, then each file's;
  // any taken moves them all to the next stem.
  std::vector<std::string> extensions{std::string(HASH_LIST_EXTENSION)};
  for (const ReportFile& f : files) extensions.push_back(f.extension);
  OutputNames names;
  int error = 0;
  const std::string list = names.create(stem, extensions.front(), [&](const std::string& path) {
    open.clear();
    std::vector<std::string> made;
    const std::string base = path.substr(0, path.size() - extensions.front().size());
    for (const std::string& extension : extensions) {
      CreatedFile created = output.createNew(base + extension);
      if (!created) {
        open.clear();
        for (const std::string& m : made) output.remove(m);
        return created.failure.errorNumber;
      }
      made.push_back(base + extension);
      open.push_back(std::move(created.file));
    }
    written.hashListPath = made.front();
    written.paths.assign(made.begin() + 1, made.end());
    return 0;
  }, error);
  if (list.empty()) return undo(FailureCode::ReportNotCreated, stem + ".html", error);

  std::string hashes;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& bytes = files[i].bytes;
    iovec part{const_cast<char*>(bytes.data()), bytes.size()};
    const WriteResult result = open[i + 1]->writeAt(&part, 1, 0);
    int failed = result.failure.errorNumber;
    if (failed == 0) failed = open[i + 1]->truncate(bytes.size());
    if (failed == 0) failed = open[i + 1]->sync();
    if (failed == 0) failed = open[i + 1]->close();
    if (failed != 0) return undo(FailureCode::ReportNotWritten, written.paths[i], failed);
    hashes += sha256Hex(bytes) + "  " + fileNameOf(written.paths[i]) + "\n";
  }
  iovec part{hashes.data(), hashes.size()};
  const WriteResult result = open[0]->writeAt(&part, 1, 0);
  int failed = result.failure.errorNumber;
  if (failed == 0) failed = open[0]->truncate(hashes.size());
  if (failed == 0) failed = open[0]->sync();
  if (failed == 0) failed = open[0]->close();
  if (failed != 0) return undo(FailureCode::ReportNotWritten, written.hashListPath, failed);
  return written;
}

}  // namespace korvex
