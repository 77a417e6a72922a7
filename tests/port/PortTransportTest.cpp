// The transport logic against a scripted port with a fake clock: no test here waits for
// real time, however long the printer is said to be busy.

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "port/PortTransport.h"
#include "port/ScriptedPortApi.h"

namespace quillmark {
namespace {

using testing::PortScript;
using testing::RecordedProgress;
using testing::ScriptedPortApi;
using Calls = std::vector<std::string>;

ByteBlock Pattern(std::uint32_t size) {
  auto block = ByteBlock::Allocate(size);
  for (std::uint32_t i = 0; i < size; ++i)
    block->data()[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return std::move(*block);
}

std::vector<std::uint8_t> Bytes(const ByteBlock& block) {
  return {block.bytes().begin(), block.bytes().end()};
}

// The calls of the log that are not readiness queries.
Calls Without(const Calls& calls, std::string_view dropped) {
  Calls kept;
  for (const std::string& call : calls)
    if (call != dropped) kept.push_back(call);
  return kept;
}

TEST(OpenPrinterPort, OpensAndSetsUpByPortKindAndPlatform) {
  const Calls serial = {"SetupComm 256 256", "GetCommState", "SetCommState",
                        "SetCommTimeouts 0 0 200 10 200", "PurgeComm 15"};
  struct Case {
    std::int32_t parallel;
    std::int32_t port;
    std::uint32_t platformId;
    std::string device;
    Calls setUp;
  };
  const Case cases[] = {
      {1, 0, kPlatformWin32Nt, "LPT1", {"SetCommTimeouts 0 0 200 10 2000"}},
      {1, 3, kPlatformWin32Nt, "LPT4", {"SetCommTimeouts 0 0 200 10 2000"}},
      {1, 1, kPlatformWin32Windows, "LPT2", {"SetCommTimeouts 0 0 200 10 200"}},
      {1, 2, 0, "LPT3", {"SetCommTimeouts 0 0 200 10 200"}},
      {1, 0, 7, "LPT1", {"SetCommTimeouts 0 0 200 10 200"}},
      // A pair the Port Setting dialog never writes: the device by port, the set-up by
      // parallel.
      {1, 4, kPlatformWin32Nt, "COM1", {"SetCommTimeouts 0 0 200 10 2000"}},
      {0, 0, kPlatformWin32Nt, "LPT1", serial},
      {0, 4, kPlatformWin32Nt, "COM1", serial},
      {0, 7, kPlatformWin32Windows, "COM4", serial},
      {2, 5, kPlatformWin32Nt, "COM2", serial},  // anything but 1 is serial
      {-1, 6, 0, "COM3", serial},
      {1, 8, kPlatformWin32Nt, "LPT1", {"SetCommTimeouts 0 0 200 10 2000"}},
      {1, -1, kPlatformWin32Nt, "LPT1", {"SetCommTimeouts 0 0 200 10 2000"}},
      {0, 1000, kPlatformWin32Nt, "LPT1", serial},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("parallel " + std::to_string(c.parallel) + " port " + std::to_string(c.port) +
                 " platform " + std::to_string(c.platformId));
    PortScript script;
    ScriptedPortApi api(script);
    AppState state(c.platformId);
    state.portSettings.parallel = c.parallel;
    state.portSettings.port = c.port;
    ASSERT_TRUE(OpenPrinterPort(state, api));
    EXPECT_NE(state.portHandle, nullptr);
    Calls expected = {"Open " + c.device};
    expected.insert(expected.end(), c.setUp.begin(), c.setUp.end());
    EXPECT_EQ(script.calls, expected);
  }
}

TEST(OpenPrinterPort, SerialLineSettingsFollowTheTablesWithTheirFallbacks) {
  struct Case {
    std::int32_t baudRate, dataBits, parity, stopBits;
    std::uint32_t bitsPerSecond;
    std::uint8_t byteSize, parityMode, stopMode;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 1200, 7, kNoParity, kOneStopBit},
      {1, 1, 1, 1, 2400, 8, kOddParity, kTwoStopBits},
      {2, 2, 2, 2, 4800, 8, kEvenParity, kOneStopBit},
      {3, -1, 3, -1, 9600, 8, kNoParity, kOneStopBit},
      {4, 1, -1, 0, 19200, 8, kNoParity, kOneStopBit},
      {9, 0, 2, 1, 19200, 7, kEvenParity, kTwoStopBits},
      {-1, 1, 1, 0, 19200, 8, kOddParity, kOneStopBit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("baud " + std::to_string(c.baudRate) + " data " + std::to_string(c.dataBits) +
                 " parity " + std::to_string(c.parity) + " stop " + std::to_string(c.stopBits));
    PortScript script;
    ScriptedPortApi api(script);
    AppState state(kPlatformWin32Nt);
    state.portSettings = {0, 1, 5, c.baudRate, c.dataBits, c.parity, c.stopBits};
    ASSERT_TRUE(OpenPrinterPort(state, api));
    ASSERT_TRUE(script.stateSet.has_value());
    EXPECT_EQ(script.stateSet->BaudRate, c.bitsPerSecond);
    EXPECT_EQ(script.stateSet->ByteSize, c.byteSize);
    EXPECT_EQ(script.stateSet->Parity, c.parityMode);
    EXPECT_EQ(script.stateSet->StopBits, c.stopMode);
  }
}

// The fields the set-up writes, as a port without flow control and with DTR and RTS on.
void ExpectNoFlowControl(const CommState& s) {
  EXPECT_EQ(s.fBinary, 1);
  EXPECT_EQ(s.fParity, 0);
  EXPECT_EQ(s.fOutxCtsFlow, 0);
  EXPECT_EQ(s.fOutxDsrFlow, 0);
  EXPECT_EQ(s.fDtrControl, kDtrControlEnable);
  EXPECT_EQ(s.fDsrSensitivity, 0);
  EXPECT_EQ(s.fTXContinueOnXoff, 1);
  EXPECT_EQ(s.fOutX, 0);
  EXPECT_EQ(s.fInX, 0);
  EXPECT_EQ(s.fErrorChar, 0);
  EXPECT_EQ(s.fNull, 0);
  EXPECT_EQ(s.fRtsControl, kRtsControlEnable);
  EXPECT_EQ(s.fAbortOnError, 0);
  EXPECT_EQ(s.XonLim, 0);
  EXPECT_EQ(s.XoffLim, 0);
  EXPECT_EQ(s.XonChar, 0);
  EXPECT_EQ(s.XoffChar, 0);
  EXPECT_EQ(s.ErrorChar, 0);
  EXPECT_EQ(s.EofChar, 0);
  EXPECT_EQ(s.EvtChar, 0);
}

TEST(OpenPrinterPort, SerialSetUpSwitchesOffFlowControlAndKeepsTheUnnamedFields) {
  for (bool readable : {true, false}) {
    SCOPED_TRACE(readable ? "settings read" : "settings unreadable");
    PortScript script;
    script.getStateSucceeds = readable;
    // A port with every kind of flow control and special character on.
    CommState& before = script.portState;
    before.DCBlength = 28;
    before.fDummy2 = 0x1ABCD;
    before.wReserved = 7;
    before.wReserved1 = 9;
    before.fParity = before.fOutxCtsFlow = before.fOutxDsrFlow = before.fDsrSensitivity = 1;
    before.fOutX = before.fInX = before.fErrorChar = before.fNull = before.fAbortOnError = 1;
    before.fDtrControl = kDtrControlHandshake;
    before.fRtsControl = kRtsControlHandshake;
    before.XonLim = 2048;
    before.XoffLim = 512;
    before.XonChar = 0x11;
    before.XoffChar = 0x13;
    before.ErrorChar = before.EofChar = before.EvtChar = '?';
    ScriptedPortApi api(script);
    AppState state(kPlatformWin32Nt);
    state.portSettings = {0, 1, 4, 0, 0, 2, 1};
    ASSERT_TRUE(OpenPrinterPort(state, api));
    ASSERT_TRUE(script.stateSet.has_value());
    const CommState& after = *script.stateSet;
    ExpectNoFlowControl(after);
    EXPECT_EQ(after.BaudRate, 1200u);
    EXPECT_EQ(after.ByteSize, 7);
    EXPECT_EQ(after.Parity, kEvenParity);
    EXPECT_EQ(after.StopBits, kTwoStopBits);
    // The length and the reserved fields keep what was read (nothing, when unreadable).
    EXPECT_EQ(after.DCBlength, readable ? 28u : 0u);
    EXPECT_EQ(after.fDummy2, readable ? 0x1ABCDu : 0u);
    EXPECT_EQ(after.wReserved, readable ? 7 : 0);
    EXPECT_EQ(after.wReserved1, readable ? 9 : 0);
  }
}

TEST(SendToPrinter, FailedOpenReportsItsErrorAndTouchesNothing) {
  PortScript script;
  script.missing.insert("COM2");
  script.openError = 13;
  ScriptedPortApi api(script);
  RecordedProgress progress;
  AppState state(kPlatformWin32Nt);
  state.portSettings = {0, 1, 5, 3, 1, 0, 0};
  const ByteBlock block = Pattern(40);

  const SendReport report = SendBlock(state, api, block, &progress);
  EXPECT_EQ(report.result, SendResult::kOpenFailed);
  EXPECT_EQ(report.openError, 13);
  EXPECT_EQ(report.bytesWritten, 0u);
  EXPECT_EQ(script.calls, Calls{"Open COM2"});
  EXPECT_TRUE(progress.ranges.empty());
  EXPECT_TRUE(progress.positions.empty());
  EXPECT_EQ(state.portHandle, nullptr);
  EXPECT_EQ(SendToPrinter(state, api, block, &progress), 0);
}

TEST(SendToPrinter, WritesPiecesOfSixteenEachAfterAReadinessTest) {
  struct Case {
    std::uint32_t size;
    std::vector<std::uint32_t> writes;
    std::vector<std::uint32_t> positions;
  };
  const Case cases[] = {
      {0, {}, {0}},
      {1, {1}, {0, 1}},
      {16, {16}, {0, 16}},
      {17, {16, 1}, {0, 16, 17}},
      {48, {16, 16, 16}, {0, 16, 32, 48}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size));
    PortScript script;
    ScriptedPortApi api(script);
    RecordedProgress progress;
    AppState state(kPlatformWin32Nt);  // LPT1, parallel
    const ByteBlock block = Pattern(c.size);

    EXPECT_EQ(SendToPrinter(state, api, block, &progress), 1);
    EXPECT_EQ(script.writesAsked, c.writes);
    EXPECT_EQ(script.received, Bytes(block));
    EXPECT_EQ(progress.ranges, std::vector<std::uint32_t>{c.size});
    EXPECT_EQ(progress.positions, c.positions);
    // Open, time-outs, then a query before every write, and the close: no sleep at all.
    Calls expected = {"Open LPT1", "SetCommTimeouts 0 0 200 10 2000"};
    for (std::uint32_t asked : c.writes) {
      expected.push_back("QueryParallelStatus");
      expected.push_back("WriteFile " + std::to_string(asked));
    }
    expected.push_back("Close");
    EXPECT_EQ(script.calls, expected);
    EXPECT_EQ(state.portHandle, nullptr);
  }
}

TEST(SendToPrinter, APrinterBusyFiveSecondsBeforeEveryPieceStillGetsEverything) {
  PortScript script;
  // Busy for 5 s after every piece it takes, and at the start.
  std::uint32_t busyUntil = 5000;
  script.parallelStatus = [&]() -> std::optional<std::uint8_t> {
    return script.tick >= busyUntil ? kParallelSelected : kParallelSelected | kParallelBusy;
  };
  script.accept = [&](std::span<const std::uint8_t> bytes) {
    busyUntil = script.tick + 5000;
    return static_cast<std::uint32_t>(bytes.size());
  };
  ScriptedPortApi api(script);
  AppState state(kPlatformWin32Nt);  // LPT1, parallel
  const ByteBlock block = Pattern(40);

  const SendReport report = SendBlock(state, api, block, nullptr);
  EXPECT_EQ(report.result, SendResult::kSent);
  EXPECT_EQ(script.received, Bytes(block));
  EXPECT_EQ(script.Count("Sleep 100"), 3u * 50u);
  EXPECT_EQ(script.calls.back(), "Close");
}

TEST(SendToPrinter, NeverReadyGivesUpAtTheFirstCheckAfterTenSeconds) {
  struct Case {
    std::uint32_t startTick;
    std::uint32_t sleepAdvance;  // a sleep may last longer than asked
    std::size_t sleeps;
  };
  const Case cases[] = {
      {0, 100, 100},
      {123456, 100, 100},
      {0xFFFFFFFFu - 5000u, 100, 100},  // the counter wraps within the wait
      {0xFFFFFFFFu, 100, 100},
      {0, 130, 77},  // 76 sleeps make 9880 ms, 77 make 10010
      {0, 250, 40},
      {0, 10000, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("start " + std::to_string(c.startTick) + " sleep " +
                 std::to_string(c.sleepAdvance));
    PortScript script;
    script.tick = c.startTick;
    script.sleepAdvance = c.sleepAdvance;
    script.parallelStatus = [] { return std::optional<std::uint8_t>(0xC0); };
    ScriptedPortApi api(script);
    RecordedProgress progress;
    AppState state(kPlatformWin32Nt);  // LPT1, parallel
    const ByteBlock block = Pattern(20);

    const SendReport report = SendBlock(state, api, block, &progress);
    EXPECT_EQ(report.result, SendResult::kNotReady);
    EXPECT_EQ(report.bytesWritten, 0u);
    EXPECT_EQ(script.Count("Sleep 100"), c.sleeps);
    // A test at once, then one after every sleep but the last, which is followed by the
    // give-up check and the close.
    EXPECT_EQ(script.Count("QueryParallelStatus"), c.sleeps);
    EXPECT_EQ(script.Count("WriteFile 16"), 0u);
    ASSERT_GE(script.calls.size(), 2u);
    EXPECT_EQ(script.calls[script.calls.size() - 2], "Sleep 100");
    EXPECT_EQ(script.calls.back(), "Close");
    EXPECT_EQ(state.portHandle, nullptr);
    EXPECT_EQ(progress.positions, std::vector<std::uint32_t>{0});
  }
}

TEST(SendToPrinter, ReadyJustBeforeTheGiveUpIsStillReady) {
  // Ready at the test that follows the 99th sleep (9900 ms): the piece goes out.
  PortScript script;
  script.parallelStatus = [&]() -> std::optional<std::uint8_t> {
    return script.tick >= 9900 ? 0x80 : 0xC0;
  };
  ScriptedPortApi api(script);
  AppState state(kPlatformWin32Nt);  // LPT1, parallel
  EXPECT_EQ(SendToPrinter(state, api, Pattern(10), nullptr), 1);
  EXPECT_EQ(script.Count("Sleep 100"), 99u);
}

TEST(SendToPrinter, APrinterTurningBusyHalfwayLeavesTheBarAtTheCountWritten) {
  PortScript script;
  script.parallelStatus = [&]() -> std::optional<std::uint8_t> {
    return script.received.size() < 32 ? 0x80 : 0xC0;
  };
  ScriptedPortApi api(script);
  RecordedProgress progress;
  AppState state(kPlatformWin32Nt);  // LPT1, parallel
  const ByteBlock block = Pattern(64);

  const SendReport report = SendBlock(state, api, block, &progress);
  EXPECT_EQ(report.result, SendResult::kNotReady);
  EXPECT_EQ(report.bytesWritten, 32u);
  EXPECT_EQ(progress.ranges, std::vector<std::uint32_t>{64});
  EXPECT_EQ(progress.positions.back(), 32u);
  EXPECT_EQ(script.received, std::vector<std::uint8_t>(block.data(), block.data() + 32));
  EXPECT_EQ(script.calls.back(), "Close");
}

TEST(SendToPrinter, AShortWriteIsResumedAfterAFreshWait) {
  PortScript script;
  bool first = true;
  script.accept = [&](std::span<const std::uint8_t> bytes) {
    const std::uint32_t taken = first ? 5 : static_cast<std::uint32_t>(bytes.size());
    first = false;
    return taken;
  };
  ScriptedPortApi api(script);
  RecordedProgress progress;
  AppState state(kPlatformWin32Nt);  // LPT1, parallel
  const ByteBlock block = Pattern(40);

  EXPECT_EQ(SendToPrinter(state, api, block, &progress), 1);
  EXPECT_EQ(script.writesAsked, (std::vector<std::uint32_t>{16, 16, 16, 3}));
  EXPECT_EQ(script.received, Bytes(block));
  EXPECT_EQ(progress.positions, (std::vector<std::uint32_t>{0, 5, 21, 37, 40}));
  // Each write, the resumed one included, follows its own readiness test; no pause.
  EXPECT_EQ(Without(Without(script.calls, "Open LPT1"), "SetCommTimeouts 0 0 200 10 2000"),
            (Calls{"QueryParallelStatus", "WriteFile 16", "QueryParallelStatus", "WriteFile 16",
                   "QueryParallelStatus", "WriteFile 16", "QueryParallelStatus", "WriteFile 3",
                   "Close"}));
}

TEST(SendToPrinter, APortThatTakesNothingEndsTheSendAfterTenSeconds) {
  struct Case {
    std::uint32_t writeCostMs;  // a timed-out write takes its time-out
    bool alternateNotReady;     // the printer also reports busy every other test
    std::size_t writes;
  };
  const Case cases[] = {
      {0, false, 100},   // each pass: write nothing, pause 100 ms
      {360, false, 22},  // 460 ms a pass: 21 passes make 9660 ms, 22 make 10120
      {0, true, 50},     // a busy answer and an empty write each cost a pause
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("write cost " + std::to_string(c.writeCostMs));
    PortScript script;
    script.writeCostMs = c.writeCostMs;
    bool busy = false;
    if (c.alternateNotReady) {
      script.parallelStatus = [&]() -> std::optional<std::uint8_t> {
        busy = !busy;
        return busy ? 0xC0 : 0x80;
      };
    }
    script.accept = [](std::span<const std::uint8_t>) { return 0u; };
    ScriptedPortApi api(script);
    RecordedProgress progress;
    AppState state(kPlatformWin32Nt);  // LPT1, parallel

    const SendReport report = SendBlock(state, api, Pattern(20), &progress);
    EXPECT_EQ(report.result, SendResult::kStalled);
    EXPECT_EQ(report.bytesWritten, 0u);
    EXPECT_EQ(script.Count("WriteFile 16"), c.writes);
    EXPECT_EQ(script.calls.back(), "Close");
    EXPECT_EQ(state.portHandle, nullptr);
  }
}

TEST(SendToPrinter, ProgressAfterAStallStartsTheClockAgain) {
  // Nothing taken for 9.5 s, then one byte; nothing again for 9.5 s, then the rest. Each
  // stretch stays under the give-up, so the send succeeds.
  PortScript script;
  std::uint32_t stallEnds = 9500;
  script.accept = [&](std::span<const std::uint8_t> bytes) -> std::uint32_t {
    if (script.tick < stallEnds) return 0;
    if (script.received.empty()) {
      stallEnds = script.tick + 9500;
      return 1;
    }
    return static_cast<std::uint32_t>(bytes.size());
  };
  ScriptedPortApi api(script);
  AppState state(kPlatformWin32Nt);  // LPT1, parallel
  const ByteBlock block = Pattern(16);
  EXPECT_EQ(SendToPrinter(state, api, block, nullptr), 1);
  EXPECT_EQ(script.received, Bytes(block));
}

TEST(IsPrinterReady, SerialPortsNeedDsr) {
  struct Case {
    std::optional<std::uint32_t> modemStatus;  // nullopt: the status cannot be read
    bool ready;
  };
  const Case cases[] = {
      {std::nullopt, false}, {0u, false},   {kMsCtsOn, false},
      {kMsDsrOn, true},      {0xF0u, true}, {kMsCtsOn | kMsRlsdOn | kMsRingOn, false},
  };
  for (std::int32_t parallel : {0, 2, -1}) {
    for (const Case& c : cases) {
      SCOPED_TRACE("parallel " + std::to_string(parallel) + " status " +
                   std::to_string(c.modemStatus.value_or(0xDEAD)));
      PortScript script;
      script.modemStatus = [&] { return c.modemStatus; };
      ScriptedPortApi api(script);
      AppState state(kPlatformWin32Windows);
      state.portSettings.parallel = parallel;
      state.portSettings.port = 4;
      ASSERT_TRUE(OpenPrinterPort(state, api));
      EXPECT_EQ(IsPrinterReady(state), c.ready);
    }
  }
}

TEST(IsPrinterReady, Windows9xParallelPortsReadTheErrorWord) {
  struct Case {
    std::optional<std::uint32_t> errorWord;  // nullopt: the call fails and writes nothing
    bool ready;
  };
  const Case cases[] = {
      {std::nullopt, true},  // the word keeps its preset 0
      {0x0000, true},       {kCePto, true},           {kCeMode, true},
      {0x00FF, true},       {kCePto | 0x00FF, true},  {0x10000, true},  // outside 8-15
      {kCeTxFull, false},   {kCeIoe, false},          {kCeDns, false},
      {kCeOop, false},      {kCePto | kCeOop, false}, {kCeMode | kCePto, false},
      {0x2000, false},      {0xFF00, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("error word " + std::to_string(c.errorWord.value_or(0xDEAD)));
    PortScript script;
    script.errorWord = [&] { return c.errorWord; };
    ScriptedPortApi api(script);
    AppState state(kPlatformWin32Windows);  // LPT1, parallel
    ASSERT_TRUE(OpenPrinterPort(state, api));
    EXPECT_EQ(IsPrinterReady(state), c.ready);
    EXPECT_EQ(script.calls.back(), "ClearCommError");
  }
}

TEST(IsPrinterReady, NtParallelPortsReadTheStatusByte) {
  struct Case {
    std::optional<std::uint8_t> status;  // nullopt: the query fails and writes nothing
    bool ready;
  };
  const Case cases[] = {
      {std::nullopt, true},
      {kParallelSelected, true},
      {kParallelSelected | kParallelBusy, false},     // 0xC0
      {kParallelSelected | kParallelOffLine, false},  // 0x88
      {kParallelSelected | kParallelPaperEmpty, false},
      {kParallelSelected | kParallelInit, false},
      {kParallelSelected | kParallelAutofeed, false},
      {kParallelSelected | kParallelNotConnected, false},
      {kParallelSelected | kParallelPowerOff, false},
      {0x00, false},
      {kParallelBusy, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("status " + std::to_string(c.status.value_or(0xAA)));
    PortScript script;
    script.parallelStatus = [&] { return c.status; };
    ScriptedPortApi api(script);
    AppState state(kPlatformWin32Nt);  // LPT1, parallel
    ASSERT_TRUE(OpenPrinterPort(state, api));
    EXPECT_EQ(IsPrinterReady(state), c.ready);
    EXPECT_EQ(script.calls.back(), "QueryParallelStatus");
  }
}

TEST(IsPrinterReady, OtherPlatformsAndClosedPortsAreNeverReady) {
  for (std::uint32_t platformId : {0u, 3u, 0xFFFFFFFFu}) {
    PortScript script;
    ScriptedPortApi api(script);
    AppState state(platformId);  // LPT1, parallel
    ASSERT_TRUE(OpenPrinterPort(state, api));
    const std::size_t before = script.calls.size();
    EXPECT_FALSE(IsPrinterReady(state)) << platformId;
    EXPECT_EQ(script.calls.size(), before) << "no query is made";
  }
  AppState closed(kPlatformWin32Nt);  // LPT1, parallel
  EXPECT_FALSE(IsPrinterReady(closed));
}

}  // namespace
}  // namespace quillmark
