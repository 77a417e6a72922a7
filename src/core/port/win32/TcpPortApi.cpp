// Winsock 2. <windows.h> brings no Winsock 1 header: the build defines WIN32_LEAN_AND_MEAN.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "port/NetworkPortDevice.h"
#include "port/win32/TcpPortApi.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

namespace quillmark {
namespace {

// The printer closed its side of the connection: Windows has no socket error for that.
constexpr int kClosedByPrinter = ERROR_GRACEFUL_DISCONNECT;

// SIO_TCP_INFO and its record TCP_INFO_v0 (Windows 10 1703 and later), as the SDK declares
// them; its headers offer them only to programs built for that version of Windows, and
// this one runs on older ones too, where the call fails.
constexpr DWORD kSioTcpInfo = 0xD8000027;  // _WSAIORW(IOC_VENDOR, 39)
struct TcpInfoV0 {
  int State;  // TCPSTATE
  ULONG Mss;
  ULONG64 ConnectionTimeMs;
  BOOLEAN TimestampsEnabled;
  ULONG RttUs;
  ULONG MinRttUs;
  ULONG BytesInFlight;  // sent and not acknowledged
  ULONG Cwnd;
  ULONG SndWnd;
  ULONG RcvWnd;
  ULONG RcvBuf;
  ULONG64 BytesOut;
  ULONG64 BytesIn;
  ULONG BytesReordered;
  ULONG BytesRetrans;
  ULONG FastRetrans;
  ULONG DupAcksIn;
  ULONG TimeoutEpisodes;
  UCHAR SynRetrans;
};
// TCPSTATE: our end of the stream sent and acknowledged.
constexpr int kTcpStateFinWait2 = 6;
constexpr int kTcpStateTimeWait = 10;

std::int64_t NowMs() noexcept {
  return static_cast<std::int64_t>(::GetTickCount64());
}

int WaitMs(std::int64_t milliseconds) noexcept {
  return static_cast<int>(std::clamp<std::int64_t>(milliseconds, 0, INT_MAX));
}

std::string SystemText(int error) {
  return std::system_category().message(error);
}

// Winsock, started once for the process and stopped when it ends.
bool WinsockStarted() noexcept {
  struct Winsock {
    Winsock() noexcept {
      WSADATA data;
      started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Winsock() {
      if (started) ::WSACleanup();
    }
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;
    bool started = false;
  };
  static const Winsock winsock;
  return winsock.started;
}

class UniqueSocket {
 public:
  explicit UniqueSocket(SOCKET socket = INVALID_SOCKET) noexcept : socket_(socket) {}
  UniqueSocket(UniqueSocket&& other) noexcept : socket_(other.release()) {}
  UniqueSocket& operator=(UniqueSocket&&) = delete;
  ~UniqueSocket() {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
  }
  SOCKET get() const noexcept { return socket_; }
  bool valid() const noexcept { return socket_ != INVALID_SOCKET; }
  SOCKET release() noexcept { return std::exchange(socket_, INVALID_SOCKET); }

 private:
  SOCKET socket_;
};

struct AddrInfoFree {
  void operator()(addrinfo* info) const noexcept { ::freeaddrinfo(info); }
};

// The printer's side of the connection while the close waits for it.
enum class PrinterSide { kOpen, kClosed, kBroken };

// What the system reports of the printer's acknowledgements.
struct Acknowledgement {
  bool known = false;       // it reports them (SIO_TCP_INFO)
  bool endTaken = false;    // the end of the stream is acknowledged, so is every byte before it
  std::uint64_t taken = 0;  // bytes sent and acknowledged
};

class SocketPortDevice final : public NetworkPortDevice {
 public:
  SocketPortDevice(SOCKET socket, std::uint32_t closeWaitMs) noexcept
      : socket_(socket), closeWaitMs_(closeWaitMs) {}

  // Not closed through Close(): a failed send, whose bytes no longer matter.
  ~SocketPortDevice() override {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
  }

  LinkError Close() noexcept override {
    LinkError result = broken_.error != 0 ? broken_ : Drain();
    if (::closesocket(std::exchange(socket_, INVALID_SOCKET)) != 0 && result.error == 0)
      result = {::WSAGetLastError(), -1};
    broken_ = result;
    return result;
  }

  std::uint32_t WriteFile(std::span<const std::uint8_t> bytes) noexcept override {
    if (broken_.error != 0) return 0;
    std::int64_t deadline = -1;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - done, INT_MAX));
      const int count =
          ::send(socket_, reinterpret_cast<const char*>(bytes.data() + done), chunk, 0);
      if (count > 0) {
        done += static_cast<std::size_t>(count);
        continue;
      }
      const int error = count == 0 ? kClosedByPrinter : ::WSAGetLastError();
      if (error != WSAEWOULDBLOCK) {
        Break(error);
        break;
      }

      const std::int64_t now = NowMs();
      if (deadline < 0) {
        deadline = now +
                   static_cast<std::int64_t>(timeouts_.WriteTotalTimeoutMultiplier) *
                       static_cast<std::int64_t>(bytes.size()) +
                   static_cast<std::int64_t>(timeouts_.WriteTotalTimeoutConstant);
      }
      if (deadline - now <= 0) break;
      WSAPOLLFD watch{socket_, POLLWRNORM, 0};
      const int ready = ::WSAPoll(&watch, 1, WaitMs(deadline - now));
      if (ready == SOCKET_ERROR) break;
      if (ready > 0 && (watch.revents & POLLWRNORM) == 0 && Poll() == Writability::kBroken) break;
    }
    return static_cast<std::uint32_t>(done);
  }

 private:
  NetworkBreak BreakOf(int error) const noexcept override {
    switch (error) {
      case 0:
        return NetworkBreak::kNone;
      case kClosedByPrinter:
        return NetworkBreak::kClosedByPrinter;
      case WSAECONNRESET:
        return NetworkBreak::kReset;
      case WSAETIMEDOUT:
        return NetworkBreak::kTimedOut;
      default:
        return NetworkBreak::kOther;
    }
  }

  Writability Poll() noexcept override {
    if (broken_.error != 0) return Writability::kBroken;
    WSAPOLLFD watch{socket_, POLLRDNORM | POLLWRNORM, 0};
    if (::WSAPoll(&watch, 1, 0) == SOCKET_ERROR) {
      Break(::WSAGetLastError());
    } else if ((watch.revents & (POLLERR | POLLNVAL)) != 0) {
      Break(PendingError());
    } else if ((watch.revents & POLLHUP) != 0) {
      Break(kClosedByPrinter);
    } else if ((watch.revents & POLLRDNORM) != 0) {
      // The printer closed its side (it takes nothing more), or sent something back, which
      // is left for the close to drop.
      char next = 0;
      const int peeked = ::recv(socket_, &next, 1, MSG_PEEK);
      if (peeked == 0) {
        Break(kClosedByPrinter);
      } else if (peeked < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK) {
        Break(::WSAGetLastError());
      }
    }
    if (broken_.error != 0) return Writability::kBroken;
    full_ = (watch.revents & POLLWRNORM) == 0;
    return full_ ? Writability::kFull : Writability::kWritable;
  }

  // The error a failed connection carries. A connection reported failed without one was
  // reset: Wine, for one, reports the reset but clears its error.
  int PendingError() const noexcept {
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
      error = ::WSAGetLastError();
    return error != 0 ? error : WSAECONNRESET;
  }

  void Break(int error) noexcept {
    // What the printer read of the bytes it acknowledged is not known here.
    broken_ = {error, -1};
  }

  Acknowledgement Acknowledged() const noexcept {
    DWORD version = 0;
    TcpInfoV0 info{};
    DWORD returned = 0;
    if (::WSAIoctl(socket_, kSioTcpInfo, &version, sizeof version, &info, sizeof info, &returned,
                   nullptr, nullptr) != 0 ||
        returned < sizeof info)
      return {};
    return {true, info.State == kTcpStateFinWait2 || info.State == kTcpStateTimeWait,
            info.BytesOut - std::min<ULONG64>(info.BytesOut, info.BytesInFlight)};
  }

  // Waits up to `waitMs` for the printer and drops what it sent.
  PrinterSide DropReceived(std::int64_t waitMs) noexcept {
    WSAPOLLFD watch{socket_, POLLRDNORM, 0};
    const int ready = ::WSAPoll(&watch, 1, WaitMs(waitMs));
    if (ready == SOCKET_ERROR) {
      Break(::WSAGetLastError());
      return PrinterSide::kBroken;
    }
    if (ready == 0) return PrinterSide::kOpen;
    if ((watch.revents & (POLLERR | POLLNVAL)) != 0) {
      Break(PendingError());
      return PrinterSide::kBroken;
    }
    char discard[4096];
    for (;;) {
      const int got = ::recv(socket_, discard, sizeof discard, 0);
      if (got > 0) continue;
      if (got == 0) return PrinterSide::kClosed;
      const int error = ::WSAGetLastError();
      if (error == WSAEWOULDBLOCK) return PrinterSide::kOpen;
      Break(error);
      return PrinterSide::kBroken;
    }
  }

  // Ends the stream and waits for the printer (see TcpPortApi.h).
  LinkError Drain() noexcept {
    // A printer that ended the connection before the end of the stream has not taken it.
    if (Poll() == Writability::kBroken) return broken_;
    if (::shutdown(socket_, SD_SEND) != 0) {
      Break(::WSAGetLastError());
      return broken_;
    }
    Acknowledgement last = Acknowledged();
    bool awaited = last.known && !last.endTaken;  // acknowledgements still to come
    std::int64_t deadline = NowMs() + closeWaitMs_;
    for (;;) {
      const std::int64_t left = deadline - NowMs();
      if (left <= 0) {
        if (!awaited) return {};  // the printer keeps the connection open
        Break(WSAETIMEDOUT);
        return broken_;
      }
      switch (DropReceived(awaited ? std::min<std::int64_t>(10, left) : left)) {
        case PrinterSide::kBroken:
          return broken_;
        case PrinterSide::kClosed:
          if (awaited && !Acknowledged().endTaken) {
            Break(kClosedByPrinter);
            return broken_;
          }
          return {};
        case PrinterSide::kOpen:
          break;
      }
      if (awaited) {
        const Acknowledgement now = Acknowledged();
        if (now.endTaken) {
          awaited = false;
          deadline = NowMs() + closeWaitMs_;
        } else if (now.known && now.taken != last.taken) {
          deadline = NowMs() + closeWaitMs_;  // still taking
        }
        if (now.known) last = now;
      }
    }
  }

  SOCKET socket_;
  std::uint32_t closeWaitMs_;
};

// Connects a non-blocking socket to `target` by the deadline; the socket, or the error.
UniqueSocket Connect(const addrinfo& target, std::int64_t deadline, int& error) noexcept {
  UniqueSocket socket(::socket(target.ai_family, target.ai_socktype, target.ai_protocol));
  if (!socket.valid()) {
    error = ::WSAGetLastError();
    return UniqueSocket();
  }
  ::SetHandleInformation(reinterpret_cast<HANDLE>(socket.get()), HANDLE_FLAG_INHERIT, 0);
  u_long nonBlocking = 1;
  if (::ioctlsocket(socket.get(), FIONBIO, &nonBlocking) != 0) {
    error = ::WSAGetLastError();
    return UniqueSocket();
  }
  if (::connect(socket.get(), target.ai_addr, static_cast<int>(target.ai_addrlen)) == 0)
    return socket;
  if (::WSAGetLastError() != WSAEWOULDBLOCK) {
    error = ::WSAGetLastError();
    return UniqueSocket();
  }
  // select, not WSAPoll: before Windows 10 2004 WSAPoll does not report a refused connection.
  for (;;) {
    const std::int64_t left = deadline - NowMs();
    if (left <= 0) {
      error = WSAETIMEDOUT;
      return UniqueSocket();
    }
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(socket.get(), &writable);
    fd_set failed = writable;
    timeval wait{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
    const int ready = ::select(0, nullptr, &writable, &failed, &wait);
    if (ready == SOCKET_ERROR) {
      error = ::WSAGetLastError();
      return UniqueSocket();
    }
    if (ready == 0) continue;  // the deadline is checked above
    int result = 0;
    int length = sizeof result;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result),
                     &length) != 0)
      result = ::WSAGetLastError();
    if (result == 0 && FD_ISSET(socket.get(), &failed)) result = WSAECONNREFUSED;
    if (result != 0) {
      error = result;
      return UniqueSocket();
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

PortOpenResult TcpPortApi::Open(std::string_view deviceName) noexcept {
  const std::string port = DescribePort(deviceName);
  if (!WinsockStarted())
    return {nullptr, WSASYSNOTREADY, "cannot connect to " + port + ": Winsock did not start"};

  const std::int64_t deadline = NowMs() + connectTimeoutMs_;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(address_.port);
  const int resolved = ::getaddrinfo(address_.host.c_str(), service.c_str(), &hints, &found);
  const std::unique_ptr<addrinfo, AddrInfoFree> list(found);
  if (resolved != 0) {
    return {nullptr, resolved,
            "cannot find the host " + address_.host + ": " + SystemText(resolved)};
  }
  int error = WSAETIMEDOUT;
  for (const addrinfo* target = list.get(); target != nullptr; target = target->ai_next) {
    UniqueSocket socket = Connect(*target, deadline, error);
    if (socket.valid())
      return {std::make_unique<SocketPortDevice>(socket.release(), closeWaitMs_), 0, {}};
    if (error == WSAETIMEDOUT) break;  // the time-out covers every address
  }
  const std::string where = address_.host + ":" + service;
  const std::string system = " (" + SystemText(error) + ")";
  if (error == WSAECONNREFUSED)
    return {nullptr, error,
            where + " refused the connection" + system + ": " + RefusedConnectionAdvice(service)};
  if (error == WSAETIMEDOUT)
    return {nullptr, error,
            "no answer from " + where + " within " + std::to_string(connectTimeoutMs_ / 1000) +
                " seconds" + system + ": check the address and that the printer is switched on"};
  return {nullptr, error, "cannot connect to " + where + ": " + SystemText(error)};
}

std::string TcpPortApi::DescribePort(std::string_view) const {
  return FormatTcpAddress(address_);
}

std::uint32_t TcpPortApi::GetTickCount() noexcept {
  return ::GetTickCount();
}

void TcpPortApi::Sleep(std::uint32_t milliseconds) noexcept {
  ::Sleep(milliseconds);
}

}  // namespace quillmark
