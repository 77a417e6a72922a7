#pragma once

// The dialog framework: a dialog built from a template of src/res, its controls found by
// ID, notifications routed through a message map, and modal runs that end in OnOK or
// OnCancel.

#include <QDialog>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/Controls.h"
#include "framework/DialogFont.h"
#include "framework/WinDefs.h"
#include "res/DialogTemplate.h"

class QButtonGroup;

namespace quillmark {

class CDialog;

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
  // The context menu standing in for the system menu; null on Windows.
  QMenu* ContextMenu() const { return menu_.data(); }

 private:
  CDialog& owner_;
  QPointer<QMenu> menu_;
};

// Paints on a dialog from its OnPaint handler.
class CPaintDC {
 public:
  explicit CPaintDC(CDialog* dialog);
  void DrawIcon(int x, int y, const QIcon& icon);

 private:
  QPainter painter_;
};

// The icon resource `id` (src/res) with its 32 x 32 and 16 x 16 images; a null icon when
// there is none.
QIcon LoadIconResource(int id);

// A modal dialog built from a template. Derived dialogs override what they need:
// DoDataExchange to bind controls, OnInitDialog, OnOK, OnCancel, GetMessageMap.
class CDialog : public QDialog {
 public:
  // The template with this ID (src/res); DoModal returns -1 when there is none.
  explicit CDialog(int templateId, QWidget* parent = nullptr);
  explicit CDialog(const DialogTemplate& dialogTemplate, QWidget* parent = nullptr);
  ~CDialog() override;
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
  void SetIcon(const QIcon& icon, bool bigIcon);
  bool IsIconic() const { return isMinimized(); }
  // Inside a message handler: lets the framework do its own processing of the message
  // after the handler returns (Close for SC_CLOSE, for instance).
  void Default() { defaultRequested_ = true; }

  // Sends a notification as a control or the window would; returns whether the message
  // map handled it. Default processing follows as for a real notification.
  bool SendNotification(Notification code, int controlId, std::uintptr_t wParam = 0,
                        std::intptr_t lParam = 0);

  int TemplateId() const;
  const DialogTemplate* Template() const { return template_; }
  const DialogBaseUnits& BaseUnits() const { return units_; }
  // True from the start of the modal run until EndDialog.
  bool IsRunningModal() const { return runningModal_ && !endRequested_; }

  // QDialog's accept and reject (Enter with no default button, Esc, the close box) are
  // commands IDOK and IDCANCEL, routed like a click on control 1 or 2.
  void accept() override;
  void reject() override;

 protected:
  // The dialog's message map, in order; the first entry that matches handles a message.
  // The base has none: control 1 goes to OnOK and control 2 to OnCancel.
  virtual std::span<const MessageMapEntry> GetMessageMap() const;

  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
#ifdef _WIN32
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

 private:
  struct Control {
    const ControlTemplate* source;
    QPointer<QWidget> widget;
  };
  // Runs the message-map handler of `message`; returns {handled, default wanted}.
  struct Dispatched {
    bool handled = false;
    bool wantsDefault = true;
  };
  Dispatched Dispatch(const Message& message);
  void DefaultProcessing(const Message& message);
  void CreateFromTemplate();
  QWidget* CreateControl(const ControlTemplate& control, QWidget* client,
                         QButtonGroup*& radioGroup);
  void FocusFirstTabStop();
  QWidget* ModalOwner() const;

  const DialogTemplate* template_ = nullptr;
  DialogBaseUnits units_;
  std::unique_ptr<QWidget> client_;  // holds the controls; rebuilt by each DoModal
  std::vector<Control> controls_;    // template order
  std::unique_ptr<CMenu> systemMenu_;
  bool defaultRequested_ = false;
  bool runningModal_ = false;
  bool endRequested_ = false;
  bool recentreOnShow_ = false;  // centred before the frame's size was known
  int endResult_ = IDCANCEL;
};

}  // namespace quillmark
