// The control handles over the system's controls: buttons, check boxes and radio buttons,
// combo boxes and progress bars, driven by their messages.

#include "framework/Controls.h"

#include <algorithm>
#include <limits>
#include <string>

// Last: its macros would rewrite the framework's names above.
#include "framework/win32/Win32.h"

namespace quillmark {

WindowHandle CWnd::GetSafeHwnd() const {
  return widget_ != nullptr && IsWindow(widget_) ? widget_ : nullptr;
}

int CWnd::GetDlgCtrlID() const {
  HWND window = GetSafeHwnd();
  return window != nullptr ? ::GetDlgCtrlID(window) : 0;
}

void CWnd::SetWindowText(const std::string& text) {
  if (HWND window = GetSafeHwnd()) SetWindowTextW(window, win32::Widen(text).c_str());
}

std::string CWnd::GetWindowText() const {
  return win32::WindowText(GetSafeHwnd());
}

// One tooltip window per dialog, owned by it and kept as a property of the dialog; each
// control with a tip is a tool of it.
namespace {
constexpr wchar_t kToolTipProperty[] = L"Quillmark.ToolTip";

TTTOOLINFOW ToolOf(HWND control) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = GetParent(control);
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  return tool;
}
}  // namespace

void CWnd::SetToolTipText(const std::string& text) {
  HWND control = GetSafeHwnd();
  if (control == nullptr) return;
  HWND dialog = GetParent(control);
  auto tips = static_cast<HWND>(GetPropW(dialog, kToolTipProperty));
  if (tips == nullptr && !text.empty()) {
    tips = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
    SetPropW(dialog, kToolTipProperty, tips);
  }
  if (tips == nullptr) return;
  TTTOOLINFOW tool = ToolOf(control);
  SendMessageW(tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  std::wstring wide = win32::Widen(text);
  if (wide.empty()) return;
  tool.lpszText = wide.data();
  SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// A tooltip control draws text only; the picture is left out.
void CWnd::SetToolTipText(const std::string& text, const MonoImageView&) {
  SetToolTipText(text);
}

std::string CWnd::GetToolTipText() const {
  HWND control = GetSafeHwnd();
  auto tips = control != nullptr ? static_cast<HWND>(GetPropW(GetParent(control), kToolTipProperty))
                                 : nullptr;
  if (tips == nullptr) return {};
  std::wstring text(4096, L'\0');
  TTTOOLINFOW tool = ToolOf(control);
  tool.lpszText = text.data();
  SendMessageW(tips, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
  return win32::Narrow(text.c_str());
}

bool CWnd::EnableWindow(bool enable) {
  HWND window = GetSafeHwnd();
  return window != nullptr && ::EnableWindow(window, enable ? TRUE : FALSE) != FALSE;
}

bool CWnd::IsWindowEnabled() const {
  HWND window = GetSafeHwnd();
  return window != nullptr && ::IsWindowEnabled(window) != FALSE;
}

namespace {
LRESULT Send(const CWnd& control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  HWND window = control.GetSafeHwnd();
  return window != nullptr ? SendMessageW(window, message, wParam, lParam) : 0;
}
}  // namespace

int CButton::GetCheck() const {
  return static_cast<int>(Send(*this, BM_GETCHECK));
}

void CButton::SetCheck(int check) {
  Send(*this, BM_SETCHECK, static_cast<WPARAM>(check));
}

int CComboBox::GetCurSel() const {
  return GetSafeHwnd() != nullptr ? static_cast<int>(Send(*this, CB_GETCURSEL)) : CB_ERR;
}

int CComboBox::SetCurSel(int index) {
  if (GetSafeHwnd() == nullptr) return CB_ERR;
  return static_cast<int>(Send(*this, CB_SETCURSEL, static_cast<WPARAM>(index)));
}

int CComboBox::AddString(const std::string& text) {
  if (GetSafeHwnd() == nullptr) return CB_ERR;
  const std::wstring wide = win32::Widen(text);
  return static_cast<int>(Send(*this, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

int CComboBox::GetCount() const {
  return static_cast<int>(Send(*this, CB_GETCOUNT));
}

std::string CComboBox::GetLBText(int index) const {
  const LRESULT length = Send(*this, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
  if (GetSafeHwnd() == nullptr || length == CB_ERR) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(Send(*this, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                            reinterpret_cast<LPARAM>(text.data()))));
  return win32::Narrow(text);
}

void CProgressCtrl::SetRange32(int lower, int upper) {
  Send(*this, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

void CProgressCtrl::GetRange(int& lower, int& upper) const {
  PBRANGE range{};
  Send(*this, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  lower = range.iLow;
  upper = range.iHigh;
}

int CProgressCtrl::SetPos(int pos) {
  HWND bar = GetSafeHwnd();
  if (bar == nullptr) return 0;
  int lower = 0, upper = 0;
  GetRange(lower, upper);
  const int old = GetPos();
  pos = std::clamp(pos, lower, std::max(lower, upper));
  // A themed bar eases towards a higher position with timer messages, which a UI thread
  // busy with a send does not handle; a lower position it draws at once. So a step forward
  // goes one past the new position and comes back.
  if (pos > old) {
    if (pos < upper) {
      SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(pos + 1), 0);
    } else if (upper < std::numeric_limits<int>::max()) {
      SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper + 1);
      SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(upper + 1), 0);
      SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(upper), 0);
      SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
    }
  }
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
  UpdateWindow(bar);
  return old;
}

int CProgressCtrl::GetPos() const {
  return static_cast<int>(Send(*this, PBM_GETPOS));
}

}  // namespace quillmark
