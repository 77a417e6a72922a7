#pragma once

// A network printer's raw port (usually 9100) as a printer port: the transport opens,
// paces and closes it exactly as it does a parallel port.
//
//   open     resolves the host and connects, trying each of its addresses until one
//            answers, within one time-out for all of them. A refused or timed-out
//            connection is a failed open, with the system's error (ECONNREFUSED,
//            ETIMEDOUT...); a host that cannot be resolved fails with ENXIO and
//            resolveError() says why.
//   set-up   time-outs are kept for the writes; a socket has no line settings, so the
//            serial calls change nothing (GetCommState and SetCommState report false).
//   write    non-blocking send under poll() with the write time-out, as on a device.
//   status   every readiness query answers from a zero-time poll() for writability:
//            writable is ready (status byte 0x80, DSR on, no error bits); a full send
//            buffer is busy (0xC0, DSR off, kCeTxFull); a broken connection is off line
//            (0x88, DSR off, kCeIoe).
//   close    the sending side is shut down, then the printer is given up to 2 seconds to
//            close its side after it has taken everything; bytes it sends back are read
//            and dropped, so that closing never resets the connection under data still
//            on its way to the printer.
//
// SIGPIPE is never raised: sends use MSG_NOSIGNAL (SO_NOSIGPIPE where that is missing).

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

  const TcpAddress& address() const noexcept { return address_; }
  // Why the host of the last open could not be resolved; empty when it could.
  const std::string& resolveError() const noexcept { return resolveError_; }

 private:
  TcpAddress address_;
  std::uint32_t connectTimeoutMs_;
  std::uint32_t closeWaitMs_;
  std::string resolveError_;
};

}  // namespace quillmark
