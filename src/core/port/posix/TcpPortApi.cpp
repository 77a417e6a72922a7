#include "port/posix/TcpPortApi.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "files/FileHandle.h"
#include "port/NetworkPortDevice.h"
#include "port/posix/DeadlineWrite.h"
#include "port/posix/PosixClock.h"

#ifdef __linux__
#include <linux/sockios.h>
#endif

namespace quillmark {
namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

int PollMs(std::int64_t milliseconds) noexcept {
  return static_cast<int>(
      std::clamp<std::int64_t>(milliseconds, 0, std::numeric_limits<int>::max()));
}

struct AddrInfoFree {
  void operator()(addrinfo* info) const noexcept { ::freeaddrinfo(info); }
};

class SocketPortDevice final : public NetworkPortDevice {
 public:
  SocketPortDevice(FileHandle fd, std::uint32_t closeWaitMs, bool ignoreStatus) noexcept
      : fd_(std::move(fd)), closeWaitMs_(closeWaitMs), ignoreStatus_(ignoreStatus) {}

  LinkError Close() noexcept override {
    LinkError result = broken_.error != 0 ? broken_ : Drain();
    const std::error_code closed = fd_.Close();
    if (closed && closed != std::errc::interrupted && result.error == 0)
      result = {closed.value(), -1};
    broken_ = result;
    return result;
  }

  std::uint32_t WriteFile(std::span<const std::uint8_t> bytes) noexcept override {
    if (broken_.error != 0) return 0;
    WriteDeadline deadline(timeouts_, bytes.size());
    const DeadlineWriteResult result = WriteWithDeadline(
        fd_.get(), bytes, deadline,
        [](int fd, const void* data, std::size_t size) {
          return ::send(fd, data, size, kSendFlags);
        },
        EPIPE);
    written_ += result.written;
    if (result.error != 0) {
      Break(result.error);
    } else if (result.hungUp) {
      Poll();  // notes how the connection broke
    }
    return static_cast<std::uint32_t>(result.written);
  }

 private:
  NetworkBreak BreakOf(int error) const noexcept override {
    switch (error) {
      case 0:
        return NetworkBreak::kNone;
      case EPIPE:
        return NetworkBreak::kClosedByPrinter;
      case ECONNRESET:
        return NetworkBreak::kReset;
      case ETIMEDOUT:
        return NetworkBreak::kTimedOut;
      default:
        return NetworkBreak::kOther;
    }
  }

  Writability Poll() noexcept override {
    if (broken_.error != 0) return Writability::kBroken;
    short events = POLLOUT;
#ifdef POLLRDHUP
    events |= POLLRDHUP;  // the printer closed its side: it takes nothing more
#endif
    pollfd watch{fd_.get(), events, 0};
    int ready = 0;
    do {
      ready = ::poll(&watch, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
      Break(errno);
    } else if ((watch.revents & POLLERR) != 0) {
      int error = 0;
      socklen_t length = sizeof error;
      ::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &error, &length);
      Break(error != 0 ? error : EPIPE);
    } else if ((watch.revents & ~POLLOUT) != 0) {
      Break(EPIPE);  // a hang-up, or the printer closed its side
    }
    if (broken_.error != 0) return Writability::kBroken;
    full_ = (watch.revents & POLLOUT) == 0;
    if (ignoreStatus_) return Writability::kWritable;
    return full_ ? Writability::kFull : Writability::kWritable;
  }

  // The bytes written that the printer has not acknowledged yet; -1 where the system
  // cannot tell.
  std::int64_t Unacknowledged() const noexcept {
#ifdef SIOCOUTQ
    int queued = 0;
    if (::ioctl(fd_.get(), SIOCOUTQ, &queued) == 0 && queued >= 0) return queued;
#endif
    return -1;
  }

  void Break(int error) noexcept {
    broken_.error = error;
    // After a reset the printer's acknowledgements say nothing about what it read.
    const std::int64_t unacknowledged = error == ECONNRESET ? -1 : Unacknowledged();
    broken_.bytesTaken =
        unacknowledged < 0 ? -1 : static_cast<std::int64_t>(written_) - unacknowledged;
  }

  // Reads and drops what the printer sent, waiting up to `waitMs` for it: false once the
  // printer has closed its side or the connection failed (then broken_ says how).
  bool DropReceived(std::int64_t waitMs) noexcept {
    pollfd watch{fd_.get(), POLLIN, 0};
    if (::poll(&watch, 1, PollMs(waitMs)) <= 0) return true;
    std::uint8_t discard[4096];
    for (;;) {
      const ssize_t got = ::recv(fd_.get(), discard, sizeof discard, MSG_DONTWAIT);
      if (got > 0) continue;
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      Break(got == 0 ? EPIPE : errno);
      return false;
    }
  }

  // Waits until the printer has acknowledged every byte, for as long as it keeps taking;
  // then shuts the sending side down and gives the printer time to close its side.
  LinkError Drain() noexcept {
    std::int64_t before = -1;
    std::int64_t deadline = 0;
    for (std::int64_t left = Unacknowledged(); left > 0; left = Unacknowledged()) {
      const std::int64_t now = MonotonicMs();
      if (left != before) {
        before = left;
        deadline = now + closeWaitMs_;
      } else if (now >= deadline) {
        Break(ETIMEDOUT);
        return broken_;
      }
      // The printer closing its side before it has taken everything is an error.
      if (!DropReceived(std::min<std::int64_t>(10, deadline - now))) return broken_;
    }
    ::shutdown(fd_.get(), SHUT_WR);
    // A printer that keeps the connection open has taken everything all the same; one that
    // resets it had not read everything.
    deadline = MonotonicMs() + closeWaitMs_;
    for (std::int64_t left = closeWaitMs_; left > 0; left = deadline - MonotonicMs()) {
      if (!DropReceived(left)) return broken_.error == EPIPE ? LinkError{} : broken_;
    }
    return {};
  }

  FileHandle fd_;
  std::uint32_t closeWaitMs_;
  bool ignoreStatus_;
  std::uint64_t written_ = 0;
};

// Connects a non-blocking socket to `target` by the deadline; the socket, or the error.
FileHandle Connect(const addrinfo& target, std::int64_t deadline, int& error) noexcept {
  int type = target.ai_socktype;
#ifdef SOCK_NONBLOCK
  type |= SOCK_NONBLOCK | SOCK_CLOEXEC;
#endif
  FileHandle socket(::socket(target.ai_family, type, target.ai_protocol));
  if (socket.get() < 0) {
    error = errno;
    return FileHandle();
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
    return FileHandle();
  }
  for (;;) {
    const std::int64_t left = deadline - MonotonicMs();
    if (left <= 0) {
      error = ETIMEDOUT;
      return FileHandle();
    }
    pollfd watch{socket.get(), POLLOUT, 0};
    const int ready = ::poll(&watch, 1, PollMs(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      error = errno;
      return FileHandle();
    }
    if (ready == 0) continue;  // the deadline is checked above
    int result = 0;
    socklen_t length = sizeof result;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &result, &length) != 0) result = errno;
    if (result != 0) {
      error = result;
      return FileHandle();
    }
    return socket;
  }
}

// Connects a stream socket to the local socket at `path`.
FileHandle ConnectLocal(const std::string& path, int& error) noexcept {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    error = ENAMETOOLONG;
    return FileHandle();
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  // Non-blocking: a listener whose queue is full refuses at once instead of holding us.
  FileHandle socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (socket.get() < 0 ||
      ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = errno;
    return FileHandle();
  }
  return socket;
}

}  // namespace

PortOpenResult OpenNetworkPort(const PortRoute& route, const std::string& port,
                               std::uint32_t connectTimeoutMs, std::uint32_t closeWaitMs) noexcept {
  auto opened = [&](FileHandle socket) {
    return PortOpenResult{
        std::make_unique<SocketPortDevice>(std::move(socket), closeWaitMs, route.ignoreStatus),
        0,
        {}};
  };
  int error = ETIMEDOUT;
  if (!IsTcpAddressText(route.target)) {
    FileHandle socket = ConnectLocal(route.target, error);
    if (socket.valid()) return opened(std::move(socket));
    return {nullptr, error, "cannot connect to " + port + ": " + std::strerror(error)};
  }
  std::string why;
  const std::optional<TcpAddress> address = ParseTcpAddress(route.target, why);
  if (!address) return {nullptr, EINVAL, port + ": " + why};

  const std::int64_t deadline = MonotonicMs() + connectTimeoutMs;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(address->port);
  const int resolved = ::getaddrinfo(address->host.c_str(), service.c_str(), &hints, &found);
  const std::unique_ptr<addrinfo, AddrInfoFree> list(found);
  if (resolved != 0) {
    const std::string reason =
        resolved == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(resolved);
    return {nullptr, ENXIO, "cannot find the host " + address->host + ": " + reason};
  }
  for (const addrinfo* target = list.get(); target != nullptr; target = target->ai_next) {
    FileHandle socket = Connect(*target, deadline, error);
    if (socket.get() >= 0) return opened(std::move(socket));
    if (error == ETIMEDOUT) break;  // the time-out covers every address
  }
  const std::string where = address->host + ":" + service;
  const std::string system = std::string(" (") + std::strerror(error) + ")";
  if (error == ECONNREFUSED)
    return {nullptr, error,
            where + " refused the connection" + system + ": " + RefusedConnectionAdvice(service)};
  if (error == ETIMEDOUT)
    return {nullptr, error,
            "no answer from " + where + " within " + std::to_string(connectTimeoutMs / 1000) +
                " seconds" + system + ": check the address and that the printer is switched on"};
  return {nullptr, error, "cannot connect to " + where + ": " + std::strerror(error)};
}

TcpPortApi::TcpPortApi(TcpAddress address, std::uint32_t connectTimeoutMs,
                       std::uint32_t closeWaitMs)
    : address_(std::move(address)),
      connectTimeoutMs_(connectTimeoutMs),
      closeWaitMs_(closeWaitMs) {}

PortOpenResult TcpPortApi::Open(std::string_view deviceName) noexcept {
  return OpenNetworkPort(PortRoute(FormatTcpAddress(address_)), DescribePort(deviceName),
                         connectTimeoutMs_, closeWaitMs_);
}

std::string TcpPortApi::DescribePort(std::string_view) const {
  return FormatTcpAddress(address_);
}

std::uint32_t TcpPortApi::GetTickCount() noexcept {
  return static_cast<std::uint32_t>(MonotonicMs());
}

void TcpPortApi::Sleep(std::uint32_t milliseconds) noexcept {
  SleepMs(milliseconds);
}

}  // namespace quillmark
