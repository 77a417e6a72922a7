// The command handlers of the main window: the output commands and the image slots.
// Each runs to completion on the UI thread; the command logic shows its message boxes
// and file dialogs through CommandUiForSend(), owned by this window.

#include "app/QuillmarkDlg.h"
#include "commands/FileCommands.h"
#include "commands/PrinterCommands.h"

namespace quillmark {

void CQuillmarkDlg::OnDownLoad() {
  GuiCommandUi ui = CommandUiForSend();
  quillmark::OnDownLoad(appState, *portApi, ui);
}

void CQuillmarkDlg::OnPrint() {
  GuiCommandUi ui = CommandUiForSend();
  quillmark::OnPrint(appState, *portApi, ui);
}

void CQuillmarkDlg::OnPatch() {
  GuiCommandUi ui = CommandUiForSend();
  quillmark::OnPatch(appState, ui);
}

void CQuillmarkDlg::OnFile() {
  GuiCommandUi ui = CommandUiForSend();
  quillmark::OnFile(appState, ui);
}

void CQuillmarkDlg::OnBitmapCheck(int) {}

}  // namespace quillmark
