#include "app/segment_player.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "jobs/clock_offset.h"
#include "jobs/segment_texts.h"
#include "jobs/still_export.h"

#include "lang/language.h"
#include "lang/language_keys.h"

namespace korvex {

namespace {

// How often a frame asked for is looked for while the player waits.
constexpr int WAIT_INTERVAL_MS = 15;
constexpr int DEFAULT_FRAME_RATE = 25;

QString text(const char* key) { return QString::fromStdString(languageText(key)); }

QImage imageOf(const RgbPicture& picture) {
  if (picture.rgb.empty()) return {};
  QImage image(picture.width, picture.height, QImage::Format_RGB888);
  for (int y = 0; y < picture.height; ++y)
    std::memcpy(image.scanLine(y), picture.rgb.data() + static_cast<std::size_t>(y) * picture.width * 3,
                static_cast<std::size_t>(picture.width) * 3);
  return image;
}

QString speedText(int eighths) {
  return eighths < 8 ? QStringLiteral("1/%1x").arg(8 / eighths) : QStringLiteral("%1x").arg(eighths / 8);
}

}  // namespace

SegmentPlayer::SegmentPlayer(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("segmentPlayer"));
  // The keys belong to the player only while it has the focus; its buttons
  // never take it, so that Space and the arrows stay the player's.
  setFocusPolicy(Qt::StrongFocus);
  feeder_ = new FrameFeeder(this);

  picture_ = new QLabel(this);
  picture_->setObjectName(QStringLiteral("playerPicture"));
  picture_->setMinimumSize(PICTURE_WIDTH / 2, PICTURE_HEIGHT / 2);
  // The picture is scaled to the label: its size must not ask for more.
  picture_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setFrameShape(QFrame::StyledPanel);
  picture_->setWordWrap(true);
  caption_ = new QLabel(this);
  caption_->setObjectName(QStringLiteral("playerTime"));
  caption_->setAlignment(Qt::AlignCenter);
  caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("playerStatus"));
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  position_ = new QSlider(Qt::Horizontal, this);
  position_->setObjectName(QStringLiteral("playerPosition"));
  position_->setFocusPolicy(Qt::NoFocus);
  auto button = [this](const char* name, const QString& symbol) {
    auto* b = new QPushButton(symbol, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
  };
  // The steps and jumps as small symbol buttons, so that the player leaves
  // the table its width.
  auto symbol = [this](const char* name, const QString& symbolText) {
    auto* b = new QToolButton(this);
    b->setText(symbolText);
    b->setObjectName(QString::fromLatin1(name));
    b->setFocusPolicy(Qt::NoFocus);
    return b;
  };
  previousKey_ = symbol("playerPreviousKey", QStringLiteral("|\u25C0\u25C0"));
  stepBack_ = symbol("playerStepBack", QStringLiteral("\u25C0|"));
  play_ = button("playerPlay", QString());
  stepForward_ = symbol("playerStepForward", QStringLiteral("|\u25B6"));
  nextKey_ = symbol("playerNextKey", QStringLiteral("\u25B6\u25B6|"));
  saveStill_ = button("playerSaveStill", QString());
  goTo_ = button("playerGoTo", QString());
  speed_ = new QComboBox(this);
  speed_->setObjectName(QStringLiteral("playerSpeed"));
  speed_->setFocusPolicy(Qt::NoFocus);
  for (const int eighths : SPEED_EIGHTHS) speed_->addItem(speedText(eighths), eighths);
  speed_->setCurrentIndex(3);
  time_ = new QLineEdit(this);
  time_->setObjectName(QStringLiteral("playerTimeField"));
  time_->setPlaceholderText(QStringLiteral("YYYY-MM-DD HH:MM:SS"));
  time_->setMaxLength(19);

  auto* controls = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{previousKey_, stepBack_, play_, stepForward_, nextKey_, speed_})
    controls->addWidget(w);
  controls->addStretch();
  controls->addWidget(saveStill_);
  auto* seekRow = new QHBoxLayout;
  seekRow->addWidget(time_, 1);
  seekRow->addWidget(goTo_);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(picture_, 1);
  column->addWidget(caption_);
  column->addWidget(position_);
  column->addLayout(controls);
  column->addLayout(seekRow);
  column->addWidget(status_);

  tick_ = new QTimer(this);
  connect(tick_, &QTimer::timeout, this, &SegmentPlayer::onTick);
  connect(feeder_, &FrameFeeder::indexReady, this, &SegmentPlayer::onIndex);
  connect(feeder_, &FrameFeeder::stillSaved, this, [this](const QString& path, const QString& problem) {
    status_->setText(path.isEmpty() ? texts_.stillFailed.arg(problem) : texts_.stillSaved.arg(path));
    emit stillSaved(path, problem);
  });
  connect(play_, &QPushButton::clicked, this, [this] { playing_ ? pause() : play(); });
  connect(stepBack_, &QToolButton::clicked, this, [this] { step(-1); });
  connect(stepForward_, &QToolButton::clicked, this, [this] { step(1); });
  connect(previousKey_, &QToolButton::clicked, this, [this] { jumpToKeyFrame(false); });
  connect(nextKey_, &QToolButton::clicked, this, [this] { jumpToKeyFrame(true); });
  connect(saveStill_, &QPushButton::clicked, this, &SegmentPlayer::saveStill);
  connect(goTo_, &QPushButton::clicked, this, [this] { goToTime(time_->text()); });
  connect(time_, &QLineEdit::returnPressed, this, [this] { goToTime(time_->text()); });
  connect(speed_, &QComboBox::activated, this, [this] { setSpeedEighths(speed_->currentData().toInt()); });
  connect(position_, &QSlider::valueChanged, this, [this](int value) {
    if (syncingSlider_ || !index_) return;
    pause();
    showFrame(static_cast<std::size_t>(value));
  });

  applyLanguageTexts();
  setControlsEnabled(false);
}

SegmentPlayer::~SegmentPlayer() = default;

void SegmentPlayer::applyLanguageTexts() {
  texts_.play = text(KEY_PLAYER_PLAY);
  texts_.pause = text(KEY_PLAYER_PAUSE);
  texts_.stepBack = text(KEY_PLAYER_STEP_BACK);
  texts_.stepForward = text(KEY_PLAYER_STEP_FORWARD);
  texts_.previousKey = text(KEY_PLAYER_PREVIOUS_KEY);
  texts_.nextKey = text(KEY_PLAYER_NEXT_KEY);
  texts_.goTo = text(KEY_PLAYER_GO_TO);
  texts_.speed = text(KEY_PLAYER_SPEED);
  texts_.saveStill = text(KEY_PLAYER_SAVE_STILL);
  texts_.frame = text(KEY_PLAYER_FRAME);
  texts_.keyFrame = text(KEY_PLAYER_KEY_FRAME);
  texts_.damaged = text(KEY_PLAYER_DAMAGED);
  texts_.corrected = text(KEY_PLAYER_CORRECTED);
  texts_.stillSaved = text(KEY_PLAYER_STILL_SAVED);
  texts_.stillFailed = text(KEY_PLAYER_STILL_FAILED);
  texts_.reading = text(KEY_PLAYER_READING);
  texts_.notATime = text(KEY_PLAYER_NOT_A_TIME);
  texts_.cannotRead = text(KEY_PLAYER_CANNOT_READ);
  play_->setText(playing_ ? texts_.pause : texts_.play);
  stepBack_->setToolTip(texts_.stepBack + QStringLiteral(" (\u2190)"));
  stepForward_->setToolTip(texts_.stepForward + QStringLiteral(" (\u2192)"));
  previousKey_->setToolTip(texts_.previousKey + QStringLiteral(" (PgUp)"));
  nextKey_->setToolTip(texts_.nextKey + QStringLiteral(" (PgDown)"));
  play_->setToolTip(texts_.play + QStringLiteral(" / ") + texts_.pause + QStringLiteral(" (Space)"));
  speed_->setToolTip(texts_.speed);
  goTo_->setText(texts_.goTo);
  saveStill_->setText(texts_.saveStill);
  showCaption();
}

void SegmentPlayer::setControlsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{play_, stepBack_, stepForward_, previousKey_, nextKey_, goTo_,
                                                    saveStill_, speed_, time_, position_})
    w->setEnabled(enabled);
}

void SegmentPlayer::setSegment(const std::string& disk, int partition, const KeyFrameSearch& search,
                               RecorderTime near) {
  pause();
  tick_->stop();
  index_.reset();
  shown_ = NO_FRAME;
  wanted_ = NO_FRAME;
  shownImage_ = {};
  shownDecoded_ = false;
  startNear_ = near;
  setControlsEnabled(false);
  picture_->setPixmap({});
  picture_->setText(texts_.reading);
  caption_->clear();
  status_->clear();
  feeder_->open(disk, partition, search);
}

void SegmentPlayer::setClockOffset(std::optional<std::int64_t> seconds) {
  clockOffset_ = seconds;
  showCaption();
}

void SegmentPlayer::onIndex(std::shared_ptr<const FrameIndex> index, const QString& problem) {
  if (!index) {
    picture_->setText(texts_.cannotRead.arg(problem));
    emit segmentReady();
    return;
  }
  index_ = std::move(index);
  if (!index_->problem.empty()) status_->setText(texts_.cannotRead.arg(QString::fromStdString(index_->problem)));
  syncingSlider_ = true;
  position_->setRange(0, static_cast<int>(index_->frames.size() - 1));
  position_->setValue(0);
  syncingSlider_ = false;
  setControlsEnabled(true);
  const std::size_t first = startNear_ == RECORDER_TIME_MIN ? 0 : index_->frameAt(startNear_);
  showFrame(first == NO_FRAME ? 0 : first);
  emit segmentReady();
}

int SegmentPlayer::frameIntervalMs() const {
  const int rate = index_ && index_->frameRate > 0 && index_->frameRate <= 240 ? index_->frameRate : DEFAULT_FRAME_RATE;
  return std::max(1, 8000 / (rate * speedEighths_));
}

void SegmentPlayer::play() {
  if (!index_ || playing_) return;
  std::size_t from = shown_ == NO_FRAME ? 0 : shown_ + 1;
  if (from >= index_->frames.size()) from = 0;  // from the start again
  playing_ = true;
  play_->setText(texts_.pause);
  wanted_ = NO_FRAME;
  seek_ = feeder_->seek(from, true);
  tick_->start(frameIntervalMs());
}

void SegmentPlayer::pause() {
  if (!playing_) return;
  playing_ = false;
  play_->setText(texts_.play);
  feeder_->setPlaying(false);
  if (wanted_ == NO_FRAME) tick_->stop();
}

void SegmentPlayer::showFrame(std::size_t frame) {
  if (!index_ || index_->frames.empty()) return;
  frame = std::min(frame, index_->frames.size() - 1);
  wanted_ = frame;
  seek_ = feeder_->seek(frame, playing_);
  if (!playing_) tick_->start(WAIT_INTERVAL_MS);
}

void SegmentPlayer::step(int frames) {
  if (!index_) return;
  pause();
  const std::size_t from = wanted_ != NO_FRAME ? wanted_ : shown_ == NO_FRAME ? 0 : shown_;
  if (frames < 0 && from < static_cast<std::size_t>(-frames)) return showFrame(0);
  showFrame(from + static_cast<std::size_t>(static_cast<std::ptrdiff_t>(frames)));
}

void SegmentPlayer::jumpToKeyFrame(bool forward) {
  if (!index_) return;
  pause();
  const std::size_t from = wanted_ != NO_FRAME ? wanted_ : shown_ == NO_FRAME ? 0 : shown_;
  const std::size_t key = forward ? index_->nextKey(from) : index_->previousKey(from);
  if (key != NO_FRAME) showFrame(key);
}

bool SegmentPlayer::goToTime(const QString& typed) {
  if (!index_) return false;
  int year, month, day, hour, minute, second, used = 0;
  const std::string text = typed.trimmed().toStdString();
  const bool parsed = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                                  &second, &used) == 6 &&
                      static_cast<std::size_t>(used) == text.size() && month >= 1 && month <= 12 && day >= 1 &&
                      day <= 31 && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 &&
                      second <= 59;
  const std::size_t frame =
      parsed ? index_->frameAt(recorderTimeFromPickers({year, month, day}, {hour, minute, second})) : NO_FRAME;
  if (frame == NO_FRAME) {
    status_->setText(texts_.notATime.arg(typed));
    return false;
  }
  status_->clear();
  pause();
  showFrame(frame);
  return true;
}

void SegmentPlayer::setSpeedEighths(int eighths) {
  speedEighths_ = std::clamp(eighths, 1, 64);
  const int at = speed_->findData(speedEighths_);
  if (at >= 0) speed_->setCurrentIndex(at);
  if (playing_) tick_->setInterval(frameIntervalMs());
}

void SegmentPlayer::saveStill() {
  if (!index_ || shown_ == NO_FRAME) return;
  const std::string folder = outputFolderOfForm_ ? outputFolderOfForm_() : std::string();
  if (folder.empty()) {
    status_->setText(texts_.stillFailed.arg(QString()));
    return;
  }
  feeder_->saveStill(shown_, folder, clockOffset_);
}

void SegmentPlayer::onTick() {
  for (std::optional<FedFrame> frame = feeder_->takeFrame(); frame; frame = feeder_->takeFrame()) {
    if (frame->seek != seek_) continue;  // for an earlier step
    present(*frame);
    if (playing_ && index_ && shown_ + 1 >= index_->frames.size()) pause();
    break;
  }
  if (!playing_ && wanted_ == NO_FRAME) tick_->stop();
}

void SegmentPlayer::present(const FedFrame& frame) {
  const SegmentPicture& picture = frame.picture;
  if (picture.index == NO_FRAME) return;
  shown_ = picture.index;
  if (wanted_ == shown_) wanted_ = NO_FRAME;
  if (!picture.picture.rgb.empty()) shownImage_ = imageOf(picture.picture);
  shownDecoded_ = picture.decoded;
  shownProblem_ = QString::fromStdString(picture.problem);
  syncingSlider_ = true;
  position_->setValue(static_cast<int>(shown_));
  syncingSlider_ = false;
  showPicture();
  showCaption();
  emit frameShown(shown_);
}

void SegmentPlayer::showPicture() {
  if (shownImage_.isNull()) {
    picture_->setPixmap({});
    picture_->setText(shownDecoded_ ? QString() : texts_.damaged);
    return;
  }
  QPixmap pixmap = QPixmap::fromImage(shownImage_).scaled(picture_->contentsRect().size(), Qt::KeepAspectRatio,
                                                          Qt::SmoothTransformation);
  if (!shownDecoded_) {
    // The mark is on the screen's copy only, never on a still.
    QPainter painter(&pixmap);
    painter.setPen(QPen(QColor(220, 30, 30), 4));
    painter.drawRect(pixmap.rect().adjusted(2, 2, -2, -2));
    painter.drawLine(pixmap.rect().topLeft(), pixmap.rect().bottomRight());
  }
  picture_->setPixmap(pixmap);
}

void SegmentPlayer::showCaption() {
  if (!index_ || shown_ == NO_FRAME || shown_ >= index_->frames.size()) return;
  const IndexedFrame& frame = index_->frames[shown_];
  QString caption = QString::fromStdString(segmentTimeText(frame.timeStamp));
  if (clockOffset_)
    caption += QStringLiteral("  (") +
               texts_.corrected.arg(QString::fromStdString(segmentTimeText(correctedTime(frame.timeStamp, *clockOffset_)))) +
               QStringLiteral(")");
  caption += QStringLiteral("  ") + texts_.frame.arg(shown_ + 1).arg(index_->frames.size());
  if (frame.key) caption += QStringLiteral("  ") + texts_.keyFrame;
  if (!shownDecoded_) caption += QStringLiteral("  ") + texts_.damaged;
  caption_->setText(caption);
  caption_->setStyleSheet(shownDecoded_ ? QString() : QStringLiteral("color: #c81e1e; font-weight: bold"));
  caption_->setToolTip(shownDecoded_ ? QString() : shownProblem_);
}

void SegmentPlayer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!shownImage_.isNull()) showPicture();
}

void SegmentPlayer::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() != Qt::NoModifier && event->modifiers() != Qt::KeypadModifier) {
    QWidget::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Space: playing_ ? pause() : play(); break;
    case Qt::Key_Left: step(-1); break;
    case Qt::Key_Right: step(1); break;
    case Qt::Key_PageUp: jumpToKeyFrame(false); break;
    case Qt::Key_PageDown: jumpToKeyFrame(true); break;
    case Qt::Key_Home:
      pause();
      showFrame(0);
      break;
    case Qt::Key_End:
      pause();
      if (index_) showFrame(index_->frames.size() - 1);
      break;
    default:
      // Escape among them: the window decides (and never closes on it).
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

}  // namespace korvex
