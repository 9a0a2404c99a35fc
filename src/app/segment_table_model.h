// The segments as table rows: channel, record type, start, end, duration,
// size, folder and the frame rate against the stamps. Sorting and filtering reorder a list of indexes into the
// segment list; texts are made only for the rows a view asks for, so the
// cost of a repaint does not grow with the rows out of sight.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/segment_list.h"
#include "jobs/clock_offset.h"

namespace korvex {

// Whether a backup can take the segment: channels 1 to 16 and the four named
// record types are all it exports.
bool backupTakes(std::int32_t channel, std::int32_t recordType);
inline bool backupTakes(const SegmentRecord& segment) { return backupTakes(segment.channel, segment.recordType); }

class SegmentTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The rate columns stay empty for a segment whose frames were not
  // counted against their stamps.
  enum Column {
    Channel,
    RecordType,
    Start,
    End,
    Duration,
    Size,
    Folder,
    NominalRate,
    MeasuredRate,
    SecondsWithoutFrame,
    StampsBackwards,
    Drift,
    CorrectedStart,  // the start in corrected time, with a clock offset
    ColumnCount
  };
  // The segment's index in the list, for any cell.
  static constexpr int SegmentIndexRole = Qt::UserRole + 1;

  explicit SegmentTableModel(const SegmentList& list, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  // The column titles and record-type names in the current language; the
  // views are told that they changed.
  void applyLanguageTexts();
  // The name of a record-type code in the current language; "" for a code
  // without a name.
  QString recordTypeText(std::int32_t code) const;
  // The record type as a cell and the type filter show it: its name, or
  // "Code 9" for a code without one.
  QString recordTypeLabel(std::int32_t code) const;
  // Why the backup cannot take this segment, in the current language; ""
  // when it can.
  QString whyNotBackedUp(const SegmentRecord& segment) const;

  // Only segments of this channel index (-1: every channel) and record-type
  // code (-1: every type) are rows.
  void setFilter(std::int32_t channel, std::int32_t recordType);
  std::int32_t channelFilter() const { return channelFilter_; }
  std::int32_t recordTypeFilter() const { return typeFilter_; }

  // The corrected-time column's offset; its cells are empty without one.
  void setClockOffset(const std::optional<ClockOffset>& offset);

  // The list was cleared or replaced: every row anew.
  void reload();
  // The list grew by its last `count` segments.
  void appended(std::size_t count);

  std::uint32_t segmentAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  // The row of a segment, or -1 when the filter hides it.
  int rowOfSegment(std::uint32_t segment) const;

 private:
  bool passes(const SegmentRecord& segment) const;
  // The rate columns' cells.
  static QVariant rateText(const StampRate& rate, int column);
  void sortRows();
  void indexRows();

  const SegmentList& list_;
  std::array<QString, ColumnCount> titles_;
  std::array<QString, 9> typeNames_;  // by code, as the record types' names
  QString codeText_, channelNotBackedUp_, codeNotBackedUp_;
  std::vector<std::uint32_t> rows_;    // segment index per row
  std::vector<std::int32_t> rowOf_;   // row per segment index, -1 hidden
  std::int32_t channelFilter_ = -1;
  std::int32_t typeFilter_ = -1;
  std::optional<ClockOffset> clockOffset_;
  int sortColumn_ = -1;  // -1: the order in which the segments ended
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

}  // namespace korvex
