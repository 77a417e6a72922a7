#pragma once

// A TCP listener on 127.0.0.1 for tests of the network printer port: a port that takes
// connections, a receiver that collects everything one connection sends, and a port that
// refuses connections.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace quillmark::testing {

class LoopbackListener {
 public:
  LoopbackListener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
  }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  ~LoopbackListener() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return port_ != 0; }
  std::uint16_t port() const { return port_; }

  // The next connection, or -1 when none comes within `timeoutMs`. The caller closes it.
  int Accept(int timeoutMs = 10000) {
    pollfd watch{fd_, POLLIN, 0};
    if (::poll(&watch, 1, timeoutMs) <= 0) return -1;
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  }

 private:
  int fd_;
  std::uint16_t port_ = 0;
};

// Accepts one connection on a thread of its own and reads it to its end.
class LoopbackReceiver {
 public:
  LoopbackReceiver() {
    if (listener_.ok()) thread_ = std::thread([this] { Run(); });
  }
  LoopbackReceiver(const LoopbackReceiver&) = delete;
  LoopbackReceiver& operator=(const LoopbackReceiver&) = delete;
  ~LoopbackReceiver() { Finish(); }
  bool ok() const { return listener_.ok(); }
  std::uint16_t port() const { return listener_.port(); }
  // Waits until the connection has ended (or none came within 30 s); what it sent.
  const std::vector<std::uint8_t>& Finish() {
    if (thread_.joinable()) thread_.join();
    return bytes_;
  }

 private:
  void Run() {
    const int connection = listener_.Accept(30000);
    if (connection < 0) return;
    std::uint8_t chunk[65536];
    for (;;) {
      pollfd watch{connection, POLLIN, 0};
      if (::poll(&watch, 1, 30000) <= 0) break;
      const ssize_t got = ::read(connection, chunk, sizeof chunk);
      if (got <= 0) break;
      bytes_.insert(bytes_.end(), chunk, chunk + got);
    }
    ::close(connection);
  }

  LoopbackListener listener_;
  std::vector<std::uint8_t> bytes_;
  std::thread thread_;
};

// A loopback port nobody listens on: bound once to find a free number, then closed.
inline std::uint16_t ClosedLoopbackPort() {
  LoopbackListener probe;
  return probe.port();
}

}  // namespace quillmark::testing
