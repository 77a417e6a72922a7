// The command-line tool's Windows calls: which ports and files are there.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/Platform.h"

namespace quillmark::cli {
namespace {

TEST(PlatformWin32, PortsAndFilesArePresentOnlyWhenThere) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "quillmark-probe-test.bin";
  std::ofstream(file) << "x";
  struct Case {
    std::string path;
    bool exists;
  };
  // No machine has a ninth parallel or serial port; NUL is always there.
  const Case cases[] = {
      {"LPT9", false},
      {"com9", false},
      {"NUL", true},
      {file.string(), true},
      {file.string() + ".missing", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProbeDevice(c.path).exists, c.exists) << c.path;
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace quillmark::cli
