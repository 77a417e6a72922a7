#include "port/PortTransport.h"

#include <algorithm>
#include <array>

namespace quillmark {
namespace {

constexpr std::uint32_t kSerialWriteConstantMs = 200;
constexpr std::uint32_t kNtParallelWriteConstantMs = 2000;
constexpr std::uint32_t kWriteMultiplierMs = 10;
constexpr std::uint32_t kReadConstantMs = 200;

bool IsParallel(const PortSettings& settings) noexcept {
  return settings.parallel == 1;
}

// Closes the port in `state.portHandle` when the send leaves, whichever way it leaves.
class PortCloser {
 public:
  explicit PortCloser(AppState& state) noexcept : state_(state) {}
  PortCloser(const PortCloser&) = delete;
  PortCloser& operator=(const PortCloser&) = delete;
  ~PortCloser() { state_.portHandle.reset(); }

 private:
  AppState& state_;
};

}  // namespace

void PortDeviceDeleter::operator()(PortDevice* device) const noexcept {
  std::default_delete<PortDevice>()(device);
}

std::string_view PortDeviceName(std::int32_t port) noexcept {
  if (port < 0 || port >= static_cast<std::int32_t>(kPortNames.size())) return kPortNames[0];
  return kPortNames[static_cast<std::size_t>(port)];
}

std::uint32_t BaudRateFor(std::int32_t baudRate) noexcept {
  if (baudRate >= kMinDirectBaudRate) return static_cast<std::uint32_t>(baudRate);
  // Only 0 to 3 pick a slower speed; 4, anything above and anything negative mean 19200.
  if (baudRate < 0 || baudRate > 3) return kBaudRates[4];
  return kBaudRates[static_cast<std::size_t>(baudRate)];
}

CommTimeouts PortTimeouts(const PortSettings& settings, std::uint32_t platformId) noexcept {
  CommTimeouts timeouts;
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = kReadConstantMs;
  timeouts.WriteTotalTimeoutMultiplier = kWriteMultiplierMs;
  timeouts.WriteTotalTimeoutConstant = IsParallel(settings) && platformId == kPlatformWin32Nt
                                           ? kNtParallelWriteConstantMs
                                           : kSerialWriteConstantMs;
  return timeouts;
}

void ApplySerialSettings(CommState& state, const PortSettings& settings) noexcept {
  state.BaudRate = BaudRateFor(settings.baudRate);
  state.ByteSize = settings.dataBits == 0 ? 7 : 8;
  state.Parity = settings.parity == 1 ? kOddParity : settings.parity == 2 ? kEvenParity : kNoParity;
  state.StopBits = settings.stopBits == 1 ? kTwoStopBits : kOneStopBit;
  state.fBinary = 1;
  state.fParity = 0;
  state.fOutxCtsFlow = 0;
  state.fOutxDsrFlow = 0;
  state.fDtrControl = kDtrControlEnable;
  state.fDsrSensitivity = 0;
  state.fTXContinueOnXoff = 1;
  state.fOutX = 0;
  state.fInX = 0;
  state.fErrorChar = 0;
  state.fNull = 0;
  state.fRtsControl = kRtsControlEnable;
  state.fAbortOnError = 0;
  state.XonLim = 0;
  state.XoffLim = 0;
  state.XonChar = 0;
  state.XoffChar = 0;
  state.ErrorChar = 0;
  state.EofChar = 0;
  state.EvtChar = 0;
}

bool UsesParallelSetUp(const AppState& state) noexcept {
  switch (state.portHandle ? state.portHandle->Kind() : DeviceKind::kAsSettings) {
    case DeviceKind::kParallel:
      return true;
    case DeviceKind::kSerial:
      return false;
    case DeviceKind::kAsSettings:
      break;
  }
  return IsParallel(state.portSettings);
}

bool OpenPrinterPort(AppState& state, PortApi& api, PortOpenResult* failure) noexcept {
  PortSettings settings = state.portSettings;
  PortOpenResult opened = api.Open(PortDeviceName(settings.port));
  state.portHandle = std::move(opened.device);
  if (!state.portHandle) {
    if (failure != nullptr) *failure = std::move(opened);
    return false;
  }
  PortDevice& device = *state.portHandle;
  settings.parallel = UsesParallelSetUp(state) ? 1 : 0;
  const CommTimeouts timeouts = PortTimeouts(settings, state.platformId);

  if (IsParallel(settings)) {
    // A parallel port gets its time-outs and nothing else: no queues, no line settings,
    // no purge.
    device.SetCommTimeouts(timeouts);
    return true;
  }

  device.SetupComm(kQueueBytes, kQueueBytes);
  // When the current settings cannot be read, the fields the set-up does not name stay
  // zero and the backend fills what it must (the record length on Win32).
  CommState line;
  device.GetCommState(line);
  ApplySerialSettings(line, settings);
  device.SetCommState(line);
  device.SetCommTimeouts(timeouts);
  device.PurgeComm(kPurgeAll);
  return true;
}

bool IsPrinterReady(const AppState& state) noexcept {
  if (!state.portHandle) return false;
  PortDevice& device = *state.portHandle;

  if (!UsesParallelSetUp(state)) {
    std::uint32_t modemStatus = 0;
    return device.GetCommModemStatus(modemStatus) && (modemStatus & kMsDsrOn) != 0;
  }
  if (state.platformId == kPlatformWin32Windows) {
    std::uint32_t errors = 0;
    device.ClearCommError(errors);
    const std::uint32_t lineErrors = errors & 0xFF00u;
    return lineErrors == 0 || lineErrors == kCePto || lineErrors == kCeMode;
  }
  if (state.platformId == kPlatformWin32Nt) {
    // A query that writes nothing leaves the preset, "selected and nothing else": ready.
    std::array<std::uint8_t, 16> status{};
    status[0] = kParallelSelected;
    device.QueryParallelStatus(status);
    return status[0] == kParallelSelected;
  }
  return false;
}

SendReport SendBlock(AppState& state, PortApi& api, const ByteBlock& block,
                     SendProgress* progress) {
  SendReport report;
  report.size = block.size();
  report.port = api.DescribePort(PortDeviceName(state.portSettings.port));
  report.parallel = IsParallel(state.portSettings);
  PortOpenResult failure;
  if (!OpenPrinterPort(state, api, &failure)) {
    report.result = SendResult::kOpenFailed;
    report.error = failure.error;
    report.reason = std::move(failure.reason);
    return report;
  }
  PortCloser closer(state);
  PortDevice& device = *state.portHandle;
  report.parallel = UsesParallelSetUp(state);

  const std::uint32_t size = block.size();
  const std::uint8_t* next = block.data();
  std::uint32_t remaining = size;
  if (progress != nullptr) progress->SetProgressRange(size);

  // The tick at which the current wait began. A pass that wrote nothing keeps it, so a
  // port that stays ready but takes no byte runs into the same 10-second give-up.
  std::uint32_t waitStart = 0;
  bool stalled = false;
  auto waitedTooLong = [&]() noexcept {
    // Unsigned difference: a wrap of the tick counter within a wait does no harm.
    return static_cast<std::uint32_t>(api.GetTickCount() - waitStart) >= kGiveUpMs;
  };
  auto fail = [&](SendResult result) {
    report.result = result;
    report.bytesWritten = size - remaining;
    report.reason = device.DescribeState();
    return report;
  };
  auto broken = [&](const LinkError& link) {
    report.error = link.error;
    report.bytesTaken = link.bytesTaken;
    return fail(SendResult::kLinkBroken);
  };

  while (remaining != 0) {
    if (progress != nullptr) progress->SetProgressPos(size - remaining);
    if (!stalled) waitStart = api.GetTickCount();

    while (!IsPrinterReady(state)) {
      // A link that broke is not waited for: it does not come back.
      if (const LinkError link = device.BrokenLink(); link.error != 0) return broken(link);
      api.Sleep(kPollIntervalMs);
      if (waitedTooLong()) return fail(SendResult::kNotReady);
    }

    const std::uint32_t asked = std::min(remaining, kMaxPieceBytes);
    // A backend claiming more than it was given is held to what it was given.
    const std::uint32_t written = std::min(device.WriteFile({next, asked}), asked);
    next += written;
    remaining -= written;
    if (const LinkError link = device.BrokenLink(); link.error != 0) return broken(link);

    stalled = written == 0;
    if (stalled) {
      api.Sleep(kPollIntervalMs);
      if (waitedTooLong()) return fail(SendResult::kStalled);
    }
  }

  if (progress != nullptr) progress->SetProgressPos(size - remaining);
  // The close may still find that the bytes did not arrive.
  if (const LinkError link = device.Close(); link.error != 0) return broken(link);
  report.result = SendResult::kSent;
  report.bytesWritten = size;
  return report;
}

int SendToPrinter(AppState& state, PortApi& api, const ByteBlock& block, SendProgress* progress) {
  return SendBlock(state, api, block, progress).result == SendResult::kSent ? 1 : 0;
}

}  // namespace quillmark
