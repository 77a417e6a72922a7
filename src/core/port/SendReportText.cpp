// The report of a send in plain words, for the details of "Communication Error" in the
// window and the lines under it on the command line.

#include <cerrno>
#include <system_error>

#include "port/PortTransport.h"

namespace quillmark {
namespace {

std::string SystemText(int error) {
  return std::system_category().message(error);
}

std::string OfSize(std::int64_t count, std::uint32_t size) {
  return std::to_string(count) + " of " + std::to_string(size) + " bytes";
}

// A failed open the backend had nothing to add to.
std::string OpenFailure(const std::string& port, int error) {
#ifdef _WIN32
  constexpr int kFileNotFound = 2;
  constexpr int kAccessDenied = 5;
  if (error == kFileNotFound)
    return "there is no port " + port + " (" + SystemText(error) +
           "); quillmark-cli ports lists the ports";
  if (error == kAccessDenied)
    return "cannot open " + port + ": " + SystemText(error) +
           " (another program may be using the port)";
#endif
  return "cannot open " + port + ": " + SystemText(error);
}

}  // namespace

std::string DescribeSendReport(const SendReport& report) {
  const std::string& port = report.port;
  const std::string sent = OfSize(report.bytesWritten, report.size) + " had been sent";
  switch (report.result) {
    case SendResult::kSent:
      return "sent " + std::to_string(report.size) + " bytes to " + port;
    case SendResult::kNotBuilt:
      return "not enough memory to build the stream";
    case SendResult::kOpenFailed:
      return report.reason.empty() ? OpenFailure(port, report.error) : report.reason;
    case SendResult::kNotReady: {
      std::string text = "the printer on " + port + " was not ready for 10 seconds";
      if (!report.reason.empty()) {
        text += ": " + report.reason;
      } else if (report.parallel) {
        text += " (off line, out of paper, busy or switched off)";
      } else {
        text +=
            " (DSR stayed off: it is busy or switched off, or its cable does not carry the busy "
            "line to DSR)";
      }
      return text + "; " + sent;
    }
    case SendResult::kStalled:
      return port + " reported ready but took no data for 10 seconds; " + sent;
    case SendResult::kLinkBroken: {
      const std::string what =
          port + ": " + (report.reason.empty() ? "the link to the printer broke" : report.reason);
      const std::string system = " (" + SystemText(report.error) + ")";
      // Where the device knows what the printer took, that is what arrived.
      if (report.bytesTaken >= 0)
        return what + " after " + OfSize(report.bytesTaken, report.size) + system;
      return what + system + "; " + sent;
    }
  }
  return {};
}

}  // namespace quillmark
