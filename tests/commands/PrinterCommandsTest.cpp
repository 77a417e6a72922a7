// DownLoad and Print through the command logic with a scripted user: streams delivered
// through a real FIFO, failures through a missing device, and, where a printer has to give
// up halfway (which a real device here would take 10 real seconds for), the scripted port
// with its fake clock.

#include "commands/PrinterCommands.h"

#include <errno.h>

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "port/ScriptedPortApi.h"
#include "port/TestDevices.h"
#include "port/posix/PosixPortApi.h"
#include "streams/Streams.h"

namespace quillmark {
namespace {

using testing::FifoReader;
using testing::PortScript;
using testing::ScriptedPortApi;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

struct Box {
  std::string text;
  std::string caption;
  unsigned type;
  friend bool operator==(const Box&, const Box&) = default;
};

const Box kErrorBox{"Communication Error", "Waring Message", 0x35};
const Box kFinishBox{"Communication Finish", "Message", 0x40};

// Answers message boxes from a queue (IDOK once it runs dry) and records what was shown.
class ScriptedUi final : public CommandUi {
 public:
  explicit ScriptedUi(std::deque<int> answers = {}) : answers_(std::move(answers)) {}

  int MessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    boxes.push_back({text, caption, type});
    if (answers_.empty()) return IDOK;
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  std::optional<FileDialogResult> ChooseFile(const FileDialogRequest&) override {
    ADD_FAILURE() << "no file dialog expected";
    return std::nullopt;
  }
  void SetProgressRange(std::uint32_t upper) override { ranges.push_back(upper); }
  void SetProgressPos(std::uint32_t pos) override { lastPos = pos; }

  std::vector<Box> boxes;
  std::vector<std::uint32_t> ranges;
  std::optional<std::uint32_t> lastPos;

 private:
  std::deque<int> answers_;
};

Bytes ToBytes(const std::optional<ByteBlock>& block) {
  return block ? Bytes(block->bytes().begin(), block->bytes().end()) : Bytes{};
}

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
