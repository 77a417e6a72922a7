#include "framework/MessageBox.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "framework/TestHook.h"
#include "framework/WinApp.h"

namespace quillmark {
namespace {

struct ButtonSpec {
  int id;
  QMessageBox::StandardButton button;
};

std::vector<ButtonSpec> ButtonSpecs(unsigned type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, QMessageBox::Ok}, {IDCANCEL, QMessageBox::Cancel}};
    case MB_YESNO:
      return {{IDYES, QMessageBox::Yes}, {IDNO, QMessageBox::No}};
    case MB_RETRYCANCEL:
      return {{IDRETRY, QMessageBox::Retry}, {IDCANCEL, QMessageBox::Cancel}};
    default:
      return {{IDOK, QMessageBox::Ok}};
  }
}

QMessageBox::Icon IconOf(unsigned type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

unsigned IconTypeOf(QMessageBox::Icon icon) {
  switch (icon) {
    case QMessageBox::Critical:
      return MB_ICONHAND;
    case QMessageBox::Question:
      return MB_ICONQUESTION;
    case QMessageBox::Warning:
      return MB_ICONEXCLAMATION;
    case QMessageBox::Information:
      return MB_ICONINFORMATION;
    default:
      return 0;
  }
}

// The answer of a box closed without a button: Cancel, else OK in an OK box, else No.
int EscapeAnswer(const std::vector<ButtonSpec>& specs) {
  for (const auto& spec : specs)
    if (spec.id == IDCANCEL) return IDCANCEL;
  return specs.size() == 1 ? specs.front().id : IDNO;
}

}  // namespace

int MessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned type) {
  if (owner == nullptr) owner = AfxGetMainWnd();
  QMessageBox box(owner);
  box.setWindowTitle(caption.empty() ? QStringLiteral("Error") : QString::fromStdString(caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(text));
  box.setIcon(IconOf(type));

  const std::vector<ButtonSpec> specs = ButtonSpecs(type);
  std::vector<QPushButton*> buttons;
  for (const auto& spec : specs)
    buttons.push_back(box.addButton(spec.button));
  const std::size_t defaultIndex =
      std::min<std::size_t>((type & MB_DEFMASK) >> 8, specs.size() - 1);
  box.setDefaultButton(buttons[defaultIndex]);

  if (testhook::IsEnabled()) {
    testhook::ShownMessageBox shown;
    shown.text = box.text().toStdString();
    shown.caption = box.windowTitle().toStdString();
    shown.type = type;
    shown.icon = IconTypeOf(box.icon());
    // Read back from the box itself: what the user would see.
    for (QAbstractButton* shownButton : box.buttons()) {
      for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i] == shownButton) shown.buttons.push_back(specs[i].id);
    }
    for (std::size_t i = 0; i < buttons.size(); ++i)
      if (box.defaultButton() == buttons[i]) shown.defaultButton = specs[i].id;
    shown.ownerCaption = owner != nullptr ? owner->windowTitle().toStdString() : std::string();
    const std::optional<int> answer = testhook::internal::NextMessageBoxAnswer(shown);
    if (!answer) return EscapeAnswer(specs);
    const auto spec = std::find_if(specs.begin(), specs.end(),
                                   [&](const ButtonSpec& s) { return s.id == *answer; });
    if (spec == specs.end()) {
      testhook::internal::ReportFailure("the queued answer " + std::to_string(*answer) +
                                        " is not a button of the message box \"" + shown.text +
                                        "\"");
      return EscapeAnswer(specs);
    }
    // Press the button on the real box once its modal loop runs.
    QPushButton* button = buttons[static_cast<std::size_t>(spec - specs.begin())];
    QTimer::singleShot(0, button, [button] { button->click(); });
  }

  box.exec();
  for (std::size_t i = 0; i < buttons.size(); ++i)
    if (box.clickedButton() == buttons[i]) return specs[i].id;
  return EscapeAnswer(specs);
}

}  // namespace quillmark
