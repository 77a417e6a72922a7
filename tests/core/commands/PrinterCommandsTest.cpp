// DownLoad and Print with a scripted user and a scripted port: Retry, Cancel, the limit and
// the boxes. The streams reaching real devices are checked by the GUI and command-line tests.

#include "commands/PrinterCommands.h"

#include <gtest/gtest.h>

#include "CommandsTestSupport.h"
#include "support/ScriptedPort.h"

namespace quillmark {
namespace {

using namespace testing;

TEST(PrinterCommands, FailedSendsAskUntilCancelOrTheLimitThenFinish) {
  struct Case {
    bool download;
    bool portMissing;
    std::deque<bool> retries;
    unsigned maxAttempts;
    CommandOutcome outcome;
    unsigned attempts;
    std::size_t errorBoxes;
  };
  const Case cases[] = {
      {true, false, {}, 0, CommandOutcome::kSent, 1, 0},
      {true, true, {true, true, true, true, false}, 0, CommandOutcome::kCancelled, 5, 5},
      {false, true, {false}, 0, CommandOutcome::kCancelled, 1, 1},
      // The limit ends the loop without asking after the last attempt.
      {false, true, {}, 3, CommandOutcome::kRetryLimit, 3, 2},
      {true, true, {true, false}, 5, CommandOutcome::kCancelled, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.download << " " << c.retries.size() << " " << c.maxAttempts);
    ScriptedPort port;
    if (c.portMissing) port.missing.insert("LPT1");
    AppState state(kPlatformWin32Nt);
    ScriptedUi ui;
    ui.retries = c.retries;
    const CommandResult result = c.download ? OnDownLoad(state, port, ui, c.maxAttempts)
                                            : OnPrint(state, port, ui, c.maxAttempts);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.attempts, c.attempts);
    EXPECT_EQ(port.Count("Open LPT1"), c.attempts);
    Messages told(c.errorBoxes, UserMessage::kCommunicationError);
    told.push_back(UserMessage::kCommunicationFinish);
    EXPECT_EQ(ui.messages, told);
    // A failed open leaves the bar alone.
    EXPECT_EQ(ui.ranges.size(), c.portMissing ? 0u : 1u);
  }
}

TEST(PrinterCommands, RetryResendsTheWholeStreamFromItsFirstByte) {
  // The first attempt's printer turns busy for good after two pieces; the second is ready.
  ScriptedPort port;
  port.status = [&] {
    const bool firstAttempt = port.Count("Close") == 0;
    return std::optional<std::uint32_t>(firstAttempt && port.received.size() >= 32 ? 0xC0 : 0x80);
  };
  AppState state(kPlatformWin32Nt);
  ScriptedUi ui;
  ui.retries = {true};

  const CommandResult result = OnDownLoad(state, port, ui);
  const Bytes stream = StreamOf(state);
  EXPECT_EQ(result.outcome, CommandOutcome::kSent);
  EXPECT_EQ(result.attempts, 2u);
  EXPECT_EQ(port.received, Concat({Bytes(stream.begin(), stream.begin() + 32), stream}));
  EXPECT_EQ(port.Count("Close"), 2u);
  EXPECT_EQ(ui.messages,
            (Messages{UserMessage::kCommunicationError, UserMessage::kCommunicationFinish}));
  const auto size = static_cast<std::uint32_t>(stream.size());
  EXPECT_EQ(ui.ranges, (std::vector<std::uint32_t>{size, size}));
}

}  // namespace
}  // namespace quillmark
