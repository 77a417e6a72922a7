#include "state/ByteBlock.h"

#include <cstring>

namespace quillmark {

std::optional<ByteBlock> ByteBlock::Allocate(std::uint32_t size) noexcept {
  // calloc hands back zeroed memory or null, and never throws; one byte is asked for an
  // empty block so that a null result always means failure.
  void* memory = std::calloc(size == 0 ? 1 : size, 1);
  if (memory == nullptr) return std::nullopt;
  return ByteBlock(std::unique_ptr<std::uint8_t[], FreeDeleter>(static_cast<std::uint8_t*>(memory)),
                   size);
}

std::optional<ByteBlock> ByteBlock::CopyOf(std::span<const std::uint8_t> bytes) noexcept {
  auto block = Allocate(static_cast<std::uint32_t>(bytes.size()));
  if (block && !bytes.empty()) std::memcpy(block->data(), bytes.data(), bytes.size());
  return block;
}

}  // namespace quillmark
