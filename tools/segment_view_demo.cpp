// korvex-segment-view-demo FOLDER OUTPUT [LANGUAGE]: writes a recorder disk
// of three days (the middle one without recordings) into FOLDER, opens the
// window, scans the disk into OUTPUT and picks a few segments, the player
// on a frame of the first, then waits to be closed. LANGUAGE is the index
// of the language list (default 0, English). tools/screenshot-segments
// photographs it for the manual.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/job_panel.h"
#include "app/job_runner.h"
#include "app/main_dialog.h"
#include "app/segment_browser.h"
#include "app/segment_player.h"
#include "app/timeline_view.h"
#include "lang/language.h"
#include "store/record_types.h"
#include "support/recorder_simulator.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: korvex-segment-view-demo FOLDER OUTPUT [LANGUAGE-INDEX]\n");
    return 2;
  }
  using korvex::testing::SimulatedSegment;
  std::string root = argv[1];
  if (root.back() != '/') root += '/';
  // From 2026-12-01 00:00 recorder time: segments of 8 to 40 minutes on
  // channels 1, 2, 3 and 5, one picture a second.
  const korvex::RecorderTime day0 = 1796083200;
  const std::int32_t types[] = {korvex::RECORD_TYPE_TIME, korvex::RECORD_TYPE_MOTION, korvex::RECORD_TYPE_TIME,
                                korvex::RECORD_TYPE_SENSOR, korvex::RECORD_TYPE_MANUAL};
  std::vector<SimulatedSegment> segments;
  int n = 0;
  for (int day : {0, 2}) {
    for (int channel : {0, 1, 2, 4}) {
      for (int start = 7 * 3600 + channel * 600; start < 21 * 3600; start += 3600 + 900 * ((n * 7) % 4)) {
        const int seconds = 480 + 240 * ((n * 5 + channel) % 9);
        segments.push_back({channel, types[(n + channel) % 5], day0 + day * 86400 + start, seconds, false});
        ++n;
      }
    }
  }
  korvex::testing::SimulationOptions options;
  options.framesPerSecond = 1;
  options.fileBytes = 1024 * 1024;
  korvex::testing::simulateRecorder(root, segments, options);

  QApplication app(argc, argv);
  korvex::MainDialog window;
  window.setModalRunner([](QDialog&) { return 0; });
  window.show();
  auto* drives = qobject_cast<QComboBox*>(window.control(korvex::ID_DRIVE_LIST));
  auto* output = qobject_cast<QLineEdit*>(window.control(korvex::ID_OUTPUT_FOLDER));
  if (drives) drives->setEditText(QString::fromStdString(root));
  if (output) output->setText(QString::fromLocal8Bit(argv[2]));
  if (argc == 4) {
    // Chosen here, not from the list, so that nothing is remembered.
    korvex::currentLanguage = std::atoi(argv[3]);
    if (auto* languages = qobject_cast<QComboBox*>(window.control(korvex::ID_LANGUAGE_LIST)))
      languages->setCurrentIndex(korvex::currentLanguage);
    window.applyLanguageTexts();
  }
  window.onScan();
  // As large as the screen lets it be, all of it on the virtual screen.
  const QRect screen = window.screen()->availableGeometry();
  window.resize(std::min(1000, screen.width()), std::min(860, screen.height()));
  window.move(0, 0);
  auto* poll = new QTimer(&window);
  QObject::connect(poll, &QTimer::timeout, &window, [&window, poll] {
    if (window.jobWorkerRunning()) return;
    poll->stop();
    window.jobPanel()->runner()->poll();
    korvex::SegmentBrowser& browser = *window.segmentBrowser();
    browser.takeScannedSegments();
    std::vector<std::uint32_t> picked;
    for (std::uint32_t k = 0; k < browser.segments().size() && picked.size() < 3; ++k)
      if (browser.segments()[k].channel == 1 && k % 2 == 0) picked.push_back(k);
    browser.pick(picked, korvex::TimelineView::PickMode::Replace);
    QObject::connect(browser.player(), &korvex::SegmentPlayer::segmentReady, browser.player(),
                     [&browser] { browser.player()->showFrame(37); });
  });
  poll->start(100);
  return app.exec();
}
