// Failures at the end of a replacement: sync, close and rename. A local disk cannot be made
// to fail these without privileges, so the calls are substituted here (FileCalls); the
// failing close still closes, as the real one does. Every write before them is real.

#include "FileTestSupport.h"

namespace quillmark {
namespace {

using namespace testing_support;

std::error_code Eio() {
  return std::make_error_code(std::errc::io_error);
}

FileCalls FailingAt(FileStep step) {
  FileCalls calls = SystemFileCalls();
  if (step == FileStep::kSync) calls.sync = [](int) { return Eio(); };
  if (step == FileStep::kClose)
    calls.close = [](int fd) {
      CloseDescriptor(fd);
      return Eio();
    };
  if (step == FileStep::kReplace)
    calls.replace = [](const std::string&, const std::string&) { return Eio(); };
  return calls;
}

TEST(SafeFile, FailureWhileFinishingLeavesTheOldFile) {
  struct Command {
    const char* name;
    FileCommandOutcome (*run)(const AppState&, const std::string&, const FileCalls&);
    std::optional<Bytes> before;  // nothing: no file there before
  };
  const Bytes header(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
  const Command commands[] = {
      {"File", &ExportDefinitionStream, Pattern(900, 3)},
      {"Patch", &PatchMemoryImage, Concat({header, Pattern(900, 3)})},
      {"File, a new file", &ExportDefinitionStream, std::nullopt},
  };
  for (const Command& command : commands) {
    for (const FileStep step : {FileStep::kSync, FileStep::kClose, FileStep::kReplace}) {
      SCOPED_TRACE(std::string(command.name) + " failing at step " +
                   std::to_string(static_cast<int>(step)));
      ScratchFolder folder;
      const std::string target = folder / "out.bin";
      if (command.before) WriteWholeFile(target, *command.before);
      AppState state(kPlatformWin32Nt);
      const FileCommandOutcome outcome = command.run(state, target, FailingAt(step));
      EXPECT_EQ(outcome.result, FileCommandResult::kWriteError);
      EXPECT_EQ(outcome.failure, FileCommandFailure::kFileSystem);
      EXPECT_EQ(outcome.io.step, step);
      EXPECT_EQ(outcome.io.code, Eio());
      EXPECT_EQ(ReadWholeFile(target), command.before);
      EXPECT_EQ(folder.Names(),
                command.before ? std::vector<std::string>{"out.bin"} : std::vector<std::string>{});
      // What the command-line tool prints names the system's error.
      EXPECT_NE(DescribeOutcome(outcome).find(Eio().message()), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace quillmark
