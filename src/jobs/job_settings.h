// The selection a scan or a backup works on, captured from the window or the
// command line when the job starts. Workers only read it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/clock_offset.h"
#include "store/frame_header.h"
#include "store/recorder_time.h"

namespace korvex {

// recordTypeEnabled is indexed by record-type code 0 to 11.
inline constexpr int RECORD_TYPE_TABLE_SIZE = 12;
// Channels the user can pick: 1 to 16 (indexes 0 to 15).
inline constexpr int SELECTABLE_CHANNELS = 16;

// A window of picked recordings: the channels of the mask (bit k: channel
// index k) from begin to end, both included, in the record types of the
// picked segments (bit c: record-type code c). Times are whole seconds, so a
// neighbouring segment can share a picked one's first or last second; the
// record type keeps its frames out when the user did not pick it.
struct PickedWindow {
  std::uint32_t channelMask = 0;
  RecorderTime begin = 0;
  RecorderTime end = 0;
  std::uint32_t recordTypeMask = 0;
  friend bool operator==(const PickedWindow&, const PickedWindow&) = default;
};

// Who the job is for, as the examiner gives it: written into the job's log
// (every field may be empty; a job given none logs none).
struct CaseDetails {
  std::string number;
  std::string exhibit;
  std::string examiner;
  std::string organisation;
  std::string notes;
  bool empty() const {
    return number.empty() && exhibit.empty() && examiner.empty() && organisation.empty() && notes.empty();
  }
  friend bool operator==(const CaseDetails&, const CaseDetails&) = default;
};

struct JobSettings {
  std::int32_t folderStart = 0;  // first recorder folder visited
  std::int32_t folderEnd = 0;    // folder at which the job stops (exclusive); 0: no bound
  RecorderTime beginTime = 0;    // time window, both ends included (backup only)
  RecorderTime endTime = 0;
  std::int32_t maxDataSizeMB = 0;  // most media exported, in MiB; 0: no limit (backup only)
  std::array<std::uint8_t, CHANNEL_TABLE_SIZE> channelEnabled{};          // entry k-1: channel k
  std::array<std::uint8_t, RECORD_TYPE_TABLE_SIZE> recordTypeEnabled{};  // by code; 1, 2, 4, 8 only
  std::string diskRoot;      // root of the recorder store, ending with '/'
  std::string outputFolder;  // receives the AVI files and the scan report
  // Recovery: search past each file's end of frames, read through read
  // errors, pass over files that cannot be opened, and ignore the file
  // headers' times. Off: every output is that of the plain reading rules.
  bool recover = false;
  // The recorder's time beside every AVI file (a subtitle file under its
  // stem), and every segment's and file's frame rate against the stamps in
  // the log. Off: every output is as without it.
  bool timeFile = false;
  // Segments picked in the window (backup only): when not empty, a frame
  // that passes the selection above must also lie in one of these. Empty:
  // the selection above alone.
  std::vector<PickedWindow> pickedWindows;
  CaseDetails caseDetails;
  // The recorder clock's offset from real time, when the examiner gave one:
  // logged, and the corrected time beside the recorder's in the side files.
  // Nothing else changes: times above stay the recorder's.
  std::optional<ClockOffset> clockOffset;
  // The time window as entered, when it was entered in corrected time
  // (windowClock Corrected): beginTime and endTime hold it in recorder time.
  WindowClock windowClock = WindowClock::Recorder;
  RecorderTime enteredBeginTime = 0;
  RecorderTime enteredEndTime = 0;
};

// A window entered in corrected time (beginTime and endTime as entered) to
// the recorder's time, the entered ends kept; an open end (the earliest or
// latest time) stays open. Nothing without an offset.
inline void windowFromCorrectedTime(JobSettings& s) {
  if (!s.clockOffset) return;
  s.windowClock = WindowClock::Corrected;
  s.enteredBeginTime = s.beginTime;
  s.enteredEndTime = s.endTime;
  if (s.beginTime != RECORDER_TIME_MIN) s.beginTime = recorderTimeOfCorrected(s.beginTime, *s.clockOffset);
  if (s.endTime != RECORDER_TIME_MAX) s.endTime = recorderTimeOfCorrected(s.endTime, *s.clockOffset);
}

}  // namespace korvex
