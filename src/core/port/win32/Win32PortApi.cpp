#include "port/win32/Win32PortApi.h"

#include <windows.h>

#include <array>
#include <cstring>
#include <memory>

namespace quillmark {

void CommStateToDcb(const CommState& state, DCB& dcb) noexcept {
  dcb.DCBlength = state.DCBlength != 0 ? state.DCBlength : sizeof(DCB);
  dcb.BaudRate = state.BaudRate;
  dcb.fBinary = state.fBinary;
  dcb.fParity = state.fParity;
  dcb.fOutxCtsFlow = state.fOutxCtsFlow;
  dcb.fOutxDsrFlow = state.fOutxDsrFlow;
  dcb.fDtrControl = state.fDtrControl;
  dcb.fDsrSensitivity = state.fDsrSensitivity;
  dcb.fTXContinueOnXoff = state.fTXContinueOnXoff;
  dcb.fOutX = state.fOutX;
  dcb.fInX = state.fInX;
  dcb.fErrorChar = state.fErrorChar;
  dcb.fNull = state.fNull;
  dcb.fRtsControl = state.fRtsControl;
  dcb.fAbortOnError = state.fAbortOnError;
  dcb.fDummy2 = state.fDummy2;
  dcb.wReserved = state.wReserved;
  dcb.XonLim = state.XonLim;
  dcb.XoffLim = state.XoffLim;
  dcb.ByteSize = state.ByteSize;
  dcb.Parity = state.Parity;
  dcb.StopBits = state.StopBits;
  dcb.XonChar = state.XonChar;
  dcb.XoffChar = state.XoffChar;
  dcb.ErrorChar = state.ErrorChar;
  dcb.EofChar = state.EofChar;
  dcb.EvtChar = state.EvtChar;
  dcb.wReserved1 = state.wReserved1;
}

void DcbToCommState(const DCB& dcb, CommState& state) noexcept {
  state.DCBlength = dcb.DCBlength;
  state.BaudRate = dcb.BaudRate;
  state.fBinary = static_cast<std::uint8_t>(dcb.fBinary);
  state.fParity = static_cast<std::uint8_t>(dcb.fParity);
  state.fOutxCtsFlow = static_cast<std::uint8_t>(dcb.fOutxCtsFlow);
  state.fOutxDsrFlow = static_cast<std::uint8_t>(dcb.fOutxDsrFlow);
  state.fDtrControl = static_cast<std::uint8_t>(dcb.fDtrControl);
  state.fDsrSensitivity = static_cast<std::uint8_t>(dcb.fDsrSensitivity);
  state.fTXContinueOnXoff = static_cast<std::uint8_t>(dcb.fTXContinueOnXoff);
  state.fOutX = static_cast<std::uint8_t>(dcb.fOutX);
  state.fInX = static_cast<std::uint8_t>(dcb.fInX);
  state.fErrorChar = static_cast<std::uint8_t>(dcb.fErrorChar);
  state.fNull = static_cast<std::uint8_t>(dcb.fNull);
  state.fRtsControl = static_cast<std::uint8_t>(dcb.fRtsControl);
  state.fAbortOnError = static_cast<std::uint8_t>(dcb.fAbortOnError);
  state.fDummy2 = dcb.fDummy2;
  state.wReserved = dcb.wReserved;
  state.XonLim = dcb.XonLim;
  state.XoffLim = dcb.XoffLim;
  state.ByteSize = dcb.ByteSize;
  state.Parity = dcb.Parity;
  state.StopBits = dcb.StopBits;
  state.XonChar = dcb.XonChar;
  state.XoffChar = dcb.XoffChar;
  state.ErrorChar = dcb.ErrorChar;
  state.EofChar = dcb.EofChar;
  state.EvtChar = dcb.EvtChar;
  state.wReserved1 = dcb.wReserved1;
}

namespace {

class Win32PortDevice final : public PortDevice {
 public:
  explicit Win32PortDevice(HANDLE handle) noexcept : handle_(handle) {}
  ~Win32PortDevice() override { ::CloseHandle(handle_); }

  bool SetCommTimeouts(const CommTimeouts& timeouts) noexcept override {
    COMMTIMEOUTS native{};
    native.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    native.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    native.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    native.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    native.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    return ::SetCommTimeouts(handle_, &native) != 0;
  }
  bool SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) noexcept override {
    return ::SetupComm(handle_, inQueue, outQueue) != 0;
  }
  bool GetCommState(CommState& state) noexcept override {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (::GetCommState(handle_, &dcb) == 0) return false;
    DcbToCommState(dcb, state);
    return true;
  }
  bool SetCommState(const CommState& state) noexcept override {
    DCB dcb{};
    CommStateToDcb(state, dcb);
    return ::SetCommState(handle_, &dcb) != 0;
  }
  bool PurgeComm(std::uint32_t flags) noexcept override { return ::PurgeComm(handle_, flags) != 0; }
  std::uint32_t WriteFile(std::span<const std::uint8_t> bytes) noexcept override {
    DWORD written = 0;
    ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return written;
  }
  bool GetCommModemStatus(std::uint32_t& status) noexcept override {
    DWORD native = 0;
    if (::GetCommModemStatus(handle_, &native) == 0) return false;
    status = native;
    return true;
  }
  bool ClearCommError(std::uint32_t& errors) noexcept override {
    DWORD native = errors;
    const bool ok = ::ClearCommError(handle_, &native, nullptr) != 0;
    errors = native;
    return ok;
  }
  bool QueryParallelStatus(std::span<std::uint8_t, 16> out) noexcept override {
    DWORD returned = 0;
    return ::DeviceIoControl(handle_, kIoctlParQueryInformation, nullptr, 0, out.data(),
                             static_cast<DWORD>(out.size()), &returned, nullptr) != 0;
  }

 private:
  HANDLE handle_;
};

}  // namespace

PortOpenResult Win32PortApi::Open(std::string_view deviceName) noexcept {
  // The name goes to CreateFileA exactly as given, with no device-namespace prefix.
  std::array<char, MAX_PATH> name{};
  if (deviceName.empty() || deviceName.size() >= name.size() ||
      deviceName.find('\0') != std::string_view::npos) {
    return {nullptr, ERROR_INVALID_NAME, {}};
  }
  std::memcpy(name.data(), deviceName.data(), deviceName.size());
  HANDLE handle = ::CreateFileA(name.data(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {nullptr, static_cast<int>(::GetLastError()), {}};
  return {std::make_unique<Win32PortDevice>(handle), 0, {}};
}

std::uint32_t Win32PortApi::GetTickCount() noexcept {
  return ::GetTickCount();
}

void Win32PortApi::Sleep(std::uint32_t milliseconds) noexcept {
  ::Sleep(milliseconds);
}

}  // namespace quillmark
