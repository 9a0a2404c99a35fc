// Writing a run of buffers whole, whatever the system takes per call.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>

#include "base/failure.h"

namespace korvex {

// The offset that means "at the descriptor's own position", for descriptors
// that cannot seek (pipes).
inline constexpr off_t AT_POSITION = -1;

struct WriteResult {
  std::size_t written = 0;  // bytes that reached the file, from the first buffer on
  // NotWritten with the errno of the write that failed (no path: the
  // descriptor has none); None when everything was written.
  Failure failure;
  bool ok() const { return !failure.failed(); }
};

// Writes every byte of parts[0..count) at `offset` (or at the position),
// continuing after short writes and interruptions. The iovecs are used up
// on the way. A write that takes nothing of a non-empty rest fails with EIO
// rather than being tried for ever.
WriteResult writeFully(int fd, iovec* parts, int count, off_t offset);

}  // namespace korvex
