// The Winsock network port on the real calls (under Wine on Linux), against a printer
// played by a Winsock listener on the loopback interface: a paced send arrives byte for
// byte and ends in success only when the printer has read it all; a printer that reads
// part and then closes or resets the connection fails the send; nobody listening is a
// refused open.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "port/PortTransport.h"
#include "port/win32/TcpPortApi.h"
#include "state/AppState.h"

namespace quillmark {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Winsock for the test's own sockets, for as long as the test runs.
struct Winsock {
  Winsock() { started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0; }
  ~Winsock() {
    if (started) ::WSACleanup();
  }
  WSADATA data;
  bool started = false;
};

// Binds `socket` to a free port of 127.0.0.1; the port, 0 when it cannot.
std::uint16_t BindLoopback(SOCKET socket) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 0;
  return ntohs(address.sin_port);
}

// Takes one connection on 127.0.0.1 and reads it to its end, or `limit` bytes and then,
// once `arrived` bytes in all have come (read or waiting unread, at most 10 s), closes it,
// resetting it when `reset`.
class Printer {
 public:
  Printer(std::size_t limit, bool reset, std::size_t arrived)
      : listener_(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)), port_(BindLoopback(listener_)) {
    if (port_ != 0 && ::listen(listener_, 1) == 0)
      thread_ = std::thread([=, this] { Run(limit, reset, arrived); });
  }
  ~Printer() {
    Finish();
    ::closesocket(listener_);
  }
  std::uint16_t port() const { return port_; }
  const Bytes& Finish() {
    if (thread_.joinable()) thread_.join();
    return bytes_;
  }

 private:
  void Run(std::size_t limit, bool reset, std::size_t arrived) {
    fd_set waiting;
    FD_ZERO(&waiting);
    FD_SET(listener_, &waiting);
    timeval wait{30, 0};
    if (::select(0, &waiting, nullptr, nullptr, &wait) != 1) return;
    const SOCKET connection = ::accept(listener_, nullptr, nullptr);
    char chunk[4096];
    while (bytes_.size() < limit) {
      const int got = ::recv(connection, chunk,
                             static_cast<int>(std::min(sizeof chunk, limit - bytes_.size())), 0);
      if (got <= 0) break;
      bytes_.insert(bytes_.end(), chunk, chunk + got);
    }
    for (int tries = 0; tries < 1000; ++tries) {
      u_long unread = 0;
      if (::ioctlsocket(connection, FIONREAD, &unread) != 0 || bytes_.size() + unread >= arrived)
        break;
      ::Sleep(10);
    }
    const linger now{1, 0};
    if (reset)
      ::setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&now),
                   sizeof now);
    ::closesocket(connection);
  }

  SOCKET listener_;
  std::uint16_t port_;
  std::thread thread_;
  Bytes bytes_;
};

TEST(Win32TcpPort, OnlyAPrinterThatReadsEverythingMakesASuccess) {
  const Winsock winsock;
  ASSERT_TRUE(winsock.started);
  Bytes stream(1000);
  for (std::size_t i = 0; i < stream.size(); ++i)
    stream[i] = static_cast<std::uint8_t>(i);
  const ByteBlock block = std::move(*ByteBlock::CopyOf(stream));
  struct Case {
    std::size_t limit;
    bool reset;
    std::size_t arrived;
    SendResult result;
    std::uint32_t written;  // 0: any number
    const char* says;
  };
  const Case cases[] = {
      {stream.size() + 1, false, 0, SendResult::kSent, 1000, "sent 1000 bytes to tcp:127.0.0.1:"},
      {48, false, 0, SendResult::kLinkBroken, 0, "the printer"},
      // Everything sent before the reset comes: the close finds it.
      {48, true, stream.size(), SendResult::kLinkBroken, 1000,
       "broke off the connection before it had read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.limit << (c.reset ? " then a reset" : " then a close"));
    Printer printer(c.limit, c.reset, c.arrived);
    ASSERT_NE(printer.port(), 0);
    TcpPortApi api({"127.0.0.1", printer.port()});
    AppState state;
    const SendReport report = SendBlock(state, api, block, nullptr);
    const Bytes& read = printer.Finish();
    EXPECT_EQ(report.result, c.result) << DescribeSendReport(report);
    if (c.written != 0) {
      EXPECT_EQ(report.bytesWritten, c.written);
    }
    EXPECT_NE(DescribeSendReport(report).find(c.says), std::string::npos)
        << DescribeSendReport(report);
    EXPECT_EQ(read, Bytes(stream.begin(), stream.begin() + static_cast<long>(read.size())));
    if (c.result == SendResult::kSent) {
      EXPECT_EQ(read.size(), stream.size());
    }
  }

  const SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const std::uint16_t closed = BindLoopback(probe);  // a free port, closed again
  ::closesocket(probe);
  AppState state;
  TcpPortApi nobody({"127.0.0.1", closed});
  const SendReport refused = SendBlock(state, nobody, block, nullptr);
  EXPECT_EQ(refused.result, SendResult::kOpenFailed);
  EXPECT_EQ(refused.error, WSAECONNREFUSED);
  EXPECT_NE(refused.reason.find("refused the connection"), std::string::npos) << refused.reason;
}

}  // namespace
}  // namespace quillmark
