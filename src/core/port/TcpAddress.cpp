#include "port/TcpAddress.h"

namespace quillmark {
namespace {

constexpr std::string_view kScheme = "tcp:";

}  // namespace

bool IsTcpAddressText(std::string_view text) noexcept {
  return text.substr(0, kScheme.size()) == kScheme;
}

std::optional<TcpAddress> ParseTcpAddress(std::string_view text, std::string& error,
                                          bool allowPortZero) {
  if (!IsTcpAddressText(text)) {
    error = "a network address begins with tcp:";
    return std::nullopt;
  }
  std::string_view rest = text.substr(kScheme.size());
  TcpAddress address;
  // Without ":PORT" the raw printing port is meant.
  std::optional<std::string_view> port;
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos || (close + 1 < rest.size() && rest[close + 1] != ':')) {
      error =
          "an IPv6 address is written in brackets, optionally followed by :PORT, as "
          "tcp:[::1]:9100";
      return std::nullopt;
    }
    address.host = std::string(rest.substr(1, close - 1));
    if (close + 1 < rest.size()) port = rest.substr(close + 2);
  } else {
    const std::size_t colon = rest.rfind(':');
    address.host = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) port = rest.substr(colon + 1);
    if (address.host.find(':') != std::string::npos) {
      error = "an IPv6 address is written in brackets, as tcp:[::1]:9100";
      return std::nullopt;
    }
  }
  if (address.host.empty()) {
    error = "the host is missing: write tcp:HOST or tcp:HOST:PORT, as tcp:192.168.1.50:9100";
    return std::nullopt;
  }
  if (!port) {
    address.port = kRawPrintingPort;
    return address;
  }
  std::uint32_t number = 0;
  bool digits = !port->empty() && port->size() <= 5;
  for (char c : *port) {
    if (c < '0' || c > '9') {
      digits = false;
      break;
    }
    number = number * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (!digits || number > 65535 || (number == 0 && !allowPortZero)) {
    error = "the port must be a number from " + std::string(allowPortZero ? "0" : "1") +
            " to 65535, not \"" + std::string(*port) + "\"";
    return std::nullopt;
  }
  address.port = static_cast<std::uint16_t>(number);
  return address;
}

std::string FormatTcpAddress(const TcpAddress& address) {
  const bool ipv6 = address.host.find(':') != std::string::npos;
  return std::string(kScheme) + (ipv6 ? "[" + address.host + "]" : address.host) + ":" +
         std::to_string(address.port);
}

}  // namespace quillmark
