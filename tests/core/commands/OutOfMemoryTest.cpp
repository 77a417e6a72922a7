// Memory that runs out, for real, through the core's allocation hook: each command tells
// the user as it does for any shortage, touches neither file nor port, and (under the
// sanitizers) leaks nothing.

#include "CommandsTestSupport.h"
#include "commands/PrinterCommands.h"
#include "support/ScriptedPort.h"

namespace quillmark {
namespace {

using namespace testing;

// While it lives, every allocation of `limit` bytes or more fails.
class MemoryShortage {
 public:
  explicit MemoryShortage(std::size_t limit) {
    limit_ = limit;
    SetAllocationHook([](std::size_t bytes) { return bytes < limit_; });
  }
  MemoryShortage(const MemoryShortage&) = delete;
  MemoryShortage& operator=(const MemoryShortage&) = delete;
  ~MemoryShortage() { SetAllocationHook(nullptr); }

 private:
  static inline std::size_t limit_ = 0;
};

TEST(OutOfMemory, EveryCommandSaysSoAndTouchesNothing) {
  enum Command { kFile, kPatch, kDownLoad, kPrint };
  // The definition stream is 5,112 bytes, the print-test stream 162.
  const std::tuple<Command, std::size_t, Messages> cases[] = {
      {kFile, 4096, {UserMessage::kWriteError}},
      {kPatch, 4096, {UserMessage::kWriteError}},
      {kDownLoad, 4096, {UserMessage::kCommunicationError, UserMessage::kCommunicationFinish}},
      {kPrint, 100, {UserMessage::kCommunicationError, UserMessage::kCommunicationFinish}},
  };
  for (const auto& [command, limit, told] : cases) {
    SCOPED_TRACE(command);
    TempDir dir;
    const std::string image = dir.File("image.bin");
    const Bytes before = Concat({kExpectedHeader, Pattern(100, 3)});
    WriteWholeFile(image, before);
    AppState state(kPlatformWin32Nt);
    state.imageSlots[0] = ByteBlock::CopyOf(Pattern(5000, 1));
    ScriptedPort port;
    ScriptedUi ui;
    ui.retries = {false};  // Cancel
    ui.files = {command == kPatch ? image : dir.File("new.bin")};
    {
      const MemoryShortage shortage(limit);
      if (command == kFile || command == kPatch) {
        const FileCommandOutcome outcome = (command == kFile ? OnFile : OnPatch)(state, ui);
        EXPECT_EQ(outcome.failure, FileCommandFailure::kOutOfMemory);
        EXPECT_NE(DescribeOutcome(outcome).find("not enough memory"), std::string::npos);
      } else {
        const CommandResult result =
            command == kDownLoad ? OnDownLoad(state, port, ui) : OnPrint(state, port, ui);
        EXPECT_EQ(result.outcome, CommandOutcome::kCancelled);
        ASSERT_EQ(ui.reports.size(), 1u);
        EXPECT_EQ(ui.reports[0].result, SendResult::kNotBuilt);
      }
    }
    EXPECT_EQ(ui.messages, told);
    EXPECT_TRUE(port.calls.empty()) << "no port is opened without a stream";
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"image.bin"});
    EXPECT_EQ(ReadFileBytes(image), before);
  }
}

}  // namespace
}  // namespace quillmark
