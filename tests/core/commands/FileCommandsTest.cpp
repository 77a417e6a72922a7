// File and Patch: the bytes written, the header test before the size limit, the boxes, and
// what a refusal or a failure while finishing leaves (the stream's content: tests/streams).

#include <sys/stat.h>

#include "CommandsTestSupport.h"

namespace quillmark {
namespace {

using namespace testing;

// A definition stream of exactly `size` bytes (plain header, slot 1 filled).
void SetStreamSize(AppState& state, std::uint64_t size) {
  state.portSettings.brixMode = 0;
  state.imageSlots[0] = std::move(*ByteBlock::CopyOf(Pattern(size - 3 - 9 * 12, 29)));
  ASSERT_EQ(NvDefinitionStreamSize(state), size);
}

std::error_code Eio() {
  return std::make_error_code(std::errc::io_error);
}

// File makes the stream the whole file; Patch writes the patched header and the stream over
// the first 32 + S bytes, keeps the rest and grows a shorter file to 32 + S.
TEST(FileCommands, WriteTheStreamAndShowTheirFinish) {
  struct Case {
    bool patch;
    std::string name;
    std::optional<std::size_t> restSize;  // bytes after the header before; nothing: no file
    std::uint64_t streamSize = 0;         // 0: the stream of empty slots
  };
  const Case cases[] = {
      {false, "new.bin", std::nullopt},
      {false, "longer.bin", 1000},
      {false, "shorter.bin", 0},
      // The temporary file beside a 255-byte name must itself stay within the limit.
      {false, std::string(251, 'n') + ".bin", std::nullopt},
      {true, "image.bin", 400},
      {true, "image.bin", 700000},  // a tail longer than the copy buffer
      {true, "image.bin", 0},
      {true, "image.bin", 40},
      {true, "image.bin", 524288 + 100 - 32, MaxPatchStreamSize},  // 512 KiB filled exactly
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.patch << " " << c.restSize.value_or(0));
    TempDir dir;
    const std::string target = dir.File(c.name);
    const Bytes before = Concat({kExpectedHeader, Pattern(c.restSize.value_or(0), 17)});
    if (c.restSize) WriteWholeFile(target, before);
    AppState state(kPlatformWin32Nt);
    if (c.streamSize != 0) SetStreamSize(state, c.streamSize);
    Bytes expected = StreamOf(state);
    if (c.patch) {
      expected = Concat({kPatchedHeader, expected});
      if (before.size() > expected.size())
        expected.insert(expected.end(),
                        before.begin() + static_cast<std::ptrdiff_t>(expected.size()),
                        before.end());
    }

    ScriptedUi ui;
    ui.files = {target};
    (c.patch ? OnPatch : OnFile)(state, ui);
    EXPECT_EQ(ui.messages,
              Messages{c.patch ? UserMessage::kPatchFinish : UserMessage::kWriteFinish});
    EXPECT_EQ(ReadFileBytes(target), expected);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{c.name});
  }
}

TEST(FileCommands, RefusedImagesGiveReadErrorAndStayUntouched) {
  enum Kind { kFile, kMissing, kFolder, kFifo };
  struct Case {
    const char* name;
    Kind kind;
    Bytes content;
    std::uint64_t streamSize;  // 0: the stream of empty slots
    FileCommandFailure failure;
  };
  const auto image = [](std::size_t at, std::uint8_t value) {
    Bytes bytes = Concat({kExpectedHeader, Pattern(200, 1)});
    bytes[at] = value;
    return bytes;
  };
  const Case cases[] = {
      {"31 bytes", kFile, Bytes(kExpectedHeader.begin(), kExpectedHeader.end() - 1), 0,
       FileCommandFailure::kImageTooShort},
      {"byte 2 differs", kFile, image(2, 0x31), 0, FileCommandFailure::kWrongHeader},
      {"byte 12 differs", kFile, image(12, 0x00), 0, FileCommandFailure::kWrongHeader},
      {"patched before", kFile, Concat({kPatchedHeader, Pattern(200, 1)}), 0,
       FileCommandFailure::kAlreadyPatched},
      {"stream one byte too large", kFile, image(0, 0x48), MaxPatchStreamSize + 1,
       FileCommandFailure::kStreamTooLarge},
      // The header is tested before the size.
      {"wrong header, stream too large", kFile, image(2, 0x31), MaxPatchStreamSize + 1,
       FileCommandFailure::kWrongHeader},
      {"no such file", kMissing, {}, 0, FileCommandFailure::kFileSystem},
      {"a folder", kFolder, {}, 0, FileCommandFailure::kFileSystem},
#ifndef _WIN32
      {"a FIFO nobody writes", kFifo, {}, 0, FileCommandFailure::kFileSystem},  // no hang
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string target = dir.File("image.bin");
    if (c.kind == kFile) WriteWholeFile(target, c.content);
    if (c.kind == kFolder) fs::create_directory(target);
#ifndef _WIN32
    ASSERT_TRUE(c.kind != kFifo || ::mkfifo(target.c_str(), 0644) == 0);
#endif
    const std::vector<std::string> before = dir.Names();
    AppState state(kPlatformWin32Nt);
    if (c.streamSize != 0) SetStreamSize(state, c.streamSize);

    ScriptedUi ui;
    ui.files = {target};
    const FileCommandOutcome outcome = OnPatch(state, ui);
    EXPECT_EQ(outcome.result, FileCommandResult::kReadError);
    EXPECT_EQ(outcome.failure, c.failure);
    EXPECT_EQ(ui.messages, Messages{UserMessage::kReadError});
    EXPECT_EQ(dir.Names(), before);
    EXPECT_TRUE(c.kind != kFile || ReadFileBytes(target) == c.content);
  }
}

// A sync, close or rename that fails cannot be produced on a local disk without
// privileges, so those calls are substituted; every write before them is real.
TEST(FileCommands, FailureWhileFinishingLeavesTheOldFile) {
  struct Command {
    FileCommandOutcome (*run)(const AppState&, const std::string&, const FileCalls&);
    std::optional<Bytes> before;  // nothing: no file there before
  };
  const Command commands[] = {
      {&ExportDefinitionStream, Pattern(900, 3)},
      {&PatchMemoryImage, Concat({kExpectedHeader, Pattern(900, 3)})},
      {&ExportDefinitionStream, std::nullopt},
  };
  for (const Command& command : commands) {
    for (const FileStep step : {FileStep::kSync, FileStep::kClose, FileStep::kReplace}) {
      SCOPED_TRACE(static_cast<int>(step));
      FileCalls calls = SystemFileCalls();
      if (step == FileStep::kSync) calls.sync = [](int) { return Eio(); };
      if (step == FileStep::kClose)
        calls.close = [](int fd) {
          SystemFileCalls().close(fd);  // a failing close still closes
          return Eio();
        };
      if (step == FileStep::kReplace)
        calls.replace = [](const std::string&, const std::string&) { return Eio(); };
      TempDir dir;
      const std::string target = dir.File("out.bin");
      if (command.before) WriteWholeFile(target, *command.before);
      const FileCommandOutcome outcome = command.run(AppState(kPlatformWin32Nt), target, calls);
      EXPECT_EQ(outcome.result, FileCommandResult::kWriteError);
      EXPECT_EQ(outcome.io.step, step);
      EXPECT_EQ(outcome.io.code, Eio());
      EXPECT_EQ(ReadFileBytes(target), command.before);
      EXPECT_EQ(dir.Names().size(), command.before ? 1u : 0u);
      EXPECT_NE(DescribeOutcome(outcome).find(Eio().message()), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace quillmark
