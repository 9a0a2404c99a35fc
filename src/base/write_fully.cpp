#include "base/write_fully.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace korvex {

WriteResult writeFully(int fd, iovec* parts, int count, off_t offset) {
  WriteResult result;
  while (count > 0 && parts->iov_len == 0) {
    ++parts;
    --count;
  }
  while (count > 0) {
    const ssize_t written = offset == AT_POSITION ? writev(fd, parts, count) : pwritev(fd, parts, count, offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      result.failure = {FailureCode::NotWritten, errno, {}, {}};
      return result;
    }
    if (written == 0) {
      result.failure = {FailureCode::NotWritten, EIO, {}, {}};
      return result;
    }
    if (offset != AT_POSITION) offset += written;
    result.written += static_cast<std::size_t>(written);
    auto done = static_cast<std::size_t>(written);
    while (count > 0 && done >= parts->iov_len) {
      done -= parts->iov_len;
      ++parts;
      --count;
    }
    if (count > 0) {
      parts->iov_base = static_cast<std::uint8_t*>(parts->iov_base) + done;
      parts->iov_len -= done;
    }
  }
  return result;
}

}  // namespace korvex
