#include "framework/GuiCommandUi.h"

#include <algorithm>
#include <climits>

#include "framework/Dialog.h"
#include "framework/FileDialog.h"

namespace quillmark {
namespace {

int ToInt(std::uint32_t value) {
  return static_cast<int>(std::min<std::uint32_t>(value, INT_MAX));
}

// The message box of `message`: its button set and its icon, as MB_* values.
unsigned MessageBoxType(const MessageText& message) {
  const unsigned buttons = message.buttons == MessageButtons::kRetryCancel ? MB_RETRYCANCEL : MB_OK;
  const unsigned icon =
      message.kind == MessageKind::kWarning ? MB_ICONEXCLAMATION : MB_ICONINFORMATION;
  return buttons | icon;
}

int ShowMessage(CDialog& owner, UserMessage message, const std::string& details = {}) {
  const MessageText box = TextOf(message);
  return owner.MessageBox(std::string(box.text), std::string(box.caption), MessageBoxType(box),
                          details);
}

}  // namespace

void GuiCommandUi::Tell(UserMessage message) {
  ShowMessage(owner_, message);
}

bool GuiCommandUi::RetryAfterFailedSend(const SendReport& report) {
  return ShowMessage(owner_, UserMessage::kCommunicationError, DescribeSendReport(report)) !=
         IDCANCEL;
}

std::optional<FileDialogResult> GuiCommandUi::ChooseFile(const FilePrompt& prompt) {
  const unsigned flags = OFN_HIDEREADONLY | (prompt.askBeforeReplacing ? OFN_OVERWRITEPROMPT : 0);
  CFileDialog dialog(prompt.kind == FileDialogKind::kOpen, prompt.defaultExtension,
                     prompt.initialFileName, flags, prompt.filter, &owner_);
  if (dialog.DoModal() != IDOK) return std::nullopt;
  return FileDialogResult{dialog.GetPathName(), dialog.GetFileName()};
}

void GuiCommandUi::SetProgressRange(std::uint32_t upper) {
  progress_.SetRange32(0, ToInt(upper));
}

void GuiCommandUi::SetProgressPos(std::uint32_t pos) {
  progress_.SetPos(ToInt(pos));
}

}  // namespace quillmark
