// The Windows program's entry, on the framework's Win32 backend: the application object
// gets the command line exactly as Windows keeps it, then runs the main window.

#include "mainwindow/CommandLineAnswer.h"
#include "mainwindow/QuillmarkApp.h"
// Last: its macros would rewrite the framework's names above.
#include "framework/win32/Win32.h"

namespace {
quillmark::CQuillmarkApp theApp;
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The raw string, not one rebuilt from parsed arguments: the access code is compared
  // with what follows the program name byte for byte, quotes and trailing blanks included.
  theApp.SetCommandLine(quillmark::win32::Narrow(GetCommandLineW()));
  // --help and --version as the whole command line (which the access code never is) go to
  // standard output, or to the console the program was started from.
  if (const auto answer = quillmark::CommandLineAnswer(theApp.m_lpCmdLine)) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
      out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    const bool ok = WriteFile(out, answer->data(), static_cast<DWORD>(answer->size()), &written,
                              nullptr) != 0 &&
                    written == answer->size();
    return ok ? 0 : 1;
  }
  // The program ends when InitInstance returns false, once the main window has closed.
  theApp.InitInstance();
  return 0;
}
