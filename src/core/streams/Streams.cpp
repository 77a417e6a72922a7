#include "streams/Streams.h"

#include <cstring>
#include <limits>
#include <string_view>

namespace quillmark {
namespace {

constexpr std::array<std::uint8_t, 4> kEscDefineHeader = {kEsc, kFs, kDefineNvImages, kSlotCount};

}  // namespace

std::uint64_t NvDefinitionStreamSize(const AppState& state) noexcept {
  std::uint64_t total = NvDefinitionHeaderSize(state.portSettings.brixMode);
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    const ByteBlock* image = state.Slot(slot);
    total += image != nullptr ? image->size() : BlankNvImage.size();
  }
  return total;
}

std::optional<ByteBlock> BuildNvDefinitionStream(const AppState& state) noexcept {
  const std::uint64_t total = NvDefinitionStreamSize(state);
  if (total > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  auto stream = ByteBlock::Allocate(static_cast<std::uint32_t>(total));
  if (!stream) return std::nullopt;

  std::uint8_t* out = stream->data();
  // The plain header is the ESC header without its first byte.
  const std::size_t headerSize = NvDefinitionHeaderSize(state.portSettings.brixMode);
  std::memcpy(out, kEscDefineHeader.data() + (4 - headerSize), headerSize);
  out += headerSize;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    const ByteBlock* image = state.Slot(slot);
    if (image != nullptr) {
      if (image->size() != 0) std::memcpy(out, image->data(), image->size());
      out += image->size();
    } else {
      std::memcpy(out, BlankNvImage.data(), BlankNvImage.size());
      out += BlankNvImage.size();
    }
  }
  return stream;
}

std::optional<ByteBlock> BuildNvPrintTestStream(std::int32_t brixMode) noexcept {
  std::array<std::uint8_t, 162> bytes{};
  std::size_t size = 0;
  auto put = [&](std::uint8_t byte) { bytes[size++] = byte; };
  for (int image = 1; image <= kSlotCount; ++image) {
    for (char c : std::string_view("[Image"))
      put(static_cast<std::uint8_t>(c));
    if (image >= 10) put(static_cast<std::uint8_t>('0' + image / 10));
    put(static_cast<std::uint8_t>('0' + image % 10));
    put(']');
    put(kLf);
    if (brixMode != 0) put(kEsc);
    put(kFs);
    put(kPrintNvImage);
    put(static_cast<std::uint8_t>(image));
    put(0);  // m: normal size
    put(kLf);
    put(kLf);
  }
  put(kNul);
  return ByteBlock::CopyOf(std::span<const std::uint8_t>(bytes.data(), size));
}

}  // namespace quillmark
