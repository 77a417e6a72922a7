#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>

namespace quillmark {

// Whether the core may allocate a buffer of `bytes` bytes: every buffer it sizes from what
// it reads or builds (ByteBlock, HeapArray, the PNG encoder's) asks first, and an
// allocation refused is a failed one. Without a hook every allocation goes ahead.
bool AllocationAllowed(std::size_t bytes) noexcept;

// The hook AllocationAllowed asks, for tests that take the paths where memory runs out;
// null takes it away. Set it only while no other thread allocates.
using AllocationHook = bool (*)(std::size_t bytes);
void SetAllocationHook(AllocationHook hook) noexcept;

// A run of bytes owned by one holder: a converted NV image or an outgoing stream.
// The buffer is allocated once at its final size and freed with the block; the block is
// move-only, so exactly one slot or command owns it at any time.
class ByteBlock {
 public:
  // A block of `size` bytes, all 0. Empty optional when the memory cannot be had:
  // callers report that as "nothing converted" or "nothing built" instead of crashing.
  static std::optional<ByteBlock> Allocate(std::uint32_t size) noexcept;
  // A block holding a copy of `bytes`; empty optional when the memory cannot be had.
  static std::optional<ByteBlock> CopyOf(std::span<const std::uint8_t> bytes) noexcept;

  ByteBlock(ByteBlock&&) noexcept = default;
  ByteBlock& operator=(ByteBlock&&) noexcept = default;
  ByteBlock(const ByteBlock&) = delete;
  ByteBlock& operator=(const ByteBlock&) = delete;
  ~ByteBlock() = default;

  std::uint8_t* data() noexcept { return data_.get(); }
  const std::uint8_t* data() const noexcept { return data_.get(); }
  std::uint32_t size() const noexcept { return size_; }
  std::span<std::uint8_t> bytes() noexcept { return {data_.get(), size_}; }
  std::span<const std::uint8_t> bytes() const noexcept { return {data_.get(), size_}; }

 private:
  struct FreeDeleter {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
  };
  ByteBlock(std::unique_ptr<std::uint8_t[], FreeDeleter> data, std::uint32_t size) noexcept
      : data_(std::move(data)), size_(size) {}

  std::unique_ptr<std::uint8_t[], FreeDeleter> data_;
  std::uint32_t size_ = 0;
};

}  // namespace quillmark
