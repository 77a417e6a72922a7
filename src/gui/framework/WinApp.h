#pragma once

// The application object: the command line and the main window of the run.

#include <string>

class QWidget;

namespace quillmark {

class CDialog;

class CWinApp {
 public:
  CWinApp();  // the newest application object is the one AfxGetApp returns
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Start-up; the program ends when it returns false.
  virtual bool InitInstance() { return true; }

  // Sets m_lpCmdLine from the program's arguments: those after the program name, joined
  // by single blanks ("" without any).
  void SetCommandLine(int argc, const char* const* argv);

  std::string m_lpCmdLine;
  CDialog* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp() noexcept;
// The main window of the running application; null when there is none.
QWidget* AfxGetMainWnd() noexcept;

}  // namespace quillmark
