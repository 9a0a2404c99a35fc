#include "app/segment_table_model.h"

#include <QColor>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>
#include <utility>

#include "lang/language.h"
#include "jobs/job_settings.h"
#include "lang/language_keys.h"
#include "store/record_types.h"

namespace korvex {

bool backupTakes(std::int32_t channel, std::int32_t code) {
  const bool named = code == RECORD_TYPE_TIME || code == RECORD_TYPE_MOTION || code == RECORD_TYPE_SENSOR ||
                     code == RECORD_TYPE_MANUAL;
  return channel >= 0 && channel < SELECTABLE_CHANNELS && named;
}

SegmentTableModel::SegmentTableModel(const SegmentList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
  applyLanguageTexts();
}

void SegmentTableModel::applyLanguageTexts() {
  // Looked up once here: every lookup reads the language file.
  static constexpr const char* TITLE_KEYS[ColumnCount] = {KEY_COLUMN_CHANNEL, KEY_COLUMN_TYPE,     KEY_COLUMN_START,
                                                          KEY_COLUMN_END,     KEY_COLUMN_DURATION, KEY_COLUMN_SIZE,
                                                          KEY_FOLDER,         KEY_COLUMN_NOMINAL_RATE,
                                                          KEY_COLUMN_MEASURED_RATE,
                                                          KEY_COLUMN_SECONDS_WITHOUT_FRAME,
                                                          KEY_COLUMN_STAMPS_BACKWARDS, KEY_COLUMN_DRIFT,
                                                          KEY_CORRECTED_TIME};
  for (int column = 0; column < ColumnCount; ++column)
    titles_[static_cast<std::size_t>(column)] = QString::fromStdString(languageText(TITLE_KEYS[column]));
  const std::pair<std::int32_t, const char*> types[] = {{RECORD_TYPE_TIME, KEY_TIME}, {RECORD_TYPE_MOTION, KEY_MOTION},
                                                        {RECORD_TYPE_SENSOR, KEY_SENSOR}, {RECORD_TYPE_MANUAL, KEY_MANUAL}};
  codeText_ = QString::fromStdString(languageText(KEY_TYPE_CODE));
  channelNotBackedUp_ = QString::fromStdString(languageText(KEY_CHANNEL_NOT_BACKED_UP));
  codeNotBackedUp_ = QString::fromStdString(languageText(KEY_CODE_NOT_BACKED_UP));
  typeNames_.fill(QString());
  for (const auto& [code, key] : types) typeNames_[static_cast<std::size_t>(code)] = QString::fromStdString(languageText(key));
  emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
  if (!rows_.empty()) emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, ColumnCount - 1));
}

QString SegmentTableModel::recordTypeLabel(std::int32_t code) const {
  const QString name = recordTypeText(code);
  return name.isEmpty() ? codeText_.arg(code) : name;
}

QString SegmentTableModel::whyNotBackedUp(const SegmentRecord& segment) const {
  if (backupTakes(segment)) return {};
  // The channel first: a segment of channel 29 with code 9 is told by it.
  if (segment.channel < 0 || segment.channel >= SELECTABLE_CHANNELS)
    return channelNotBackedUp_.arg(segment.channel + 1);
  return codeNotBackedUp_.arg(segment.recordType);
}

void SegmentTableModel::setClockOffset(const std::optional<ClockOffset>& offset) {
  clockOffset_ = offset;
  if (!rows_.empty())
    emit dataChanged(index(0, CorrectedStart), index(static_cast<int>(rows_.size()) - 1, CorrectedStart));
}

QString SegmentTableModel::recordTypeText(std::int32_t code) const {
  if (code < 0 || code >= static_cast<std::int32_t>(typeNames_.size())) return {};
  return typeNames_[static_cast<std::size_t>(code)];
}

int SegmentTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SegmentTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant SegmentTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= rows_.size()) return {};
  const std::uint32_t at = rows_[static_cast<std::size_t>(index.row())];
  const SegmentRecord& segment = list_[at];
  if (role == SegmentIndexRole) return at;
  if (role == Qt::TextAlignmentRole)
    return index.column() == RecordType ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                        : QVariant(Qt::AlignRight | Qt::AlignVCenter);
  // What the backup cannot take is greyed, and says why.
  if (role == Qt::ForegroundRole)
    return backupTakes(segment) ? QVariant() : QVariant(QPalette().color(QPalette::Disabled, QPalette::Text));
  if (role == Qt::ToolTipRole) return backupTakes(segment) ? QVariant() : QVariant(whyNotBackedUp(segment));
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case Channel: return segment.channel + 1;
    case RecordType: return recordTypeLabel(segment.recordType);
    case Start: return QString::fromStdString(segmentTimeText(segment.startTime));
    case End: return QString::fromStdString(segmentTimeText(segment.endTime));
    case Duration: return QString::fromStdString(segmentDurationText(segment.startTime, segment.endTime));
    case Size: return QString::fromStdString(segmentSizeText(segment.byteCount));
    case Folder: return segment.startFolder;
    case CorrectedStart:
      return clockOffset_ ? QString::fromStdString(segmentTimeText(correctedTime(segment.startTime, *clockOffset_)))
                          : QString();
    default: return rateText(segment.rate, index.column());
  }
}

QVariant SegmentTableModel::rateText(const StampRate& rate, int column) {
  if (rate.videoFrames == 0) return {};
  switch (column) {
    case NominalRate: return rate.nominal;
    case MeasuredRate:
      return QStringLiteral("%1 (%2-%3)")
          .arg(rate.mean(), 0, 'f', 2)
          .arg(static_cast<qulonglong>(rate.minPerSecond))
          .arg(static_cast<qulonglong>(rate.maxPerSecond));
    case SecondsWithoutFrame: return static_cast<qulonglong>(rate.secondsWithoutFrame);
    case StampsBackwards: return static_cast<qulonglong>(rate.stampsBackwards);
    case Drift: {
      const std::optional<double> drift = rate.driftPercent();
      return drift ? QVariant(QStringLiteral("%1 %").arg(*drift, 0, 'f', 1)) : QVariant();
    }
    default: return {};
  }
}

QVariant SegmentTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  return section >= 0 && section < ColumnCount ? QVariant(titles_[static_cast<std::size_t>(section)]) : QVariant();
}

bool SegmentTableModel::passes(const SegmentRecord& segment) const {
  return (channelFilter_ < 0 || segment.channel == channelFilter_) &&
         (typeFilter_ < 0 || segment.recordType == typeFilter_);
}

void SegmentTableModel::sort(int column, Qt::SortOrder order) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<std::uint32_t> segmentsBefore;
  segmentsBefore.reserve(static_cast<std::size_t>(before.size()));
  for (const QModelIndex& index : before) segmentsBefore.push_back(segmentAt(index.row()));
  sortColumn_ = column;
  sortOrder_ = order;
  sortRows();
  indexRows();
  QModelIndexList after;
  after.reserve(before.size());
  for (qsizetype k = 0; k < before.size(); ++k)
    after.push_back(index(rowOfSegment(segmentsBefore[static_cast<std::size_t>(k)]), before[k].column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SegmentTableModel::sortRows() {
  if (sortColumn_ < 0 || sortColumn_ >= ColumnCount) {
    std::sort(rows_.begin(), rows_.end());
    return;
  }
  const auto& all = list_.segments();
  const int column = sortColumn_;
  // Ties keep the order in which the segments ended.
  auto key = [&all, column](std::uint32_t at) {
    const SegmentRecord& s = all[at];
    switch (column) {
      case Channel: return std::tuple<std::int64_t, std::int64_t>(s.channel, s.startTime);
      case RecordType: return std::tuple<std::int64_t, std::int64_t>(s.recordType, s.startTime);
      case Start:
      case CorrectedStart: return std::tuple<std::int64_t, std::int64_t>(s.startTime, s.channel);
      case End: return std::tuple<std::int64_t, std::int64_t>(s.endTime, s.channel);
      case Duration: return std::tuple<std::int64_t, std::int64_t>(std::int64_t{s.endTime} - s.startTime, s.startTime);
      case Size: return std::tuple<std::int64_t, std::int64_t>(static_cast<std::int64_t>(s.byteCount), s.startTime);
      // Rates in thousandths.
      case NominalRate: return std::tuple<std::int64_t, std::int64_t>(s.rate.nominal, s.startTime);
      case MeasuredRate:
        return std::tuple<std::int64_t, std::int64_t>(std::llround(s.rate.mean() * 1000.0), s.startTime);
      case SecondsWithoutFrame:
        return std::tuple<std::int64_t, std::int64_t>(static_cast<std::int64_t>(s.rate.secondsWithoutFrame),
                                                      s.startTime);
      case StampsBackwards:
        return std::tuple<std::int64_t, std::int64_t>(static_cast<std::int64_t>(s.rate.stampsBackwards), s.startTime);
      case Drift:
        return std::tuple<std::int64_t, std::int64_t>(std::llround(s.rate.driftPercent().value_or(0.0) * 1000.0),
                                                      s.startTime);
      default: return std::tuple<std::int64_t, std::int64_t>(s.startFolder, s.startTime);
    }
  };
  const bool descending = sortOrder_ == Qt::DescendingOrder;
  std::stable_sort(rows_.begin(), rows_.end(), [&](std::uint32_t a, std::uint32_t b) {
    return descending ? key(b) < key(a) : key(a) < key(b);
  });
}

void SegmentTableModel::indexRows() {
  rowOf_.assign(list_.size(), -1);
  for (std::size_t row = 0; row < rows_.size(); ++row) rowOf_[rows_[row]] = static_cast<std::int32_t>(row);
}

int SegmentTableModel::rowOfSegment(std::uint32_t segment) const {
  return segment < rowOf_.size() ? rowOf_[segment] : -1;
}

void SegmentTableModel::setFilter(std::int32_t channel, std::int32_t recordType) {
  channelFilter_ = channel;
  typeFilter_ = recordType;
  reload();
}

void SegmentTableModel::reload() {
  beginResetModel();
  rows_.clear();
  for (std::uint32_t k = 0; k < list_.size(); ++k)
    if (passes(list_[k])) rows_.push_back(k);
  if (sortColumn_ >= 0) sortRows();
  indexRows();
  endResetModel();
}

void SegmentTableModel::appended(std::size_t count) {
  if (sortColumn_ >= 0) {
    // New rows land among the old ones.
    reload();
    return;
  }
  std::vector<std::uint32_t> fresh;
  for (std::size_t k = list_.size() - count; k < list_.size(); ++k)
    if (passes(list_[k])) fresh.push_back(static_cast<std::uint32_t>(k));
  rowOf_.resize(list_.size(), -1);
  if (fresh.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(fresh.size()) - 1);
  for (std::uint32_t at : fresh) {
    rowOf_[at] = static_cast<std::int32_t>(rows_.size());
    rows_.push_back(at);
  }
  endInsertRows();
}

}  // namespace korvex
