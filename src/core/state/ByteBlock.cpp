#include "state/ByteBlock.h"

#include <atomic>
#include <cstring>

namespace quillmark {
namespace {

std::atomic<AllocationHook> gAllocationHook{nullptr};

}  // namespace

bool AllocationAllowed(std::size_t bytes) noexcept {
  const AllocationHook hook = gAllocationHook.load(std::memory_order_relaxed);
  return hook == nullptr || hook(bytes);
}

void SetAllocationHook(AllocationHook hook) noexcept {
  gAllocationHook.store(hook, std::memory_order_relaxed);
}

std::optional<ByteBlock> ByteBlock::Allocate(std::uint32_t size) noexcept {
  if (!AllocationAllowed(size)) return std::nullopt;
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
