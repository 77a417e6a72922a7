#pragma once

// A write to a non-blocking device or socket, bounded as a Win32 WriteFile is by the port's
// write time-out: as much as the device takes, waiting for room with poll() until the
// time-out of the bytes asked for (multiplier * bytes + constant ms) is over. Every POSIX
// port backend writes through it.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "port/PortApi.h"

namespace quillmark {

// The time-out of one write, counted from the first time it is asked for, so that a write
// the device takes at once never reads the clock.
class WriteDeadline {
 public:
  WriteDeadline(const CommTimeouts& timeouts, std::size_t bytes) noexcept;
  // Milliseconds left; 0 or less once the time-out is over.
  std::int64_t MsLeft() noexcept;

 private:
  std::int64_t length_;
  std::int64_t deadline_ = -1;
};

struct DeadlineWriteResult {
  std::size_t written = 0;  // the bytes the device took
  int error = 0;            // the system's error that ended the write; 0 when none did
  bool hungUp = false;      // poll() found an error or a hang-up instead of room
};

// One system call that writes: ::write, or a ::send that raises no SIGPIPE.
using WriteCall = ssize_t (*)(int fd, const void* data, std::size_t size);

// Writes `bytes` to `fd` with `write` until all are taken, a write fails (`error`), the
// device hangs up (`hungUp`: after poll() reported it, a write would still block), or the
// deadline passes (neither). A write that takes nothing and reports no error ends it with
// `noProgressError`.
DeadlineWriteResult WriteWithDeadline(int fd, std::span<const std::uint8_t> bytes,
                                      WriteDeadline& deadline, WriteCall write,
                                      int noProgressError) noexcept;

}  // namespace quillmark
