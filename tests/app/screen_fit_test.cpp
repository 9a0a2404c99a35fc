// The window keeps to its screen (the test platform's 1024x768 and
// 1600x1000 ones) with the advanced band and the picking view open or
// closed and a remembered width wider than the screen.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include "app/segment_browser.h"
#include "app/window_fixture.h"
#include "app/window_settings.h"

namespace korvex {
namespace {

struct ScreenCase {
  const char* screen;
  bool advanced, segments;
  int rememberedWidth;  // 0: nothing remembered
};

class ScreenFitTest : public testing::WindowTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(ScreenFitTest, FrameStaysInsideTheScreen) {
  const ScreenCase& c = GetParam();
  QScreen* screen = nullptr;
  for (QScreen* each : QGuiApplication::screens())
    if (each->name() == QLatin1String(c.screen)) screen = each;
  ASSERT_NE(screen, nullptr) << "the test platform has no screen " << c.screen;
  if (c.rememberedWidth > 0) WindowSettings{{}, {}, {}, c.rememberedWidth, c.advanced}.save();
  auto window = makeWindow();
  window->setScreen(screen);
  window->move(screen->availableGeometry().topLeft() + QPoint(40, 30));
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  if (c.advanced == window->advancedCollapsed()) window->onAdvancedSetting();
  if (c.segments) window->segmentViewToggle()->click();
  QApplication::processEvents();

  const QRect available = screen->availableGeometry();
  const QRect frame = window->frameGeometry();
  EXPECT_TRUE(available.contains(frame))
      << frame.width() << "x" << frame.height() << "+" << frame.x() << "+" << frame.y();
  EXPECT_LE(window->minimumHeight() + frame.height() - window->height(), available.height());
  if (c.rememberedWidth > available.width()) {
    EXPECT_GE(frame.width(), available.width() - 16);
  }
  if (!c.segments) return;
  // The time line and the zoom buttons are reached by scrolling at worst;
  // without the advanced band they are in view as the window opens.
  auto* scroller = window->findChild<QScrollArea*>(QStringLiteral("windowScroller"));
  ASSERT_NE(scroller, nullptr);
  if (!c.advanced) {
    EXPECT_EQ(scroller->verticalScrollBar()->maximum(), 0);
  }
  for (QWidget* part : {static_cast<QWidget*>(window->segmentBrowser()->timeline()),
                        static_cast<QWidget*>(window->segmentBrowser()->zoomOutButton())}) {
    scroller->ensureWidgetVisible(part, 0, 0);
    EXPECT_TRUE(window->rect().contains(QRect(part->mapTo(window.get(), QPoint(0, 0)), part->size())));
  }
}

INSTANTIATE_TEST_SUITE_P(Screens, ScreenFitTest,
                         ::testing::Values(ScreenCase{"small", false, false, 0}, ScreenCase{"small", true, false, 0},
                                           ScreenCase{"small", false, true, 0}, ScreenCase{"small", true, true, 5000},
                                           ScreenCase{"small", false, false, 3000}, ScreenCase{"wide", true, true, 0},
                                           ScreenCase{"wide", false, true, 5000}));

}  // namespace
}  // namespace korvex
