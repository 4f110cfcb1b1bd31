#include "foundation/win/variant.h"

#include <new>
#include <stdexcept>

#include "foundation/error_codes.h"
#include "foundation/text_codec.h"
#include "foundation/win/bstr.h"
#include "foundation/win/win_error.h"

namespace ra03v {

void CheckHResult(HRESULT hr, const char* what) {
  if (FAILED(hr)) ThrowSystemError(what, static_cast<DWORD>(hr));
}

namespace {

// A value that cannot become the target type, told in the user's language.
[[noreturn]] void ThrowConversionError(HRESULT hr, VARTYPE target) {
  const bool russian = CurrentMessageLanguage() == MessageLanguage::Russian;
  const char* name = "";
  switch (target) {
    case VT_BSTR:
      name = russian ? "текст" : "text";
      break;
    case VT_I4:
      name = russian ? "целое число" : "an integer";
      break;
    default:
      name = russian ? "число" : "a number";
      break;
  }
  throw SystemError(std::string(russian ? "Значение нельзя преобразовать в "
                                        : "The value cannot be converted to ") +
                        name + ": " + SystemErrorText(static_cast<DWORD>(hr)),
                    static_cast<DWORD>(hr));
}

void ChangeType(Variant& out, const VARIANT& in, USHORT flags, VARTYPE target) {
  const HRESULT hr = VariantChangeType(out.Put(), const_cast<VARIANT*>(&in), flags, target);
  if (FAILED(hr)) ThrowConversionError(hr, target);
}

}  // namespace

Variant Variant::Copy(const VARIANT& source) {
  Variant v;
  CheckHResult(VariantCopyInd(&v.value_, const_cast<VARIANT*>(&source)), "VariantCopyInd");
  return v;
}

Variant Variant::FromInt(int32_t value) noexcept {
  Variant v;
  V_VT(&v.value_) = VT_I4;
  V_I4(&v.value_) = value;
  return v;
}

Variant Variant::FromDouble(double value) noexcept {
  Variant v;
  V_VT(&v.value_) = VT_R8;
  V_R8(&v.value_) = value;
  return v;
}

Variant Variant::FromBool(bool value) noexcept {
  Variant v;
  V_VT(&v.value_) = VT_BOOL;
  V_BOOL(&v.value_) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::FromText(std::wstring_view text) {
  Variant v;
  V_BSTR(&v.value_) = Bstr::Copy(text).Release();
  V_VT(&v.value_) = VT_BSTR;
  return v;
}

Variant Variant::From1251(std::string_view text) { return FromText(Text1251ToWide(text)); }

Variant Variant::Attach(VARIANT& source) noexcept {
  Variant v;
  v.value_ = source;
  VariantInit(&source);
  return v;
}

void Variant::Reset(const VARIANT& value) noexcept {
  VariantClear(&value_);
  value_ = value;
}

VARIANT Variant::Release() noexcept {
  VARIANT out = value_;
  VariantInit(&value_);
  return out;
}

std::wstring Variant::ToText() const {
  if (V_VT(&value_) == VT_BSTR) {
    const BSTR text = V_BSTR(&value_);
    return std::wstring(text ? text : L"", SysStringLen(text));
  }
  Variant converted;
  ChangeType(converted, value_, VARIANT_ALPHABOOL, VT_BSTR);
  return std::wstring(V_BSTR(&converted.value_) ? V_BSTR(&converted.value_) : L"",
                      SysStringLen(V_BSTR(&converted.value_)));
}

std::string Variant::To1251() const { return WideTo1251(ToText()); }

int32_t Variant::ToInt() const {
  Variant converted;
  ChangeType(converted, value_, 0, VT_I4);
  return V_I4(&converted.value_);
}

double Variant::ToDouble() const {
  Variant converted;
  ChangeType(converted, value_, 0, VT_R8);
  return V_R8(&converted.value_);
}

}  // namespace ra03v
