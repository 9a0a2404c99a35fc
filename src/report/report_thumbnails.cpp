#include "report/report_thumbnails.h"

#include <limits>

#include "jobs/scan_log_reader.h"
#include "preview/key_frame.h"
#include "preview/picture_decoder.h"
#include "preview/png_encoder.h"

namespace korvex {

ReportThumbnails reportThumbnails(const RecordingSource& source, const std::vector<ReportLog>& logs,
                                  const std::atomic<bool>* cancel) {
  ReportThumbnails thumbnails;
  std::size_t looked = 0;
  for (std::size_t index = 0; index < logs.size(); ++index) {
    // Logs of other jobs have no segments.
    const ScanLog scan = parseScanLog(logs[index].text, logs[index].path);
    if (!scan.ok()) continue;
    for (std::size_t n = 0; n < scan.segments.size(); ++n) {
      if (looked++ >= MAX_REPORT_THUMBNAILS || (cancel && cancel->load())) return thumbnails;
      const SegmentRecord& segment = scan.segments[n];
      // A log does not hold the frames' places: the search starts at the
      // segment's first folder and passes over earlier frames by time.
      KeyFrameSearch search;
      search.channel = segment.channel;
      search.folder = segment.startFolder;
      search.lastFolder = std::numeric_limits<std::int32_t>::max();
      search.from = segment.startTime;
      search.until = segment.endTime;
      search.recover = segment.recovered;
      const KeyFrame frame = findKeyFrame(source, search, cancel);
      if (!frame.found) continue;
      const DecodedPicture picture = decodeH264Picture(frame.payload.data(), frame.payload.size(),
                                                       REPORT_THUMBNAIL_WIDTH, REPORT_THUMBNAIL_HEIGHT);
      if (!picture.ok()) continue;
      std::vector<std::uint8_t> png = encodePng(picture.picture);
      if (!png.empty()) thumbnails[{index, n}] = std::move(png);
    }
  }
  return thumbnails;
}

}  // namespace korvex
