#pragma once

#include <system_error>
#include <utility>

namespace quillmark {

// The one owner of an open descriptor, on POSIX systems and on Windows alike (there the C
// runtime's, which owns the system's handle): a file, a device, a FIFO, a socket. What it
// holds is closed when it goes, the result ignored: that is for what was only read, or for
// ways out that have already failed. Whatever was written and matters is closed by Close,
// which says whether the system reported an error. A negative value holds nothing.
class FileHandle {
 public:
  FileHandle() noexcept = default;
  explicit FileHandle(int fd) noexcept : fd_(fd) {}
  FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { reset(); }

  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int release() noexcept { return std::exchange(fd_, -1); }
  // Closes what it holds (the result ignored) and takes `fd` instead.
  void reset(int fd = -1) noexcept;
  // Closes now: the system's error of the close, or none. The descriptor is released
  // whatever the result; a close interrupted by a signal (EINTR) has closed it too, and
  // whether that is a failure is the caller's to judge.
  std::error_code Close() noexcept;

 private:
  int fd_ = -1;
};

}  // namespace quillmark
