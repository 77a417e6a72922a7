#include "mainwindow/QuillmarkApp.h"

#include "mainwindow/QuillmarkDlg.h"

namespace quillmark {

bool CQuillmarkApp::InitInstance() {
  CQuillmarkDlg dialog;
  m_pMainWnd = &dialog;
  dialog.appState.patchEnabled = m_lpCmdLine == kServiceAccessCode ? 1 : 0;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return false;
}

}  // namespace quillmark
