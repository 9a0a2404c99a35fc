#include "cli/job_source.h"

#include <cstdio>
#include <string>

#include "cli/cli_options.h"
#include "store/disk_source.h"
#include "store/drive_list.h"

namespace korvex::cli {

std::unique_ptr<RecordingSource> openJobSource(JobSettings& settings, int partition, int& status) {
  std::string& disk = settings.diskRoot;
  OpenedDisk opened = openDisk(disk, partition);
  if (opened) {
    if (opened.kind == DiskKind::Folder) disk = diskRootFromText(disk);
    return std::move(opened.source);
  }
  const Failure& failure = opened.failure;
  switch (failure.code) {
    case FailureCode::Missing:
      status = EXIT_FAILURE_OTHER;
      std::fprintf(stderr, "korvex-cli: the disk %s does not exist (%s)\n", disk.c_str(), failure.reason.c_str());
      break;
    case FailureCode::StoreFolderPicked:
      status = EXIT_USAGE;
      std::fprintf(stderr, "korvex-cli: %s is one of the recorder's folders; the disk is the folder that holds it: "
                   "--disk %s\n", disk.c_str(), failure.path.c_str());
      break;
    case FailureCode::PartitionOnFolder:
      status = EXIT_USAGE;
      std::fprintf(stderr, "korvex-cli: --partition: %s\n", failure.reason.c_str());
      break;
    case FailureCode::NoSuchPartition:
      status = EXIT_USAGE;
      std::fprintf(stderr, "korvex-cli: --partition: %s; korvex-cli disks %s lists them\n", failure.reason.c_str(),
                   disk.c_str());
      break;
    case FailureCode::NoStore:
      status = EXIT_NO_VIDEO;
      std::fprintf(stderr, "korvex-cli: can't find video data! (%s)\n", failure.reason.c_str());
      break;
    default:  // DiskUnreadable
      status = EXIT_FAILURE_OTHER;
      std::fprintf(stderr, "korvex-cli: cannot read the disk: %s\n", failure.reason.c_str());
      break;
  }
  return nullptr;
}

}  // namespace korvex::cli
