// What the end-to-end tests cannot reach: the set-up of ports no test machine has, the
// progress line, the words the parser reads, and standard input's bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <utility>

#include "cli/Options.h"
#include "cli/Platform.h"
#include "cli/SendUi.h"
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include "support/TestDevices.h"
#endif

namespace quillmark::cli {
namespace {

TEST(Ports, NamesPathsAndNetworkAddressesGetTheirSetUp) {
  // The PortSettings::port and parallel each --port (and --port-type) gives: a name's own
  // index; for a path or a network printer 0 or 4, the first parallel or serial port. What
  // a device is decides when it is opened, so a path alone tells nothing but a Windows
  // port name.
  const std::vector<std::tuple<std::int32_t, std::int32_t, std::vector<std::string>>> cases = {
      {0, 1, {"LPT1", "LPT5", "/dev/usb/lp0", "/dev/ttyUSB0", "tcp:h:9100", "tcp:h:1 parallel"}},
      {0, 0, {"lpt1 serial"}},
      {3, 1, {"lpt4"}},
      {4, 0, {"COM1", "/dev/rfcomm0 serial", "\\\\.\\COM10"}},
      {5, 1, {"COM2 parallel"}},
      {7, 0, {"Com4"}},
  };
  for (const auto& [port, parallel, texts] : cases) {
    for (const std::string& text : texts) {
      const std::size_t space = text.find(' ');
      std::string error;
      const std::optional<LineKind> forced =
          space == std::string::npos ? std::nullopt : ParseLineKind(text.substr(space + 1), error);
      const std::optional<PortTarget> target =
          ParsePortTarget(text.substr(0, space), forced, error);
      ASSERT_TRUE(target) << text << ": " << error;
      const PortSettings settings = PortSettingsFor(*target, PortSettings{}, 0);
      EXPECT_EQ(settings.port, port) << text;
      EXPECT_EQ(settings.parallel, parallel) << text;
    }
  }
}

TEST(Ports, NetworkPrintersWithoutAPortGetTheRawPrintingPort) {
  const std::vector<std::tuple<std::string, std::string, int>> cases = {
      {"tcp:printer", "printer", 9100},
      {"tcp:10.0.0.7:515", "10.0.0.7", 515},
      {"tcp:[::1]", "::1", 9100},
      {"tcp:[fe80::1%eth0]:9101", "fe80::1%eth0", 9101},
      {"tcp:[::1]:", "", 0},
      {"tcp:printer:", "", 0},
      {"tcp:", "", 0},
      {"tcp:fe80::1", "", 0}};
  for (const auto& [text, host, port] : cases) {
    std::string error;
    const std::optional<PortTarget> target = ParsePortTarget(text, std::nullopt, error);
    EXPECT_EQ(target.has_value(), port != 0) << text << ": " << error;
    if (!target) continue;
    EXPECT_EQ(target->tcp.host, host) << text;
    EXPECT_EQ(target->tcp.port, port) << text;
  }
}

// Windows drivers take any speed; a terminal only the speeds it has names for.
TEST(Serial, SpeedsTheDialogListsAreIndicesAndOthersTheSpeedItself) {
#ifdef _WIN32
  constexpr bool kAnySpeed = true;
#else
  constexpr bool kAnySpeed = false;
#endif
  const std::vector<std::pair<std::uint32_t, std::int32_t>> cases = {
      {1200, 0},
      {9600, 3},
      {19200, 4},
      {38400, 38400},
      {115200, 115200},
      {921600, 921600},
      {300, kAnySpeed ? 300 : -1},
      {12345, kAnySpeed ? 12345 : -1},
      {0, -1},
      {5000000, -1}};
  for (const auto& [baud, setting] : cases) {
    std::string error;
    const std::optional<PortSettings> settings = SerialSettingsFor({baud, 8, "none", 1}, error);
    EXPECT_EQ(settings ? settings->baudRate : -1, setting) << baud << ": " << error;
  }
}

TEST(Words, AMistypedCommandFindsTheNearestAndAStrangeOneNone) {
  const std::vector<std::string> names = {"convert", "export", "download", "print-test",
                                          "patch",   "ports",  "render",   "virtual-printer"};
  const std::vector<std::pair<std::string, std::string>> cases = {{"dowload", "download"},
                                                                  {"exprot", "export"},
                                                                  {"print-tset", "print-test"},
                                                                  {"port", "ports"},
                                                                  {"CONVERT", "convert"},
                                                                  {"rendr", "render"},
                                                                  {"frobnicate", ""},
                                                                  {"x", ""},
                                                                  {"pt", ""},
                                                                  {"", ""}};
  for (const auto& [word, nearest] : cases)
    EXPECT_EQ(NearestName(word, names), nearest) << word;
  for (const auto& [seconds, text] : std::vector<std::pair<double, std::string>>{
           {2, "2 s"}, {0.25, "0.25 s"}, {0.001, "0.001 s"}, {90.5, "90.5 s"}}) {
    std::string error;
    EXPECT_EQ(FormatSeconds(ParseRetryDelay(seconds, error).value_or(-1)), text);
  }
}

#ifndef _WIN32
// Closes a descriptor when it goes.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// Standard input is read to its end within bounds: never from a terminal, never more than
// the limit, never waiting without end for a writer that sends nothing.
TEST(PipedInput, EndsAtTheEndOrRefusesATerminalTooMuchOrSilence) {
  quillmark::testing::PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ok());
  std::string error;
  const Fd slave{::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)};
  EXPECT_FALSE(ReadPipedInput(slave.fd, 100, 1000, error));
  EXPECT_EQ(error.rfind("a terminal", 0), 0u) << error;
  struct Case {
    std::size_t written;
    bool closed;
    std::string says;  // empty: read whole
  };
  for (const Case& c : {Case{100, true, ""}, Case{101, true, "more than"},
                        Case{10, false, "nothing arrived for 50 ms after 10 bytes"}}) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const Fd reader{ends[0]};
    Fd writer{ends[1]};
    ASSERT_EQ(::write(writer.fd, std::string(c.written, 'x').data(), c.written),
              static_cast<ssize_t>(c.written));
    if (c.closed) ::close(std::exchange(writer.fd, -1));
    error.clear();
    const auto bytes = ReadPipedInput(reader.fd, 100, 50, error);
    EXPECT_EQ(bytes ? bytes->size() : 0, c.says.empty() ? c.written : 0) << c.written;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
}
#endif

// Each retry waits the delay first (a stand-in sleep: the real one would take seconds);
// a question asked instead waits for the answer, not the delay.
TEST(Retries, WaitTheDelayBeforeEachRetryUnlessTheUserIsAsked) {
  for (const bool ask : {false, true}) {
    std::vector<std::int64_t> slept;
    SendUiOptions options;
    options.ask = ask;
    options.maxAttempts = 3;
    options.retryDelayMs = 1500;
    options.sleep = [&slept](std::int64_t ms) { slept.push_back(ms); };
    std::ostringstream err;
    std::istringstream in("y\ny\n");
    TerminalSendUi ui(err, in, options, [] { return std::int64_t{0}; });
    EXPECT_TRUE(ui.RetryAfterFailedSend(SendReport{}));
    EXPECT_TRUE(ui.RetryAfterFailedSend(SendReport{}));
    EXPECT_EQ(slept.size(), ask ? 0u : 2u);
    EXPECT_EQ(std::count(slept.begin(), slept.end(), 1500), std::ssize(slept));
    EXPECT_EQ(err.str().find("retrying in 1.5 s (attempt 3 of 3)\n") != std::string::npos, !ask);
  }
}

TEST(ProgressMeter, ShowsTheRateInItsUnitAndBlanksWhatALongerLineLeft) {
  EXPECT_EQ(ProgressMeter::Format(3 << 10, 8 << 10, 2000),
            "sending 3072 of 8192 bytes (37%), 1.5 KiB/s");
  EXPECT_EQ(ProgressMeter::Format(3 << 20, 8 << 20, 2000),
            "sending 3145728 of 8388608 bytes (37%), 1.5 MiB/s");
  EXPECT_EQ(ProgressMeter::Format(0, 0, 10), "sending 0 of 0 bytes (100%)");
  std::ostringstream out;
  std::int64_t now = 0;
  ProgressMeter meter(
      out, [&now] { return now; }, 1);
  meter.Start(200000);
  now = 1;
  meter.Update(100000);  // "... (50%), 95.4 MiB/s"
  now = 1000000;
  meter.Update(150000);
  EXPECT_EQ(out.str().substr(out.str().rfind('\r')),
            "\rsending 150000 of 200000 bytes (75%), 150 B/s   ");
  // Within the interval nothing is drawn, but the end always is.
  const std::size_t drawn = out.str().size();
  meter.Update(160000);
  EXPECT_EQ(out.str().size(), drawn);
  meter.Update(200000);
  EXPECT_NE(out.str().find("\rsending 200000 of 200000 bytes (100%)"), std::string::npos);
}

}  // namespace
TEST(Sizes, AreBytesOrBinaryMultiples) {
  const std::pair<const char*, std::uint64_t> cases[] = {
      {"1100", 1100},     {"64K", 64 << 10}, {"512mib", 512 << 20},
      {"1G", 1ULL << 30}, {"0", 0},          {"G", 0},
      {"12X", 0},         {"-1", 0},         {"99999999999999999999G", 0}};
  for (const auto& [text, bytes] : cases) {
    std::string error;
    EXPECT_EQ(ParseByteSize(text, error).value_or(0), bytes) << text;
    EXPECT_EQ(error.empty(), bytes != 0) << text;
  }
}

}  // namespace quillmark::cli
