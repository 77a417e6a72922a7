#pragma once

#include <errno.h>
#include <time.h>

#include <cstdint>

namespace quillmark {

// Milliseconds on the monotonic clock: wall-clock changes do not move it.
inline std::int64_t MonotonicMs() noexcept {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Sleeps the whole time, resuming after a signal interrupts it.
inline void SleepMs(std::int64_t milliseconds) noexcept {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&left, &left) == -1 && errno == EINTR) {
  }
}

}  // namespace quillmark
