#include "jobs/selection.h"

#include <limits>

#include "store/record_types.h"

namespace korvex {

FolderRange folderRange(int folderCount, const JobSettings& settings) {
  FolderRange range;
  range.first = settings.folderStart;
  range.limit = folderCount;
  if (settings.folderEnd != 0 && settings.folderEnd < folderCount) range.limit = settings.folderEnd;
  return range;
}

bool insideTimeWindow(RecorderTime t, const JobSettings& settings) {
  return settings.beginTime <= t && t <= settings.endTime;
}

bool channelSelected(std::int32_t channel, const JobSettings& settings) {
  if (channel < 0 || channel >= SELECTABLE_CHANNELS) return false;
  return settings.channelEnabled[static_cast<std::size_t>(channel)] != 0;
}

bool recordTypeSelected(std::int32_t code, const JobSettings& settings) {
  switch (code) {
    case RECORD_TYPE_TIME:
    case RECORD_TYPE_MOTION:
    case RECORD_TYPE_SENSOR:
    case RECORD_TYPE_MANUAL:
      return settings.recordTypeEnabled[static_cast<std::size_t>(code)] == 1;
    default:
      return false;
  }
}

bool insidePickedWindows(std::int32_t channel, std::int32_t recordType, RecorderTime t, const JobSettings& settings) {
  if (settings.pickedWindows.empty()) return true;
  if (channel < 0 || channel >= CHANNEL_TABLE_SIZE || recordType < 0 || recordType >= 32) return false;
  const std::uint32_t channelBit = std::uint32_t{1} << channel;
  const std::uint32_t typeBit = std::uint32_t{1} << recordType;
  for (const PickedWindow& window : settings.pickedWindows)
    if ((window.channelMask & channelBit) != 0 && (window.recordTypeMask & typeBit) != 0 && window.begin <= t &&
        t <= window.end)
      return true;
  return false;
}

bool frameSelected(std::int32_t channel, std::int32_t recordType, RecorderTime t, const JobSettings& settings) {
  return insideTimeWindow(t, settings) && channelSelected(channel, settings) &&
         recordTypeSelected(recordType, settings) && insidePickedWindows(channel, recordType, t, settings);
}

std::uint64_t sizeLimitBytes(const JobSettings& settings) {
  if (settings.maxDataSizeMB <= 0) return 0;
  return static_cast<std::uint64_t>(settings.maxDataSizeMB) * 1048576u;
}

bool sizeLimitPassed(std::uint64_t exportedBytes, const JobSettings& settings) {
  const std::uint64_t limit = sizeLimitBytes(settings);
  return limit != 0 && exportedBytes > limit;
}

void selectEverything(JobSettings& settings) {
  settings.beginTime = RECORDER_TIME_MIN;
  settings.endTime = RECORDER_TIME_MAX;
  settings.channelEnabled.fill(0);
  for (int k = 0; k < SELECTABLE_CHANNELS; ++k) settings.channelEnabled[static_cast<std::size_t>(k)] = 1;
  settings.recordTypeEnabled.fill(0);
  for (std::int32_t code : {RECORD_TYPE_TIME, RECORD_TYPE_MOTION, RECORD_TYPE_SENSOR, RECORD_TYPE_MANUAL})
    settings.recordTypeEnabled[static_cast<std::size_t>(code)] = 1;
}

std::int32_t readIntegerText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t cap = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > cap) value = cap;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

std::int32_t readSizeLimitText(std::string_view text) {
  const std::int32_t value = readIntegerText(text);
  return value < 0 ? 100 : value;
}

}  // namespace korvex
