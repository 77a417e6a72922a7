// The command handlers of the main window: the output commands and the image slots.
// Each runs to completion on the UI thread; CommandUiForSend() gives the command logic
// its message boxes, file dialogs and the send-progress bar.

#include "app/QuillmarkDlg.h"

namespace quillmark {

void CQuillmarkDlg::OnDownLoad() {}

void CQuillmarkDlg::OnPrint() {}

void CQuillmarkDlg::OnPatch() {}

void CQuillmarkDlg::OnFile() {}

void CQuillmarkDlg::OnBitmapCheck(int) {}

}  // namespace quillmark
