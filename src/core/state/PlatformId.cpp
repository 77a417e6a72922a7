#include "state/AppState.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillmark {

std::uint32_t QueryPlatformId() noexcept {
#ifdef _WIN32
  static_assert(sizeof(OSVERSIONINFOA) == 148);
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);
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
