// main() of the GUI tests: a QApplication on Qt's offscreen platform and the framework's
// test hook, whose failures (a modal run with nothing queued, an answer that does not
// fit) become test failures.

#include <gtest/gtest.h>

#include <QApplication>

#include "framework/TestHook.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  quillmark::testhook::Enable();
  quillmark::testhook::SetFailureHandler(
      [](const std::string& message) { ADD_FAILURE() << "test hook: " << message; });
  return RUN_ALL_TESTS();
}
