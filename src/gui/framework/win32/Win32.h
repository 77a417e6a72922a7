#pragma once

// <windows.h> for the framework's Win32 backend. Include it after every framework header:
// its macros (IDOK, MB_OK, SM_CXICON...) have the values of the framework's constants, but
// a macro defined first would rewrite the framework's declarations. The A/W macros that
// share a name with the framework's members are undefined here. Every call is a wide one.

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <string>
#include <string_view>

#undef AppendMenu
#undef GetFileTitle
#undef GetWindowText
#undef MessageBox
#undef SetWindowText

namespace quillmark::win32 {

// The window property that marks a CDialog's window and holds the CDialog.
inline constexpr wchar_t kDialogProperty[] = L"Quillmark.CDialog";

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// A window's text (a caption, a control's label) in UTF-8; empty for no window.
std::string WindowText(HWND window);
std::wstring ClassName(HWND window);

}  // namespace quillmark::win32
