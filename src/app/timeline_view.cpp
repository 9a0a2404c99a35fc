#include "app/timeline_view.h"

#include <QDate>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/segment_table_model.h"
#include "lang/language.h"
#include "lang/language_keys.h"
#include "store/record_types.h"
#include "store/recorder_time.h"

namespace korvex {

namespace {

constexpr std::int64_t DAY = 86400;
// Nearer than this many pixels to a bar counts as on it.
constexpr int HIT_PIXELS = 3;
// Ticks of the axis stand at least this far apart.
constexpr int TICK_SPACING = 90;

QDate dateOf(std::int64_t t) {
  const CalendarTime c = recorderTimeToCalendar(
      static_cast<RecorderTime>(std::clamp<std::int64_t>(t, RECORDER_TIME_MIN, RECORDER_TIME_MAX)));
  return QDate(c.year, c.month, c.day);
}

std::int64_t timeOfDate(const QDate& date, int secondOfDay = 0) {
  return recorderTimeFromPickers({date.year(), date.month(), date.day()},
                                 {secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60});
}

QDate dateOfDay(std::int64_t day) { return QDate(1970, 1, 1).addDays(day); }

}  // namespace

TimelineView::TimelineView(const SegmentList& list, const std::vector<std::uint8_t>& picked, QWidget* parent)
    : QWidget(parent), list_(list), picked_(picked) {
  setObjectName(QStringLiteral("timeline"));
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  scroll_ = new QScrollBar(Qt::Horizontal, this);
  scroll_->setObjectName(QStringLiteral("timelineScroll"));
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
    const std::int64_t unit = std::max<std::int64_t>(1, (std::int64_t{list_.lastTime()} - list_.firstTime()) / 1000000);
    const std::int64_t span = end_ - begin_;
    const std::int64_t begin = std::int64_t{list_.firstTime()} - span / 20 + std::int64_t{value} * unit;
    if (begin == begin_) return;
    begin_ = begin;
    end_ = begin + span;
    update();
  });
  applyLanguageTexts();
  showAll();
}

void TimelineView::applyLanguageTexts() {
  laneLabel_ = QString::fromStdString(languageText(KEY_CHANNEL_SHORT));
  noSegments_ = QString::fromStdString(languageText(KEY_NO_SEGMENTS));
  update();
}

QString TimelineView::laneCaption(int lane) const {
  const auto& lanes = list_.lanes();
  if (lane < 0 || static_cast<std::size_t>(lane) >= lanes.size()) return {};
  return laneLabel_.arg(lanes[static_cast<std::size_t>(lane)].channel + 1);
}

QSize TimelineView::sizeHint() const {
  const int lanes = std::max<int>(1, static_cast<int>(list_.lanes().size()));
  return {760, AXIS_HEIGHT + std::min(lanes, 8) * LANE_HEIGHT + scroll_->sizeHint().height() + 4};
}

QSize TimelineView::minimumSizeHint() const {
  const int lanes = std::clamp<int>(static_cast<int>(list_.lanes().size()), 1, 6);
  return {320, AXIS_HEIGHT + lanes * LANE_HEIGHT + scroll_->sizeHint().height() + 2};
}

QColor TimelineView::recordTypeColour(std::int32_t code) {
  switch (code) {
    case RECORD_TYPE_TIME: return {0x3f, 0x7c, 0xc4};
    case RECORD_TYPE_MOTION: return {0xe3, 0x8b, 0x1c};
    case RECORD_TYPE_SENSOR: return {0xc9, 0x34, 0x3a};
    case RECORD_TYPE_MANUAL: return {0x3a, 0x9a, 0x4c};
    default: return {0x8c, 0x8c, 0x8c};
  }
}

void TimelineView::segmentsChanged(bool keepView) {
  if (!keepView || list_.size() == 0) showAll();
  updateScrollBar();
  updateGeometry();
  update();
}

int TimelineView::plotWidth() const { return std::max(1, width() - LABEL_WIDTH - 4); }

int TimelineView::laneTop(int lane) const { return AXIS_HEIGHT + lane * LANE_HEIGHT; }

int TimelineView::laneAt(int y) const {
  if (y < AXIS_HEIGHT) return -1;
  const int lane = (y - AXIS_HEIGHT) / LANE_HEIGHT;
  return lane < static_cast<int>(list_.lanes().size()) ? lane : -1;
}

int TimelineView::xOfTime(std::int64_t t) const {
  const double x = LABEL_WIDTH + static_cast<double>(t - begin_) * plotWidth() / static_cast<double>(end_ - begin_);
  return static_cast<int>(std::floor(std::clamp(x, -1.0e6, 1.0e6)));
}

std::int64_t TimelineView::timeOfX(int x) const {
  return begin_ + std::llround(static_cast<double>(x - LABEL_WIDTH) * static_cast<double>(end_ - begin_) / plotWidth());
}

void TimelineView::setView(std::int64_t begin, std::int64_t end) {
  const std::int64_t whole = std::max<std::int64_t>(MIN_SPAN, (std::int64_t{list_.lastTime()} - list_.firstTime()) * 11 / 10);
  std::int64_t span = std::clamp<std::int64_t>(end - begin, MIN_SPAN, std::max(whole, MIN_SPAN));
  begin_ = begin;
  end_ = begin + span;
  updateScrollBar();
  update();
}

void TimelineView::showAll() {
  if (list_.size() == 0) {
    setView(0, DAY);
    return;
  }
  const std::int64_t span = std::max<std::int64_t>(MIN_SPAN, std::int64_t{list_.lastTime()} - list_.firstTime() + 1);
  setView(list_.firstTime() - span / 20, list_.firstTime() - span / 20 + span * 11 / 10);
}

void TimelineView::zoomAround(std::int64_t t, double factor) {
  const double span = static_cast<double>(end_ - begin_) * factor;
  const double share = static_cast<double>(t - begin_) / static_cast<double>(end_ - begin_);
  const auto begin = static_cast<std::int64_t>(static_cast<double>(t) - share * span);
  setView(begin, begin + static_cast<std::int64_t>(span));
}

void TimelineView::zoomIn() { zoomAround((begin_ + end_) / 2, 0.5); }
void TimelineView::zoomOut() { zoomAround((begin_ + end_) / 2, 2.0); }

void TimelineView::updateScrollBar() {
  const std::int64_t first = list_.firstTime();
  const std::int64_t whole = (std::int64_t{list_.lastTime()} - first) * 11 / 10 + 1;
  const std::int64_t unit = std::max<std::int64_t>(1, (std::int64_t{list_.lastTime()} - first) / 1000000);
  const std::int64_t span = end_ - begin_;
  const QSignalBlocker quiet(scroll_);
  scroll_->setRange(0, static_cast<int>(std::max<std::int64_t>(0, (whole - span) / unit)));
  scroll_->setPageStep(static_cast<int>(std::max<std::int64_t>(1, span / unit)));
  scroll_->setSingleStep(static_cast<int>(std::max<std::int64_t>(1, span / unit / 10)));
  scroll_->setValue(static_cast<int>(std::clamp<std::int64_t>((begin_ - (first - span / 20)) / unit, 0, scroll_->maximum())));
}

void TimelineView::resizeEvent(QResizeEvent*) {
  const int h = scroll_->sizeHint().height();
  scroll_->setGeometry(LABEL_WIDTH, height() - h, width() - LABEL_WIDTH, h);
}

void TimelineView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  const int lanesBottom = laneTop(static_cast<int>(list_.lanes().size()));
  paintEmptyDays(painter, lanesBottom);
  // No segments, no times: an axis would show the recorder's first day.
  if (list_.size() > 0) paintAxis(painter);
  paintLanes(painter);
  if (dragging_) {
    const QRect band = QRect(pressAt_, dragAt_).normalized();
    painter.fillRect(band, QColor(40, 110, 220, 50));
    painter.setPen(QColor(40, 110, 220));
    painter.drawRect(band.adjusted(0, 0, -1, -1));
  }
  if (!hoverPicture_.isNull() && pointerOnSegment_) paintHoverPicture(painter);
}

QRect TimelineView::hoverBox() const {
  if (hoverPicture_.isNull()) return {};
  // Inside what can be seen of the view: its own bounds, less what a
  // scrolling parent hides.
  const QRect area = visibleRegion().boundingRect().isEmpty() ? rect() : visibleRegion().boundingRect();
  const QFontMetrics metrics(font());
  const int textWidth = metrics.horizontalAdvance(hoverCaption_) + 6;
  const int widest = std::max(8, area.width() - 4);
  const int width = std::min(widest, std::max(hoverPicture_.width() + 6, textWidth));
  // The picture is shrunk, never cut, when the view is lower than it.
  const int pictureRoom = std::max(8, area.height() - metrics.height() - 12);
  const QSize picture = hoverPicture_.size().boundedTo({width - 6, pictureRoom});
  const QSize shown = hoverPicture_.size().scaled(picture, Qt::KeepAspectRatio);
  const QSize box(width, shown.height() + metrics.height() + 8);
  QPoint at = pointer_ + QPoint(16, 16);
  if (at.x() + box.width() > area.right() + 1) at.setX(pointer_.x() - 16 - box.width());
  if (at.y() + box.height() > area.bottom() + 1) at.setY(area.bottom() + 1 - box.height());
  at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - box.width())));
  at.setY(std::max(at.y(), area.top()));
  return {at, box};
}

void TimelineView::paintHoverPicture(QPainter& painter) {
  const QRect frame = hoverBox();
  const QFontMetrics metrics(font());
  const int pictureHeight = frame.height() - metrics.height() - 8;
  const QSize room = QSize(frame.width() - 6, pictureHeight).boundedTo(hoverPicture_.size());
  const QSize shown = hoverPicture_.size().scaled(room, Qt::KeepAspectRatio);
  painter.fillRect(frame, palette().toolTipBase());
  painter.setPen(palette().toolTipText().color());
  painter.drawRect(frame.adjusted(0, 0, -1, -1));
  const QRect picture(frame.x() + (frame.width() - shown.width()) / 2, frame.y() + 3, shown.width(), shown.height());
  painter.drawImage(picture, hoverPicture_);
  const QRect caption(frame.x() + 3, picture.bottom() + 3, frame.width() - 6, metrics.height());
  painter.drawText(caption, Qt::AlignCenter, metrics.elidedText(hoverCaption_, Qt::ElideRight, caption.width()));
}

void TimelineView::paintEmptyDays(QPainter& painter, int lanesBottom) {
  if (list_.size() == 0) return;
  const double pixelsPerDay = static_cast<double>(plotWidth()) * DAY / static_cast<double>(end_ - begin_);
  if (pixelsPerDay < 2.0) return;
  const std::int64_t firstDay = SegmentList::localDayOf(static_cast<RecorderTime>(std::max<std::int64_t>(begin_, RECORDER_TIME_MIN)));
  const std::int64_t lastDay = SegmentList::localDayOf(static_cast<RecorderTime>(std::min<std::int64_t>(end_, RECORDER_TIME_MAX)));
  const QBrush hatch(QColor(150, 150, 150, 90), Qt::BDiagPattern);
  for (std::int64_t day = firstDay; day <= lastDay; ++day) {
    const QDate date = dateOfDay(day);
    const int x0 = std::max(LABEL_WIDTH, xOfTime(timeOfDate(date)));
    const int x1 = std::min(width(), xOfTime(timeOfDate(date.addDays(1))));
    if (x1 <= x0) continue;
    if (day % 2 == 0) painter.fillRect(QRect(x0, AXIS_HEIGHT, x1 - x0, lanesBottom - AXIS_HEIGHT), palette().alternateBase());
    if (!list_.dayHasRecordings(day))
      painter.fillRect(QRect(x0, AXIS_HEIGHT, x1 - x0, std::max(lanesBottom, AXIS_HEIGHT + LANE_HEIGHT) - AXIS_HEIGHT), hatch);
  }
}

void TimelineView::paintAxis(QPainter& painter) {
  const QFontMetrics metrics(font());
  painter.setPen(palette().text().color());
  painter.drawLine(LABEL_WIDTH, AXIS_HEIGHT - 1, width(), AXIS_HEIGHT - 1);
  const double pixelsPerSecond = static_cast<double>(plotWidth()) / static_cast<double>(end_ - begin_);
  // The date of the left edge, always in view.
  painter.drawText(QRect(2, 2, LABEL_WIDTH + 200, metrics.height()), Qt::AlignLeft,
                   dateOf(std::max(begin_, std::int64_t{list_.firstTime()})).toString(QStringLiteral("yyyy-MM-dd")));
  const int tickTop = AXIS_HEIGHT - 8;
  const int labelTop = AXIS_HEIGHT - 8 - metrics.height();
  auto tick = [&](std::int64_t t, const QString& label, bool strong) {
    const int x = xOfTime(t);
    if (x < LABEL_WIDTH || x > width()) return;
    painter.setPen(strong ? palette().text().color() : palette().mid().color());
    painter.drawLine(x, strong ? tickTop - 4 : tickTop, x, AXIS_HEIGHT - 1);
    painter.setPen(QColor(128, 128, 128, 60));
    painter.drawLine(x, AXIS_HEIGHT, x, height());
    painter.setPen(palette().text().color());
    painter.drawText(x + 3, labelTop + metrics.ascent(), label);
  };

  static constexpr int SUB_DAY_STEPS[] = {60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200};
  for (int step : SUB_DAY_STEPS) {
    if (step * pixelsPerSecond < TICK_SPACING) continue;
    // Only the ticks in view are converted: each is a calendar conversion.
    for (QDate date = dateOf(begin_).addDays(-1); date <= dateOf(end_); date = date.addDays(1)) {
      const std::int64_t dayStart = timeOfDate(date);
      if (dayStart > end_) break;
      const std::int64_t skip = std::max<std::int64_t>(0, (begin_ - dayStart) / step - 1) * step;
      for (std::int64_t second = skip; second < DAY; second += step) {
        const std::int64_t t = timeOfDate(date, static_cast<int>(second));
        if (t > end_) break;
        tick(t,
             second == 0 ? date.toString(QStringLiteral("MM-dd"))
                         : QStringLiteral("%1:%2")
                               .arg(second / 3600, 2, 10, QLatin1Char('0'))
                               .arg(second / 60 % 60, 2, 10, QLatin1Char('0')),
             second == 0);
      }
    }
    return;
  }
  static constexpr int DAY_STEPS[] = {1, 2, 7, 14};
  for (int step : DAY_STEPS) {
    if (step * DAY * pixelsPerSecond < TICK_SPACING) continue;
    for (QDate date = dateOf(begin_).addDays(-step); date <= dateOf(end_); date = date.addDays(1))
      if (date.toJulianDay() % step == 0 || step == 1)
        tick(timeOfDate(date), date.toString(QStringLiteral("MM-dd")), date.day() == 1);
    return;
  }
  static constexpr int MONTH_STEPS[] = {1, 3, 6, 12, 24, 60};
  for (int step : MONTH_STEPS) {
    if (step * 30 * DAY * pixelsPerSecond < TICK_SPACING && step != 60) continue;
    const QDate first = dateOf(begin_);
    for (QDate date(first.year(), 1, 1); date <= dateOf(end_); date = date.addMonths(step))
      tick(timeOfDate(date), date.toString(step >= 12 ? QStringLiteral("yyyy") : QStringLiteral("yyyy-MM")),
           date.month() == 1);
    return;
  }
}

void TimelineView::paintLanes(QPainter& painter) {
  barsPainted_ = 0;
  const QFontMetrics metrics(font());
  const auto& lanes = list_.lanes();
  const std::int64_t t0 = std::max<std::int64_t>(begin_, RECORDER_TIME_MIN);
  const std::int64_t t1 = std::min<std::int64_t>(end_, RECORDER_TIME_MAX);
  painter.setRenderHint(QPainter::Antialiasing, false);
  for (std::size_t k = 0; k < lanes.size(); ++k) {
    const int top = laneTop(static_cast<int>(k));
    if (top > height()) break;
    painter.setPen(palette().mid().color());
    painter.drawLine(0, top + LANE_HEIGHT - 1, width(), top + LANE_HEIGHT - 1);
    // A channel the backup cannot take is greyed, as its rows in the table.
    const std::int32_t channel = lanes[k].channel;
    painter.setPen(palette().color(backupTakes(channel, RECORD_TYPE_TIME) ? QPalette::Active : QPalette::Disabled,
                                   QPalette::Text));
    painter.drawText(QRect(4, top, LABEL_WIDTH - 8, LANE_HEIGHT), Qt::AlignVCenter | Qt::AlignLeft,
                     laneCaption(static_cast<int>(k)));

    // Each pixel column of a lane is painted once: a bar that falls on
    // pixels already painted gives only the pixels after them, and bars of
    // the same look that meet are one. Picked runs get a strip above and
    // below, merged across record types.
    struct Bar {
      int x0 = 0, x1 = -1;
      std::int32_t type = 0;
      bool picked = false;
    } pending;
    struct Run {
      int x0 = 0, x1 = -1;
    } pickedRun;
    const int barTop = top + 5;
    const int barHeight = LANE_HEIGHT - 11;
    auto flushRun = [&] {
      if (pickedRun.x1 < pickedRun.x0) return;
      const QColor mark = palette().highlight().color();
      painter.fillRect(QRect(pickedRun.x0, top + 1, pickedRun.x1 - pickedRun.x0 + 1, 3), mark);
      painter.fillRect(QRect(pickedRun.x0, top + LANE_HEIGHT - 5, pickedRun.x1 - pickedRun.x0 + 1, 3), mark);
      pickedRun.x1 = pickedRun.x0 - 1;
    };
    auto flush = [&] {
      if (pending.x1 < pending.x0) return;
      const QColor colour = recordTypeColour(pending.type);
      const QRect bar(pending.x0, barTop, pending.x1 - pending.x0 + 1, barHeight);
      painter.fillRect(bar, pending.picked ? colour.darker(135) : colour);
      // Struck through: the backup cannot take it.
      if (!backupTakes(channel, pending.type))
        painter.fillRect(bar, QBrush(QColor(255, 255, 255, 170), Qt::BDiagPattern));
      ++barsPainted_;
      if (pending.picked) {
        if (pickedRun.x1 >= pickedRun.x0 && pending.x0 <= pickedRun.x1 + 1) {
          pickedRun.x1 = std::max(pickedRun.x1, pending.x1);
        } else {
          flushRun();
          pickedRun = {pending.x0, pending.x1};
        }
      }
      pending.x1 = pending.x0 - 1;
    };
    int paintedTo = LABEL_WIDTH - 1;  // the last pixel column painted or pending
    const auto [from, to] = list_.touching(lanes[k], static_cast<RecorderTime>(t0), static_cast<RecorderTime>(t1));
    for (std::size_t i = from; i < to; ++i) {
      const std::uint32_t at = lanes[k].byStart[i];
      const SegmentRecord& segment = list_[at];
      if (std::max(segment.startTime, segment.endTime) < t0) continue;
      const int x1 = std::min(width(), std::max(xOfTime(segment.startTime), xOfTime(std::int64_t{segment.endTime} + 1) - 1));
      if (x1 <= paintedTo) continue;  // wholly under what is painted
      const int x0 = std::max({LABEL_WIDTH, xOfTime(segment.startTime), paintedTo + 1});
      const bool picked = at < picked_.size() && picked_[at] != 0;
      if (pending.x1 >= pending.x0 && x0 == pending.x1 + 1 && segment.recordType == pending.type &&
          picked == pending.picked) {
        pending.x1 = x1;
      } else {
        flush();
        pending = {x0, x1, segment.recordType, picked};
      }
      paintedTo = x1;
    }
    flush();
    flushRun();
  }
  painter.setPen(palette().mid().color());
  painter.drawLine(LABEL_WIDTH - 1, AXIS_HEIGHT, LABEL_WIDTH - 1, height());
  if (lanes.empty())
    painter.drawText(QRect(LABEL_WIDTH, AXIS_HEIGHT, plotWidth(), LANE_HEIGHT), Qt::AlignCenter, noSegments_);
  (void)metrics;
}

std::int64_t TimelineView::segmentAt(QPoint point) const {
  const int lane = laneAt(point.y());
  if (lane < 0 || point.x() < LABEL_WIDTH) return -1;
  const std::int64_t t = timeOfX(point.x());
  const std::int64_t slack = ((end_ - begin_) * HIT_PIXELS + plotWidth() - 1) / plotWidth();
  const auto& l = list_.lanes()[static_cast<std::size_t>(lane)];
  const auto [from, to] = list_.touching(
      l, static_cast<RecorderTime>(std::max<std::int64_t>(t - slack, RECORDER_TIME_MIN)),
      static_cast<RecorderTime>(std::min<std::int64_t>(t + slack, RECORDER_TIME_MAX)));
  std::int64_t best = -1;
  std::int64_t bestDistance = slack + 1;
  for (std::size_t i = from; i < to; ++i) {
    const SegmentRecord& segment = list_[l.byStart[i]];
    const std::int64_t distance = t < segment.startTime ? segment.startTime - t
                                  : t > segment.endTime ? t - segment.endTime
                                                        : 0;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = l.byStart[i];
    }
  }
  return best;
}

std::vector<std::uint32_t> TimelineView::segmentsIn(int laneFrom, int laneTo, std::int64_t t0, std::int64_t t1) const {
  std::vector<std::uint32_t> found;
  const auto& lanes = list_.lanes();
  const RecorderTime begin = static_cast<RecorderTime>(std::clamp<std::int64_t>(t0, RECORDER_TIME_MIN, RECORDER_TIME_MAX));
  const RecorderTime end = static_cast<RecorderTime>(std::clamp<std::int64_t>(t1, RECORDER_TIME_MIN, RECORDER_TIME_MAX));
  for (int k = std::max(0, laneFrom); k <= laneTo && k < static_cast<int>(lanes.size()); ++k) {
    const auto& lane = lanes[static_cast<std::size_t>(k)];
    const auto [from, to] = list_.touching(lane, begin, end);
    for (std::size_t i = from; i < to; ++i)
      if (std::max(list_[lane.byStart[i]].startTime, list_[lane.byStart[i]].endTime) >= begin)
        found.push_back(lane.byStart[i]);
  }
  return found;
}

void TimelineView::setHoverPicture(const QImage& picture, const QString& caption) {
  hoverPicture_ = picture;
  hoverCaption_ = caption;
  update();
}

void TimelineView::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps == 0) return;
  if (event->modifiers() & Qt::ShiftModifier) {
    const std::int64_t shift = (end_ - begin_) / 10 * -steps;
    setView(begin_ + shift, end_ + shift);
  } else {
    zoomAround(timeOfX(static_cast<int>(event->position().x())), std::pow(0.8, steps));
  }
  event->accept();
}

void TimelineView::keyPressEvent(QKeyEvent* event) {
  const std::int64_t shift = (end_ - begin_) / 10;
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: zoomIn(); break;
    case Qt::Key_Minus: zoomOut(); break;
    case Qt::Key_0:
    case Qt::Key_Home: showAll(); break;
    case Qt::Key_Left: setView(begin_ - shift, end_ - shift); break;
    case Qt::Key_Right: setView(begin_ + shift, end_ + shift); break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

void TimelineView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || event->position().y() >= height() - scroll_->height()) {
    QWidget::mousePressEvent(event);
    return;
  }
  pressed_ = true;
  dragging_ = false;
  pressAt_ = dragAt_ = event->position().toPoint();
  pressModifiers_ = event->modifiers();
  setFocus(Qt::MouseFocusReason);
}

void TimelineView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  pointer_ = at;
  if (pressed_) {
    dragAt_ = at;
    if (!dragging_ && (at - pressAt_).manhattanLength() > 4) dragging_ = true;
    if (dragging_) update();
    return;
  }
  const std::int64_t segment = segmentAt(at);
  if (segment >= 0) {
    const SegmentRecord& record = list_[static_cast<std::size_t>(segment)];
    const auto t = static_cast<RecorderTime>(std::clamp<std::int64_t>(timeOfX(at.x()), record.startTime, record.endTime));
    pointerOnSegment_ = true;
    emit hovered(segment, t);
    update();
  } else if (pointerOnSegment_) {
    pointerOnSegment_ = false;
    hoverPicture_ = QImage();
    emit hovered(-1, 0);
    update();
  }
}

void TimelineView::mouseReleaseEvent(QMouseEvent* event) {
  if (!pressed_ || event->button() != Qt::LeftButton) return;
  pressed_ = false;
  const bool adding = (pressModifiers_ & (Qt::ControlModifier | Qt::ShiftModifier)) != 0;
  if (dragging_) {
    dragging_ = false;
    const QRect band = QRect(pressAt_, event->position().toPoint()).normalized();
    const int laneFrom = std::max(0, (std::max(band.top(), AXIS_HEIGHT) - AXIS_HEIGHT) / LANE_HEIGHT);
    const int laneTo = (std::max(band.bottom(), AXIS_HEIGHT) - AXIS_HEIGHT) / LANE_HEIGHT;
    emit pickRequested(segmentsIn(laneFrom, laneTo, timeOfX(std::max(band.left(), LABEL_WIDTH)), timeOfX(band.right())),
                       adding ? PickMode::Add : PickMode::Replace);
    update();
    return;
  }
  const std::int64_t segment = segmentAt(pressAt_);
  std::vector<std::uint32_t> picked;
  if (segment >= 0) picked.push_back(static_cast<std::uint32_t>(segment));
  if (pressModifiers_ & Qt::ControlModifier) {
    if (!picked.empty()) emit pickRequested(picked, PickMode::Toggle);
  } else if (pressModifiers_ & Qt::ShiftModifier) {
    if (!picked.empty()) emit pickRequested(picked, PickMode::Add);
  } else {
    emit pickRequested(picked, PickMode::Replace);
  }
}

void TimelineView::leaveEvent(QEvent*) {
  if (!pointerOnSegment_) return;
  pointerOnSegment_ = false;
  hoverPicture_ = QImage();
  emit hovered(-1, 0);
  update();
}

}  // namespace korvex
