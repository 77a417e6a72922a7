#pragma once

// The command logic's user interface, given real widgets: message boxes and file dialogs
// owned by a dialog, and one of its progress bars.

#include "commands/CommandUi.h"
#include "framework/Controls.h"

namespace quillmark {

class CDialog;

class GuiCommandUi final : public CommandUi {
 public:
  // `owner` owns the boxes and file dialogs; `progress` is the bar SetProgressRange and
  // SetProgressPos drive. Both must outlive this object.
  GuiCommandUi(CDialog& owner, CProgressCtrl progress) : owner_(owner), progress_(progress) {}

  // The message's box: its text and caption, an information or exclamation icon, OK.
  void Tell(UserMessage message) override;
  // "Communication Error" with Retry and Cancel, the report in words as the details.
  bool RetryAfterFailedSend(const SendReport& report) override;
  // The Open or Save As dialog, asking before a file is replaced when the prompt says so.
  std::optional<FileDialogResult> ChooseFile(const FilePrompt& prompt) override;
  // The bar's range, 0 to `upper` (at most INT_MAX); the position is kept within it, and
  // a position beyond the range fills the bar. Each call repaints the bar before it returns, so a
  // send that holds the UI thread still shows its progress.
  void SetProgressRange(std::uint32_t upper) override;
  void SetProgressPos(std::uint32_t pos) override;

 private:
  CDialog& owner_;
  CProgressCtrl progress_;
};

}  // namespace quillmark
