// File and Patch where Windows differs: device names that are no files, names beyond the
// ANSI code page, and files other programs hold open (Windows neither replaces nor
// removes a file that is open without delete sharing).

#include "FileTestSupport.h"
#include "streams/Streams.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace quillmark {
namespace {

using namespace testing_support;

const Bytes kExpected(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
const Bytes kPatched(PatchedImageHeader.begin(), PatchedImageHeader.end());

fs::path Utf8Path(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

Bytes StreamOf(const AppState& state) {
  const auto stream = BuildNvDefinitionStream(state);
  return Bytes(stream->bytes().begin(), stream->bytes().end());
}

// Another program's open of `path` (wide name, as Windows programs open files).
class OtherProgramsHandle {
 public:
  OtherProgramsHandle(const fs::path& path, DWORD share)
      : handle_(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  OtherProgramsHandle(const OtherProgramsHandle&) = delete;
  OtherProgramsHandle& operator=(const OtherProgramsHandle&) = delete;
  ~OtherProgramsHandle() {
    if (ok()) ::CloseHandle(handle_);
  }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

TEST(FileCommandsWin32, DeviceNamesAreRefusedAsNoRegularFile) {
  for (const char* device : {"NUL", "\\\\.\\NUL"}) {
    SCOPED_TRACE(device);
    FileError error;
    FileInfo info;
    EXPECT_FALSE(OpenExisting(device, FileAccess::kRead, info, error).valid());
    EXPECT_EQ(error.step, FileStep::kNotRegularFile);

    AppState state(kPlatformWin32Nt);
    const FileCommandOutcome saved = ExportDefinitionStream(state, device);
    EXPECT_EQ(saved.result, FileCommandResult::kWriteError);
    EXPECT_EQ(saved.io.step, FileStep::kNotRegularFile);
    const FileCommandOutcome patched = PatchMemoryImage(state, device);
    EXPECT_EQ(patched.result, FileCommandResult::kReadError);
    EXPECT_EQ(patched.io.step, FileStep::kNotRegularFile);
  }
}

// Paths are UTF-8 and must reach the system as the same characters, not as bytes of the
// ANSI code page.
TEST(FileCommandsWin32, NamesOutsideTheAnsiCodePage) {
  ScratchFolder folder;
  const std::string name = "Bilder \xC3\xA4\xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC.bin";  // ä € 日本
  const std::string target = folder / name;
  AppState state(kPlatformWin32Nt);
  state.portSettings.brixMode = 0;

  ScriptedUi ui;
  ui.Answer(target);
  EXPECT_EQ(OnFile(state, ui).result, FileCommandResult::kWriteFinish);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{name});
  std::ifstream saved(Utf8Path(target), std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(saved), std::istreambuf_iterator<char>()),
            StreamOf(state));
  saved.close();

  {
    std::ofstream image(Utf8Path(target), std::ios::binary | std::ios::trunc);
    const Bytes content = Concat({kExpected, Pattern(200, 4)});
    image.write(reinterpret_cast<const char*>(content.data()),
                static_cast<std::streamsize>(content.size()));
  }
  ui.Answer(target);
  EXPECT_EQ(OnPatch(state, ui).result, FileCommandResult::kPatchFinish);
  std::ifstream patched(Utf8Path(target), std::ios::binary);
  Bytes head(32);
  patched.read(reinterpret_cast<char*>(head.data()), 32);
  EXPECT_EQ(head, kPatched);
}

// A file open in another program: whatever that program shares, the command fails with
// its box, the file keeps every byte, and no temporary file is left beside it.
TEST(FileCommandsWin32, FilesOpenInAnotherProgramStayAsTheyWere) {
  struct Case {
    const char* what;
    DWORD share;
    bool patch;
    FileCommandResult result;
    FileStep step;
  };
  const Case cases[] = {
      {"File, not shared", 0, false, FileCommandResult::kWriteError, FileStep::kOpenForWriting},
      {"File, shared but not for deletion", FILE_SHARE_READ | FILE_SHARE_WRITE, false,
       FileCommandResult::kWriteError, FileStep::kReplace},
      {"Patch, not shared", 0, true, FileCommandResult::kReadError, FileStep::kOpenForReading},
      {"Patch, shared but not for deletion", FILE_SHARE_READ | FILE_SHARE_WRITE, true,
       FileCommandResult::kWriteError, FileStep::kReplace},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder;
    const std::string target = folder / "held.bin";
    const Bytes before = Concat({kExpected, Pattern(500, 9)});
    WriteWholeFile(target, before);
    {
      const OtherProgramsHandle other(Utf8Path(target), c.share);
      ASSERT_TRUE(other.ok());
      AppState state(kPlatformWin32Nt);
      ScriptedUi ui;
      ui.Answer(target);
      const FileCommandOutcome outcome = c.patch ? OnPatch(state, ui) : OnFile(state, ui);
      EXPECT_EQ(outcome.result, c.result);
      EXPECT_EQ(outcome.io.step, c.step);
      ASSERT_EQ(ui.shown.size(), 1u);
      EXPECT_EQ(ui.shown[0].text,
                c.result == FileCommandResult::kReadError ? "Read Error" : "Write Error");
      EXPECT_EQ(folder.Names(), std::vector<std::string>{"held.bin"});
    }
    EXPECT_EQ(ReadWholeFile(target), before);
  }
}

}  // namespace
}  // namespace quillmark
