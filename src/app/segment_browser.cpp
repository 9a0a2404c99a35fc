#include "app/segment_browser.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <map>

#include "app/picture_loader.h"
#include "app/segment_table_model.h"
#include "jobs/scan_log_reader.h"
#include "jobs/verify.h"
#include "lang/language.h"
#include "lang/language_keys.h"
#include "store/record_types.h"

namespace korvex {

namespace {

// How often the scan's segments are taken into the view while it runs.
constexpr int DRAIN_INTERVAL_MS = 200;
// The pointer rests this long on the time line before its picture is sought.
constexpr int HOVER_DELAY_MS = 120;
constexpr int HOVER_PICTURE_WIDTH = 176;
constexpr int HOVER_PICTURE_HEIGHT = 144;

constexpr std::int32_t LEGEND_TYPES[] = {RECORD_TYPE_TIME, RECORD_TYPE_MOTION, RECORD_TYPE_SENSOR, RECORD_TYPE_MANUAL};

QString text(const char* key) { return QString::fromStdString(languageText(key)); }

}  // namespace

QString SegmentBrowser::legendText() const {
  QString legend;
  auto entry = [&legend](const QString& mark, const QString& colour, const QString& name) {
    legend += QStringLiteral("<span style=\"color:%1\">%2</span>&nbsp;%3&nbsp;&nbsp; ")
                  .arg(colour, mark, name.toHtmlEscaped());
  };
  const QString square = QStringLiteral("&#9632;");
  for (std::int32_t code : LEGEND_TYPES)
    entry(square, TimelineView::recordTypeColour(code).name(), model_->recordTypeText(code));
  entry(square, TimelineView::recordTypeColour(0).name(), texts_.other);
  entry(QStringLiteral("&#9636;"), QStringLiteral("#999"), texts_.dayWithoutRecordings);
  return legend;
}

QString SegmentBrowser::segmentCaption(const SegmentRecord& segment, RecorderTime t) const {
  const QString channel = texts_.laneChannel.arg(segment.channel + 1) + QStringLiteral("  ");
  if (!clockOffset_) return channel + QString::fromStdString(segmentTimeText(t));
  return channel + texts_.recorderTime + QLatin1Char(' ') + QString::fromStdString(segmentTimeText(t)) +
         QStringLiteral("  ") + texts_.correctedTime + QLatin1Char(' ') +
         QString::fromStdString(segmentTimeText(correctedTime(t, *clockOffset_)));
}

void SegmentBrowser::setClockOffset(const std::optional<ClockOffset>& offset) {
  if (offset.has_value() == clockOffset_.has_value() && (!offset || offset->seconds == clockOffset_->seconds)) return;
  clockOffset_ = offset;
  model_->setClockOffset(offset);
  table_->setColumnHidden(SegmentTableModel::CorrectedStart, !offset);
  showPictureTexts();
}

QString SegmentBrowser::noPictureText(const SegmentRecord& segment, PictureProblem kind, const QString& problem) const {
  // The disk's and the files' problems are the system's words about a path;
  // the others are said in the current language, the decoder's detail after.
  QString reason = problem;
  if (kind == PictureProblem::NoKeyFrame) reason = texts_.noKeyFrame.arg(segment.channel + 1);
  else if (kind == PictureProblem::Undecodable) reason = texts_.undecodable + QLatin1Char(' ') + problem;
  return texts_.noPicture + QLatin1Char(' ') + reason;
}

SegmentBrowser::SegmentBrowser(QWidget* parent) : QWidget(parent), inbox_(std::make_shared<Inbox>()) {
  setObjectName(QStringLiteral("segmentBrowser"));
  model_ = new SegmentTableModel(list_, this);

  openLog_ = new QPushButton(this);
  openLog_->setObjectName(QStringLiteral("openScanLog"));
  openLog_->setAutoDefault(false);
  verify_ = new QPushButton(this);
  verify_->setObjectName(QStringLiteral("verifyLog"));
  verify_->setAutoDefault(false);
  channelFilter_ = new QComboBox(this);
  channelFilter_->setObjectName(QStringLiteral("channelFilter"));
  typeFilter_ = new QComboBox(this);
  typeFilter_->setObjectName(QStringLiteral("typeFilter"));
  count_ = new QLabel(this);
  count_->setObjectName(QStringLiteral("segmentCount"));
  backUp_ = new QPushButton(this);
  backUp_->setObjectName(QStringLiteral("backUpSelection"));
  backUp_->setAutoDefault(false);
  backUp_->setEnabled(false);

  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("segmentTable"));
  table_->setModel(model_);
  table_->setColumnHidden(SegmentTableModel::CorrectedStart, true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setSortingEnabled(true);
  table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  table_->setWordWrap(false);
  // Rows of one height: the view never measures the rows out of sight.
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setStretchLastSection(true);
  const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
  const int timeWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 16;
  const int widths[] = {digit * 6 + 16, digit * 8 + 16, timeWidth, timeWidth, digit * 9 + 16, digit * 6 + 16};
  for (int column = 0; column < 6; ++column) table_->setColumnWidth(column, widths[column]);

  picture_ = new QLabel(this);
  picture_->setObjectName(QStringLiteral("segmentPicture"));
  picture_->setFixedSize(PICTURE_WIDTH + 4, PICTURE_HEIGHT + 4);
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setFrameShape(QFrame::StyledPanel);
  picture_->setWordWrap(true);
  caption_ = new QLabel(this);
  caption_->setObjectName(QStringLiteral("segmentPictureTime"));
  caption_->setAlignment(Qt::AlignCenter);

  player_ = new SegmentPlayer(this);
  timeline_ = new TimelineView(list_, picked_, this);
  legend_ = new QLabel(this);
  legend_->setObjectName(QStringLiteral("timelineLegend"));
  wholeDisk_ = new QPushButton(this);
  zoomIn_ = new QPushButton(this);
  zoomOut_ = new QPushButton(this);
  wholeDisk_->setObjectName(QStringLiteral("timelineWholeDisk"));
  zoomIn_->setObjectName(QStringLiteral("timelineZoomIn"));
  zoomOut_->setObjectName(QStringLiteral("timelineZoomOut"));
  for (QPushButton* button : {wholeDisk_, zoomIn_, zoomOut_}) button->setAutoDefault(false);

  auto* tools = new QHBoxLayout;
  tools->addWidget(openLog_);
  tools->addWidget(verify_);
  tools->addWidget(channelFilter_);
  tools->addWidget(typeFilter_);
  tools->addWidget(count_, 1);
  tools->addWidget(backUp_);

  auto* pictureColumn = new QVBoxLayout;
  pictureColumn->addWidget(picture_);
  pictureColumn->addWidget(caption_);
  pictureColumn->addStretch();
  auto* upper = new QWidget(this);
  auto* upperRow = new QHBoxLayout(upper);
  upperRow->setContentsMargins(0, 0, 0, 0);
  upperRow->addWidget(table_, 3);
  upperRow->addLayout(pictureColumn);
  upperRow->addWidget(player_, 2);

  auto* lower = new QWidget(this);
  auto* lowerColumn = new QVBoxLayout(lower);
  lowerColumn->setContentsMargins(0, 0, 0, 0);
  auto* timelineTools = new QHBoxLayout;
  timelineTools->addWidget(legend_, 1);
  timelineTools->addWidget(wholeDisk_);
  timelineTools->addWidget(zoomIn_);
  timelineTools->addWidget(zoomOut_);
  lowerColumn->addLayout(timelineTools);
  lowerColumn->addWidget(timeline_, 1);

  auto* split = new QSplitter(Qt::Vertical, this);
  split_ = split;
  split->setChildrenCollapsible(false);
  split->addWidget(upper);
  split->addWidget(lower);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addLayout(tools);
  column->addWidget(split, 1);

  applyLanguageTexts();

  drain_ = new QTimer(this);
  drain_->setInterval(DRAIN_INTERVAL_MS);
  connect(drain_, &QTimer::timeout, this, &SegmentBrowser::takeScannedSegments);
  hoverDelay_ = new QTimer(this);
  hoverDelay_->setSingleShot(true);
  hoverDelay_->setInterval(HOVER_DELAY_MS);
  connect(hoverDelay_, &QTimer::timeout, this, [this] {
    if (hoverSegment_ < 0) return;
    hoverRequest_ = hoverLoader_->request(disk_.disk, disk_.partition,
                                          searchOf(list_[static_cast<std::size_t>(hoverSegment_)], hoverTime_),
                                          HOVER_PICTURE_WIDTH, HOVER_PICTURE_HEIGHT);
  });

  pictureLoader_ = new PictureLoader(this);
  hoverLoader_ = new PictureLoader(this);
  connect(pictureLoader_, &PictureLoader::pictureReady, this,
          [this](std::uint64_t request, const QImage& image, RecorderTime time, PictureProblem kind,
                 const QString& problem) {
            if (request != pictureRequest_) return;
            if (image.isNull()) {
              picture_->setPixmap({});
              pictureState_ = PictureState::Missing;
              pictureProblem_ = kind;
              pictureProblemText_ = problem;
            } else {
              picture_->setPixmap(QPixmap::fromImage(image));
              pictureState_ = PictureState::Shown;
              pictureTime_ = time;
            }
            showPictureTexts();
            emit pictureShown();
          });
  connect(hoverLoader_, &PictureLoader::pictureReady, this,
          [this](std::uint64_t request, const QImage& image, RecorderTime time, PictureProblem kind,
                 const QString& problem) {
            if (request != hoverRequest_ || hoverSegment_ < 0) return;
            const SegmentRecord& segment = list_[static_cast<std::size_t>(hoverSegment_)];
            if (image.isNull()) {
              QImage placeholder(HOVER_PICTURE_WIDTH, 40, QImage::Format_RGB888);
              placeholder.fill(QColor(60, 60, 60));
              timeline_->setHoverPicture(placeholder, noPictureText(segment, kind, problem));
            } else {
              timeline_->setHoverPicture(image, segmentCaption(segment, time));
            }
          });

  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &SegmentBrowser::onTableSelection);
  connect(timeline_, &TimelineView::pickRequested, this,
          [this](const std::vector<std::uint32_t>& segments, TimelineView::PickMode mode) {
            // A click on the time line plays from the moment clicked.
            playFrom_ = hoverSegment_ >= 0 ? hoverTime_ : RECORDER_TIME_MIN;
            pick(segments, mode);
            playFrom_ = RECORDER_TIME_MIN;
          });
  connect(timeline_, &TimelineView::hovered, this, &SegmentBrowser::onHover);
  connect(wholeDisk_, &QPushButton::clicked, this, [this] {
    followScan_ = false;
    timeline_->showAll();
  });
  connect(zoomIn_, &QPushButton::clicked, this, [this] {
    followScan_ = false;
    timeline_->zoomIn();
  });
  connect(zoomOut_, &QPushButton::clicked, this, [this] {
    followScan_ = false;
    timeline_->zoomOut();
  });
  connect(backUp_, &QPushButton::clicked, this, &SegmentBrowser::backUpSelectionRequested);
  connect(openLog_, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, texts_.openLogTitle, QString(), texts_.logFiles);
    if (!path.isEmpty()) openScanLog(path);
  });
  connect(verify_, &QPushButton::clicked, this, [this] {
    const QString path =
        QFileDialog::getOpenFileName(this, text(KEY_VERIFY_LOG_TITLE), QString(), text(KEY_JOB_LOG_FILES));
    if (!path.isEmpty()) verifyJobLog(path);
  });
  auto filterChanged = [this] {
    model_->setFilter(channelFilter_->currentData().toInt(), typeFilter_->currentData().toInt());
    showPickInTable();
    updateCount();
  };
  connect(channelFilter_, &QComboBox::activated, this, filterChanged);
  connect(typeFilter_, &QComboBox::activated, this, filterChanged);
}

SegmentBrowser::~SegmentBrowser() {
  if (!verifier_.joinable()) return;
  verifyStop_->request();
  verifier_.join();
}

void SegmentBrowser::verifyJobLog(const QString& path) {
  if (verifier_.joinable()) return;  // one check at a time
  verify_->setEnabled(false);
  verify_->setText(text(KEY_VERIFYING));
  verifyStop_ = std::make_unique<StopRequest>();
  if (!verifyPoll_) {
    verifyPoll_ = new QTimer(this);
    verifyPoll_->setInterval(50);
    connect(verifyPoll_, &QTimer::timeout, this, &SegmentBrowser::takeVerifyOutcome);
  }
  verifier_ = std::thread([this, stop = verifyStop_.get(), log = QFile::encodeName(path).toStdString()] {
    VerifyOutcome outcome = verifyLogOnItsDisk(log, stop);
    const std::lock_guard lock(verifyMutex_);
    verifyOutcome_ = std::move(outcome);
  });
  verifyPoll_->start();
}

void SegmentBrowser::takeVerifyOutcome() {
  std::optional<VerifyOutcome> outcome;
  {
    const std::lock_guard lock(verifyMutex_);
    outcome.swap(verifyOutcome_);
  }
  if (!outcome) return;
  verifyPoll_->stop();
  verifier_.join();
  // Up to this many differences are shown; the summary counts them all.
  constexpr std::size_t SHOWN = 12;
  QString words = outcome->holds() ? text(KEY_VERIFY_HOLDS) : text(KEY_VERIFY_DIFFERS);
  for (std::size_t i = 0; i < outcome->differences.size() && i < SHOWN; ++i)
    words += QLatin1Char('\n') + QString::fromStdString(outcome->differences[i]);
  if (outcome->differences.size() > SHOWN) words += QStringLiteral("\n...");
  words += QLatin1Char('\n') + QString::fromStdString(verifySummary(*outcome));
  verify_->setEnabled(true);
  verify_->setText(text(KEY_VERIFY_LOG));
  emit verified(words);
}

void SegmentBrowser::applyLanguageTexts() {
  texts_.allChannels = text(KEY_ALL_CHANNELS);
  texts_.channel = text(KEY_CHANNEL_NUMBER);
  texts_.allTypes = text(KEY_ALL_TYPES);
  texts_.count = text(KEY_SEGMENT_COUNT);
  texts_.pickSegment = text(KEY_PICK_A_SEGMENT);
  texts_.readingPicture = text(KEY_READING_PICTURE);
  texts_.noPicture = text(KEY_NO_PICTURE);
  texts_.noKeyFrame = text(KEY_NO_KEY_FRAME);
  texts_.undecodable = text(KEY_PICTURE_UNDECODABLE);
  texts_.openLogTitle = text(KEY_OPEN_SCAN_LOG_TITLE);
  texts_.logFiles = text(KEY_SCAN_LOG_FILES);
  texts_.cannotOpenLog = text(KEY_CANNOT_OPEN_SCAN_LOG);
  texts_.other = text(KEY_OTHER_TYPES);
  texts_.dayWithoutRecordings = text(KEY_DAY_WITHOUT_RECORDINGS);
  texts_.laneChannel = text(KEY_CHANNEL_SHORT);
  texts_.recorderTime = text(KEY_RECORDER_TIME);
  texts_.correctedTime = text(KEY_CORRECTED_TIME);
  openLog_->setText(text(KEY_OPEN_SCAN_LOG));
  if (verify_->isEnabled()) verify_->setText(text(KEY_VERIFY_LOG));
  backUp_->setText(text(KEY_BACK_UP_SELECTION));
  wholeDisk_->setText(text(KEY_WHOLE_DISK));
  zoomIn_->setText(text(KEY_ZOOM_IN));
  zoomOut_->setText(text(KEY_ZOOM_OUT));
  model_->applyLanguageTexts();
  timeline_->applyLanguageTexts();
  player_->applyLanguageTexts();
  legend_->setText(legendText());
  fillFilters();
  updateCount();
  showPictureTexts();
}

void SegmentBrowser::showPictureTexts() {
  const bool known = pictureSegment_ < list_.size();
  switch (pictureState_) {
    case PictureState::Placeholder:
      picture_->setText(texts_.pickSegment);
      caption_->clear();
      break;
    case PictureState::Reading:
      picture_->setText(texts_.readingPicture);
      caption_->setText(known ? segmentCaption(list_[pictureSegment_], list_[pictureSegment_].startTime) : QString());
      break;
    case PictureState::Missing:
      picture_->setText(known ? noPictureText(list_[pictureSegment_], pictureProblem_, pictureProblemText_) : QString());
      caption_->clear();
      break;
    case PictureState::Shown:
      caption_->setText(known && !pickedSegments().empty() ? segmentCaption(list_[pictureSegment_], pictureTime_)
                                                           : QString());
      break;
  }
}

std::function<void(const SegmentRecord&)> SegmentBrowser::startScan(const DiskChoice& disk) {
  takeScannedSegments();  // an earlier scan's last ones are dropped with the rest
  showSegments({}, disk, true);
  followScan_ = true;
  // A fresh inbox: a scan still finishing cannot add to the new one.
  inbox_ = std::make_shared<Inbox>();
  drain_->start();
  return [inbox = inbox_](const SegmentRecord& segment) {
    const std::lock_guard lock(inbox->mutex);
    inbox->segments.push_back(segment);
  };
}

void SegmentBrowser::takeScannedSegments() {
  std::vector<SegmentRecord> arrived;
  {
    const std::lock_guard lock(inbox_->mutex);
    arrived.swap(inbox_->segments);
  }
  if (arrived.empty()) return;
  const bool fresh = list_.size() == 0;
  list_.append(arrived);
  segmentsAdded(arrived.size(), fresh);
}

void SegmentBrowser::showSegments(const std::vector<SegmentRecord>& segments, const DiskChoice& disk,
                                  bool placesKnown) {
  drain_->stop();
  pictureLoader_->cancel();
  hoverLoader_->cancel();
  followScan_ = false;
  disk_ = disk;
  placesKnown_ = placesKnown;
  list_.clear();
  picked_.clear();
  list_.append(segments);
  picked_.assign(list_.size(), 0);
  model_->reload();
  fillFilters();
  timeline_->segmentsChanged(false);
  keepLanesInView();
  picture_->setPixmap({});
  pictureState_ = PictureState::Placeholder;
  showPictureTexts();
  updateCount();
  emit pickChanged();
  emit segmentsShown();
}

bool SegmentBrowser::openScanLog(const QString& path) {
  const ScanLog log = readScanLog(QFile::encodeName(path).toStdString());
  if (!log.ok()) {
    emit problem(texts_.cannotOpenLog + QLatin1Char(' ') +
                 QString::fromStdString(log.failure.path + ": " + log.failure.reason));
    return false;
  }
  // Its segments are read again (pictures, a backup of them) on the disk it
  // names, never on whatever disk the form holds.
  if (log.disk.empty()) {
    showSegments(log.segments, diskOfForm_ ? diskOfForm_() : DiskChoice{}, false);
    return true;
  }
  const DiskChoice disk{log.disk, log.partition};
  emit logDiskOpened(disk);
  showSegments(log.segments, disk, false);
  return true;
}

void SegmentBrowser::segmentsAdded(std::size_t count, bool fresh) {
  picked_.resize(list_.size(), 0);
  model_->appended(count);
  // A channel or record type seen for the first time joins the filters.
  fillFilters();
  timeline_->segmentsChanged(!fresh && !followScan_);
  keepLanesInView();
  updateCount();
  emit segmentsShown();
}

void SegmentBrowser::fillFilters() {
  const int channel = channelFilter_->currentData().isValid() ? channelFilter_->currentData().toInt() : -1;
  const int type = typeFilter_->currentData().isValid() ? typeFilter_->currentData().toInt() : -1;
  const QSignalBlocker quietChannels(channelFilter_);
  const QSignalBlocker quietTypes(typeFilter_);
  channelFilter_->clear();
  channelFilter_->addItem(texts_.allChannels, -1);
  for (const SegmentList::Lane& lane : list_.lanes())
    channelFilter_->addItem(texts_.channel.arg(lane.channel + 1), lane.channel);
  typeFilter_->clear();
  typeFilter_->addItem(texts_.allTypes, -1);
  std::array<bool, 64> seen{};
  std::vector<std::int32_t> others;
  for (const SegmentRecord& segment : list_.segments()) {
    if (segment.recordType >= 0 && segment.recordType < 64) {
      seen[static_cast<std::size_t>(segment.recordType)] = true;
    } else if (std::find(others.begin(), others.end(), segment.recordType) == others.end() && others.size() < 16) {
      others.push_back(segment.recordType);
    }
  }
  for (std::int32_t code = 0; code < 64; ++code)
    if (seen[static_cast<std::size_t>(code)]) others.push_back(code);
  std::sort(others.begin(), others.end());
  for (std::int32_t code : others) {
    typeFilter_->addItem(model_->recordTypeLabel(code), code);
  }
  channelFilter_->setCurrentIndex(std::max(0, channelFilter_->findData(channel)));
  typeFilter_->setCurrentIndex(std::max(0, typeFilter_->findData(type)));
}

void SegmentBrowser::keepLanesInView() {
  QList<int> sizes = split_->sizes();
  if (sizes.size() != 2 || !split_->isVisible()) return;
  const int lack = timeline_->minimumSizeHint().height() - timeline_->height();
  const int spare = sizes[0] - split_->widget(0)->minimumSizeHint().height();
  const int moved = std::min(lack, spare);
  if (moved <= 0) return;
  sizes[0] -= moved;
  sizes[1] += moved;
  split_->setSizes(sizes);
}

void SegmentBrowser::updateCount() {
  const auto picked = static_cast<std::size_t>(std::count(picked_.begin(), picked_.end(), std::uint8_t{1}));
  count_->setText(texts_.count.arg(QString::number(list_.size()), QString::number(model_->rowCount()),
                                   QString::number(picked)));
  backUp_->setEnabled(picked > 0);
}

void SegmentBrowser::pick(const std::vector<std::uint32_t>& segments, TimelineView::PickMode mode) {
  if (mode == TimelineView::PickMode::Replace) std::fill(picked_.begin(), picked_.end(), std::uint8_t{0});
  for (std::uint32_t at : segments) {
    if (at >= picked_.size()) continue;
    picked_[at] = mode == TimelineView::PickMode::Toggle ? !picked_[at] : 1;
  }
  showPickInTable();
  if (!segments.empty() && segments.front() < picked_.size()) {
    const int row = model_->rowOfSegment(segments.front());
    if (row >= 0) {
      const QSignalBlocker quiet(table_->selectionModel());
      table_->selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
      table_->scrollTo(model_->index(row, 0));
    }
    if (picked_[segments.front()]) showPictureOf(segments.front());
  }
  timeline_->update();
  updateCount();
  emit pickChanged();
}

void SegmentBrowser::showPickInTable() {
  // Runs of picked rows become one range each.
  QItemSelection selection;
  const int rows = model_->rowCount();
  const int last = SegmentTableModel::ColumnCount - 1;
  for (int row = 0; row < rows;) {
    if (!picked_[model_->segmentAt(row)]) {
      ++row;
      continue;
    }
    const int first = row;
    while (row < rows && picked_[model_->segmentAt(row)]) ++row;
    selection.select(model_->index(first, 0), model_->index(row - 1, last));
  }
  syncing_ = true;
  table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  syncing_ = false;
}

void SegmentBrowser::onTableSelection() {
  if (syncing_) return;
  // Rows the filter hides keep their pick.
  const int rows = model_->rowCount();
  for (int row = 0; row < rows; ++row) picked_[model_->segmentAt(row)] = 0;
  for (const QItemSelectionRange& range : table_->selectionModel()->selection())
    for (int row = range.top(); row <= range.bottom(); ++row) picked_[model_->segmentAt(row)] = 1;
  const QModelIndex current = table_->selectionModel()->currentIndex();
  if (current.isValid() && picked_[model_->segmentAt(current.row())]) showPictureOf(model_->segmentAt(current.row()));
  timeline_->update();
  updateCount();
  emit pickChanged();
}

KeyFrameSearch SegmentBrowser::searchOf(const SegmentRecord& segment, RecorderTime near) const {
  KeyFrameSearch search;
  search.channel = segment.channel;
  search.near = near;
  search.from = segment.startTime;
  search.until = segment.endTime;
  search.recover = segment.recovered;
  if (placesKnown_) {
    search.folder = segment.firstFrame.folder;
    search.file = segment.firstFrame.file;
    search.offset = segment.firstFrame.offset;
    search.lastFolder = segment.lastFrame.folder;
    search.lastFile = segment.lastFrame.file;
  } else {
    search.folder = segment.startFolder;
    search.lastFolder = std::numeric_limits<std::int32_t>::max();
  }
  return search;
}

void SegmentBrowser::showPictureOf(std::uint32_t segment) {
  picture_->setPixmap({});
  pictureState_ = PictureState::Reading;
  pictureSegment_ = segment;
  showPictureTexts();
  pictureRequest_ = pictureLoader_->request(disk_.disk, disk_.partition, searchOf(list_[segment], RECORDER_TIME_MIN),
                                            PICTURE_WIDTH, PICTURE_HEIGHT);
  player_->setSegment(disk_.disk, disk_.partition, searchOf(list_[segment], RECORDER_TIME_MIN), playFrom_);
}

void SegmentBrowser::onHover(std::int64_t segment, RecorderTime t) {
  // The same segment at nearly the same moment keeps its picture.
  if (segment == hoverSegment_ && segment >= 0 && std::llabs(std::int64_t{t} - hoverTime_) < 1) return;
  hoverSegment_ = segment;
  hoverTime_ = t;
  // A segment the backup cannot take says why.
  timeline_->setToolTip(segment >= 0 ? model_->whyNotBackedUp(list_[static_cast<std::size_t>(segment)]) : QString());
  if (segment < 0) {
    hoverDelay_->stop();
    hoverLoader_->cancel();
    return;
  }
  hoverDelay_->start();
}

QStringList SegmentBrowser::pickedNotBackedUp() const {
  QStringList reasons;
  for (std::uint32_t at : pickedSegments()) {
    const QString reason = model_->whyNotBackedUp(list_[at]);
    if (!reason.isEmpty() && !reasons.contains(reason)) reasons.push_back(reason);
  }
  return reasons;
}

std::vector<std::uint32_t> SegmentBrowser::pickedSegments() const {
  std::vector<std::uint32_t> picked;
  for (std::uint32_t k = 0; k < picked_.size(); ++k)
    if (picked_[k]) picked.push_back(k);
  return picked;
}

PickSummary SegmentBrowser::pickSummary() const {
  PickSummary summary;
  for (std::uint32_t at : pickedSegments()) {
    const SegmentRecord& segment = list_[at];
    if (summary.count == 0) {
      summary.begin = segment.startTime;
      summary.end = segment.endTime;
    }
    ++summary.count;
    summary.begin = std::min(summary.begin, segment.startTime);
    summary.end = std::max(summary.end, segment.endTime);
    if (segment.channel >= 0 && segment.channel < CHANNEL_TABLE_SIZE) summary.channelMask |= std::uint32_t{1} << segment.channel;
    if (segment.recordType >= 0 && segment.recordType < RECORD_TYPE_TABLE_SIZE)
      summary.recordTypes[static_cast<std::size_t>(segment.recordType)] = true;
  }
  return summary;
}

std::vector<PickedWindow> SegmentBrowser::pickedWindows() const {
  // Spans meet only within one channel and one record type: a window that
  // took in a neighbour of another type would take its frames too.
  std::map<std::pair<std::int32_t, std::int32_t>, std::vector<std::pair<RecorderTime, RecorderTime>>> spans;
  for (std::uint32_t at : pickedSegments()) {
    const SegmentRecord& segment = list_[at];
    if (segment.channel < 0 || segment.channel >= CHANNEL_TABLE_SIZE) continue;
    if (segment.recordType < 0 || segment.recordType >= 32) continue;  // never backed up
    spans[{segment.channel, segment.recordType}].emplace_back(segment.startTime, segment.endTime);
  }
  std::vector<PickedWindow> windows;
  for (auto& [key, list] : spans) {
    std::sort(list.begin(), list.end());
    const std::uint32_t mask = std::uint32_t{1} << key.first;
    const std::uint32_t types = std::uint32_t{1} << key.second;
    const std::size_t first = windows.size();
    for (const auto& [begin, end] : list) {
      if (windows.size() > first && std::int64_t{begin} <= std::int64_t{windows.back().end} + 1) {
        windows.back().end = std::max(windows.back().end, end);
        continue;
      }
      windows.push_back({mask, begin, end, types});
    }
  }
  return windows;
}

}  // namespace korvex
