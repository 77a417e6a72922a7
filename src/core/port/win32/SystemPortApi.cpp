#include "port/SystemPortApi.h"

#include "port/win32/Win32PortApi.h"

namespace quillmark {

std::unique_ptr<PortApi> MakeSystemPortApi() {
  return std::make_unique<Win32PortApi>();
}

}  // namespace quillmark
