// cmake --install into a temporary prefix puts the tool, its manual page and, with the GUI,
// the program, its desktop entry and its icon where a desktop finds them.
#include <gtest/gtest.h>

#include <filesystem>

#include "CliTestSupport.h"

namespace quillmark::testing {
namespace {

// The size of a PNG from its header, or 0 x 0 when it is none.
std::pair<int, int> PngSize(const std::vector<std::uint8_t>& png) {
  const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 24 || !std::equal(signature, signature + 8, png.begin())) return {0, 0};
  auto u32 = [&png](std::size_t at) {
    return static_cast<int>(png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]);
  };
  return {u32(16), u32(20)};
}

TEST(Install, PutsEveryFileInPlace) {
  TempDir prefix;
  ASSERT_TRUE(prefix.ok());
  const std::string command = std::string("\"") + QUILLMARK_CMAKE_COMMAND + "\" --install \"" +
                              QUILLMARK_BINARY_DIR + "\" --prefix \"" + prefix.File("usr") +
                              "\" > \"" + prefix.File("log") + "\" 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadWholeFile(prefix.File("log"));
  const std::string usr = prefix.File("usr");

  namespace fs = std::filesystem;
  const fs::path cli = usr + "/bin/quillmark-cli";
  ASSERT_TRUE(fs::exists(cli));
  EXPECT_NE(fs::status(cli).permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_EQ(ReadWholeFile(usr + "/share/man/man1/quillmark-cli.1"),
            ReadWholeFile(std::string(QUILLMARK_SOURCE_DIR) + "/docs/quillmark-cli.1"));
  // The installed tool runs.
  const std::string version =
      "\"" + cli.string() + "\" --version > \"" + prefix.File("version") + "\"";
  EXPECT_EQ(std::system(version.c_str()), 0);
  EXPECT_EQ(ReadWholeFile(prefix.File("version")), "quillmark-cli 1.8.0\n");

  if (!QUILLMARK_GUI_BUILT)
    GTEST_SKIP() << "built without the GUI: no program, desktop entry or icon";
  EXPECT_TRUE(fs::exists(usr + "/bin/quillmark"));
  const std::string desktop = ReadWholeFile(usr + "/share/applications/quillmark.desktop");
  for (const char* line : {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Quillmark\n",
                           "\nExec=quillmark\n", "\nIcon=quillmark\n", "\nTerminal=false\n"})
    EXPECT_NE(desktop.find(line), std::string::npos) << line;
  for (const int size : {16, 32}) {
    const std::string icon = usr + "/share/icons/hicolor/" + std::to_string(size) + "x" +
                             std::to_string(size) + "/apps/quillmark.png";
    EXPECT_EQ(PngSize(ReadBytes(icon)), std::make_pair(size, size)) << icon;
  }
  const std::string xpm = ReadWholeFile(usr + "/share/pixmaps/quillmark.xpm");
  EXPECT_EQ(xpm.rfind("/* XPM */\n", 0), 0u);
  EXPECT_NE(xpm.find("\"32 32 "), std::string::npos);
}

}  // namespace
}  // namespace quillmark::testing
