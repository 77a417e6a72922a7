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
  // Whatever Qt or the window keeps for a user (Qt's settings and the file dialogs' history,
  // the port map) is in an empty folder of the tests' own, never in the user's home.
  const QTemporaryDir home;
  qputenv("HOME", home.path().toLocal8Bit());
  qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
  for (const char* folder :
       {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
    qputenv(folder, (home.path() + "/" + folder).toLocal8Bit());
  QApplication application(argc, argv);
  quillmark::testhook::Enable();
  quillmark::testhook::SetFailureHandler(
      [](const std::string& message) { ADD_FAILURE() << "test hook: " << message; });
  return RUN_ALL_TESTS();
}
