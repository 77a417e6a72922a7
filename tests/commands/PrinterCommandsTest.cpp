// DownLoad and Print through the command logic with a scripted user and, where
// a printer has to give up halfway (which a real device here would take 10 real
// seconds for), the scripted port with its fake clock.

#include "commands/PrinterCommands.h"

#include <gtest/gtest.h>

#include "PrinterTestSupport.h"
#include "streams/Streams.h"
#include "support/ScriptedPort.h"

namespace quillmark {
namespace {

using namespace printer_testing;
using testing::ScriptedPort;

TEST(PrinterCommands, RetryResendsTheWholeStreamFromItsFirstByte) {
  // The first attempt's printer turns busy for good after two pieces and the
  // send gives up; the second attempt's printer is ready.
  ScriptedPort port;
  port.status = [&]() -> std::optional<std::uint32_t> {
    const bool firstAttempt = port.Count("Close") == 0;
    return firstAttempt && port.received.size() >= 32 ? 0xC0 : 0x80;
  };
  AppState state(kPlatformWin32Nt);
  state.portSettings.brixMode = 0;
  ScriptedUi ui({IDRETRY});

  const CommandResult result = OnDownLoad(state, port, ui);
  const Bytes stream = ToBytes(BuildNvDefinitionStream(state));
  ASSERT_EQ(stream.size(), 123u);

  EXPECT_EQ(result.outcome, CommandOutcome::kSent);
  EXPECT_EQ(result.attempts, 2u);
  Bytes expected(stream.begin(), stream.begin() + 32);
  expected.insert(expected.end(), stream.begin(), stream.end());
  EXPECT_EQ(port.received, expected);
  EXPECT_EQ(port.Count("Open LPT1"), 2u);
  EXPECT_EQ(port.Count("Close"), 2u);
  EXPECT_EQ(ui.boxes, (std::vector<Box>{kErrorBox, kFinishBox}));
  EXPECT_EQ(ui.ranges, (std::vector<std::uint32_t>{123, 123}));
  EXPECT_EQ(ui.lastPos, 123u);
}

TEST(PrinterCommands, ARetryLimitEndsTheLoopWithoutAskingAgain) {
  ScriptedPort port;
  port.missing.insert("LPT1");
  AppState state(kPlatformWin32Nt);
  ScriptedUi ui; // answers OK, which is Retry, every time

  const CommandResult result = OnPrint(state, port, ui, 3);
  EXPECT_EQ(result.outcome, CommandOutcome::kRetryLimit);
  EXPECT_EQ(result.attempts, 3u);
  EXPECT_EQ(port.Count("Open LPT1"), 3u);
  EXPECT_EQ(ui.boxes, (std::vector<Box>{kErrorBox, kErrorBox, kFinishBox}));
}

} // namespace
} // namespace quillmark
