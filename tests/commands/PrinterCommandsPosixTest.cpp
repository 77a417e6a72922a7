// DownLoad and Print through the command logic with a scripted user and the POSIX backend:
// streams delivered through a real FIFO, failures through a missing device.

#include "commands/PrinterCommands.h"

#include <errno.h>

#include <gtest/gtest.h>

#include "PrinterTestSupport.h"
#include "port/posix/PosixPortApi.h"
#include "streams/Streams.h"
#include "support/TestDevices.h"

namespace quillmark {
namespace {

using namespace printer_testing;
using testing::FifoReader;
using testing::TempDir;

TEST(PrinterCommands, DownLoadAndPrintDeliverTheirStreamsThroughAFifo) {
  enum class Command { kDownLoad, kPrint };
  struct Case {
    Command command;
    std::int32_t brixMode;
    std::uint32_t size;
    Bytes head;
  };
  const Case cases[] = {
      {Command::kDownLoad, 0, 123, {0x1C, 0x71, 0x0A, 0x01, 0x00, 0x01, 0x00}},
      {Command::kDownLoad, 1, 124, {0x1B, 0x1C, 0x71, 0x0A, 0x01, 0x00, 0x01, 0x00}},
      {Command::kPrint, 0, 152, {'[', 'I', 'm', 'a', 'g', 'e', '1', ']', 0x0A, 0x1C, 'p', 1}},
      {Command::kPrint, 1, 162, {'[', 'I', 'm', 'a', 'g', 'e', '1', ']', 0x0A, 0x1B, 0x1C}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes");
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(testing::MakeFifo(dir.File("lp")));
    FifoReader reader(dir.File("lp"));
    ASSERT_TRUE(reader.ok());
    PosixPortApi api(PosixPortApi::DeviceMap{{"LPT1", dir.File("lp")}});
    AppState state(kPlatformWin32Nt);  // LPT1, parallel: the defaults
    state.portSettings.brixMode = c.brixMode;
    ScriptedUi ui;

    const CommandResult result =
        c.command == Command::kDownLoad ? OnDownLoad(state, api, ui) : OnPrint(state, api, ui);
    const Bytes got = reader.Finish();

    EXPECT_EQ(result.outcome, CommandOutcome::kSent);
    EXPECT_EQ(result.attempts, 1u);
    ASSERT_EQ(got.size(), c.size);
    EXPECT_TRUE(std::equal(c.head.begin(), c.head.end(), got.begin()));
    const Bytes expected = c.command == Command::kDownLoad
                               ? ToBytes(BuildNvDefinitionStream(state))
                               : ToBytes(BuildNvPrintTestStream(c.brixMode));
    EXPECT_EQ(got, expected);
    if (c.command == Command::kPrint) {
      EXPECT_EQ(got.back(), 0x00);
    }
    EXPECT_EQ(ui.boxes, std::vector<Box>{kFinishBox});
    EXPECT_EQ(ui.ranges, std::vector<std::uint32_t>{c.size});
    EXPECT_EQ(ui.lastPos, c.size);
  }
}

TEST(PrinterCommands, AMissingPortAsksUntilCancelThenFinishes) {
  // Any answer but Cancel is a Retry.
  const std::deque<int> answers = {IDRETRY, IDOK, IDYES, 0, IDCANCEL};
  for (bool download : {true, false}) {
    SCOPED_TRACE(download ? "DownLoad" : "Print");
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    PosixPortApi api(PosixPortApi::DeviceMap{{"COM2", dir.File("ttyS1")}});
    AppState state(kPlatformWin32Nt);
    state.portSettings = {0, 1, 5, 3, 1, 0, 0};
    ScriptedUi ui(answers);

    const CommandResult result = download ? OnDownLoad(state, api, ui) : OnPrint(state, api, ui);
    EXPECT_EQ(result.outcome, CommandOutcome::kCancelled);
    EXPECT_EQ(result.attempts, answers.size());
    EXPECT_EQ(result.lastSend.result, SendResult::kOpenFailed);
    EXPECT_EQ(result.lastSend.openError, ENOENT);
    std::vector<Box> expected(answers.size(), kErrorBox);
    expected.push_back(kFinishBox);
    EXPECT_EQ(ui.boxes, expected);
    EXPECT_TRUE(ui.ranges.empty()) << "a failed open leaves the bar alone";
  }
}

}  // namespace
}  // namespace quillmark
