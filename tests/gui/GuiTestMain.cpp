// main() of the GUI tests: a QApplication on Qt's offscreen platform, and the test hook's
// failures reported as test failures.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "framework/TestHook.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Test discovery runs this program without ctest's environment.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The window reads the port map of an empty folder of its own, never the user's.
  const QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication application(argc, argv);
  quillmark::testhook::Enable();
  quillmark::testhook::SetFailureHandler(
      [](const std::string& message) { ADD_FAILURE() << "test hook: " << message; });
  return RUN_ALL_TESTS();
}
