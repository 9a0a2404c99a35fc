// A small tmpfs mounted for the length of a test, to see what the jobs do
// when their output disk fills up. Only root may mount; elsewhere the test
// is skipped with that reason.
#pragma once

#include <cstddef>
#include <string>

namespace korvex::testing {

class ScratchMount {
 public:
  // Mounts a tmpfs of `bytes` at a new folder. mounted() tells whether it worked.
  explicit ScratchMount(std::size_t bytes);
  ~ScratchMount();
  ScratchMount(const ScratchMount&) = delete;
  ScratchMount& operator=(const ScratchMount&) = delete;

  bool mounted() const { return mounted_; }
  // Why it could not be mounted.
  const std::string& reason() const { return reason_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string reason_;
  bool mounted_ = false;
};

}  // namespace korvex::testing
