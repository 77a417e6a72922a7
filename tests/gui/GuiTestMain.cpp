// main() of the GUI tests: a QApplication on Qt's offscreen platform, with the test
// hook's failures (a modal run with nothing queued, an answer that does not fit) reported
// as test failures.

#include <gtest/gtest.h>

#include <QApplication>

#include "framework/TestHook.h"

namespace {

// What the offscreen platform says when a popup asks for what it cannot do.
QtMessageHandler qtHandler = nullptr;
void FilterPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith(QLatin1String("This plugin does not support"))) return;
  if (qtHandler != nullptr) qtHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qtHandler = qInstallMessageHandler(FilterPlatformNotes);
  // Test discovery runs this program without ctest's environment.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  quillmark::testhook::Enable();
  quillmark::testhook::SetFailureHandler(
      [](const std::string& message) { ADD_FAILURE() << "test hook: " << message; });
  return RUN_ALL_TESTS();
}
