#pragma once

// Opening and setting up the printer port, and sending a block in paced pieces: at most 16
// bytes at a time, each after the printer has reported ready, with a wait of up to 10
// seconds before every piece. Written once over PortApi; the caller chooses the backend.

#include <cstdint>
#include <string>
#include <string_view>

#include "port/PortApi.h"
#include "state/AppState.h"
#include "state/ByteBlock.h"

namespace quillmark {

inline constexpr std::uint32_t kMaxPieceBytes = 16;
inline constexpr std::uint32_t kPollIntervalMs = 100;
inline constexpr std::uint32_t kGiveUpMs = 10000;
inline constexpr std::uint32_t kQueueBytes = 256;
inline constexpr std::uint32_t kPurgeAll =
    kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;

// The device name `port` selects: "LPT1" to "LPT4" for 0 to 3, "COM1" to "COM4" for 4 to
// 7, "LPT1" for any other value.
std::string_view PortDeviceName(std::int32_t port) noexcept;
// Bits per second for `baudRate`: 1200, 2400, 4800, 9600 for 0 to 3; a value of
// kMinDirectBaudRate or more is the speed itself (the command line's --baud 115200);
// anything else 19200.
std::uint32_t BaudRateFor(std::int32_t baudRate) noexcept;
// The time-outs of a port: 10 ms a byte plus 200 ms on every write, plus 2000 ms instead
// on a parallel port (`parallel` exactly 1) under the NT family.
CommTimeouts PortTimeouts(const PortSettings& settings, std::uint32_t platformId) noexcept;
// The serial set-up: `state` as read from the port, with the speed and character format of
// `settings`, binary mode, no flow control of any kind, DTR and RTS on, and no special
// characters. Fields this set-up does not name keep their values.
void ApplySerialSettings(CommState& state, const PortSettings& settings) noexcept;

// Whether the port gets the parallel set-up and readiness test: what the open device is
// where the backend can tell (PortDevice::Kind), else `parallel` exactly 1.
bool UsesParallelSetUp(const AppState& state) noexcept;

// Opens the port `state.portSettings` selects through `api` and sets it up: time-outs on
// every port; on a serial port (UsesParallelSetUp false) first the queue sizes, the line
// settings and, after the time-outs, a purge of both directions. True when the port was
// opened: it is then in `state.portHandle`. False when the open failed; `*failure` (when
// given) then holds the system's error and the backend's reason. The set-up calls'
// results are not examined.
bool OpenPrinterPort(AppState& state, PortApi& api, PortOpenResult* failure = nullptr) noexcept;

// One readiness test of the open port in `state.portHandle`:
//   serial (UsesParallelSetUp false): the modem status can be read and DSR is on;
//   parallel, platformId 1: the error word AND 0xFF00 is 0, kCePto alone or kCeMode alone;
//   parallel, platformId 2: the status byte, preset to 0x80 before the query, is 0x80;
//   parallel, any other platformId: never ready.
// No open port is never ready.
bool IsPrinterReady(const AppState& state) noexcept;

// The upper progress bar as the send sees it. Both calls happen on the sending thread,
// the position once for every piece, so an implementation should be cheap.
class SendProgress {
 public:
  virtual ~SendProgress() = default;
  virtual void SetProgressRange(std::uint32_t upper) = 0;
  virtual void SetProgressPos(std::uint32_t pos) = 0;
};

enum class SendResult {
  kSent,        // every byte written, and the port closed without an error
  kOpenFailed,  // the port could not be opened
  kNotReady,    // the printer stayed not ready for 10 seconds before a piece
  kStalled,     // the port took no byte for 10 seconds while reporting ready
  kLinkBroken,  // a write, a readiness query or the close met a broken link
  kNotBuilt,    // no send: the stream could not be built for want of memory
};

// What became of one send, for the user to be told why it failed.
struct SendReport {
  SendResult result = SendResult::kOpenFailed;
  std::uint32_t size = 0;          // the block's size
  std::uint32_t bytesWritten = 0;  // bytes the port accepted before the send ended
  int error = 0;                   // kOpenFailed, kLinkBroken: the system's error code
  std::int64_t bytesTaken = -1;    // kLinkBroken: bytes the printer took, when known
  bool parallel = true;            // the set-up the port got
  std::string port;                // the port as the user knows it: "LPT1 (/dev/lp0)"
  std::string reason;              // the backend's words: why the open failed, the status
};

// The report in plain words: "sent 124 bytes to LPT1 (/dev/lp0)", or what went wrong, the
// system's error and the way out where there is one (the group that may open a device, a
// printer off line or out of paper, a port map entry).
std::string DescribeSendReport(const SendReport& report);

// Sends `block` to the printer: opens and sets up the port, sets the progress range to
// 0 .. size, then writes pieces of at most 16 bytes, each after a readiness wait (a test
// at once, then one every 100 ms; the wait gives up at the first check after a sleep at
// which 10000 ms or more have passed since it began). A piece the port takes only in part
// leaves the rest to the next pass, after a fresh wait. A pass that transfers nothing does
// not restart the clock and is followed by a 100 ms pause, so a port that claims to be
// ready but takes nothing ends the send after 10 seconds too. The progress position is
// set before every piece to the count written so far and at the end to the size. The port
// is closed on every way out; `progress` may be null. A broken link ends the send at once
// (kLinkBroken), and so does an error met while closing after the last piece: no send is
// reported as sent that the system knows did not arrive.
SendReport SendBlock(AppState& state, PortApi& api, const ByteBlock& block, SendProgress* progress);

// SendBlock reduced to 1 (every byte written) or 0 (anything else).
int SendToPrinter(AppState& state, PortApi& api, const ByteBlock& block, SendProgress* progress);

}  // namespace quillmark
