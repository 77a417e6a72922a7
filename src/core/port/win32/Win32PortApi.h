#pragma once

// The printer port on Windows: the Win32 communications calls, one for each PortApi
// operation, with the arguments the transport passes.

#include <cstdint>
#include <string_view>

#include "port/PortApi.h"

struct _DCB;  // DCB of <windows.h>

namespace quillmark {

// CommState and the Win32 DCB hold the same fields; these copy every one of them across.
// A CommState whose DCBlength is 0 (line settings that could not be read) gives a DCB with
// its length field set to sizeof(DCB).
void CommStateToDcb(const CommState& state, _DCB& dcb) noexcept;
void DcbToCommState(const _DCB& dcb, CommState& state) noexcept;

class Win32PortApi final : public PortApi {
 public:
  // CreateFileA(name, GENERIC_READ | GENERIC_WRITE, no sharing, no security attributes,
  // OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, no template); the error is GetLastError().
  PortOpenResult Open(std::string_view deviceName) noexcept override;
  std::uint32_t GetTickCount() noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;
};

}  // namespace quillmark
