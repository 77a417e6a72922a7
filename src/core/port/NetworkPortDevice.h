#pragma once

// What the POSIX and Winsock network ports share. A network printer has no status lines:
// its socket's state stands in for them, so that the transport paces and polls it exactly
// as it does a parallel port; the line set-up of a serial port has no meaning and is
// accepted as done.

#include <cstdint>
#include <span>
#include <string>

#include "port/PortApi.h"

namespace quillmark {

// The state of the connection as a zero-time poll sees it.
enum class Writability { kWritable, kFull, kBroken };

// How a connection broke, in the words a user is told.
enum class NetworkBreak { kNone, kClosedByPrinter, kReset, kTimedOut, kOther };

// What to check when a printer refused the connection to `service`, its port number.
inline std::string RefusedConnectionAdvice(const std::string& service) {
  if (service == "9100") return "is the printer switched on, with raw printing on port 9100?";
  return "is the printer switched on, and is " + service + " its raw printing port (usually 9100)?";
}

class NetworkPortDevice : public PortDevice {
 public:
  DeviceKind Kind() const noexcept override { return DeviceKind::kParallel; }
  LinkError BrokenLink() const noexcept override { return broken_; }

  std::string DescribeState() const override {
    switch (BreakOf(broken_.error)) {
      case NetworkBreak::kNone:
        return full_ ? "its connection took no data (the printer's buffer stayed full)"
                     : std::string();
      case NetworkBreak::kClosedByPrinter:
        return "the printer closed the connection";
      case NetworkBreak::kReset:
        return "the printer broke off the connection before it had read everything";
      case NetworkBreak::kTimedOut:
        return "the printer stopped taking data before the end";
      case NetworkBreak::kOther:
        break;
    }
    return "the connection failed";
  }

  bool SetCommTimeouts(const CommTimeouts& timeouts) noexcept override {
    timeouts_ = timeouts;
    return true;
  }
  bool SetupComm(std::uint32_t, std::uint32_t) noexcept override { return true; }
  bool GetCommState(CommState&) noexcept override { return false; }
  bool SetCommState(const CommState&) noexcept override { return false; }
  bool PurgeComm(std::uint32_t) noexcept override { return true; }

  // DSR and CTS are on while the socket takes bytes.
  bool GetCommModemStatus(std::uint32_t& status) noexcept override {
    status = Poll() == Writability::kWritable ? kMsDsrOn | kMsCtsOn : 0;
    return true;
  }

  // A full send buffer is a full transmit queue, a broken connection an I/O error.
  bool ClearCommError(std::uint32_t& errors) noexcept override {
    const Writability state = Poll();
    errors = state == Writability::kWritable ? 0 : state == Writability::kFull ? kCeTxFull : kCeIoe;
    return true;
  }

  // Selected; busy while the send buffer is full, off line once the connection broke.
  bool QueryParallelStatus(std::span<std::uint8_t, 16> out) noexcept override {
    const Writability state = Poll();
    out[0] = state == Writability::kWritable ? kParallelSelected
             : state == Writability::kFull   ? kParallelSelected | kParallelBusy
                                             : kParallelSelected | kParallelOffLine;
    return true;
  }

 protected:
  // Every write is bounded even before the transport sets its time-outs.
  static constexpr CommTimeouts kInitialTimeouts = {0, 0, 200, 10, 200};

  // The connection's state now; a backend notes in broken_ how it broke.
  virtual Writability Poll() noexcept = 0;
  // The system's error code (errno, WSAGetLastError) in the words a user is told.
  virtual NetworkBreak BreakOf(int error) const noexcept = 0;

  LinkError broken_;
  bool full_ = false;  // the last poll found no room
  CommTimeouts timeouts_ = kInitialTimeouts;
};

}  // namespace quillmark
