// DownLoad and Print through the command logic with a scripted user and, where a printer
// has to give up halfway (which a real device here would take 10 real seconds for), the
// scripted port with its fake clock.

#include "commands/PrinterCommands.h"

#include <gtest/gtest.h>

#include "PrinterTestSupport.h"
#include "port/ScriptedPortApi.h"
#include "streams/Streams.h"

namespace quillmark {
namespace {

using namespace printer_testing;
using testing::PortScript;
using testing::ScriptedPortApi;

TEST(PrinterCommands, RetryResendsTheWholeStreamFromItsFirstByte) {
  // The first attempt's printer turns busy for good after two pieces and the send gives
  // up; the second attempt's printer is ready.
  PortScript script;
  script.parallelStatus = [&]() -> std::optional<std::uint8_t> {
    const bool firstAttempt = script.Count("Close") == 0;
    return firstAttempt && script.received.size() >= 32 ? 0xC0 : 0x80;
  };
  ScriptedPortApi api(script);
  AppState state(kPlatformWin32Nt);
  state.portSettings.brixMode = 0;
  ScriptedUi ui({IDRETRY});

  const CommandResult result = OnDownLoad(state, api, ui);
  const Bytes stream = ToBytes(BuildNvDefinitionStream(state));
  ASSERT_EQ(stream.size(), 123u);

  EXPECT_EQ(result.outcome, CommandOutcome::kSent);
  EXPECT_EQ(result.attempts, 2u);
  Bytes expected(stream.begin(), stream.begin() + 32);
  expected.insert(expected.end(), stream.begin(), stream.end());
  EXPECT_EQ(script.received, expected);
  EXPECT_EQ(script.Count("Open LPT1"), 2u);
  EXPECT_EQ(script.Count("Close"), 2u);
  EXPECT_EQ(ui.boxes, (std::vector<Box>{kErrorBox, kFinishBox}));
  EXPECT_EQ(ui.ranges, (std::vector<std::uint32_t>{123, 123}));
  EXPECT_EQ(ui.lastPos, 123u);
}

TEST(PrinterCommands, ARetryLimitEndsTheLoopWithoutAskingAgain) {
  PortScript script;
  script.missing.insert("LPT1");
  ScriptedPortApi api(script);
  AppState state(kPlatformWin32Nt);
  ScriptedUi ui;  // answers OK, which is Retry, every time

  const CommandResult result = OnPrint(state, api, ui, 3);
  EXPECT_EQ(result.outcome, CommandOutcome::kRetryLimit);
  EXPECT_EQ(result.attempts, 3u);
  EXPECT_EQ(script.Count("Open LPT1"), 3u);
  EXPECT_EQ(ui.boxes, (std::vector<Box>{kErrorBox, kErrorBox, kFinishBox}));
}

}  // namespace
}  // namespace quillmark
