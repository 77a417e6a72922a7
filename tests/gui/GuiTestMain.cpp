// main() of the GUI tests: a QApplication on Qt's offscreen platform and the framework's
// test hook, whose failures (a modal run with nothing queued, an answer that does not
// fit) become test failures.

#include <gtest/gtest.h>

#include <QApplication>

#include "framework/TestHook.h"

namespace {

// The offscreen platform says so whenever a popup (a menu, an open list) asks for what
// it cannot do; these notes are no fault of the code under test.
QtMessageHandler qtHandler = nullptr;

void FilterPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith(QLatin1String("This plugin does not support"))) return;
  if (qtHandler != nullptr) qtHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qtHandler = qInstallMessageHandler(FilterPlatformNotes);
  // ctest sets the offscreen platform for the test runs; listing the tests to discover
  // them runs this program without it, and must not need a display either.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  quillmark::testhook::Enable();
  quillmark::testhook::SetFailureHandler(
      [](const std::string& message) { ADD_FAILURE() << "test hook: " << message; });
  return RUN_ALL_TESTS();
}
