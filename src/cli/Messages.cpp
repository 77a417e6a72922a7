#include "cli/Messages.h"

#include <cerrno>
#include <system_error>

namespace quillmark::cli {
namespace {

std::string SystemText(int error) {
  return std::system_category().message(error);
}

std::string Sent(const SendReport& report, std::uint32_t size) {
  return std::to_string(report.bytesWritten) + " of " + std::to_string(size) +
         " bytes had been sent";
}

#ifndef _WIN32
// The way to access a device owned by `group`: membership, or a udev rule when only root
// may open it.
std::string AccessAdvice(const PortTarget& target, const DeviceFacts& facts) {
  const std::string usual = target.line == LineKind::kSerial ? "dialout" : "lp";
  if (facts.group.empty() || facts.group == "root") {
    return "only root may open it: add a udev rule that gives it to the group " + usual +
           " (GROUP=\"" + usual + "\", MODE=\"0660\"), then add yourself to " + usual +
           " (sudo usermod -aG " + usual + " $USER) and log in again";
  }
  return "it belongs to the group " + facts.group +
         ": add yourself to that group (sudo usermod -aG " + facts.group +
         " $USER) and log in again, or give it to you with a udev rule";
}
#endif

}  // namespace

std::string DescribePort(const PortTarget& target) {
  switch (target.kind) {
    case PortKind::kNamed:
      return target.device.empty() || target.device == target.name
                 ? target.name
                 : target.name + " (" + target.device + ")";
    case PortKind::kDevicePath:
      return target.device;
    case PortKind::kTcp:
      return "the printer at " + FormatTcpAddress(target.tcp);
  }
  return target.text;
}

std::string DescribeOpenError(const PortTarget& target, int error, const DeviceFacts& facts,
                              const std::string& resolveError) {
  const std::string port = DescribePort(target);
  if (target.kind == PortKind::kTcp) {
    const std::string address = target.tcp.host + ":" + std::to_string(target.tcp.port);
    if (!resolveError.empty())
      return "cannot find the host " + target.tcp.host + ": " + resolveError;
#ifndef _WIN32
    if (error == ECONNREFUSED)
      return address + " refused the connection (" + SystemText(error) +
             "): is the printer switched on, and is " + std::to_string(target.tcp.port) +
             " its raw printing port (usually 9100)?";
    if (error == ETIMEDOUT)
      return "no answer from " + address + " within 5 seconds (" + SystemText(error) +
             "): check the address and that the printer is switched on";
#endif
    return "cannot connect to " + address + ": " + SystemText(error);
  }

#ifdef _WIN32
  constexpr int kFileNotFound = 2;
  constexpr int kAccessDenied = 5;
  if (error == kFileNotFound)
    return "there is no port " + port + " (" + SystemText(error) +
           "); quillmark-cli ports lists the ports";
  if (error == kAccessDenied)
    return "cannot open " + port + ": " + SystemText(error) +
           " (another program may be using the port)";
  (void)facts;
  return "cannot open " + port + ": " + SystemText(error);
#else
  switch (error) {
    case ENOENT:
      return "cannot open " + port + ": " + SystemText(error) +
             ". quillmark-cli ports lists the ports and the devices found; a USB printer is "
             "usually /dev/usb/lp0, a USB serial adapter /dev/ttyUSB0";
    case EACCES:
    case EPERM:
      return "cannot open " + port + ": " + SystemText(error) + "; " + AccessAdvice(target, facts);
    case EBUSY:
      return "cannot open " + port + ": " + SystemText(error) + " (another program is using it)";
    case ENXIO:
    case ENODEV:
      if (facts.fifo)
        return "cannot open " + port + ": nobody is reading this FIFO (" + SystemText(error) +
               "); start its reader first, for example quillmark-cli virtual-printer --fifo " +
               (target.device.empty() ? target.text : target.device);
      return "cannot open " + port + ": " + SystemText(error) +
             " (is the printer connected and switched on?)";
    default:
      return "cannot open " + port + ": " + SystemText(error);
  }
#endif
}

std::string DescribeSend(const PortTarget& target, const SendReport& report, std::uint32_t size,
                         const std::string& openReason) {
  const std::string port = DescribePort(target);
  switch (report.result) {
    case SendResult::kSent:
      return "sent " + std::to_string(size) + " bytes to " + port;
    case SendResult::kOpenFailed:
      return openReason;
    case SendResult::kNotReady:
      if (target.kind == PortKind::kTcp)
        return port + " took no data for 10 seconds; " + Sent(report, size);
      if (target.line == LineKind::kSerial)
        return "the printer on " + port +
               " did not report ready (DSR on) for 10 seconds: it is busy or switched off, or "
               "its cable does not carry the busy line to DSR (a pseudo-terminal has no modem "
               "lines at all); " +
               Sent(report, size);
      return "the printer on " + port +
             " was not ready for 10 seconds (off line, out of paper, busy or switched off); " +
             Sent(report, size);
    case SendResult::kStalled:
      return port + " reported ready but took no data for 10 seconds; " + Sent(report, size);
  }
  return {};
}

std::string DescribePictureError(int slot, const std::string& path, PictureError error,
                                 const std::string& systemReason) {
  std::string text =
      (slot > 0 ? "slot " + std::to_string(slot) + ": " : std::string()) + path + ": ";
  if (error == PictureError::kCannotOpen && !systemReason.empty()) return text + systemReason;
  return text + PictureErrorText(error);
}

}  // namespace quillmark::cli
