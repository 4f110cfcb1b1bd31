#pragma once
// An owned SAFEARRAY and a scoped lock on its data that respects lower bounds.
#include <windows.h>
#include <oleauto.h>

#include <utility>

#include "foundation/win/variant.h"

namespace ra03v {

class SafeArray {
 public:
  SafeArray() noexcept = default;
  SafeArray(SafeArray&& other) noexcept : array_(other.Release()) {}
  SafeArray& operator=(SafeArray&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;
  ~SafeArray() { Reset(); }

  // Creates a one-dimensional array of count elements starting at lowerBound.
  static SafeArray Vector(VARTYPE type, LONG lowerBound, ULONG count);
  // Takes ownership of an existing array.
  static SafeArray Attach(SAFEARRAY* array) noexcept {
    SafeArray a;
    a.array_ = array;
    return a;
  }

  // Reads without giving up ownership.
  SAFEARRAY* Get() const noexcept { return array_; }
  void Reset(SAFEARRAY* array = nullptr) noexcept {
    if (array_) SafeArrayDestroy(array_);
    array_ = array;
  }
  // Gives ownership away to the caller.
  [[nodiscard]] SAFEARRAY* Release() noexcept { return std::exchange(array_, nullptr); }
  // Destroys the held array and returns the slot for an out-parameter.
  SAFEARRAY** Put() noexcept {
    Reset();
    return &array_;
  }

 private:
  SAFEARRAY* array_ = nullptr;
};

// Pairs SafeArrayAccessData with SafeArrayUnaccessData for one dimension.
template <typename T>
class SafeArrayLock {
 public:
  explicit SafeArrayLock(SAFEARRAY* array) : array_(array) {
    CheckHResult(SafeArrayGetLBound(array, 1, &lower_), "SafeArrayGetLBound");
    CheckHResult(SafeArrayGetUBound(array, 1, &upper_), "SafeArrayGetUBound");
    CheckHResult(SafeArrayAccessData(array, reinterpret_cast<void**>(&data_)),
                 "SafeArrayAccessData");
  }
  SafeArrayLock(const SafeArrayLock&) = delete;
  SafeArrayLock& operator=(const SafeArrayLock&) = delete;
  ~SafeArrayLock() { SafeArrayUnaccessData(array_); }

  LONG Lower() const noexcept { return lower_; }
  LONG Upper() const noexcept { return upper_; }
  // Element at index i in the array's own numbering (lower bound first).
  T& operator[](LONG i) const noexcept { return data_[i - lower_]; }

 private:
  SAFEARRAY* array_;
  LONG lower_ = 0;
  LONG upper_ = -1;
  T* data_ = nullptr;
};

}  // namespace ra03v
