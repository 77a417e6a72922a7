#include "framework/WinApp.h"

#include "framework/Dialog.h"

namespace quillmark {
namespace {
CWinApp* currentApp = nullptr;
}  // namespace

CWinApp::CWinApp() {
  currentApp = this;
}

CWinApp::~CWinApp() {
  if (currentApp == this) currentApp = nullptr;
}

void CWinApp::SetCommandLine(int argc, const char* const* argv) {
  m_lpCmdLine.clear();
  for (int i = 1; i < argc; ++i) {
    if (i > 1) m_lpCmdLine += ' ';
    m_lpCmdLine += argv[i];
  }
}

CWinApp* AfxGetApp() noexcept {
  return currentApp;
}

QWidget* AfxGetMainWnd() noexcept {
  return currentApp != nullptr ? currentApp->m_pMainWnd : nullptr;
}

}  // namespace quillmark
