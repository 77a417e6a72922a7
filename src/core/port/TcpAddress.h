#pragma once

// The address of a network printer's raw port, as front ends write it: "tcp:HOST:PORT".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmark {

// The usual raw printing port of network printers.
inline constexpr std::uint16_t kRawPrintingPort = 9100;

struct TcpAddress {
  std::string host;  // a name, an IPv4 address, or an IPv6 address without brackets
  std::uint16_t port = 0;

  friend bool operator==(const TcpAddress&, const TcpAddress&) = default;
};

// Whether `text` is meant as a network address: it begins with "tcp:".
bool IsTcpAddressText(std::string_view text) noexcept;

// Parses "tcp:HOST:PORT" or "tcp:HOST", where HOST is a name, an IPv4 address or an IPv6
// address in brackets ("tcp:[::1]:9100", "tcp:[::1]") and PORT a number from 1 to 65535 (0
// too when `allowPortZero`, for a listener that takes any free port); without a port it is
// kRawPrintingPort. Empty optional, with `error` saying what is
// wrong, otherwise.
std::optional<TcpAddress> ParseTcpAddress(std::string_view text, std::string& error,
                                          bool allowPortZero = false);

// "tcp:HOST:PORT" again, with brackets around an IPv6 address.
std::string FormatTcpAddress(const TcpAddress& address);

}  // namespace quillmark
