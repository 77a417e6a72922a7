#include "app/AppState.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#endif

namespace quillmark {

std::uint32_t QueryPlatformId() noexcept {
#ifdef _WIN32
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);  // 148 bytes
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
  if (!GetVersionExA(&info)) return 0;
  return info.dwPlatformId;
#else
  return kPlatformWin32Nt;
#endif
}

}  // namespace quillmark
