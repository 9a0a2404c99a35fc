#include <cstdio>
#include <ctime>

#include "cli/commands.h"
#include "cli/job_source.h"
#include "jobs/segment_texts.h"
#include "jobs/still_export.h"
#include "preview/frame_decoder.h"
#include "preview/frame_index.h"

namespace korvex::cli {

int runStillCommand(JobSettings settings, int partition, std::int32_t channel, RecorderTime at) {
  int openStatus = EXIT_FAILURE_OTHER;
  const std::unique_ptr<RecordingSource> source = openJobSource(settings, partition, openStatus);
  if (!source) return openStatus;
  OutputFolderLock lock;
  if (!claimOutputFolder(settings, "stills", lock)) return EXIT_FAILURE_OTHER;

  const LocatedFrame located = locateFrame(*source, channel, at, settings.recover);
  if (!located.found) {
    std::fprintf(stderr, "korvex-cli: %s: %s\n", segmentTimeText(at).c_str(), located.problem.c_str());
    return EXIT_NO_VIDEO;
  }
  const FrameIndex index = indexSegmentFrames(*source, located.walk);
  std::size_t target = NO_FRAME;
  for (std::size_t k = 0; k < index.frames.size() && target == NO_FRAME; ++k) {
    const IndexedFrame& frame = index.frames[k];
    if (frame.folder == located.place.folder && frame.file == located.place.file &&
        frame.offset == located.place.offset)
      target = k;
  }
  const std::string file = source->filePath(located.place.folder, located.place.file);
  if (target == NO_FRAME) {
    std::fprintf(stderr, "korvex-cli: %s: the frame at offset %llu could not be read again%s%s\n", file.c_str(),
                 static_cast<unsigned long long>(located.place.offset), index.problem.empty() ? "" : ": ",
                 index.problem.c_str());
    return EXIT_FAILURE_OTHER;
  }
  SegmentDecoder decoder(*source, index);
  const SegmentPicture picture = decoder.picture(target);
  if (!picture.decoded) {
    std::fprintf(stderr, "korvex-cli: %s: the frame at offset %llu (%s) does not decode: %s\n", file.c_str(),
                 static_cast<unsigned long long>(located.place.offset), segmentTimeText(located.timeStamp).c_str(),
                 picture.problem.c_str());
    return EXIT_FAILURE_OTHER;
  }
  std::string problem;
  const std::vector<std::uint8_t> png = encodePng(picture.picture, problem);
  if (png.empty()) {
    std::fprintf(stderr, "korvex-cli: %s\n", problem.c_str());
    return EXIT_FAILURE_OTHER;
  }

  StillFacts facts;
  facts.disk = source->describeDisk();
  facts.channel = channel;
  facts.recordingFile = file;
  facts.folder = located.place.folder;
  facts.file = located.place.file;
  facts.offset = located.place.offset;
  facts.timeStamp = located.timeStamp;
  // Counted from the key frame before it when the segment began earlier
  // than the files read.
  facts.frameInSegment = located.fromSegmentStart ? std::optional<std::size_t>(target) : std::nullopt;
  facts.keyFrame = index.frames[target].key;
  facts.width = picture.picture.width;
  facts.height = picture.picture.height;
  facts.savedAt = std::time(nullptr);
  if (settings.clockOffset) facts.clockOffsetSeconds = settings.clockOffset->seconds;
  const StillFiles written = writeStill(settings.outputFolder, facts, png);
  if (!written.ok) {
    std::fprintf(stderr, "korvex-cli: cannot write %s\n", written.failure.c_str());
    return EXIT_FAILURE_OTHER;
  }
  std::printf("%s\n", written.pngPath.c_str());
  std::fprintf(stderr, "still of channel %d at %s saved; hash list %s (check with: sha256sum -c)\n", channel + 1,
               segmentTimeText(located.timeStamp).c_str(), written.hashListPath.c_str());
  return EXIT_DONE;
}

}  // namespace korvex::cli
