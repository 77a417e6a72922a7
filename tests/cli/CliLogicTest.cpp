// What the end-to-end tests cannot reach: the set-up of ports no test machine has, failures
// of real printers explained, and the progress line.
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "cli/Messages.h"
#include "cli/Options.h"
#include "cli/SendUi.h"

namespace quillmark::cli {
namespace {

TEST(Ports, NamesPathsAndNetworkAddressesGetTheirSetUp) {
  // The PortSettings::port each --port (and --port-type) gives: a name's own index; for a
  // path or a network printer 0 or 4, the first parallel or serial port, for the set-up.
  const std::vector<std::pair<std::int32_t, std::vector<std::string>>> cases = {
      {0, {"LPT1", "LPT5", "/dev/usb/lp0", "/dev/ttyUSB0 parallel", "tcp:h:9100"}},
      {3, {"lpt4"}},
      {4, {"COM1", "/dev/ttyUSB0", "/dev/rfcomm0 serial", "\\\\.\\COM10"}},
      {5, {"COM2 serial"}},
      {7, {"Com4"}},
  };
  for (const auto& [port, texts] : cases) {
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
      EXPECT_EQ(settings.parallel, port < 4 ? 1 : 0) << text;
    }
  }
}

TEST(Ports, SerialSettingsAreTheDialogsListIndices) {
  struct Case {
    SerialChoice choice;
    std::array<std::int32_t, 4> indices;  // baud rate, data bits, parity, stop bits
  };
  for (const Case& c : std::vector<Case>{{{1200, 7, "odd", 2}, {0, 0, 1, 1}},
                                         {{9600, 8, "none", 1}, {3, 1, 0, 0}},
                                         {{19200, 8, "EVEN", 1}, {4, 1, 2, 0}}}) {
    std::string error;
    const std::optional<PortSettings> got = SerialSettingsFor(c.choice, error);
    ASSERT_TRUE(got) << error;
    EXPECT_EQ((std::array{got->baudRate, got->dataBits, got->parity, got->stopBits}), c.indices)
        << c.choice.baud;
  }
}

#ifndef _WIN32
TEST(Failures, SayWhatHappenedAndWhatToDo) {
  using enum SendResult;
  const DeviceFacts lp{.exists = true, .group = "lp"};
  struct Case {
    std::string port;
    int error;  // 0: the port opened, and the send ended as `result` says
    SendResult result;
    std::vector<std::string> says;
  };
  const std::vector<Case> cases = {
      {"/dev/usb/lp0", EACCES, {}, {"Permission denied", "usermod -aG lp", "udev rule"}},
      {"COM1", EBUSY, {}, {"COM1 (/dev/ttyS0)", "another program"}},
      {"tcp:10.0.0.9:9100", ETIMEDOUT, {}, {"no answer from 10.0.0.9:9100 within 5 seconds"}},
      {"/dev/usb/lp0", 0, kNotReady, {"lp0 was not ready for 10", "out of paper", "48 of 124"}},
      {"tcp:10.0.0.9:9100", 0, kNotReady, {"at tcp:10.0.0.9:9100 took no data for 10 seconds"}},
      {"/dev/usb/lp0", 0, kStalled, {"reported ready but took no data", "48 of 124"}},
  };
  for (const Case& c : cases) {
    std::string error;
    std::optional<PortTarget> target = ParsePortTarget(c.port, std::nullopt, error);
    if (target->kind == PortKind::kNamed) target->device = DeviceForPortName(target->name);
    const std::string text = c.error != 0 ? DescribeOpenError(*target, c.error, lp, "")
                                          : DescribeSend(*target, {c.result, 48}, 124, "");
    for (const std::string& part : c.says)
      EXPECT_NE(text.find(part), std::string::npos) << text << "\nlacks: " << part;
  }
}
#endif

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
