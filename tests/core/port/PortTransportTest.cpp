// The transport logic against a scripted port with a fake clock: no test waits for real time.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "port/PortTransport.h"
#include "support/Bytes.h"
#include "support/ScriptedPort.h"

namespace quillmark {
namespace {

using testing::BlockOf;
using testing::Bytes;
using testing::Pattern;
using testing::RecordedProgress;
using testing::ScriptedPort;
using Calls = std::vector<std::string>;
using Counts = std::vector<std::uint32_t>;
using Answer = std::optional<std::uint32_t>;

TEST(OpenPrinterPort, OpensAndSetsUpByPortKindAndPlatform) {
  const std::string nt = "SetCommTimeouts 0 0 200 10 2000";
  const std::string other = "SetCommTimeouts 0 0 200 10 200";
  const Calls serial = {"SetupComm 256 256", "GetCommState", "SetCommState", other, "PurgeComm 15"};
  struct Case {
    std::int32_t parallel, port;
    std::uint32_t platformId;
    std::string device;
    Calls setUp;
  };
  const Case cases[] = {
      {1, 0, kPlatformWin32Nt, "LPT1", {nt}},
      {1, 3, kPlatformWin32Nt, "LPT4", {nt}},
      {1, 1, kPlatformWin32Windows, "LPT2", {other}},
      {1, 2, 0, "LPT3", {other}},
      {1, 4, kPlatformWin32Nt, "COM1", {nt}},  // the device by port, the set-up by parallel
      {0, 0, kPlatformWin32Nt, "LPT1", serial},
      {0, 7, kPlatformWin32Windows, "COM4", serial},
      {2, 5, kPlatformWin32Nt, "COM2", serial},  // anything but 1 is serial
      {-1, 6, 0, "COM3", serial},
      {1, 8, kPlatformWin32Nt, "LPT1", {nt}},
      {1, -1, kPlatformWin32Nt, "LPT1", {nt}},
      {0, 1000, kPlatformWin32Nt, "LPT1", serial},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.parallel << " " << c.port << " " << c.platformId);
    ScriptedPort port;
    AppState state(c.platformId);
    state.portSettings.parallel = c.parallel;
    state.portSettings.port = c.port;
    ASSERT_TRUE(OpenPrinterPort(state, port));
    Calls expected = {"Open " + c.device};
    expected.insert(expected.end(), c.setUp.begin(), c.setUp.end());
    EXPECT_EQ(port.calls, expected);
  }

  // A failed open is reported with its error, and the send touches nothing else.
  ScriptedPort port;
  port.missing.insert("COM2");
  port.openError = 13;
  AppState state(kPlatformWin32Nt);
  state.portSettings = {0, 1, 5, 3, 1, 0, 0};
  const SendReport report = SendBlock(state, port, BlockOf(Pattern(40)), nullptr);
  EXPECT_EQ(std::pair(report.result, report.error), std::pair(SendResult::kOpenFailed, 13));
  EXPECT_EQ(port.calls, Calls{"Open COM2"});
}

TEST(OpenPrinterPort, SerialSetUpFollowsTheTablesAndKeepsTheUnnamedFields) {
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
  // Fields the set-up does not name are kept; the flow control and characters it names
  // are switched off.
  const CommState kept{.DCBlength = 28, .fDummy2 = 0x1ABCD, .wReserved = 7, .wReserved1 = 9};
  CommState dirty = kept;
  dirty.fParity = dirty.fOutxCtsFlow = dirty.fOutxDsrFlow = dirty.fDsrSensitivity = 1;
  dirty.fOutX = dirty.fInX = dirty.fErrorChar = dirty.fNull = dirty.fAbortOnError = 1;
  dirty.fDtrControl = kDtrControlHandshake;
  dirty.fRtsControl = kRtsControlHandshake;
  dirty.XonLim = dirty.XoffLim = 512;
  dirty.XonChar = dirty.XoffChar = dirty.ErrorChar = dirty.EofChar = dirty.EvtChar = '?';
  for (bool readable : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << readable << " baud " << c.baudRate);
      ScriptedPort port;
      port.portState = readable ? std::optional<CommState>(dirty) : std::nullopt;
      AppState state(kPlatformWin32Nt);
      state.portSettings = {0, 1, 5, c.baudRate, c.dataBits, c.parity, c.stopBits};
      ASSERT_TRUE(OpenPrinterPort(state, port));
      CommState expected = readable ? kept : CommState{};
      expected.BaudRate = c.bitsPerSecond;
      expected.ByteSize = c.byteSize;
      expected.Parity = c.parityMode;
      expected.StopBits = c.stopMode;
      expected.fBinary = expected.fTXContinueOnXoff = 1;
      expected.fDtrControl = kDtrControlEnable;
      expected.fRtsControl = kRtsControlEnable;
      ASSERT_TRUE(port.stateSet.has_value());
      EXPECT_EQ(*port.stateSet, expected);
    }
  }
}

TEST(SendToPrinter, WritesPiecesOfSixteenEachAfterAReadinessTestWithoutASleep) {
  struct Case {
    std::uint32_t size;
    Counts writes, positions;
    std::uint32_t firstTake = 16;  // what the port takes of the first piece
  };
  const Case cases[] = {
      {0, {}, {0}},
      {16, {16}, {0, 16}},
      {17, {16, 1}, {0, 16, 17}},
      {48, {16, 16, 16}, {0, 16, 32, 48}},
      {40, {16, 16, 16, 3}, {0, 5, 21, 37, 40}, 5},  // the rest goes after a fresh test
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    ScriptedPort port;
    port.accept = [&](std::span<const std::uint8_t> bytes) {
      const auto size = static_cast<std::uint32_t>(bytes.size());
      return port.received.empty() ? std::min(c.firstTake, size) : size;
    };
    RecordedProgress progress;
    AppState state(kPlatformWin32Nt);  // LPT1, parallel
    const Bytes bytes = Pattern(c.size);

    EXPECT_EQ(SendToPrinter(state, port, BlockOf(bytes), &progress), 1);
    EXPECT_EQ(port.received, bytes);
    EXPECT_EQ(progress.ranges, Counts{c.size});
    EXPECT_EQ(progress.positions, c.positions);
    Calls expected = {"Open LPT1", "SetCommTimeouts 0 0 200 10 2000"};
    for (std::uint32_t asked : c.writes) {
      expected.push_back("QueryParallelStatus");
      expected.push_back("WriteFile " + std::to_string(asked));
    }
    expected.push_back("Close");
    EXPECT_EQ(port.calls, expected);
  }
}

TEST(SendToPrinter, NotReadyGivesUpAtTheFirstCheckAfterTenSeconds) {
  struct Case {
    std::uint32_t startTick;
    std::uint32_t sleepAdvance;  // a sleep may last longer than asked
    std::size_t sleeps;
    std::uint32_t readyFor = 0;  // bytes the printer takes before it turns busy for good
  };
  const Case cases[] = {
      {0, 100, 100},
      {0xFFFFFFFFu - 5000u, 100, 100},  // the counter wraps within the wait
      {0xFFFFFFFFu, 100, 100},
      {0, 130, 77},  // 76 sleeps make 9880 ms, 77 make 10010
      {0, 10000, 1},
      {0, 100, 100, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.startTick << " " << c.sleepAdvance << " " << c.readyFor);
    ScriptedPort port;
    port.tick = c.startTick;
    port.sleepAdvance = c.sleepAdvance;
    port.status = [&] { return Answer(port.received.size() < c.readyFor ? 0x80 : 0xC0); };
    RecordedProgress progress;
    AppState state(kPlatformWin32Nt);  // LPT1, parallel
    const Bytes bytes = Pattern(64);

    const SendReport report = SendBlock(state, port, BlockOf(bytes), &progress);
    EXPECT_EQ(report.result, SendResult::kNotReady);
    EXPECT_EQ(report.bytesWritten, c.readyFor);
    EXPECT_EQ(port.received, Bytes(bytes.begin(), bytes.begin() + c.readyFor));
    EXPECT_EQ(progress.positions.back(), c.readyFor);
    // A test before every piece and after every sleep but the last.
    EXPECT_EQ(port.Count("Sleep 100"), c.sleeps);
    EXPECT_EQ(port.Count("QueryParallelStatus"), c.sleeps + c.readyFor / 16);
    EXPECT_EQ(port.calls.back(), "Close");
  }
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
    SCOPED_TRACE(c.writeCostMs);
    ScriptedPort port;
    port.writeCostMs = c.writeCostMs;
    if (c.alternateNotReady)
      port.status = [&] { return Answer(port.Count("QueryParallelStatus") % 2 ? 0xC0 : 0x80); };
    port.accept = [](std::span<const std::uint8_t>) { return 0u; };
    AppState state(kPlatformWin32Nt);  // LPT1, parallel

    const SendReport report = SendBlock(state, port, BlockOf(Pattern(20)), nullptr);
    EXPECT_EQ(report.result, SendResult::kStalled);
    EXPECT_EQ(report.bytesWritten, 0u);
    EXPECT_EQ(port.Count("WriteFile 16"), c.writes);
    EXPECT_EQ(port.calls.back(), "Close");
  }
}

// A link that breaks is not waited for; an error the close finds fails the send too.
TEST(SendToPrinter, ABrokenLinkEndsTheSendAtOnceAndAFailedCloseFailsIt) {
  struct Case {
    std::optional<std::size_t> breaksAfter;
    LinkError close;
    SendResult result;
    std::uint32_t written;
    int error;
  };
  const Case cases[] = {{32, {}, SendResult::kLinkBroken, 32, ECONNRESET},
                        {{}, {EPIPE, 20}, SendResult::kLinkBroken, 40, EPIPE},
                        {{}, {}, SendResult::kSent, 40, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    ScriptedPort port;
    port.breaksAfter = c.breaksAfter;
    port.closeResult = c.close;
    AppState state(kPlatformWin32Nt);
    const SendReport report = SendBlock(state, port, BlockOf(Pattern(40)), nullptr);
    EXPECT_EQ(report.result, c.result);
    EXPECT_EQ(std::tuple(report.bytesWritten, report.error, report.bytesTaken),
              std::tuple(c.written, c.error, c.close.bytesTaken));
    EXPECT_EQ(port.received.size(), c.written);
    EXPECT_EQ(port.Count("Sleep 100"), 0u);
    EXPECT_EQ(port.Count("Close"), 1u);
  }
}

TEST(SendToPrinter, EveryPieceGetsTenSecondsOfItsOwn) {
  // Busy for 5 s before every byte, or taking nothing for 9.5 s before the first byte and
  // again before the rest: each wait stays under the give-up, the send as a whole does not.
  for (bool busy : {true, false}) {
    SCOPED_TRACE(busy ? "busy" : "stalled");
    ScriptedPort port;
    std::uint32_t waitEnds = busy ? 5000 : 9500;
    if (busy) port.status = [&] { return Answer(port.tick >= waitEnds ? 0x80 : 0xC0); };
    port.accept = [&](std::span<const std::uint8_t> bytes) -> std::uint32_t {
      if (port.tick < waitEnds) return 0;
      waitEnds = port.tick + (busy ? 5000 : 9500);
      return busy || port.received.empty() ? 1 : static_cast<std::uint32_t>(bytes.size());
    };
    AppState state(kPlatformWin32Nt);  // LPT1, parallel
    const Bytes bytes = Pattern(3);
    EXPECT_EQ(SendToPrinter(state, port, BlockOf(bytes), nullptr), 1);
    EXPECT_EQ(port.received, bytes);
    EXPECT_GT(port.tick, 10000u);
  }
}

TEST(IsPrinterReady, FollowsTheRuleOfThePortKindAndPlatform) {
  constexpr std::uint32_t k9x = kPlatformWin32Windows;
  constexpr std::uint32_t kNt = kPlatformWin32Nt;
  const Answer fails;
  struct Case {
    std::int32_t parallel;
    std::uint32_t platformId;
    Answer answer;
    bool ready;
  };
  const Case cases[] = {
      // Serial, any platform: the modem status can be read and DSR is on.
      {0, k9x, fails, false},
      {0, kNt, kMsCtsOn | kMsRlsdOn | kMsRingOn, false},
      {0, kNt, kMsDsrOn, true},
      {2, 0, 0xF0, true},
      {-1, 0, kMsCtsOn, false},
      // Parallel under Windows 9x: the error word's bits 8-15 are 0, kCePto or kCeMode.
      {1, k9x, fails, true},  // the word keeps its preset 0
      {1, k9x, kCePto, true},
      {1, k9x, kCeMode | 0x00FF, true},
      {1, k9x, 0x10000, true},
      {1, k9x, kCeOop, false},
      {1, k9x, kCePto | kCeOop, false},
      {1, k9x, kCeMode | kCePto, false},
      // Parallel under NT: the status byte, preset to 0x80, is 0x80.
      {1, kNt, fails, true},
      {1, kNt, kParallelSelected, true},
      {1, kNt, kParallelSelected | kParallelBusy, false},
      {1, kNt, kParallelSelected | kParallelOffLine, false},
      {1, kNt, kParallelSelected | kParallelInit, false},
      {1, kNt, 0x00, false},
      // Parallel elsewhere: never, without a query.
      {1, 0, kParallelSelected, false},
      {1, 3, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.parallel << " " << c.platformId << " " << c.answer.value_or(0xDEAD));
    ScriptedPort port;
    port.status = [&] { return c.answer; };
    AppState state(c.platformId);
    state.portSettings.parallel = c.parallel;
    ASSERT_TRUE(OpenPrinterPort(state, port));
    const auto before = static_cast<std::ptrdiff_t>(port.calls.size());
    EXPECT_EQ(IsPrinterReady(state), c.ready);
    const Calls query = c.parallel != 1       ? Calls{"GetCommModemStatus"}
                        : c.platformId == k9x ? Calls{"ClearCommError"}
                        : c.platformId == kNt ? Calls{"QueryParallelStatus"}
                                              : Calls{};
    EXPECT_EQ(Calls(port.calls.begin() + before, port.calls.end()), query);
  }
  EXPECT_FALSE(IsPrinterReady(AppState(kPlatformWin32Nt))) << "no open port";
}

}  // namespace
}  // namespace quillmark
