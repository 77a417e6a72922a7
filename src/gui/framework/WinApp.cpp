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

void CWinApp::SetCommandLine(std::string_view commandLine) {
  const auto blank = [&](std::size_t i) {
    return static_cast<unsigned char>(commandLine[i]) <= ' ';
  };
  std::size_t start = 0;
  if (!commandLine.empty() && commandLine.front() == '"') {
    const std::size_t quote = commandLine.find('"', 1);
    start = quote == std::string_view::npos ? commandLine.size() : quote + 1;
  } else {
    while (start < commandLine.size() && !blank(start))
      ++start;
  }
  while (start < commandLine.size() && blank(start))
    ++start;
  m_lpCmdLine = commandLine.substr(start);
}

CWinApp* AfxGetApp() noexcept {
  return currentApp;
}

CDialog* AfxGetMainWnd() noexcept {
  return currentApp != nullptr ? currentApp->m_pMainWnd : nullptr;
}

}  // namespace quillmark
