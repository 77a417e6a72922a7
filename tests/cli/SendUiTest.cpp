// The terminal side of download and print-test: the throttled progress line, and what a
// failed attempt shows and asks.
#include "cli/SendUi.h"

#include <gtest/gtest.h>

#include <sstream>

#include "commands/PrinterCommands.h"

namespace quillmark::cli {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

TEST(ProgressMeter, DrawsAtMostOnceAnIntervalAndAlwaysTheEnd) {
  std::ostringstream out;
  std::int64_t now = 1000;
  ProgressMeter meter(
      out, [&now] { return now; }, 100);
  meter.Start(1600);
  for (std::uint64_t done = 16; done <= 1600; done += 16) {
    now += 5;  // a piece every 5 ms: 500 ms in all
    meter.Update(done);
  }
  const std::string text = out.str();
  // The start, one line per 100 ms, and the end.
  EXPECT_GE(Count(text, "\r"), 5u) << text;
  EXPECT_LE(Count(text, "\r"), 7u) << text;
  EXPECT_EQ(text.rfind("\rsending 0 of 1600 bytes (0%)", 0), 0u) << text;
  EXPECT_NE(text.find("\rsending 1600 of 1600 bytes (100%), 3.1 KiB/s\n"), std::string::npos)
      << text;
  // Nothing more once the end is drawn.
  meter.Update(1600);
  meter.End();
  EXPECT_EQ(out.str(), text);
}

TEST(ProgressMeter, AShorterLineBlanksWhatTheLongerOneLeft) {
  std::ostringstream out;
  std::int64_t now = 0;
  ProgressMeter meter(
      out, [&now] { return now; }, 1);
  meter.Start(200000);
  now = 1;
  meter.Update(100000);  // "... (50%), 95.4 MiB/s"
  now = 1000000;
  meter.Update(150000);  // "... (75%), 150 B/s"
  const std::string text = out.str();
  const std::string last = text.substr(text.rfind('\r') + 1);
  const std::string before = text.substr(0, text.rfind('\r'));
  EXPECT_EQ(last.size(), before.substr(before.rfind('\r') + 1).size()) << text;
  EXPECT_EQ(last, "sending 150000 of 200000 bytes (75%), 150 B/s   ") << text;
}

TEST(ProgressMeter, FormatsRatesInTheirUnits) {
  const std::vector<std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::string>> cases = {
      {0, 124, 0, "sending 0 of 124 bytes (0%)"},
      {124, 124, 0, "sending 124 of 124 bytes (100%)"},
      {500, 1000, 1000, "sending 500 of 1000 bytes (50%), 500 B/s"},
      {3 << 20, 8 << 20, 2000, "sending 3145728 of 8388608 bytes (37%), 1.5 MiB/s"},
      {0, 0, 10, "sending 0 of 0 bytes (100%)"},
  };
  for (const auto& [done, total, ms, text] : cases)
    EXPECT_EQ(ProgressMeter::Format(done, total, ms), text);
}

TEST(TerminalSendUi, AsksAfterEachFailureAndRetriesOnYes) {
  struct Case {
    std::string answers;
    std::vector<int> expected;
  };
  const std::vector<Case> cases = {
      {"y\nyes\nn\n", {IDRETRY, IDRETRY, IDCANCEL}},
      {"Y\n\n", {IDRETRY, IDCANCEL}},  // Enter is no
      {"no\n", {IDCANCEL}},
      {"", {IDCANCEL}},  // end of input is no
      {"sure\n", {IDCANCEL}},
  };
  for (const Case& c : cases) {
    std::ostringstream err;
    std::istringstream in(c.answers);
    int failures = 0;
    TerminalSendUi ui(
        err, in, {false, true, 0}, [] { return std::int64_t{0}; },
        [&failures] { return "attempt " + std::to_string(++failures) + " failed"; });
    for (std::size_t i = 0; i < c.expected.size(); ++i)
      EXPECT_EQ(ui.MessageBox(kCommunicationErrorText, kWarningCaption, kCommunicationErrorType),
                c.expected[i])
          << c.answers << " #" << i;
    EXPECT_EQ(ui.failuresShown(), c.expected.size());
    const std::string text = err.str();
    EXPECT_EQ(Count(text, "Communication Error\nattempt "), c.expected.size()) << text;
    EXPECT_EQ(Count(text, "Retry? [y/N] "), c.expected.size()) << text;
  }
}

TEST(TerminalSendUi, WithRetriesGivenItRetriesWithoutAsking) {
  std::ostringstream err;
  std::istringstream in("n\n");
  TerminalSendUi ui(
      err, in, {false, false, 3}, [] { return std::int64_t{0}; },
      [] { return std::string("the port is gone"); });
  EXPECT_EQ(ui.MessageBox(kCommunicationErrorText, kWarningCaption, kCommunicationErrorType),
            IDRETRY);
  EXPECT_EQ(ui.MessageBox(kCommunicationErrorText, kWarningCaption, kCommunicationErrorType),
            IDRETRY);
  EXPECT_EQ(err.str(),
            "Communication Error\nthe port is gone\nretrying (attempt 2 of 3)\n"
            "Communication Error\nthe port is gone\nretrying (attempt 3 of 3)\n");
  // The closing box is left to the caller, which knows how the command ended.
  EXPECT_EQ(ui.MessageBox(kCommunicationFinishText, kMessageCaption, kCommunicationFinishType),
            IDOK);
  EXPECT_EQ(ui.failuresShown(), 2u);
}

TEST(TerminalSendUi, AFailureStartsOnANewLineAfterTheProgress) {
  std::ostringstream err;
  std::istringstream in;
  std::int64_t now = 0;
  TerminalSendUi ui(
      err, in, {true, false, 2}, [&now] { return now; }, [] { return std::string("not ready"); });
  ui.SetProgressRange(64);
  now = 500;
  ui.SetProgressPos(32);
  EXPECT_EQ(ui.progressRange(), 64u);
  EXPECT_EQ(ui.progressPos(), 32u);
  ui.MessageBox(kCommunicationErrorText, kWarningCaption, kCommunicationErrorType);
  EXPECT_NE(err.str().find("(50%), 64 B/s\nCommunication Error\nnot ready\n"), std::string::npos)
      << err.str();
}

}  // namespace
}  // namespace quillmark::cli
