// The Windows program's entry, on the framework's Win32 backend: the application object
// gets the command line exactly as Windows keeps it, then runs the main window.

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
  // The program ends when InitInstance returns false, once the main window has closed.
  theApp.InitInstance();
  return 0;
}
