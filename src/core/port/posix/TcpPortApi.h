#pragma once

// A network printer's raw port (usually 9100), or a local stream socket, as a printer
// port: the transport opens, paces and closes it exactly as it does a parallel port.
//
//   open     resolves the host and connects, trying each of its addresses until one
//            answers, within one time-out for all of them. A refused or timed-out
//            connection is a failed open, with the system's error (ECONNREFUSED,
//            ETIMEDOUT...); a host that cannot be resolved fails with ENXIO, and the
//            reason says why.
//   set-up   time-outs are kept for the writes; a socket has no line settings, so the
//            serial calls change nothing (GetCommState and SetCommState report false).
//            It takes the parallel set-up whatever the port settings say.
//   write    non-blocking send under poll() with the write time-out, as on a device.
//   status   every readiness query answers from a zero-time poll(): writable is ready
//            (status byte 0x80, DSR on, no error bits), a full send buffer busy (0xC0, DSR
//            off, kCeTxFull). A connection the printer reset, or whose sending side it
//            closed, is a broken link.
//   close    waits until the printer has acknowledged every byte written (as long as it
//            keeps taking, at most 2 seconds after it last took any), shuts the sending
//            side down, then gives the printer up to 2 seconds to close its side; bytes
//            it sends back are read and dropped, so that closing never resets the
//            connection under data still on its way. A printer that closes or resets
//            the connection before it has taken everything fails the send.
//
// SIGPIPE is never raised: sends use MSG_NOSIGNAL (SO_NOSIGPIPE where that is missing).

#include <cstdint>
#include <string>
#include <string_view>

#include "port/PortApi.h"
#include "port/TcpAddress.h"
#include "port/posix/PortMap.h"

namespace quillmark {

inline constexpr std::uint32_t kTcpConnectTimeoutMs = 5000;
inline constexpr std::uint32_t kTcpCloseWaitMs = 2000;

class TcpPortApi final : public PortApi {
 public:
  explicit TcpPortApi(TcpAddress address, std::uint32_t connectTimeoutMs = kTcpConnectTimeoutMs,
                      std::uint32_t closeWaitMs = kTcpCloseWaitMs);

  // Connects to the address, whatever device name the transport asks for.
  PortOpenResult Open(std::string_view deviceName) noexcept override;
  std::uint32_t GetTickCount() noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;
  // "tcp:HOST:PORT".
  std::string DescribePort(std::string_view deviceName) const override;

  const TcpAddress& address() const noexcept { return address_; }

 private:
  TcpAddress address_;
  std::uint32_t connectTimeoutMs_;
  std::uint32_t closeWaitMs_;
};

// Opens the socket `route` names, described to the user as `port`: tcp:HOST:PORT, or
// the path of a local stream socket.
PortOpenResult OpenNetworkPort(const PortRoute& route, const std::string& port,
                               std::uint32_t connectTimeoutMs = kTcpConnectTimeoutMs,
                               std::uint32_t closeWaitMs = kTcpCloseWaitMs) noexcept;

}  // namespace quillmark
