#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>

#include "state/ByteBlock.h"

namespace quillmark {

// A fixed-size, zero-filled array on the heap whose allocation failure is a value, not an
// exception: the conversion sizes its buffers from the picture, so running out of memory
// must end in "nothing converted" rather than std::bad_alloc. Only for trivial types,
// whose all-zero bytes are a valid value.
template <typename T>
class HeapArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  HeapArray() noexcept = default;

  static std::optional<HeapArray> Allocate(std::size_t count) noexcept {
    if (count > SIZE_MAX / sizeof(T) || !AllocationAllowed(count * sizeof(T))) return std::nullopt;
    void* memory = std::calloc(count == 0 ? 1 : count, sizeof(T));
    if (memory == nullptr) return std::nullopt;
    HeapArray array;
    array.data_.reset(static_cast<T*>(memory));
    array.size_ = count;
    return array;
  }

  T* data() noexcept { return data_.get(); }
  const T* data() const noexcept { return data_.get(); }
  std::size_t size() const noexcept { return size_; }
  T& operator[](std::size_t i) noexcept { return data_.get()[i]; }
  const T& operator[](std::size_t i) const noexcept { return data_.get()[i]; }
  std::span<T> span() noexcept { return {data_.get(), size_}; }
  std::span<const T> span() const noexcept { return {data_.get(), size_}; }

 private:
  struct FreeDeleter {
    void operator()(T* p) const noexcept { std::free(p); }
  };
  std::unique_ptr<T, FreeDeleter> data_;
  std::size_t size_ = 0;
};

}  // namespace quillmark
