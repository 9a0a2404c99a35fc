// The segments on a time line: one lane per channel that has recordings,
// each segment a bar in its record type's colour, a time axis in the local
// calendar, days without recordings hatched. Zooms from the whole disk down
// to minutes (wheel, keys, zoomIn/zoomOut/showAll); a click picks a segment,
// Ctrl or Shift adds to the pick, a drag picks every segment of the lanes it
// crosses within its time span. Painting looks up the visible segments of a
// lane by binary search and draws bars that share a pixel once.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "app/segment_list.h"

class QScrollBar;

namespace korvex {

class TimelineView : public QWidget {
  Q_OBJECT

 public:
  enum class PickMode { Replace, Add, Toggle };

  // `picked` holds one flag per segment (the view only reads it).
  TimelineView(const SegmentList& list, const std::vector<std::uint8_t>& picked, QWidget* parent = nullptr);

  // The list changed: keeps the zoom when it only grew.
  void segmentsChanged(bool keepView);
  // The time span shown.
  RecorderTime viewBegin() const { return static_cast<RecorderTime>(begin_); }
  RecorderTime viewEnd() const { return static_cast<RecorderTime>(end_); }
  void setView(std::int64_t begin, std::int64_t end);
  void zoomIn();
  void zoomOut();
  void showAll();

  // Where things are drawn, for the tests and the picking.
  int laneTop(int lane) const;
  int laneHeight() const { return LANE_HEIGHT; }
  int xOfTime(std::int64_t t) const;
  std::int64_t timeOfX(int x) const;
  // The segment drawn at this point, or -1.
  std::int64_t segmentAt(QPoint point) const;

  // The picture shown beside the pointer while it rests on a segment.
  void setHoverPicture(const QImage& picture, const QString& caption);
  const QImage& hoverPicture() const { return hoverPicture_; }
  // Where the hover picture and its caption are drawn: inside the part of
  // the view that can be seen. Empty without a picture.
  QRect hoverBox() const;
  const QString& hoverCaption() const { return hoverCaption_; }

  // Bars drawn by the last paint, after bars sharing a pixel were merged.
  std::size_t barsPainted() const { return barsPainted_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // The colour of a record type's bars.
  static QColor recordTypeColour(std::int32_t code);

  // The lane and placeholder texts in the current language.
  void applyLanguageTexts();
  // The label of a lane ("Ch 3"), and what stands where no lane is.
  QString laneCaption(int lane) const;
  const QString& placeholderText() const { return noSegments_; }

 signals:
  void pickRequested(const std::vector<std::uint32_t>& segments, korvex::TimelineView::PickMode mode);
  // The pointer rests on a segment at time t (-1: on none).
  void hovered(std::int64_t segment, RecorderTime t);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  static constexpr int AXIS_HEIGHT = 36;
  static constexpr int LANE_HEIGHT = 24;
  static constexpr int LABEL_WIDTH = 52;
  static constexpr std::int64_t MIN_SPAN = 120;  // two minutes across the whole width

  int laneAt(int y) const;
  int plotWidth() const;
  void zoomAround(std::int64_t t, double factor);
  void updateScrollBar();
  void paintAxis(QPainter& painter);
  void paintHoverPicture(QPainter& painter);
  void paintEmptyDays(QPainter& painter, int lanesBottom);
  void paintLanes(QPainter& painter);
  std::vector<std::uint32_t> segmentsIn(int laneFrom, int laneTo, std::int64_t t0, std::int64_t t1) const;

  const SegmentList& list_;
  const std::vector<std::uint8_t>& picked_;
  QScrollBar* scroll_ = nullptr;
  std::int64_t begin_ = 0;
  std::int64_t end_ = 3600;
  // A press that becomes a drag once the pointer moves.
  bool pressed_ = false;
  bool dragging_ = false;
  QPoint pressAt_;
  QPoint dragAt_;
  Qt::KeyboardModifiers pressModifiers_;
  // Hover picture.
  QImage hoverPicture_;
  QString hoverCaption_;
  QPoint pointer_;
  bool pointerOnSegment_ = false;
  QString laneLabel_;  // "%1": the channel as people count it
  QString noSegments_;
  std::size_t barsPainted_ = 0;
};

}  // namespace korvex
