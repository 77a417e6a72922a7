#include "port/posix/TcpPortApi.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "port/posix/PosixClock.h"
#include "port/posix/UniqueFd.h"

namespace quillmark {
namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

// Every write is bounded even before the transport sets its time-outs.
constexpr CommTimeouts kInitialTimeouts = {0, 0, 200, 10, 200};

int PollMs(std::int64_t milliseconds) noexcept {
  return static_cast<int>(
      std::clamp<std::int64_t>(milliseconds, 0, std::numeric_limits<int>::max()));
}

struct AddrInfoFree {
  void operator()(addrinfo* info) const noexcept { ::freeaddrinfo(info); }
};

// The state of the connection as a zero-time poll() sees it.
enum class Writability { kWritable, kFull, kBroken };

class TcpPortDevice final : public PortDevice {
 public:
  TcpPortDevice(int fd, std::uint32_t closeWaitMs) noexcept : fd_(fd), closeWaitMs_(closeWaitMs) {}

  ~TcpPortDevice() override {
    ::shutdown(fd_, SHUT_WR);
    // Wait for the printer to close its side; whatever it sends meanwhile is dropped.
    const std::int64_t deadline = MonotonicMs() + closeWaitMs_;
    std::uint8_t discard[4096];
    for (;;) {
      const ssize_t got = ::recv(fd_, discard, sizeof discard, 0);
      if (got > 0) continue;
      if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) break;
      const std::int64_t left = deadline - MonotonicMs();
      if (left <= 0) break;
      pollfd watch{fd_, POLLIN, 0};
      if (::poll(&watch, 1, PollMs(left)) < 0 && errno != EINTR) break;
    }
    ::close(fd_);
  }

  bool SetCommTimeouts(const CommTimeouts& timeouts) noexcept override {
    timeouts_ = timeouts;
    return true;
  }
  bool SetupComm(std::uint32_t, std::uint32_t) noexcept override { return true; }
  bool GetCommState(CommState&) noexcept override { return false; }
  bool SetCommState(const CommState&) noexcept override { return false; }
  bool PurgeComm(std::uint32_t) noexcept override { return true; }

  std::uint32_t WriteFile(std::span<const std::uint8_t> bytes) noexcept override {
    std::int64_t deadline = -1;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t count = ::send(fd_, bytes.data() + done, bytes.size() - done, kSendFlags);
      if (count > 0) {
        done += static_cast<std::size_t>(count);
        continue;
      }
      if (count < 0 && errno == EINTR) continue;
      if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;

      const std::int64_t now = MonotonicMs();
      if (deadline < 0) {
        deadline = now +
                   static_cast<std::int64_t>(timeouts_.WriteTotalTimeoutMultiplier) *
                       static_cast<std::int64_t>(bytes.size()) +
                   static_cast<std::int64_t>(timeouts_.WriteTotalTimeoutConstant);
      }
      if (deadline - now <= 0) break;
      pollfd watch{fd_, POLLOUT, 0};
      const int ready = ::poll(&watch, 1, PollMs(deadline - now));
      if (ready < 0 && errno != EINTR) break;
      if (ready > 0 && (watch.revents & POLLOUT) == 0) break;  // error or hang-up
    }
    return static_cast<std::uint32_t>(done);
  }

  bool GetCommModemStatus(std::uint32_t& status) noexcept override {
    status = Poll() == Writability::kWritable ? kMsDsrOn | kMsCtsOn : 0;
    return true;
  }

  bool ClearCommError(std::uint32_t& errors) noexcept override {
    switch (Poll()) {
      case Writability::kWritable:
        errors = 0;
        break;
      case Writability::kFull:
        errors = kCeTxFull;
        break;
      case Writability::kBroken:
        errors = kCeIoe;
        break;
    }
    return true;
  }

  bool QueryParallelStatus(std::span<std::uint8_t, 16> out) noexcept override {
    switch (Poll()) {
      case Writability::kWritable:
        out[0] = kParallelSelected;
        break;
      case Writability::kFull:
        out[0] = kParallelSelected | kParallelBusy;
        break;
      case Writability::kBroken:
        out[0] = kParallelSelected | kParallelOffLine;
        break;
    }
    return true;
  }

 private:
  Writability Poll() const noexcept {
    pollfd watch{fd_, POLLOUT, 0};
    int ready = 0;
    do {
      ready = ::poll(&watch, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0 || (watch.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
      return Writability::kBroken;
    return (watch.revents & POLLOUT) != 0 ? Writability::kWritable : Writability::kFull;
  }

  int fd_;
  std::uint32_t closeWaitMs_;
  CommTimeouts timeouts_ = kInitialTimeouts;
};

// Connects a non-blocking socket to `target` by the deadline; the socket, or the error.
UniqueFd Connect(const addrinfo& target, std::int64_t deadline, int& error) noexcept {
  int type = target.ai_socktype;
#ifdef SOCK_NONBLOCK
  type |= SOCK_NONBLOCK | SOCK_CLOEXEC;
#endif
  UniqueFd socket(::socket(target.ai_family, type, target.ai_protocol));
  if (socket.get() < 0) {
    error = errno;
    return UniqueFd();
  }
#ifndef SOCK_NONBLOCK
  ::fcntl(socket.get(), F_SETFL, ::fcntl(socket.get(), F_GETFL) | O_NONBLOCK);
  ::fcntl(socket.get(), F_SETFD, FD_CLOEXEC);
#endif
#if !defined(MSG_NOSIGNAL) && defined(SO_NOSIGPIPE)
  const int on = 1;
  ::setsockopt(socket.get(), SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
  if (::connect(socket.get(), target.ai_addr, target.ai_addrlen) == 0) return socket;
  if (errno != EINPROGRESS && errno != EINTR) {
    error = errno;
    return UniqueFd();
  }
  for (;;) {
    const std::int64_t left = deadline - MonotonicMs();
    if (left <= 0) {
      error = ETIMEDOUT;
      return UniqueFd();
    }
    pollfd watch{socket.get(), POLLOUT, 0};
    const int ready = ::poll(&watch, 1, PollMs(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      error = errno;
      return UniqueFd();
    }
    if (ready == 0) continue;  // the deadline is checked above
    int result = 0;
    socklen_t length = sizeof result;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &result, &length) != 0) result = errno;
    if (result != 0) {
      error = result;
      return UniqueFd();
    }
    return socket;
  }
}

}  // namespace

TcpPortApi::TcpPortApi(TcpAddress address, std::uint32_t connectTimeoutMs,
                       std::uint32_t closeWaitMs)
    : address_(std::move(address)),
      connectTimeoutMs_(connectTimeoutMs),
      closeWaitMs_(closeWaitMs) {}

PortOpenResult TcpPortApi::Open(std::string_view) noexcept {
  resolveError_.clear();
  const std::int64_t deadline = MonotonicMs() + connectTimeoutMs_;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(address_.port);
  const int resolved = ::getaddrinfo(address_.host.c_str(), service.c_str(), &hints, &found);
  const std::unique_ptr<addrinfo, AddrInfoFree> list(found);
  if (resolved != 0) {
    resolveError_ = resolved == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(resolved);
    return {nullptr, ENXIO};
  }
  int error = ETIMEDOUT;
  for (const addrinfo* target = list.get(); target != nullptr; target = target->ai_next) {
    UniqueFd socket = Connect(*target, deadline, error);
    if (socket.get() >= 0)
      return {std::make_unique<TcpPortDevice>(socket.release(), closeWaitMs_), 0};
    if (error == ETIMEDOUT) break;  // the time-out covers every address
  }
  return {nullptr, error};
}

std::uint32_t TcpPortApi::GetTickCount() noexcept {
  return static_cast<std::uint32_t>(MonotonicMs());
}

void TcpPortApi::Sleep(std::uint32_t milliseconds) noexcept {
  SleepMs(milliseconds);
}

}  // namespace quillmark
