#pragma once

// A network printer's raw port (usually 9100) as a printer port on Windows, over Winsock;
// it behaves as the POSIX backend's does (port/posix/TcpPortApi.h):
//
//   open     resolves the host and connects, trying each of its addresses until one
//            answers, within one time-out for all of them. A refused or timed-out
//            connection is a failed open with the system's error (WSAECONNREFUSED,
//            WSAETIMEDOUT...) and a reason in plain words.
//   set-up   time-outs are kept for the writes; a socket has no line settings, so the
//            serial calls change nothing (GetCommState and SetCommState report false).
//            It takes the parallel set-up whatever the port settings say.
//   write    non-blocking send under WSAPoll with the write time-out, as on a device.
//   status   every readiness query answers from a zero-time WSAPoll: writable is ready
//            (status byte 0x80, DSR on, no error bits), a full send buffer busy (0xC0, DSR
//            off, kCeTxFull). A connection the printer reset, or whose sending side it
//            closed, is a broken link.
//   close    shuts the sending side down, so that the printer sees the end of the stream
//            after the last byte, and waits for the printer: a close of its own is
//            success, a reset fails the send; bytes it sends back are read and dropped.
//            Where the system reports the connection's acknowledgements (SIO_TCP_INFO,
//            Windows 10 1703 and later), the wait lasts as long as the printer keeps
//            taking, at most 2 seconds after it last took any; a printer that stops
//            taking before it has acknowledged the end of the stream fails the send, and
//            one that has acknowledged everything gets 2 seconds more to close. Where it
//            does not (older Windows, Wine), the printer gets 2 seconds to close or reset,
//            and a printer that does neither has taken the stream as far as can be told.

#include <cstdint>
#include <string>
#include <string_view>

#include "port/PortApi.h"
#include "port/TcpAddress.h"

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

}  // namespace quillmark
