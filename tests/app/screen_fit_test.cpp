// The window keeps to its screen: on a 1024x768 and a 1600x1000 screen (the
// test platform's two screens), with the advanced band and the picking view
// open or closed and a remembered width wider than the screen, its frame
// lies inside the screen's available area and the picking view's controls
// can be reached.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include "app/control_ids.h"
#include "app/segment_browser.h"
#include "app/timeline_view.h"
#include "app/window_fixture.h"
#include "app/window_settings.h"

namespace korvex {
namespace {

QScreen* screenNamed(const QString& name) {
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->name() == name) return screen;
  return nullptr;
}

struct ScreenCase {
  const char* screen;
  QSize size;  // of the screen, as the test platform is set up
  bool advanced;
  bool segments;
  int rememberedWidth;  // 0: nothing remembered
};

class ScreenFitTest : public testing::WindowTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(ScreenFitTest, FrameStaysInsideTheScreen) {
  const ScreenCase& c = GetParam();
  QScreen* screen = screenNamed(QString::fromLatin1(c.screen));
  ASSERT_NE(screen, nullptr) << "the test platform has no screen " << c.screen;
  ASSERT_EQ(screen->availableGeometry().size(), c.size);
  if (c.rememberedWidth > 0) {
    WindowSettings remembered;
    remembered.width = c.rememberedWidth;
    remembered.advancedOpen = c.advanced;
    remembered.save();
  }
  auto window = makeWindow();
  window->setScreen(screen);
  window->move(screen->availableGeometry().topLeft() + QPoint(40, 30));
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  if (c.advanced != !window->advancedCollapsed()) window->onAdvancedSetting();
  if (c.segments) window->segmentViewToggle()->click();
  QApplication::processEvents();

  const QRect available = screen->availableGeometry();
  EXPECT_TRUE(available.contains(window->frameGeometry()))
      << "frame " << window->frameGeometry().width() << "x" << window->frameGeometry().height() << "+"
      << window->frameGeometry().x() << "+" << window->frameGeometry().y();
  const QSize frame = window->frameGeometry().size() - window->geometry().size();
  EXPECT_LE(window->minimumWidth() + frame.width(), available.width());
  EXPECT_LE(window->minimumHeight() + frame.height(), available.height());
  if (c.rememberedWidth > available.width()) {
    EXPECT_GE(window->frameGeometry().width(), available.width() - 16);
  }

  // What the window cannot show at once it scrolls to; the picking view's
  // time line and zoom buttons are reached that way at worst.
  auto* scroller = window->findChild<QScrollArea*>(QStringLiteral("windowScroller"));
  ASSERT_NE(scroller, nullptr);
  if (!c.segments) return;
  SegmentBrowser& browser = *window->segmentBrowser();
  for (QWidget* part : {static_cast<QWidget*>(browser.timeline()), static_cast<QWidget*>(browser.zoomOutButton())}) {
    scroller->ensureWidgetVisible(part, 0, 0);
    const QRect shown(part->mapTo(window.get(), QPoint(0, 0)), part->size());
    EXPECT_TRUE(window->rect().contains(shown)) << part->objectName().toStdString();
    EXPECT_GT(part->height(), 0);
  }
  // Without the advanced band the view fits without scrolling on either screen.
  if (!c.advanced) {
    EXPECT_EQ(scroller->verticalScrollBar()->maximum(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Screens, ScreenFitTest,
    ::testing::Values(ScreenCase{"small", {1024, 768}, false, false, 0}, ScreenCase{"small", {1024, 768}, true, false, 0},
                      ScreenCase{"small", {1024, 768}, false, true, 0}, ScreenCase{"small", {1024, 768}, true, true, 0},
                      ScreenCase{"small", {1024, 768}, true, true, 5000}, ScreenCase{"small", {1024, 768}, false, false, 3000},
                      ScreenCase{"wide", {1600, 1000}, false, false, 0}, ScreenCase{"wide", {1600, 1000}, true, true, 0},
                      ScreenCase{"wide", {1600, 1000}, false, true, 5000}));

}  // namespace
}  // namespace korvex
