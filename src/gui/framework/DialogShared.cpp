// What a dialog does the same on both backends: the message map's dispatch (a notification
// goes to the first entry of the dialog's map that takes it; the backend's default
// processing follows when no entry took it or when its handler asked for it), OK and
// Cancel, and the data exchange.
#include "framework/Dialog.h"

#include <utility>

namespace quillmark {

bool CDialog::SendNotification(Notification code, int controlId, std::uintptr_t wParam,
                               std::intptr_t lParam) {
  const Message message{code, controlId, wParam, lParam};
  const Dispatched dispatched = Dispatch(message);
  if (dispatched.wantsDefault) DefaultProcessing(message);
  return dispatched.handled;
}

CDialog::Dispatched CDialog::Dispatch(const Message& message) {
  const bool perControl =
      message.code == Notification::Clicked || message.code == Notification::SelChange;
  for (const MessageMapEntry& entry : GetMessageMap()) {
    if (entry.code != message.code) continue;
    if (perControl && entry.controlId != message.controlId) continue;
    // A handler may run nested modal loops whose handlers ask for default processing of
    // their own messages; each message keeps its own request.
    const bool outer = std::exchange(defaultRequested_, false);
    entry.handler(*this, message);
    return {true, std::exchange(defaultRequested_, outer)};
  }
  return {false, true};
}

void CDialog::OnOK() {
  if (!UpdateData(true)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange&) {}

bool CDialog::UpdateData(bool saveAndValidate) {
  CDataExchange dx(*this, saveAndValidate);
  DoDataExchange(dx);
  return true;
}

}  // namespace quillmark
