#pragma once

// The window's system menu on Windows, reached through the native window handle. Kept
// apart so that <windows.h>, whose macros clash with the framework's constants, is
// included by one source file only.

#include <cstdint>
#include <string>

namespace quillmark::win32 {

bool HasSystemMenu(std::uintptr_t window) noexcept;
bool AppendSystemMenuSeparator(std::uintptr_t window) noexcept;
bool AppendSystemMenuItem(std::uintptr_t window, unsigned commandId,
                          const std::wstring& text) noexcept;
// Restores the system menu's own entries.
void RevertSystemMenu(std::uintptr_t window) noexcept;
// When `message` (a native MSG) is WM_SYSCOMMAND: stores its command ID and parameter and
// returns true.
bool ReadSysCommand(const void* message, unsigned* commandId, long* param) noexcept;

}  // namespace quillmark::win32
