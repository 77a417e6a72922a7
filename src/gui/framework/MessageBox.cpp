#include "framework/MessageBox.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "framework/Dialog.h"
#include "framework/TestHook.h"
#include "framework/WinApp.h"

namespace quillmark {
namespace {

struct ButtonChoice {
  int id;
  QMessageBox::StandardButton button;
};

std::vector<ButtonChoice> ButtonChoices(unsigned type) {
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
int EscapeAnswer(const std::vector<ButtonChoice>& choices) {
  for (const auto& choice : choices)
    if (choice.id == IDCANCEL) return IDCANCEL;
  return choices.size() == 1 ? choices.front().id : IDNO;
}

}  // namespace

int MessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned type,
               const std::string& details) {
  if (owner == nullptr) owner = AfxGetMainWnd();
  QMessageBox box(owner);
  box.setWindowTitle(caption.empty() ? QStringLiteral("Error") : QString::fromStdString(caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(text));
  box.setIcon(IconOf(type));
  if (!details.empty()) box.setDetailedText(QString::fromStdString(details));

  const std::vector<ButtonChoice> choices = ButtonChoices(type);
  std::vector<QPushButton*> buttons;
  for (const auto& choice : choices)
    buttons.push_back(box.addButton(choice.button));
  const std::size_t defaultIndex =
      std::min<std::size_t>((type & MB_DEFMASK) >> 8, choices.size() - 1);
  box.setDefaultButton(buttons[defaultIndex]);

  if (testhook::IsEnabled()) {
    testhook::ShownMessageBox shown;
    shown.text = box.text().toStdString();
    shown.caption = box.windowTitle().toStdString();
    shown.type = type;
    shown.icon = IconTypeOf(box.icon());
    shown.details = box.detailedText().toStdString();
    // Read back from the box itself: what the user would see.
    for (QAbstractButton* shownButton : box.buttons()) {
      for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i] == shownButton) shown.buttons.push_back(choices[i].id);
    }
    for (std::size_t i = 0; i < buttons.size(); ++i)
      if (box.defaultButton() == buttons[i]) shown.defaultButton = choices[i].id;
    shown.ownerCaption = owner != nullptr ? owner->windowTitle().toStdString() : std::string();
    const std::optional<int> answer = testhook::internal::NextMessageBoxAnswer(shown);
    if (!answer) return EscapeAnswer(choices);
    const auto choice = std::find_if(choices.begin(), choices.end(),
                                     [&](const ButtonChoice& s) { return s.id == *answer; });
    if (choice == choices.end()) {
      testhook::internal::ReportFailure("the queued answer " + std::to_string(*answer) +
                                        " is not a button of the message box \"" + shown.text +
                                        "\"");
      return EscapeAnswer(choices);
    }
    // Press the button on the real box once its modal loop runs.
    QPushButton* button = buttons[static_cast<std::size_t>(choice - choices.begin())];
    QTimer::singleShot(0, button, [button] { button->click(); });
  }

  box.exec();
  for (std::size_t i = 0; i < buttons.size(); ++i)
    if (box.clickedButton() == buttons[i]) return choices[i].id;
  return EscapeAnswer(choices);
}

}  // namespace quillmark
