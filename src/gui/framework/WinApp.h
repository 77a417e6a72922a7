#pragma once

// The application object: the command line and the main window of the run.

#include <string>
#include <string_view>

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
  // Sets m_lpCmdLine from the whole command line as Windows keeps it (GetCommandLineW, in
  // UTF-8), untouched but for the program name and the blanks after it: a name in double
  // quotes ends at the next quote, any other at the first blank; every character up to
  // the space counts as a blank.
  void SetCommandLine(std::string_view commandLine);

  std::string m_lpCmdLine;
  CDialog* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp() noexcept;
// The main window of the running application; null when there is none.
CDialog* AfxGetMainWnd() noexcept;

}  // namespace quillmark
