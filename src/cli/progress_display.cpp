#include "cli/progress_display.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace korvex::cli {

namespace {
constexpr int BAR_WIDTH = 30;
constexpr auto PLAIN_LINE_INTERVAL = std::chrono::seconds(5);
}  // namespace

ProgressDisplay::ProgressDisplay(std::FILE* out) : out_(out), terminal_(isatty(fileno(out)) == 1) {}

void ProgressDisplay::show(int percent, const std::string& text) {
  if (terminal_) {
    // \033[K clears what a longer earlier line left behind.
    if (percent >= 0) {
      char bar[BAR_WIDTH + 1];
      const int filled = std::clamp(percent, 0, 100) * BAR_WIDTH / 100;
      for (int i = 0; i < BAR_WIDTH; ++i) bar[i] = i < filled ? '#' : '-';
      bar[BAR_WIDTH] = '\0';
      std::fprintf(out_, "\r[%s] %d%%  %s\033[K", bar, percent, text.c_str());
    } else {
      std::fprintf(out_, "\r%s\033[K", text.c_str());
    }
    std::fflush(out_);
    barShown_ = true;
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (text == lastText_ || now - lastLine_ < PLAIN_LINE_INTERVAL) return;
  lastText_ = text;
  lastLine_ = now;
  if (percent >= 0) std::fprintf(out_, "%d%%  %s\n", percent, text.c_str());
  else std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void ProgressDisplay::finish() {
  if (barShown_) std::fputc('\n', out_);
  barShown_ = false;
  std::fflush(out_);
}

void ProgressDisplay::message(const std::string& text) {
  finish();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void followJob(JobThread& worker, ProgressDisplay& progress, const std::function<void()>& showState,
               const StopRequest& stop) {
  do {
    showState();
    if (stop.requested() && worker.rescueIfStuck()) break;
  } while (!worker.waitFor(std::chrono::milliseconds(100)));
  worker.join();
  showState();
  progress.finish();
}

}  // namespace korvex::cli
