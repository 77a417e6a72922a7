#include "framework/win32/DialogResource.h"

#include "framework/win32/Win32.h"

namespace quillmark::win32 {
namespace {

// Predefined window classes, as template ordinals.
constexpr std::uint16_t kButtonClass = 0x0080;
constexpr std::uint16_t kEditClass = 0x0081;
constexpr std::uint16_t kStaticClass = 0x0082;
constexpr std::uint16_t kComboBoxClass = 0x0085;

class Writer {
 public:
  void Word(std::uint16_t word) { words_.push_back(word); }
  void Dword(std::uint32_t dword) {
    Word(static_cast<std::uint16_t>(dword & 0xFFFF));
    Word(static_cast<std::uint16_t>(dword >> 16));
  }
  void Text(std::string_view utf8) {
    for (wchar_t c : Widen(utf8))
      Word(static_cast<std::uint16_t>(c));
    Word(0);
  }
  void Ordinal(std::uint16_t ordinal) {
    Word(0xFFFF);
    Word(ordinal);
  }
  void AlignToDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  std::vector<std::uint16_t> Take() { return std::move(words_); }

 private:
  std::vector<std::uint16_t> words_;
};

DWORD DialogStyle(unsigned style) {
  DWORD result = WS_POPUP | DS_SETFONT;
  if (style & kDlgCaption) result |= WS_CAPTION;
  if (style & kDlgSysMenu) result |= WS_SYSMENU;
  if (style & kDlgModalFrame) result |= DS_MODALFRAME;
  if (style & kDlgSystemModal) result |= DS_SYSMODAL;  // the system makes it topmost
  if (style & kDlgMinimizeBox) result |= WS_MINIMIZEBOX;
  if (style & kDlgMaximizeBox) result |= WS_MAXIMIZEBOX;
  return result;
}

DWORD ControlStyle(const ControlTemplate& control) {
  DWORD result = WS_CHILD | WS_VISIBLE;
  if (control.style & kCtlGroup) result |= WS_GROUP;
  if (control.style & kCtlTabStop) result |= WS_TABSTOP;
  if (control.style & kCtlDisabled) result |= WS_DISABLED;
  if (control.style & kCtlBorder) result |= WS_BORDER;
  if (control.style & kCtlVScroll) result |= WS_VSCROLL;
  switch (control.kind) {
    case ControlKind::PushButton:
      result |= (control.style & kCtlDefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
      break;
    case ControlKind::AutoCheckBox:
      result |= BS_AUTOCHECKBOX;
      if (control.style & kCtlVCenter) result |= BS_VCENTER;
      break;
    case ControlKind::AutoRadioButton:
      result |= BS_AUTORADIOBUTTON;
      break;
    case ControlKind::DropDownList:
      result |= CBS_DROPDOWNLIST;
      break;
    case ControlKind::ProgressBar:
      break;
    case ControlKind::StaticText:
      result |= SS_LEFT;
      break;
    case ControlKind::Icon:
      result |= SS_ICON;
      break;
    case ControlKind::Edit:
      result |= ES_AUTOHSCROLL;
      if (control.style & kCtlNumber) result |= ES_NUMBER;
      break;
  }
  return result;
}

}  // namespace

std::vector<std::uint16_t> BuildDialogResource(const DialogTemplate& dialog) {
  Writer out;
  out.Word(1);       // dlgVer
  out.Word(0xFFFF);  // signature: the extended template
  out.Dword(0);      // helpID
  // A system-modal dialog is a topmost window.
  out.Dword(((dialog.style & kDlgAppWindow) ? WS_EX_APPWINDOW : 0) |
            ((dialog.style & kDlgSystemModal) ? WS_EX_TOPMOST : 0));
  out.Dword(DialogStyle(dialog.style));
  out.Word(static_cast<std::uint16_t>(dialog.controls.size()));
  for (int value : {0, 0, dialog.cx, dialog.cy})
    out.Word(static_cast<std::uint16_t>(value));
  out.Word(0);  // no menu
  out.Word(0);  // the system's dialog class
  out.Text(dialog.caption);
  out.Word(static_cast<std::uint16_t>(dialog.fontPointSize));
  out.Word(FW_NORMAL);
  out.Word(MAKEWORD(FALSE, DEFAULT_CHARSET));  // italic, character set
  out.Text(dialog.fontFace);

  for (const ControlTemplate& control : dialog.controls) {
    out.AlignToDword();
    out.Dword(0);  // helpID
    out.Dword(0);  // extended style
    out.Dword(ControlStyle(control));
    for (int value : {control.x, control.y, control.cx, control.cy})
      out.Word(static_cast<std::uint16_t>(value));
    out.Dword(static_cast<std::uint32_t>(control.id));  // IDC_STATIC stays -1
    switch (control.kind) {
      case ControlKind::PushButton:
      case ControlKind::AutoCheckBox:
      case ControlKind::AutoRadioButton:
        out.Ordinal(kButtonClass);
        break;
      case ControlKind::DropDownList:
        out.Ordinal(kComboBoxClass);
        break;
      case ControlKind::Edit:
        out.Ordinal(kEditClass);
        break;
      case ControlKind::ProgressBar:
        out.Text("msctls_progress32");
        break;
      case ControlKind::StaticText:
      case ControlKind::Icon:
        out.Ordinal(kStaticClass);
        break;
    }
    // An icon control names its icon resource; the dialog manager loads it.
    if (control.kind == ControlKind::Icon) {
      out.Ordinal(static_cast<std::uint16_t>(control.iconId));
    } else {
      out.Text(control.caption);
    }
    out.Word(0);  // no creation data
  }
  return out.Take();
}

}  // namespace quillmark::win32
