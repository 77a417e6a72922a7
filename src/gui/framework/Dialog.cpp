#include "framework/Dialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "framework/MessageBox.h"
#include "framework/TestHook.h"
#include "framework/WinApp.h"
#include "res/Icons.h"

#ifdef _WIN32
#include "framework/Win32SystemMenu.h"
#endif

namespace quillmark {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Creates a Qt object whose lifetime its parent (the last constructor argument) manages.
template <class T, class... Args>
T* MakeChild(Args&&... args) {
  return std::make_unique<T>(std::forward<Args>(args)...).release();
}

constexpr int kIconSize = 32;

// Check boxes and radio buttons answer a click anywhere in their rectangle, not only on
// the box and the text, as the template's rectangle promises.
class CheckBoxControl : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

class RadioButtonControl : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

}  // namespace

void DDX_Control(CDataExchange& dx, int id, CWnd& control) {
  control.Attach(dx.m_pDlgWnd->GetDlgItem(id).GetSafeHwnd());
}

int GetSystemMetrics(int index) {
  return index == SM_CXICON || index == SM_CYICON ? kIconSize : 0;
}

Icon LoadIconResource(int id) {
  const IconResource* resource = FindIconResource(id);
  if (resource == nullptr) return {};
  QIcon icon;
  for (auto image : {resource->large, resource->small}) {
    if (!image.empty()) icon.addPixmap(QPixmap(image.data()));
  }
  return icon;
}

// ---------------------------------------------------------------------------------------
// System menu

CMenu::CMenu(CDialog& owner) : owner_(owner) {
#ifndef _WIN32
  menu_ = MakeChild<QMenu>(&owner);
  QAction* close = menu_->addAction(QStringLiteral("&Close"));
  QObject::connect(close, &QAction::triggered, &owner,
                   [&owner] { owner.SendNotification(Notification::SysCommand, 0, SC_CLOSE); });
#endif
}

CMenu::~CMenu() {
  // The menu belongs to the dialog as a Qt child; a reverted menu goes at once.
  if (menu_) std::unique_ptr<QMenu>(menu_.data()).reset();
}

bool CMenu::AppendMenu(unsigned flags, unsigned id, const std::string& text) {
#ifdef _WIN32
  const auto window = static_cast<std::uintptr_t>(owner_.winId());
  if (flags & MF_SEPARATOR) return win32::AppendSystemMenuSeparator(window);
  return win32::AppendSystemMenuItem(window, id, QString::fromStdString(text).toStdWString());
#else
  if (!menu_) return false;
  if (flags & MF_SEPARATOR) {
    menu_->addSeparator();
    return true;
  }
  QAction* action = menu_->addAction(ToQt(text));
  CDialog* owner = &owner_;
  QObject::connect(action, &QAction::triggered, owner,
                   [owner, id] { owner->SendNotification(Notification::SysCommand, 0, id); });
  return true;
#endif
}

// ---------------------------------------------------------------------------------------
// Painting

CPaintDC::CPaintDC(CDialog* dialog) : painter_(dialog) {}

CPaintDC::~CPaintDC() = default;

void CPaintDC::EraseIconBackground() {
  auto* window = static_cast<QWidget*>(painter_.device());
  painter_.fillRect(window->rect(), window->palette().window());
}

void CPaintDC::DrawIcon(int x, int y, const Icon& icon) {
  painter_.drawPixmap(x, y, icon.pixmap(kIconSize, kIconSize));
}

// ---------------------------------------------------------------------------------------
// Dialog

CDialog::CDialog(int templateId, CDialog* parent)
    : QDialog(parent), template_(FindDialogTemplate(templateId)) {}

CDialog::CDialog(const DialogTemplate& dialogTemplate, CDialog* parent)
    : QDialog(parent), template_(&dialogTemplate) {}

CDialog::~CDialog() = default;

int CDialog::TemplateId() const {
  return template_ ? template_->id : 0;
}

std::span<const MessageMapEntry> CDialog::GetMessageMap() const {
  return {};
}

int CDialog::DoModal() {
  if (template_ == nullptr) return -1;
  CreateFromTemplate();

  // Owned by the main window while running, so that it stays above it and is centred
  // over it; given back afterwards, since this object may outlive the run.
  QWidget* const owner = parentWidget() == nullptr ? ModalOwner() : nullptr;
  if (owner != nullptr) setParent(owner, windowFlags());

  endRequested_ = false;
  endResult_ = IDCANCEL;
  runningModal_ = true;
  if (OnInitDialog()) FocusFirstTabStop();
  int result = endResult_;
  if (!endRequested_) {
    if (testhook::IsEnabled()) testhook::internal::ScheduleDialogAction(*this);
    result = exec();
  }
  runningModal_ = false;
  if (owner != nullptr) setParent(nullptr, windowFlags());
  return result;
}

QWidget* CDialog::ModalOwner() const {
  QWidget* main = AfxGetMainWnd();
  return main != nullptr && main != this && main->isVisible() ? main : nullptr;
}

void CDialog::CreateFromTemplate() {
  controls_.clear();
  client_.reset();
  const DialogTemplate& source = *template_;

  setWindowTitle(ToQt(source.caption));
  const QFont font = DialogFont(source.fontFace, source.fontPointSize);
  setFont(font);
  units_ = BaseUnitsOf(font);
  const QSize size(MapDialogX(units_, source.cx), MapDialogY(units_, source.cy));
  setFixedSize(size);

  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
  if (source.style & kDlgCaption) flags |= Qt::WindowTitleHint;
  if (source.style & kDlgSysMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (source.style & kDlgMinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  if (source.style & kDlgMaximizeBox) flags |= Qt::WindowMaximizeButtonHint;
  if (source.style & kDlgSystemModal) flags |= Qt::WindowStaysOnTopHint;
  setWindowFlags(flags);

  client_ = std::make_unique<QWidget>(this);
  client_->setGeometry(QRect(QPoint(0, 0), size));
  QButtonGroup* radioGroup = nullptr;
  controls_.reserve(source.controls.size());
  for (const ControlTemplate& control : source.controls)
    controls_.push_back({&control, CreateControl(control, client_.get(), radioGroup)});
  client_->show();
}

QWidget* CDialog::CreateControl(const ControlTemplate& control, QWidget* client,
                                QButtonGroup*& radioGroup) {
  const int id = control.id;
  const QString caption = ToQt(control.caption);
  QRect rect = MapDialogRect(units_, control.x, control.y, control.cx, control.cy);
  // A group runs from a control that starts one to the next that does; automatic radio
  // buttons are exclusive within their group.
  if (control.style & kCtlGroup) radioGroup = nullptr;
  bool focusable = true;
  QWidget* widget = nullptr;

  switch (control.kind) {
    case ControlKind::PushButton: {
      auto* button = MakeChild<QPushButton>(caption, client);
      button->setAutoDefault(true);
      button->setDefault((control.style & kCtlDefaultButton) != 0);
      connect(button, &QAbstractButton::clicked, this,
              [this, id] { SendNotification(Notification::Clicked, id); });
      widget = button;
      break;
    }
    case ControlKind::AutoCheckBox: {
      auto* box = MakeChild<CheckBoxControl>(caption, client);
      connect(box, &QAbstractButton::clicked, this,
              [this, id] { SendNotification(Notification::Clicked, id); });
      widget = box;
      break;
    }
    case ControlKind::AutoRadioButton: {
      auto* radio = MakeChild<RadioButtonControl>(caption, client);
      if (radioGroup == nullptr) radioGroup = MakeChild<QButtonGroup>(client);
      radioGroup->addButton(radio);
      connect(radio, &QAbstractButton::clicked, this,
              [this, id] { SendNotification(Notification::Clicked, id); });
      widget = radio;
      break;
    }
    case ControlKind::DropDownList: {
      auto* combo = MakeChild<QComboBox>(client);
      combo->setEditable(false);
      // `activated` comes from the user only; a selection made by the program is silent.
      connect(combo, &QComboBox::activated, this,
              [this, id] { SendNotification(Notification::SelChange, id); });
      // The template's height includes the open list: the closed box takes the height
      // the style wants, the rest decides how many entries the open list shows.
      const int closed = std::min(rect.height(), combo->sizeHint().height());
      const int itemHeight = std::max(1, static_cast<int>(units_.cy));
      combo->setMaxVisibleItems(std::max(1, (rect.height() - closed) / itemHeight));
      rect.setHeight(closed);
      widget = combo;
      break;
    }
    case ControlKind::ProgressBar:
      // The style frames every progress bar, which stands for the border.
      widget = MakeChild<ProgressBarControl>(client);
      focusable = false;
      break;
    case ControlKind::StaticText: {
      auto* label = MakeChild<QLabel>(caption, client);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      if (control.style & kCtlBorder) label->setFrameStyle(QFrame::Box | QFrame::Plain);
      widget = label;
      focusable = false;
      break;
    }
    case ControlKind::Edit: {
      auto* edit = MakeChild<QLineEdit>(client);
      if (control.style & kCtlNumber)
        edit->setValidator(MakeChild<QRegularExpressionValidator>(
            QRegularExpression(QStringLiteral("[0-9]*")), edit));
      if ((control.style & kCtlBorder) == 0) edit->setFrame(false);
      widget = edit;
      break;
    }
    case ControlKind::Icon: {
      auto* label = MakeChild<QLabel>(client);
      label->setPixmap(LoadIconResource(control.iconId).pixmap(kIconSize, kIconSize));
      rect.setSize(QSize(kIconSize, kIconSize));  // an icon control takes the icon's size
      widget = label;
      focusable = false;
      break;
    }
  }

  widget->setGeometry(rect);
  widget->setProperty(kControlIdProperty, id);
  widget->setObjectName(QStringLiteral("control%1").arg(id));
  widget->setEnabled((control.style & kCtlDisabled) == 0);
  // Tab reaches tab-stop controls only; the others take the focus from a click (and, in
  // a radio group, from the arrow keys). Creation order is template order, which Qt keeps
  // as the focus chain.
  if (!focusable) {
    widget->setFocusPolicy(Qt::NoFocus);
  } else {
    widget->setFocusPolicy((control.style & kCtlTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
  }
  return widget;
}

bool CDialog::OnInitDialog() {
  for (const Control& control : controls_) {
    auto* combo = qobject_cast<QComboBox*>(control.widget);
    if (combo == nullptr) continue;
    for (std::string_view entry : control.source->initialEntries)
      combo->addItem(ToQt(entry));
    combo->setCurrentIndex(-1);  // filled lists start with nothing selected
  }
  UpdateData(false);
  CenterWindow();
  return true;
}

void CDialog::FocusFirstTabStop() {
  for (const Control& control : controls_) {
    if (control.widget && (control.source->style & kCtlTabStop) && control.widget->isEnabled()) {
      control.widget->setFocus(Qt::OtherFocusReason);
      return;
    }
  }
}

void CDialog::EndDialog(int result) {
  endRequested_ = true;
  endResult_ = result;
  if (isVisible()) done(result);
}

void CDialog::accept() {
  SendNotification(Notification::Clicked, IDOK);
}

void CDialog::reject() {
  SendNotification(Notification::Clicked, IDCANCEL);
}

CWnd CDialog::GetDlgItem(int id) const {
  for (const Control& control : controls_)
    if (control.source->id == id) return CWnd(control.widget.data());
  return CWnd();
}

void CDialog::CheckRadioButton(int firstId, int lastId, int checkId) {
  for (const Control& control : controls_) {
    const int id = control.source->id;
    auto* button = qobject_cast<QAbstractButton*>(control.widget);
    if (id < firstId || id > lastId || button == nullptr || !button->isCheckable()) continue;
    // An exclusive group refuses to clear its checked button; lift that for the change.
    QButtonGroup* group = button->group();
    const bool exclusive = group != nullptr && group->exclusive();
    if (group != nullptr) group->setExclusive(false);
    button->setChecked(id == checkId);
    if (group != nullptr) group->setExclusive(exclusive);
  }
}

int CDialog::GetCheckedRadioButton(int firstId, int lastId) const {
  for (const Control& control : controls_) {
    const int id = control.source->id;
    auto* button = qobject_cast<QAbstractButton*>(control.widget);
    if (id >= firstId && id <= lastId && button != nullptr && button->isChecked()) return id;
  }
  return 0;
}

int CDialog::MessageBox(const std::string& text, const std::string& caption, unsigned type,
                        const std::string& details) {
  return quillmark::MessageBox(this, text, caption, type, details);
}

void CDialog::CenterWindow() {
  QWidget* owner = parentWidget();
  QScreen* screen = owner != nullptr ? owner->screen() : this->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect desktop = screen->availableGeometry();
  const QRect area =
      owner != nullptr && owner->isVisible() ? owner->window()->frameGeometry() : desktop;
  QRect frame(QPoint(0, 0), frameGeometry().size());
  frame.moveCenter(area.center());
  // Keep the title bar on the screen when the owner sits near an edge.
  frame.moveLeft(std::max(desktop.left(), std::min(frame.left(), desktop.right() - frame.width())));
  frame.moveTop(std::max(desktop.top(), std::min(frame.top(), desktop.bottom() - frame.height())));
  move(frame.topLeft());
  recentreOnShow_ = !isVisible();
}

void CDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (std::exchange(recentreOnShow_, false)) CenterWindow();
}

CMenu* CDialog::GetSystemMenu(bool revert) {
  if (revert) {
#ifdef _WIN32
    win32::RevertSystemMenu(static_cast<std::uintptr_t>(winId()));
#endif
    systemMenu_.reset();
    return nullptr;
  }
  if (template_ == nullptr || (template_->style & kDlgSysMenu) == 0) return nullptr;
#ifdef _WIN32
  if (!win32::HasSystemMenu(static_cast<std::uintptr_t>(winId()))) return nullptr;
#endif
  if (!systemMenu_) systemMenu_ = std::make_unique<CMenu>(*this);
  return systemMenu_.get();
}

bool CDialog::IsIconic() const {
  return isMinimized();
}

void CDialog::GetClientRect(CRect* rect) const {
  *rect = {0, 0, width(), height()};
}

WindowHandle CDialog::GetSafeHwnd() const {
  return const_cast<CDialog*>(this);
}

void CDialog::SetIcon(const Icon& icon, bool) {
  // One QIcon carries both sizes; the window system picks the one it needs.
  setWindowIcon(icon);
}

void CDialog::DefaultProcessing(const Message& message) {
  switch (message.code) {
    case Notification::Clicked:
      if (message.controlId == IDOK) OnOK();
      if (message.controlId == IDCANCEL) OnCancel();
      break;
    case Notification::SysCommand:
      if ((message.wParam & 0xFFF0) == SC_CLOSE) close();
      break;
    case Notification::SelChange:
    case Notification::Paint:
      break;
  }
}

void CDialog::paintEvent(QPaintEvent* event) {
  const Dispatched dispatched = Dispatch(Message{Notification::Paint});
  if (dispatched.wantsDefault) QDialog::paintEvent(event);
}

void CDialog::contextMenuEvent(QContextMenuEvent* event) {
  if (systemMenu_ && systemMenu_->ContextMenu() != nullptr) {
    systemMenu_->ContextMenu()->popup(event->globalPos());
    event->accept();
    return;
  }
  QDialog::contextMenuEvent(event);
}

#ifdef _WIN32
bool CDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  unsigned id = 0;
  long param = 0;
  if (eventType == "windows_generic_MSG" && win32::ReadSysCommand(message, &id, &param)) {
    const Dispatched dispatched = Dispatch(Message{Notification::SysCommand, 0, id, param});
    if (!dispatched.wantsDefault) {
      *result = 0;
      return true;
    }
  }
  return QDialog::nativeEvent(eventType, message, result);
}
#endif

// ---------------------------------------------------------------------------------------
// Test hook

void testhook::internal::ScheduleDialogAction(CDialog& dialog) {
  std::function<void(CDialog&)> action = TakeDialogAction(dialog);
  QPointer<CDialog> guard(&dialog);
  QTimer::singleShot(0, &dialog, [guard, action = std::move(action)] {
    if (!guard) return;
    // The action works as a user would, on the active window with its focus in place.
    guard->activateWindow();
    QElapsedTimer waited;
    waited.start();
    while (guard && !guard->isActiveWindow() && waited.elapsed() < 2000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!guard) return;
    if (action) {
      action(*guard);
      if (guard && guard->IsRunningModal()) {
        ReportFailure(DescribeDialog(*guard) +
                      " still open after its test action; closed as cancelled");
      }
    }
    if (guard && guard->IsRunningModal()) guard->EndDialog(IDCANCEL);
  });
}

}  // namespace quillmark
