#pragma once
// An owned COM interface pointer (one reference).
#include <unknwn.h>

#include <utility>

namespace ra03v {

template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(const ComPtr& other) noexcept : ptr_(other.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : ptr_(other.Detach()) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Adds a reference of its own to p.
  static ComPtr Copy(T* p) noexcept {
    ComPtr c;
    c.ptr_ = p;
    if (p) p->AddRef();
    return c;
  }
  // Takes over the reference that p carries.
  static ComPtr Attach(T* p) noexcept {
    ComPtr c;
    c.ptr_ = p;
    return c;
  }

  // Reads without giving up the reference.
  T* Get() const noexcept { return ptr_; }
  T* operator->() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }
  // Releases the held reference.
  void Reset() noexcept {
    if (ptr_) std::exchange(ptr_, nullptr)->Release();
  }
  // Gives the reference away to the caller.
  [[nodiscard]] T* Detach() noexcept { return std::exchange(ptr_, nullptr); }
  // Releases the held reference and returns the slot for an out-parameter.
  T** Put() noexcept {
    Reset();
    return &ptr_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

 private:
  T* ptr_ = nullptr;
};

}  // namespace ra03v
