#pragma once
// An owned BSTR. Copy versus adopt is in the name: Bstr::Copy / Bstr::Attach.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace ra03v {

class Bstr {
 public:
  Bstr() noexcept = default;
  Bstr(Bstr&& other) noexcept : value_(other.Release()) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { Reset(); }

  // Allocates a new BSTR holding a copy of text.
  static Bstr Copy(std::wstring_view text);
  // Allocates a new BSTR from Windows-1251 text.
  static Bstr From1251(std::string_view text);
  // Takes ownership of an existing BSTR.
  static Bstr Attach(BSTR value) noexcept {
    Bstr b;
    b.value_ = value;
    return b;
  }

  // Reads without giving up ownership (may be null, which means empty).
  BSTR Get() const noexcept { return value_; }
  UINT Length() const noexcept { return SysStringLen(value_); }
  std::wstring_view View() const noexcept { return {value_ ? value_ : L"", Length()}; }
  std::string To1251() const;

  // Frees the held string and takes ownership of value.
  void Reset(BSTR value = nullptr) noexcept {
    if (value_) SysFreeString(value_);
    value_ = value;
  }
  // Gives ownership away to the caller.
  [[nodiscard]] BSTR Release() noexcept { return std::exchange(value_, nullptr); }
  // Frees the held string and returns the slot for an out-parameter.
  BSTR* Put() noexcept {
    Reset();
    return &value_;
  }

 private:
  BSTR value_ = nullptr;
};

}  // namespace ra03v
