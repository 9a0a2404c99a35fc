// The picking view with many segments: how long the time line and the
// segment table take to paint (offscreen) at several zooms, and what
// sorting, filtering and a pick across everything cost.
//
//   korvex-bench-segment-view [SEGMENTS] [REPS]     (default 100000, 7)
//
// Prints the median and the minimum of each measurement in milliseconds.
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "app/segment_browser.h"
#include "app/segment_table_model.h"
#include "app/timeline_view.h"
#include "store/record_types.h"

namespace {

using Clock = std::chrono::steady_clock;

void measure(const char* what, int reps, const std::function<void()>& step) {
  std::vector<double> ms;
  for (int k = 0; k < reps; ++k) {
    const auto start = Clock::now();
    step();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s median %9.2f ms   min %9.2f ms\n", what, ms[ms.size() / 2], ms.front());
}

// Segments as a recorder of 16 channels leaves them: each channel's
// segments one after the other, 2 to 10 minutes long with gaps, record
// types changing, over as many days as that takes.
std::vector<korvex::SegmentRecord> makeSegments(std::size_t count) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> length(120, 600), gap(0, 300), type(0, 3);
  const std::int32_t types[] = {korvex::RECORD_TYPE_TIME, korvex::RECORD_TYPE_MOTION, korvex::RECORD_TYPE_SENSOR,
                                korvex::RECORD_TYPE_MANUAL};
  std::vector<korvex::RecorderTime> next(16, 1700000000);
  std::vector<korvex::SegmentRecord> segments;
  segments.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    korvex::SegmentRecord s;
    s.serial = static_cast<std::int32_t>(k + 1);
    s.channel = static_cast<std::int32_t>(k % 16);
    s.recordType = types[type(random)];
    s.startTime = next[static_cast<std::size_t>(s.channel)] + gap(random);
    s.endTime = s.startTime + length(random);
    next[static_cast<std::size_t>(s.channel)] = s.endTime + 1;
    s.byteCount = static_cast<std::uint64_t>(s.endTime - s.startTime) * 250000;
    s.startFolder = static_cast<std::int32_t>(k / 200);
    segments.push_back(s);
  }
  return segments;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const int reps = argc > 2 ? std::atoi(argv[2]) : 7;
  const auto segments = makeSegments(count);

  korvex::SegmentBrowser browser;
  browser.resize(1280, 800);
  browser.show();
  std::printf("%zu segments, %d repetitions, a 1280x800 view\n", count, reps);
  measure("show the segments (lists, rows, lanes, days)", reps, [&] { browser.showSegments(segments, {"/nonexistent/", 0}, true); });
  QApplication::processEvents();

  korvex::TimelineView& timeline = *browser.timeline();
  QTableView& table = *browser.table();
  const std::int64_t first = browser.segments().firstTime();
  const std::int64_t last = browser.segments().lastTime();
  std::printf("recordings over %.1f days, %zu lanes\n", static_cast<double>(last - first) / 86400.0,
              browser.segments().lanes().size());

  auto paint = [](QWidget& widget) { (void)widget.grab(); };
  timeline.showAll();
  measure("time line, whole disk", reps, [&] { paint(timeline); });
  std::printf("  bars painted: %zu\n", timeline.barsPainted());
  const std::int64_t middle = (first + last) / 2;
  timeline.setView(middle, middle + 86400);
  measure("time line, one day", reps, [&] { paint(timeline); });
  timeline.setView(middle, middle + 600);
  measure("time line, ten minutes", reps, [&] { paint(timeline); });
  std::int64_t at = first;
  measure("time line, ten minutes, panned each paint", reps, [&] {
    at += (last - first) / reps;
    timeline.setView(at, at + 600);
    paint(timeline);
  });
  measure("table, one screen", reps, [&] { paint(table); });
  table.scrollToBottom();
  measure("table, its last screen", reps, [&] { paint(table); });
  measure("table sorted by start, descending", reps, [&] {
    table.sortByColumn(korvex::SegmentTableModel::Start, Qt::DescendingOrder);
  });
  measure("table sorted by size", reps, [&] { table.sortByColumn(korvex::SegmentTableModel::Size, Qt::AscendingOrder); });
  measure("filter: one channel, then all again", reps, [&] {
    browser.model()->setFilter(3, -1);
    browser.model()->setFilter(-1, -1);
  });
  std::vector<std::uint32_t> everything(count);
  for (std::uint32_t k = 0; k < count; ++k) everything[k] = k;
  measure("pick every segment (both views)", reps, [&] {
    browser.pick(everything, korvex::TimelineView::PickMode::Replace);
  });
  measure("picked windows of every segment", reps, [&] { (void)browser.pickedWindows(); });
  timeline.showAll();
  measure("time line, whole disk, all picked", reps, [&] { paint(timeline); });
  return 0;
}
