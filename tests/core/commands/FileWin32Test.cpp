// File and Patch where Windows differs: device names that are no files, names beyond the
// ANSI code page, and files other programs hold open (Windows neither replaces nor
// removes a file that is open without delete sharing).

#include "CommandsTestSupport.h"

#include <windows.h>

namespace quillmark {
namespace {

using namespace testing;

TEST(FileCommandsWin32, DeviceNamesAreRefusedAsNoRegularFile) {
  for (const char* device : {"NUL", "\\\\.\\NUL"}) {
    const AppState state(kPlatformWin32Nt);
    EXPECT_EQ(ExportDefinitionStream(state, device).io.step, FileStep::kNotRegularFile) << device;
    EXPECT_EQ(PatchMemoryImage(state, device).io.step, FileStep::kNotRegularFile) << device;
  }
}

// Paths are UTF-8 and must reach the system as the same characters, not as bytes of the
// ANSI code page.
TEST(FileCommandsWin32, NamesOutsideTheAnsiCodePage) {
  TempDir dir;
  const std::string name = "Bilder \xC3\xA4\xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC.bin";  // ä € 日本
  const std::string target = dir.File(name);
  AppState state(kPlatformWin32Nt);
  WriteWholeFile(target, Concat({kExpectedHeader, Pattern(200, 4)}));
  ScriptedUi ui;
  ui.files = {target, target};
  EXPECT_EQ(OnPatch(state, ui).result, FileCommandResult::kPatchFinish);
  const auto patched = ReadFileBytes(target);
  EXPECT_TRUE(patched && patched->at(2) == PatchedImageHeader[2]);
  EXPECT_EQ(OnFile(state, ui).result, FileCommandResult::kWriteFinish);
  EXPECT_EQ(ReadFileBytes(target), StreamOf(state));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{name});
}

// A file open in another program: whatever that program shares, the command fails with
// its box, the file keeps every byte, and no temporary file is left beside it.
TEST(FileCommandsWin32, FilesOpenInAnotherProgramStayAsTheyWere) {
  struct Case {
    FileCommand command;
    DWORD share;
    UserMessage box;
    FileStep step;
  };
  const DWORD readWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const Case cases[] = {
      {&OnFile, 0, UserMessage::kWriteError, FileStep::kOpenForWriting},
      {&OnFile, readWrite, UserMessage::kWriteError, FileStep::kReplace},
      {&OnPatch, 0, UserMessage::kReadError, FileStep::kOpenForReading},
      {&OnPatch, readWrite, UserMessage::kWriteError, FileStep::kReplace},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.command == &OnPatch) << " " << c.share);
    TempDir dir;
    const std::string target = dir.File("held.bin");
    const Bytes before = Concat({kExpectedHeader, Pattern(500, 9)});
    WriteWholeFile(target, before);
    const HANDLE other = ::CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, c.share,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ScriptedUi ui;
    ui.files = {target};
    EXPECT_EQ(c.command(AppState(kPlatformWin32Nt), ui).io.step, c.step);
    EXPECT_EQ(ui.messages, Messages{c.box});
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"held.bin"});
    ::CloseHandle(other);
    EXPECT_EQ(ReadFileBytes(target), before);
  }
}

}  // namespace
}  // namespace quillmark
