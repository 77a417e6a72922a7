#include <QApplication>

#include "app/QuillmarkApp.h"
#include "framework/Dialog.h"
#include "res/Resource.h"

namespace {
quillmark::CQuillmarkApp theApp;
}  // namespace

int main(int argc, char** argv) {
  // The command line as the user typed it, before Qt takes its own options out of argv.
  theApp.SetCommandLine(argc, argv);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillmark"));
  QApplication::setWindowIcon(quillmark::LoadIconResource(quillmark::IDR_MAINFRAME));
  // The program ends when its main window closes; InitInstance returns false then.
  theApp.InitInstance();
  return 0;
}
