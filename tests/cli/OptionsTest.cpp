// The meaning of the command line's values: slots, models, modes, ports, serial settings.
#include "cli/Options.h"

#include <gtest/gtest.h>

namespace quillmark::cli {
namespace {

TEST(SlotOptions, NumbersOneToTenWithAPicture) {
  struct Case {
    std::string text;
    int slot;  // 0: refused
    std::string path;
  };
  const std::vector<Case> cases = {
      {"1=logo.bmp", 1, "logo.bmp"},
      {"10=/srv/logos/a=b.bmp", 10, "/srv/logos/a=b.bmp"},  // only the first = separates
      {"07=x.bmp", 7, "x.bmp"},
      {"0=logo.bmp", 0, ""},
      {"11=logo.bmp", 0, ""},
      {"-1=logo.bmp", 0, ""},
      {"1 =logo.bmp", 0, ""},
      {"=logo.bmp", 0, ""},
      {"1=", 0, ""},
      {"logo.bmp", 0, ""},
      {"100=logo.bmp", 0, ""},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<SlotOption> option = ParseSlotOption(c.text, error);
    EXPECT_EQ(option.has_value(), c.slot != 0) << c.text;
    if (option) {
      EXPECT_EQ(option->slot, c.slot) << c.text;
      EXPECT_EQ(option->path, c.path) << c.text;
    } else {
      EXPECT_NE(error.find(c.text), std::string::npos) << error;
    }
  }
}

TEST(SlotOptions, EachSlotAtMostOnceAndTheRestEmpty) {
  std::string error;
  const std::optional<SlotPaths> slots = CollectSlots({"3=c.bmp", "1=a.bmp", "10=j.bmp"}, error);
  ASSERT_TRUE(slots) << error;
  const SlotPaths expected = {"a.bmp", "", "c.bmp", "", "", "", "", "", "", "j.bmp"};
  EXPECT_EQ(*slots, expected);
  EXPECT_FALSE(CollectSlots({"2=a.bmp", "3=b.bmp", "2=c.bmp"}, error));
  EXPECT_NE(error.find("slot 2 is given twice"), std::string::npos) << error;
  EXPECT_FALSE(CollectSlots({"2=a.bmp", "x"}, error));
}

TEST(Models, TheTargetPrinterDialogsRowsOrNone) {
  struct Case {
    std::string text;
    bool allowNone;
    std::optional<ModelChoice> expected;
  };
  const std::vector<Case> cases = {
      {"A2", true, ModelChoice{"A2", 0x40000, 72}},
      {"a4", true, ModelChoice{"A4", 0x80000, 72}},
      {"B1", false, ModelChoice{"B1", 0x20000, 72}},
      {"w4", false, ModelChoice{"W4", 0x80000, 104}},
      {"none", true, ModelChoice{"none", 0, 0}},
      {"NONE", true, ModelChoice{"none", 0, 0}},
      {"none", false, std::nullopt},
      {"A3", true, std::nullopt},
      {"", true, std::nullopt},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<ModelChoice> model = ParseModel(c.text, c.allowNone, error);
    ASSERT_EQ(model.has_value(), c.expected.has_value()) << c.text;
    if (model) {
      EXPECT_EQ(model->code, c.expected->code);
      EXPECT_EQ(model->nvCapacity, c.expected->nvCapacity);
      EXPECT_EQ(model->widthBytes, c.expected->widthBytes);
    }
  }
}

TEST(Ports, NamesPathsAndNetworkAddressesWithTheirSetUp) {
  struct Case {
    std::string text;
    std::optional<LineKind> forced;
    bool ok;
    PortKind kind;
    LineKind line;
    std::int32_t port;  // PortSettings::port it gives
  };
  const auto P = LineKind::kParallel;
  const auto S = LineKind::kSerial;
  const std::vector<Case> cases = {
      {"LPT1", {}, true, PortKind::kNamed, P, 0},
      {"lpt4", {}, true, PortKind::kNamed, P, 3},
      {"COM1", {}, true, PortKind::kNamed, S, 4},
      {"Com4", {}, true, PortKind::kNamed, S, 7},
      {"COM2", S, true, PortKind::kNamed, S, 5},
      {"COM2", P, false, PortKind::kNamed, S, 0},
      {"LPT5", {}, true, PortKind::kDevicePath, P, 0},  // not a name: a file of that name
      {"/dev/usb/lp0", {}, true, PortKind::kDevicePath, P, 0},
      {"/dev/lp1", {}, true, PortKind::kDevicePath, P, 0},
      {"/dev/ttyUSB0", {}, true, PortKind::kDevicePath, S, 4},
      {"/dev/ttyS1", {}, true, PortKind::kDevicePath, S, 4},
      {"/dev/ttyACM0", {}, true, PortKind::kDevicePath, S, 4},
      {"/tmp/printer.fifo", {}, true, PortKind::kDevicePath, P, 0},
      {"/dev/rfcomm0", S, true, PortKind::kDevicePath, S, 4},
      {"/dev/ttyUSB0", P, true, PortKind::kDevicePath, P, 0},
      {"\\\\.\\COM10", {}, true, PortKind::kDevicePath, S, 4},
      {"tcp:192.168.1.50:9100", {}, true, PortKind::kTcp, P, 0},
      {"tcp:printer:9100", S, false, PortKind::kTcp, P, 0},
      {"tcp:printer", {}, false, PortKind::kTcp, P, 0},
      {"", {}, false, PortKind::kNamed, P, 0},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<PortTarget> target = ParsePortTarget(c.text, c.forced, error);
    ASSERT_EQ(target.has_value(), c.ok) << c.text << ": " << error;
    if (!target) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(target->kind, c.kind) << c.text;
    EXPECT_EQ(target->line, c.line) << c.text;
    const PortSettings settings = PortSettingsFor(*target, PortSettings{}, 0);
    EXPECT_EQ(settings.port, c.port) << c.text;
    EXPECT_EQ(settings.parallel, c.line == P ? 1 : 0) << c.text;
    EXPECT_EQ(settings.brixMode, 0);
  }
}

TEST(Ports, NetworkAddresses) {
  struct Case {
    std::string text;
    bool portZero;
    std::optional<TcpAddress> expected;
  };
  const std::vector<Case> cases = {
      {"tcp:192.168.1.50:9100", false, TcpAddress{"192.168.1.50", 9100}},
      {"tcp:printer.local:1", false, TcpAddress{"printer.local", 1}},
      {"tcp:[::1]:65535", false, TcpAddress{"::1", 65535}},
      {"tcp:127.0.0.1:0", true, TcpAddress{"127.0.0.1", 0}},
      {"tcp:127.0.0.1:0", false, std::nullopt},
      {"tcp:127.0.0.1:65536", false, std::nullopt},
      {"tcp:127.0.0.1:", false, std::nullopt},
      {"tcp:127.0.0.1:91x", false, std::nullopt},
      {"tcp::9100", false, std::nullopt},
      {"tcp:::1:9100", false, std::nullopt},
      {"tcp:[::1]9100", false, std::nullopt},
      {"udp:host:9100", false, std::nullopt},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<TcpAddress> address = ParseTcpAddress(c.text, error, c.portZero);
    EXPECT_EQ(address, c.expected) << c.text << ": " << error;
    if (address) {
      EXPECT_EQ(FormatTcpAddress(*address), c.text);
    }
  }
}

TEST(SerialSettings, TheDialogsListIndices) {
  struct Case {
    SerialChoice choice;
    std::optional<PortSettings> expected;  // only the four serial fields matter
  };
  auto settings = [](int baud, int data, int parity, int stop) {
    PortSettings s;
    s.baudRate = baud;
    s.dataBits = data;
    s.parity = parity;
    s.stopBits = stop;
    return s;
  };
  const std::vector<Case> cases = {
      {{9600, 8, "none", 1}, settings(3, 1, 0, 0)},  {{1200, 7, "odd", 2}, settings(0, 0, 1, 1)},
      {{2400, 8, "EVEN", 1}, settings(1, 1, 2, 0)},  {{4800, 8, "none", 1}, settings(2, 1, 0, 0)},
      {{19200, 8, "none", 1}, settings(4, 1, 0, 0)}, {{38400, 8, "none", 1}, std::nullopt},
      {{9600, 6, "none", 1}, std::nullopt},          {{9600, 8, "mark", 1}, std::nullopt},
      {{9600, 8, "none", 0}, std::nullopt},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<PortSettings> got = SerialSettingsFor(c.choice, error);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.choice.baud << " " << error;
    if (got) {
      EXPECT_EQ(got->baudRate, c.expected->baudRate);
      EXPECT_EQ(got->dataBits, c.expected->dataBits);
      EXPECT_EQ(got->parity, c.expected->parity);
      EXPECT_EQ(got->stopBits, c.expected->stopBits);
    }
  }
}

}  // namespace
}  // namespace quillmark::cli
