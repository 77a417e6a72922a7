#include <QApplication>
#include <cstdio>

#include "framework/Dialog.h"
#include "mainwindow/CommandLineAnswer.h"
#include "mainwindow/QuillmarkApp.h"
#include "res/Resource.h"

namespace {
quillmark::CQuillmarkApp theApp;
}  // namespace

int main(int argc, char** argv) {
  // The command line as the user typed it, before Qt takes its own options out of argv.
  theApp.SetCommandLine(argc, argv);
  if (const auto answer = quillmark::CommandLineAnswer(theApp.m_lpCmdLine)) {
    std::fputs(answer->c_str(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillmark"));
  QApplication::setWindowIcon(quillmark::LoadIconResource(quillmark::IDR_MAINFRAME));
  // Dialogs open and close one after another before the main window shows (Target
  // Printer first); none of them ends the program. It ends when InitInstance returns
  // false, once the main window has closed.
  QApplication::setQuitOnLastWindowClosed(false);
  theApp.InitInstance();
  return 0;
}
