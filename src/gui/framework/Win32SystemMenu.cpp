// Only this file of the framework includes <windows.h>; it includes no framework header
// but its own, so the macros MessageBox, IDOK, MB_OK... meet none of the framework's
// names.
#include <windows.h>

#include "framework/Win32SystemMenu.h"

namespace quillmark::win32 {
namespace {
HMENU SystemMenuOf(std::uintptr_t window) noexcept {
  return ::GetSystemMenu(reinterpret_cast<HWND>(window), FALSE);
}
}  // namespace

bool HasSystemMenu(std::uintptr_t window) noexcept {
  return SystemMenuOf(window) != nullptr;
}

bool AppendSystemMenuSeparator(std::uintptr_t window) noexcept {
  HMENU menu = SystemMenuOf(window);
  return menu != nullptr && ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) != FALSE;
}

bool AppendSystemMenuItem(std::uintptr_t window, unsigned commandId,
                          const std::wstring& text) noexcept {
  HMENU menu = SystemMenuOf(window);
  return menu != nullptr &&
         ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(commandId), text.c_str()) != FALSE;
}

void RevertSystemMenu(std::uintptr_t window) noexcept {
  ::GetSystemMenu(reinterpret_cast<HWND>(window), TRUE);
}

bool ReadSysCommand(const void* message, unsigned* commandId, long* param) noexcept {
  const MSG* msg = static_cast<const MSG*>(message);
  if (msg == nullptr || msg->message != WM_SYSCOMMAND) return false;
  *commandId = static_cast<unsigned>(msg->wParam);
  *param = static_cast<long>(msg->lParam);
  return true;
}

}  // namespace quillmark::win32
