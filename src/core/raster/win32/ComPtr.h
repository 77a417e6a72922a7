#pragma once

#include <objbase.h>

#include <utility>

namespace quillmark {

// One reference to a COM object, released with the pointer. Move-only: a second reference
// is a second ComPtr made by As().
template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { Reset(); }

  void Reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // The slot a call that hands out a reference fills; what was held is released first.
  T** Out() noexcept {
    Reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

// The calling thread's membership of a COM apartment for as long as the object lives:
// CoInitializeEx on a single-threaded apartment, balanced by CoUninitialize on the same
// thread. A thread already in an apartment joins it again (S_FALSE, also balanced); a
// thread in the multithreaded one (RPC_E_CHANGED_MODE) uses it as it is and owes nothing.
class ComApartment {
 public:
  ComApartment() noexcept
      : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  bool Usable() const noexcept { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

}  // namespace quillmark
