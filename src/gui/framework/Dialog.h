#pragma once

// The dialog framework: a dialog built from a template of src/gui/res, its controls found by
// ID, notifications routed through a message map, and modal runs that end in OnOK or
// OnCancel. The same interface sits on Qt Widgets or, with QUILLMARK_FRAMEWORK_WIN32, on
// the Win32 dialog manager (framework/win32/): the dialogs and the main window are written
// once against it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/Controls.h"
#include "framework/WinDefs.h"
#include "res/DialogTemplate.h"

#ifdef QUILLMARK_FRAMEWORK_WIN32
struct HDC__;
struct HICON__;
#else
#include <QDialog>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPointer>

#include "framework/DialogFont.h"

class QButtonGroup;
#endif

namespace quillmark {

class CDialog;

#ifdef QUILLMARK_FRAMEWORK_WIN32
// An icon resource as the window system uses it: its large (SM_CXICON) and small
// (SM_CXSMICON) image, shared handles that the system frees.
struct Icon {
  HICON__* largeIcon = nullptr;
  HICON__* smallIcon = nullptr;
};
#else
using Icon = QIcon;  // carries both images; the window system picks the one it needs
#endif

// A rectangle in pixels.
struct CRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// What a message-map entry reacts to.
enum class Notification {
  Clicked,     // a button was clicked or pressed from the keyboard (BN_CLICKED)
  SelChange,   // the user picked an entry of a drop-down list (CBN_SELCHANGE); a selection
               // made by the program sends nothing
  SysCommand,  // a command of the system menu (WM_SYSCOMMAND); wParam is its ID
  Paint,       // the window needs painting (WM_PAINT)
};

struct Message {
  Notification code;
  int controlId = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

using MessageHandler = void (*)(CDialog& dialog, const Message& message);

struct MessageMapEntry {
  Notification code;
  int controlId;  // 0 for window messages (SysCommand, Paint)
  MessageHandler handler;
};

namespace detail {
template <class Method>
struct ClassOf;
template <class Class, class Result, class... Args>
struct ClassOf<Result (Class::*)(Args...)> {
  using type = Class;
};
}  // namespace detail

// A message handler calling a member function of the dialog: `void OnX()` for control
// notifications and painting, `void OnSysCommand(unsigned id, long param)` for system
// commands.
template <auto Method>
void Handle(CDialog& dialog, const Message& message) {
  using Dialog = typename detail::ClassOf<decltype(Method)>::type;
  auto& self = static_cast<Dialog&>(dialog);
  if constexpr (std::is_invocable_v<decltype(Method), Dialog&>) {
    (self.*Method)();
  } else {
    (self.*Method)(static_cast<unsigned>(message.wParam), static_cast<long>(message.lParam));
  }
}

// A message handler for one of a run of controls: calls `void OnX(int n)` with the
// control ID minus Base, so controls Base + 1, Base + 2... give 1, 2...
template <auto Method, int Base>
void HandleOffset(CDialog& dialog, const Message& message) {
  using Dialog = typename detail::ClassOf<decltype(Method)>::type;
  (static_cast<Dialog&>(dialog).*Method)(message.controlId - Base);
}

// The direction of a data exchange, handed to DoDataExchange.
class CDataExchange {
 public:
  CDataExchange(CDialog& dialog, bool saveAndValidate)
      : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(&dialog) {}
  bool m_bSaveAndValidate;
  CDialog* m_pDlgWnd;
};

// Attaches `control` to the dialog's control `id`; the handle drives it from then on.
void DDX_Control(CDataExchange& dx, int id, CWnd& control);

// Menu flags and system commands.
inline constexpr unsigned MF_STRING = 0x0000;
inline constexpr unsigned MF_SEPARATOR = 0x0800;
inline constexpr unsigned SC_CLOSE = 0xF060;

// Icon metrics.
inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
int GetSystemMetrics(int index);

// The system menu of a dialog. On Windows it is the window's real system menu; elsewhere
// the dialog's context menu (right mouse button), which starts with "&Close".
class CMenu {
 public:
  explicit CMenu(CDialog& owner);
  ~CMenu();
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  // MF_SEPARATOR, or MF_STRING with a command ID and text ('&' marks the mnemonic).
  bool AppendMenu(unsigned flags, unsigned id = 0, const std::string& text = {});
#ifndef QUILLMARK_FRAMEWORK_WIN32
  // The context menu standing in for the system menu; null on Windows.
  QMenu* ContextMenu() const {
    return menu_.data();
  }
#endif

 private:
  CDialog& owner_;
#ifndef QUILLMARK_FRAMEWORK_WIN32
  QPointer<QMenu> menu_;
#endif
};

// Paints on a dialog from its OnPaint handler.
class CPaintDC {
 public:
  explicit CPaintDC(CDialog* dialog);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;
  // Erases the background under a minimised window's icon (WM_ICONERASEBKGND).
  void EraseIconBackground();
  void DrawIcon(int x, int y, const Icon& icon);

 private:
#ifdef QUILLMARK_FRAMEWORK_WIN32
  struct Paint;
  std::unique_ptr<Paint> paint_;
#else
  QPainter painter_;
#endif
};

// The icon resource `id` (src/gui/res) with its 32 x 32 and 16 x 16 images; a null icon when
// there is none.
Icon LoadIconResource(int id);

// A modal dialog built from a template. Derived dialogs override what they need:
// DoDataExchange to bind controls, OnInitDialog, OnOK, OnCancel, GetMessageMap.
#ifdef QUILLMARK_FRAMEWORK_WIN32
class CDialog {
#else
class CDialog : public QDialog {
#endif
 public:
  // The template with this ID (src/gui/res); DoModal returns -1 when there is none.
  explicit CDialog(int templateId, CDialog* parent = nullptr);
  explicit CDialog(const DialogTemplate& dialogTemplate, CDialog* parent = nullptr);
#ifdef QUILLMARK_FRAMEWORK_WIN32
  virtual ~CDialog();
#else
  ~CDialog() override;
#endif
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Creates the window and its controls, calls OnInitDialog, shows the dialog and runs
  // until OnOK or OnCancel ends it; every other window is blocked meanwhile. Returns the
  // result given to EndDialog: IDOK or IDCANCEL. A dialog without a parent is owned by
  // the application's main window while it runs, when that window is on the screen.
  virtual int DoModal();
  // Fills the drop-down lists with the template's entries, calls DoDataExchange through
  // UpdateData(false) and centres the dialog. Returning true puts the focus on the first
  // enabled tab-stop control.
  virtual bool OnInitDialog();
  // OK (control 1 or Enter on the default button): UpdateData(true), then EndDialog(IDOK).
  virtual void OnOK();
  // Cancel (control 2, Esc or the close box): EndDialog(IDCANCEL).
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange& dx);
  bool UpdateData(bool saveAndValidate = true);
  void EndDialog(int result);

  // Control `id`; an empty handle when there is none.
  CWnd GetDlgItem(int id) const;
  // Checks radio button `checkId` and clears the others from firstId to lastId; a checkId
  // outside the range clears them all.
  void CheckRadioButton(int firstId, int lastId, int checkId);
  // The first checked radio button from firstId to lastId, 0 when none is checked.
  int GetCheckedRadioButton(int firstId, int lastId) const;
  // A message box owned by this dialog (framework/MessageBox.h).
  int MessageBox(const std::string& text, const std::string& caption = {}, unsigned type = MB_OK,
                 const std::string& details = {});
  // Centres the dialog over its owner when that is on the screen, else on the screen.
  void CenterWindow();
  // The system menu; null with revert = true, which restores the menu's own entries.
  CMenu* GetSystemMenu(bool revert);
  void SetIcon(const Icon& icon, bool bigIcon);
  bool IsIconic() const;
  void GetClientRect(CRect* rect) const;
  // The dialog's window; null while it is not running.
  WindowHandle GetSafeHwnd() const;
  // Inside a message handler: lets the framework do its own processing of the message
  // after the handler returns (Close for SC_CLOSE, for instance).
  void Default() {
    defaultRequested_ = true;
  }

  // Sends a notification as a control or the window would; returns whether the message
  // map handled it. Default processing follows as for a real notification.
  bool SendNotification(Notification code, int controlId, std::uintptr_t wParam = 0,
                        std::intptr_t lParam = 0);

  int TemplateId() const;
  const DialogTemplate* Template() const {
    return template_;
  }
  // True from the start of the modal run until EndDialog.
  bool IsRunningModal() const {
    return runningModal_ && !endRequested_;
  }

#ifndef QUILLMARK_FRAMEWORK_WIN32
  const DialogBaseUnits& BaseUnits() const {
    return units_;
  }
  // QDialog's accept and reject (Enter with no default button, Esc, the close box) are
  // commands IDOK and IDCANCEL, routed like a click on control 1 or 2.
  void accept() override;
  void reject() override;
#endif

 protected:
  // The dialog's message map, in order; the first entry that matches handles a message.
  // The base has none: control 1 goes to OnOK and control 2 to OnCancel.
  virtual std::span<const MessageMapEntry> GetMessageMap() const;

#ifndef QUILLMARK_FRAMEWORK_WIN32
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
#ifdef _WIN32
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif
#endif

 private:
  // Runs the message-map handler of `message`; returns {handled, default wanted}.
  struct Dispatched {
    bool handled = false;
    bool wantsDefault = true;
  };
  Dispatched Dispatch(const Message& message);
  void DefaultProcessing(const Message& message);

  const DialogTemplate* template_ = nullptr;
  std::unique_ptr<CMenu> systemMenu_;
  bool defaultRequested_ = false;
  bool runningModal_ = false;
  bool endRequested_ = false;
  int endResult_ = IDCANCEL;

#ifdef QUILLMARK_FRAMEWORK_WIN32
  friend struct DialogProcedure;  // framework/win32/Dialog.cpp: the window's messages
  // Handles a message of the dialog's window; the result is the dialog procedure's.
  std::intptr_t WindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
  HWND__* ModalOwner() const;

  CDialog* parent_ = nullptr;
  HWND__* window_ = nullptr;     // from WM_INITDIALOG until the window is destroyed
  HICON__* dragIcon_ = nullptr;  // the large icon, for WM_QUERYDRAGICON
#else
  struct Control {
    const ControlTemplate* source;
    QPointer<QWidget> widget;
  };
  void CreateFromTemplate();
  QWidget* CreateControl(const ControlTemplate& control, QWidget* client,
                         QButtonGroup*& radioGroup);
  void FocusFirstTabStop();
  QWidget* ModalOwner() const;

  DialogBaseUnits units_;
  std::unique_ptr<QWidget> client_;  // holds the controls; rebuilt by each DoModal
  std::vector<Control> controls_;    // template order
  bool recentreOnShow_ = false;      // centred before the frame's size was known
#endif
};

}  // namespace quillmark
