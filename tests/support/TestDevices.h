#pragma once

// Real devices for tests on POSIX systems: a FIFO with a reader thread that collects what
// arrives, and a pseudo-terminal; and the temporary folder to make them in.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace quillmark::testing {

inline bool MakeFifo(const std::string& path) {
  return ::mkfifo(path.c_str(), 0600) == 0;
}

// Opens the read end of a FIFO (so that a writer can open it) and collects, on a thread of
// its own, everything written until the writer closes or Finish() is called.
class FifoReader {
 public:
  explicit FifoReader(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_ >= 0) thread_ = std::thread([this] { Run(); });
  }
  FifoReader(const FifoReader&) = delete;
  FifoReader& operator=(const FifoReader&) = delete;
  ~FifoReader() {
    Finish();
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  // Stops reading once what is in the FIFO has been read; returns everything read.
  const std::vector<std::uint8_t>& Finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return bytes_;
  }

 private:
  // Reads what is there; false once the writer has gone and everything has been read.
  bool Drain() {
    std::uint8_t chunk[65536];
    for (;;) {
      const ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n > 0) {
        bytes_.insert(bytes_.end(), chunk, chunk + n);
        continue;
      }
      return n < 0;  // 0: end of file; -1 (EAGAIN): the writer is still there
    }
  }

  void Run() {
    for (;;) {
      const bool stopping = stop_;
      // Before any writer has opened the FIFO, poll reports nothing, so no false end.
      pollfd watch{fd_, POLLIN, 0};
      if (::poll(&watch, 1, stopping ? 0 : 20) > 0 && !Drain()) return;
      if (stopping) return;
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::vector<std::uint8_t> bytes_;
  std::thread thread_;
};

// A pseudo-terminal: the master side here, the slave's path for the port to open.
class PseudoTerminal {
 public:
  PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    if (const char* name = ::ptsname(master_)) slave_ = name;
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal() {
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return !slave_.empty(); }
  int master() const { return master_; }
  const std::string& slavePath() const { return slave_; }

  // Reads `count` bytes from the master side, waiting at most `timeoutMs` for each chunk.
  std::vector<std::uint8_t> Read(std::size_t count, int timeoutMs = 5000) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    while (bytes.size() < count) {
      pollfd watch{master_, POLLIN, 0};
      if (::poll(&watch, 1, timeoutMs) <= 0) break;
      const ssize_t n = ::read(master_, chunk, sizeof chunk);
      if (n <= 0) break;
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
  }

 private:
  int master_;
  std::string slave_;
};

}  // namespace quillmark::testing
