#include "support/scratch_mount.h"

#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvex::testing {

ScratchMount::ScratchMount(std::size_t bytes) {
  if (geteuid() != 0) {
    reason_ = "mounting a small tmpfs needs root";
    return;
  }
  std::string pattern = "/tmp/korvex-mount-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    reason_ = std::strerror(errno);
    return;
  }
  path_ = pattern;
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    reason_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

ScratchMount::~ScratchMount() {
  if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  if (!path_.empty()) rmdir(path_.c_str());
}

}  // namespace korvex::testing
