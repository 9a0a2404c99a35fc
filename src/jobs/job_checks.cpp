#include "jobs/job_checks.h"

#include <algorithm>

namespace korvex {

SelectionProblem checkBackupSelection(const JobSettings& settings) {
  const auto on = [](std::uint8_t enabled) { return enabled != 0; };
  if (std::none_of(settings.channelEnabled.begin(), settings.channelEnabled.begin() + SELECTABLE_CHANNELS, on))
    return SelectionProblem::NoChannel;
  if (std::none_of(settings.recordTypeEnabled.begin(), settings.recordTypeEnabled.end(), on))
    return SelectionProblem::NoRecordType;
  if (settings.endTime < settings.beginTime) return SelectionProblem::EndBeforeStart;
  return SelectionProblem::None;
}

SelectionProblem checkFolderRange(const JobSettings& settings) {
  if (settings.folderEnd != 0 && settings.folderEnd <= settings.folderStart)
    return SelectionProblem::FolderRangeReversed;
  return SelectionProblem::None;
}

}  // namespace korvex
