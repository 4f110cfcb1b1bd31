#pragma once
// An owned VARIANT. Results built here are handed over with Release().
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace ra03v {

class Variant {
 public:
  Variant() noexcept { VariantInit(&value_); }
  Variant(Variant&& other) noexcept : value_(other.Release()) {}
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value_); }

  // Deep copy of source; a by-reference source is copied as its referenced value.
  static Variant Copy(const VARIANT& source);
  static Variant FromInt(int32_t value) noexcept;
  static Variant FromDouble(double value) noexcept;
  static Variant FromBool(bool value) noexcept;
  static Variant FromText(std::wstring_view text);
  static Variant From1251(std::string_view text);
  // Takes ownership of source's contents; source is left VT_EMPTY.
  static Variant Attach(VARIANT& source) noexcept;

  // Reads without giving up ownership.
  const VARIANT& Get() const noexcept { return value_; }
  VARTYPE Type() const noexcept { return V_VT(&value_); }
  // Frees the held value and takes ownership of value's contents.
  void Reset(const VARIANT& value) noexcept;
  void Clear() noexcept { VariantClear(&value_); }
  // Gives the value away; this object is left VT_EMPTY.
  [[nodiscard]] VARIANT Release() noexcept;
  // Frees the held value and returns the slot for an out-parameter.
  VARIANT* Put() noexcept {
    VariantClear(&value_);
    return &value_;
  }

  // Conversions through the automation rules; they throw on failure.
  std::wstring ToText() const;
  std::string To1251() const;
  int32_t ToInt() const;
  double ToDouble() const;

 private:
  VARIANT value_;
};

static_assert(sizeof(Variant) == sizeof(VARIANT), "Variant must hold exactly one VARIANT");

// Throws a plain exception when an automation call failed.
void CheckHResult(HRESULT hr, const char* what);

}  // namespace ra03v
