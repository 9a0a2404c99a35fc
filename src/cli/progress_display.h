// Progress on stderr: a bar redrawn in place on a terminal, otherwise an
// occasional plain line, so that logs stay short.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "jobs/job_thread.h"
#include "base/stop_request.h"

namespace korvex::cli {

class ProgressDisplay {
 public:
  explicit ProgressDisplay(std::FILE* out = stderr);
  ~ProgressDisplay() { finish(); }
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // `percent` from 0 to 100 draws a bar in front of `text`; -1 draws none.
  void show(int percent, const std::string& text);
  // Ends the bar's line.
  void finish();
  // A line of its own, clear of the bar.
  void message(const std::string& text);

 private:
  std::FILE* out_;
  bool terminal_;
  bool barShown_ = false;
  std::string lastText_;
  std::chrono::steady_clock::time_point lastLine_{};
};

// Calls `showState` every 100 ms until the worker has ended, once more for
// the state it ended in, and ends the bar's line. Once `stop` is asked for,
// a worker that stays inside one read is ended without it
// (JobThread::rescueIfStuck).
void followJob(JobThread& worker, ProgressDisplay& progress, const std::function<void()>& showState,
               const StopRequest& stop);

}  // namespace korvex::cli
