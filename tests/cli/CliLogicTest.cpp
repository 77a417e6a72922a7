// What the end-to-end tests cannot reach: the set-up of ports no test machine has, and the
// progress line.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/Options.h"
#include "cli/SendUi.h"

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
