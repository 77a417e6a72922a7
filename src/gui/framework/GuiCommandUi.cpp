#include "framework/GuiCommandUi.h"

#include <algorithm>
#include <climits>

#include "commands/PrinterCommands.h"
#include "framework/Dialog.h"
#include "framework/FileDialog.h"

namespace quillmark {
namespace {
int ToInt(std::uint32_t value) {
  return static_cast<int>(std::min<std::uint32_t>(value, INT_MAX));
}
}  // namespace

int GuiCommandUi::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
  return owner_.MessageBox(text, caption, type);
}

bool GuiCommandUi::RetryAfterFailedSend(const SendReport& report) {
  return owner_.MessageBox(kCommunicationErrorText, kWarningCaption, kCommunicationErrorType,
                           DescribeSendReport(report)) != IDCANCEL;
}

std::optional<FileDialogResult> GuiCommandUi::ChooseFile(const FileDialogRequest& request) {
  CFileDialog dialog(request, &owner_);
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
