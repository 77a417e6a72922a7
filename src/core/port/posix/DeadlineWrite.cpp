#include "port/posix/DeadlineWrite.h"

#include <errno.h>
#include <poll.h>

#include <algorithm>
#include <limits>

#include "port/posix/PosixClock.h"

namespace quillmark {

WriteDeadline::WriteDeadline(const CommTimeouts& timeouts, std::size_t bytes) noexcept
    : length_(static_cast<std::int64_t>(timeouts.WriteTotalTimeoutMultiplier) *
                  static_cast<std::int64_t>(bytes) +
              static_cast<std::int64_t>(timeouts.WriteTotalTimeoutConstant)) {}

std::int64_t WriteDeadline::MsLeft() noexcept {
  const std::int64_t now = MonotonicMs();
  if (deadline_ < 0) deadline_ = now + length_;
  return deadline_ - now;
}

DeadlineWriteResult WriteWithDeadline(int fd, std::span<const std::uint8_t> bytes,
                                      WriteDeadline& deadline, WriteCall write,
                                      int noProgressError) noexcept {
  DeadlineWriteResult result;
  bool pollHungUp = false;  // the last poll saw an error or a hang-up: the next write says which
  while (result.written < bytes.size()) {
    const ssize_t count = write(fd, bytes.data() + result.written, bytes.size() - result.written);
    if (count > 0) {
      result.written += static_cast<std::size_t>(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count == 0) {
      result.error = noProgressError;  // it took nothing and cannot take more
      return result;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      result.error = errno;
      return result;
    }
    if (pollHungUp) {
      result.hungUp = true;
      return result;
    }
    // The device would block: wait for room until the time-out is over.
    const std::int64_t left = deadline.MsLeft();
    if (left <= 0) return result;
    pollfd watch{fd, POLLOUT, 0};
    const int ready = ::poll(
        &watch, 1, static_cast<int>(std::min<std::int64_t>(left, std::numeric_limits<int>::max())));
    if (ready < 0 && errno != EINTR) return result;
    pollHungUp = ready > 0 && (watch.revents & POLLOUT) == 0;
  }
  return result;
}

}  // namespace quillmark
