// CDialog over the Win32 dialog manager: the template becomes an in-memory dialog resource
// run by DialogBoxIndirectParamW, the controls are the system's, and the window's messages
// reach the message map through the dialog procedure.

#include "framework/Dialog.h"

#include <algorithm>
#include <functional>
#include <map>
#include <utility>

#include "framework/TestHook.h"
#include "framework/WinApp.h"
#include "framework/win32/DialogResource.h"
#include "framework/win32/MessageBoxes.h"
// Last: its macros would rewrite the framework's names above.
#include "framework/win32/Win32.h"

namespace quillmark {
namespace {

constexpr UINT_PTR kTestActionTimer = 0x5141;
constexpr DWORD kTestActionWaitMs = 2000;

// Test actions waiting for their dialog to be on the screen and active.
struct PendingAction {
  std::function<void(CDialog&)> action;
  DWORD since;
};
std::map<const CDialog*, PendingAction>& PendingActions() {
  static std::map<const CDialog*, PendingAction> pending;
  return pending;
}

void InitCommonControlsOnce() {
  static const bool done = [] {
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                       ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    return InitCommonControlsEx(&classes) != FALSE;
  }();
  (void)done;
}

bool HasClass(HWND window, const wchar_t* name) {
  return window != nullptr &&
         CompareStringOrdinal(win32::ClassName(window).c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

// The dialog procedure: finds the CDialog of the window and hands it the message.
struct DialogProcedure {
  static INT_PTR CALLBACK Run(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
      dialog = reinterpret_cast<CDialog*>(lParam);
      dialog->window_ = window;
      SetPropW(window, win32::kDialogProperty, dialog);
    } else {
      dialog = static_cast<CDialog*>(GetPropW(window, win32::kDialogProperty));
    }
    if (dialog == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
      RemovePropW(window, win32::kDialogProperty);
      dialog->window_ = nullptr;
      return FALSE;
    }
    return dialog->WindowMessage(message, wParam, lParam);
  }
};

void DDX_Control(CDataExchange& dx, int id, CWnd& control) {
  control.Attach(dx.m_pDlgWnd->GetDlgItem(id).GetSafeHwnd());
}

int GetSystemMetrics(int index) {
  return ::GetSystemMetrics(index);
}

Icon LoadIconResource(int id) {
  const auto load = [id](int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                         IMAGE_ICON, size, size, LR_SHARED));
  };
  return {load(::GetSystemMetrics(SM_CXICON)), load(::GetSystemMetrics(SM_CXSMICON))};
}

// ---------------------------------------------------------------------------------------
// System menu: the window's own.

CMenu::CMenu(CDialog& owner) : owner_(owner) {}

CMenu::~CMenu() = default;

bool CMenu::AppendMenu(unsigned flags, unsigned id, const std::string& text) {
  HMENU menu = ::GetSystemMenu(owner_.GetSafeHwnd(), FALSE);
  if (menu == nullptr) return false;
  const std::wstring wide = win32::Widen(text);
  return AppendMenuW(menu, flags, id, (flags & MF_SEPARATOR) ? nullptr : wide.c_str()) != FALSE;
}

// ---------------------------------------------------------------------------------------
// Painting

struct CPaintDC::Paint {
  HWND window = nullptr;
  PAINTSTRUCT paint = {};
  HDC dc = nullptr;
};

CPaintDC::CPaintDC(CDialog* dialog) : paint_(std::make_unique<Paint>()) {
  paint_->window = dialog->GetSafeHwnd();
  paint_->dc = BeginPaint(paint_->window, &paint_->paint);
}

CPaintDC::~CPaintDC() {
  if (paint_->dc != nullptr) EndPaint(paint_->window, &paint_->paint);
}

void CPaintDC::EraseIconBackground() {
  SendMessageW(paint_->window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint_->dc), 0);
}

void CPaintDC::DrawIcon(int x, int y, const Icon& icon) {
  if (paint_->dc != nullptr && icon.largeIcon != nullptr)
    ::DrawIcon(paint_->dc, x, y, icon.largeIcon);
}

// ---------------------------------------------------------------------------------------
// Dialog

CDialog::CDialog(int templateId, CDialog* parent)
    : template_(FindDialogTemplate(templateId)), parent_(parent) {}

CDialog::CDialog(const DialogTemplate& dialogTemplate, CDialog* parent)
    : template_(&dialogTemplate), parent_(parent) {}

CDialog::~CDialog() {
  PendingActions().erase(this);
}

int CDialog::TemplateId() const {
  return template_ ? template_->id : 0;
}

std::span<const MessageMapEntry> CDialog::GetMessageMap() const {
  return {};
}

WindowHandle CDialog::GetSafeHwnd() const {
  return window_;
}

int CDialog::DoModal() {
  if (template_ == nullptr) return -1;
  InitCommonControlsOnce();
  const std::vector<std::uint16_t> resource = win32::BuildDialogResource(*template_);
  HWND owner = parent_ != nullptr ? parent_->GetSafeHwnd() : ModalOwner();
  endRequested_ = false;
  endResult_ = IDCANCEL;
  runningModal_ = true;
  const INT_PTR result = DialogBoxIndirectParamW(
      GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(resource.data()), owner,
      &DialogProcedure::Run, reinterpret_cast<LPARAM>(this));
  runningModal_ = false;
  systemMenu_.reset();
  return static_cast<int>(result);
}

HWND CDialog::ModalOwner() const {
  CDialog* main = AfxGetMainWnd();
  if (main == nullptr || main == this) return nullptr;
  HWND window = main->GetSafeHwnd();
  return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

std::intptr_t CDialog::WindowMessage(unsigned message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const bool focusFirstTabStop = OnInitDialog();
      if (!endRequested_ && testhook::IsEnabled()) testhook::internal::ScheduleDialogAction(*this);
      // TRUE: the dialog manager puts the focus on the first enabled tab stop.
      return focusFirstTabStop ? TRUE : FALSE;
    }
    case WM_COMMAND: {
      const auto control = reinterpret_cast<HWND>(lParam);
      const int id = LOWORD(wParam);
      // BN_CLICKED also stands for Enter (IDOK) and Esc or Close (IDCANCEL), which the dialog
      // manager sends as a click of control 1 or 2, with or without the button.
      if (HIWORD(wParam) == BN_CLICKED && (control == nullptr || HasClass(control, L"Button"))) {
        SendNotification(Notification::Clicked, id);
      } else if (HIWORD(wParam) == CBN_SELCHANGE && HasClass(control, L"ComboBox")) {
        SendNotification(Notification::SelChange, id);
      }
      return TRUE;
    }
    case WM_SYSCOMMAND: {
      // FALSE lets the dialog manager do the system's own processing.
      const Dispatched dispatched = Dispatch(Message{Notification::SysCommand, 0, wParam, lParam});
      return dispatched.wantsDefault ? FALSE : TRUE;
    }
    case WM_PAINT:
      return Dispatch(Message{Notification::Paint}).wantsDefault ? FALSE : TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(dragIcon_);
    case WM_TIMER:
      if (wParam != kTestActionTimer) return FALSE;
      if (auto pending = PendingActions().find(this); pending != PendingActions().end()) {
        // The action works as a user would, on the active window with its focus in place.
        const bool ready = IsWindowVisible(window_) && GetActiveWindow() == window_;
        if (!ready && GetTickCount() - pending->second.since < kTestActionWaitMs) return TRUE;
        const std::function<void(CDialog&)> action = std::move(pending->second.action);
        PendingActions().erase(pending);
        KillTimer(window_, kTestActionTimer);
        if (action) {
          action(*this);
          if (IsRunningModal()) {
            testhook::internal::ReportFailure(testhook::internal::DescribeDialog(*this) +
                                              " still open after its test action; closed as "
                                              "cancelled");
          }
        }
        if (IsRunningModal()) EndDialog(IDCANCEL);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

bool CDialog::OnInitDialog() {
  for (const ControlTemplate& control : template_->controls) {
    if (control.kind != ControlKind::DropDownList) continue;
    CComboBox list(GetDlgItem(control.id).GetSafeHwnd());
    for (std::string_view entry : control.initialEntries)
      list.AddString(std::string(entry));
    list.SetCurSel(-1);  // filled lists start with nothing selected
  }
  UpdateData(false);
  CenterWindow();
  return true;
}

void CDialog::EndDialog(int result) {
  endRequested_ = true;
  endResult_ = result;
  if (window_ != nullptr) ::EndDialog(window_, result);
}

CWnd CDialog::GetDlgItem(int id) const {
  return CWnd(window_ != nullptr ? ::GetDlgItem(window_, id) : nullptr);
}

void CDialog::CheckRadioButton(int firstId, int lastId, int checkId) {
  for (int id = firstId; id <= lastId; ++id)
    CButton(GetDlgItem(id).GetSafeHwnd()).SetCheck(id == checkId ? BST_CHECKED : BST_UNCHECKED);
}

int CDialog::GetCheckedRadioButton(int firstId, int lastId) const {
  for (int id = firstId; id <= lastId; ++id)
    if (CButton(GetDlgItem(id).GetSafeHwnd()).GetCheck() == BST_CHECKED) return id;
  return 0;
}

int CDialog::MessageBox(const std::string& text, const std::string& caption, unsigned type,
                        const std::string& details) {
  return win32::ShowMessageBox(window_, text, caption, type, details);
}

void CDialog::CenterWindow() {
  if (window_ == nullptr) return;
  HWND owner = GetWindow(window_, GW_OWNER);
  MONITORINFO monitor{sizeof(MONITORINFO), {}, {}, 0};
  GetMonitorInfoW(MonitorFromWindow(owner ? owner : window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT desktop = monitor.rcWork;
  RECT area = desktop;
  if (owner != nullptr && IsWindowVisible(owner) && !::IsIconic(owner)) GetWindowRect(owner, &area);
  RECT frame;
  GetWindowRect(window_, &frame);
  const LONG width = frame.right - frame.left;
  const LONG height = frame.bottom - frame.top;
  // Keep the title bar on the screen when the owner sits near an edge.
  const LONG left =
      std::max(desktop.left, std::min((area.left + area.right - width) / 2, desktop.right - width));
  const LONG top = std::max(
      desktop.top, std::min((area.top + area.bottom - height) / 2, desktop.bottom - height));
  SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CMenu* CDialog::GetSystemMenu(bool revert) {
  if (revert) {
    if (window_ != nullptr) ::GetSystemMenu(window_, TRUE);
    systemMenu_.reset();
    return nullptr;
  }
  if (window_ == nullptr || ::GetSystemMenu(window_, FALSE) == nullptr) return nullptr;
  if (!systemMenu_) systemMenu_ = std::make_unique<CMenu>(*this);
  return systemMenu_.get();
}

void CDialog::SetIcon(const Icon& icon, bool bigIcon) {
  HICON handle = bigIcon ? icon.largeIcon : icon.smallIcon;
  if (bigIcon) dragIcon_ = handle;
  if (window_ != nullptr)
    SendMessageW(window_, WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(handle));
}

bool CDialog::IsIconic() const {
  return window_ != nullptr && ::IsIconic(window_);
}

void CDialog::GetClientRect(CRect* rect) const {
  RECT client{};
  if (window_ != nullptr) ::GetClientRect(window_, &client);
  *rect = {client.left, client.top, client.right, client.bottom};
}

void CDialog::DefaultProcessing(const Message& message) {
  switch (message.code) {
    case Notification::Clicked:
      if (message.controlId == IDOK) OnOK();
      if (message.controlId == IDCANCEL) OnCancel();
      break;
    case Notification::SysCommand:
      // The system's processing (Close, Move...), as the dialog manager would do it.
      if (window_ != nullptr)
        DefWindowProcW(window_, WM_SYSCOMMAND, message.wParam, message.lParam);
      break;
    case Notification::SelChange:
    case Notification::Paint:
      break;
  }
}

// ---------------------------------------------------------------------------------------
// Test hook

void testhook::internal::ScheduleDialogAction(CDialog& dialog) {
  PendingActions()[&dialog] = {TakeDialogAction(dialog), GetTickCount()};
  SetTimer(dialog.GetSafeHwnd(), kTestActionTimer, 10, nullptr);
}

}  // namespace quillmark
