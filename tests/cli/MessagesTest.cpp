// What the user reads under "Communication Error" and "Read Error": the port, the system's
// error text and the way out.
#include "cli/Messages.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace quillmark::cli {
namespace {

PortTarget Target(const std::string& text) {
  std::string error;
  std::optional<PortTarget> target = ParsePortTarget(text, std::nullopt, error);
  if (target && target->kind == PortKind::kNamed) target->device = DeviceForPortName(target->name);
  return *target;
}

TEST(OpenErrors, SayWhatHappenedAndWhatToDo) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX error codes";
#else
  struct Case {
    std::string port;
    int error;
    DeviceFacts facts;
    std::string resolve;
    std::vector<std::string> says;
  };
  DeviceFacts lpGroup;
  lpGroup.exists = true;
  lpGroup.group = "lp";
  DeviceFacts dialoutGroup = lpGroup;
  dialoutGroup.group = "dialout";
  DeviceFacts rootOnly = lpGroup;
  rootOnly.group = "root";
  DeviceFacts fifo;
  fifo.exists = true;
  fifo.fifo = true;
  const std::vector<Case> cases = {
      {"/dev/usb/lp0",
       EACCES,
       lpGroup,
       "",
       {"/dev/usb/lp0", "Permission denied", "group lp", "usermod -aG lp", "udev rule"}},
      {"/dev/ttyUSB0", EACCES, dialoutGroup, "", {"group dialout", "usermod -aG dialout"}},
      {"/dev/ttyUSB0", EACCES, rootOnly, "", {"only root", "udev rule", "GROUP=\"dialout\""}},
      {"LPT2",
       ENOENT,
       {},
       "",
       {"LPT2 (/dev/lp1)", "No such file or directory", "quillmark-cli ports"}},
      {"COM1", EBUSY, {}, "", {"COM1 (/dev/ttyS0)", "another program"}},
      {"/tmp/printer",
       ENXIO,
       fifo,
       "",
       {"nobody is reading this FIFO", "virtual-printer --fifo /tmp/printer"}},
      {"tcp:10.0.0.9:9100",
       ECONNREFUSED,
       {},
       "",
       {"10.0.0.9:9100 refused the connection", "raw printing port"}},
      {"tcp:10.0.0.9:9100", ETIMEDOUT, {}, "", {"no answer from 10.0.0.9:9100 within 5 seconds"}},
      {"tcp:printer.lan:9100",
       ENXIO,
       {},
       "Name or service not known",
       {"cannot find the host printer.lan: Name or service not known"}},
  };
  for (const Case& c : cases) {
    const std::string text = DescribeOpenError(Target(c.port), c.error, c.facts, c.resolve);
    for (const std::string& part : c.says)
      EXPECT_NE(text.find(part), std::string::npos)
          << c.port << ": " << text << "\nlacks: " << part;
  }
#endif
}

TEST(SendFailures, TellNotReadyFromStalledAndCountTheBytes) {
  struct Case {
    std::string port;
    SendResult result;
    std::vector<std::string> says;
  };
  const std::vector<Case> cases = {
      {"/dev/usb/lp0",
       SendResult::kNotReady,
       {"/dev/usb/lp0 was not ready for 10 seconds", "out of paper",
        "48 of 124 bytes had been sent"}},
      {"/dev/ttyUSB0", SendResult::kNotReady, {"did not report ready (DSR on)", "48 of 124"}},
      {"tcp:10.0.0.9:9100",
       SendResult::kNotReady,
       {"the printer at tcp:10.0.0.9:9100 took no data for 10 seconds"}},
      {"/dev/usb/lp0", SendResult::kStalled, {"reported ready but took no data", "48 of 124"}},
      {"/dev/usb/lp0", SendResult::kOpenFailed, {"the reason of the open"}},
  };
  for (const Case& c : cases) {
    SendReport report;
    report.result = c.result;
    report.bytesWritten = 48;
    const std::string text = DescribeSend(Target(c.port), report, 124, "the reason of the open");
    for (const std::string& part : c.says)
      EXPECT_NE(text.find(part), std::string::npos) << text << "\nlacks: " << part;
  }
}

TEST(PictureErrors, NameSlotAndFileAndSayWhenOnlyBmpWillDo) {
  EXPECT_EQ(DescribePictureError(3, "logo.png", PictureError::kNotBmp, ""),
            "slot 3: logo.png: not a BMP file; quillmark-cli reads BMP pictures only: save the "
            "picture as BMP first");
  EXPECT_EQ(
      DescribePictureError(10, "gone.bmp", PictureError::kCannotOpen, "No such file or directory"),
      "slot 10: gone.bmp: No such file or directory");
  EXPECT_EQ(DescribePictureError(0, "cut.bmp", PictureError::kTruncated, ""),
            "cut.bmp: the file is truncated");
}

}  // namespace
}  // namespace quillmark::cli
