#include "devices/value_array_access.h"

#include <charconv>

#include "foundation/error_codes.h"
#include "foundation/format_settings.h"
#include "foundation/win/bstr.h"

namespace ra03v {

void CheckArrayCall(HRESULT hr, const char* what) {
  if (SUCCEEDED(hr)) return;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) == S_OK && info) {
    BSTR description = nullptr;
    if (SUCCEEDED(info->GetDescription(&description)) && description) {
      const Bstr text = Bstr::Attach(description);
      if (text.Length() > 0) RaiseText(text.To1251());
    }
  }
  CheckHResult(hr, what);
}

ComPtr<ISafeArray> ValueArrayOf(const VARIANT& value) {
  const Variant copy = Variant::Copy(value);
  if (copy.Type() != VT_DISPATCH && copy.Type() != VT_UNKNOWN) return {};
  IUnknown* unknown = V_UNKNOWN(&copy.Get());
  ComPtr<ISafeArray> table;
  if (!unknown || FAILED(unknown->QueryInterface(RA03V_IID_ISafeArray, table.PutVoid()))) return {};
  return table;
}

Variant ValueArrayValue(ComPtr<ISafeArray> table) {
  VARIANT raw;
  VariantInit(&raw);
  V_VT(&raw) = VT_DISPATCH;
  V_DISPATCH(&raw) = table.Detach();
  Variant out;
  out.Reset(raw);
  return out;
}

std::string ValueText(const VARIANT& value) {
  const Variant cell = Variant::Copy(value);
  const VARTYPE type = cell.Type();
  if (type == VT_EMPTY || type == VT_NULL) return {};
  if (type == VT_R4 || type == VT_R8 || type == VT_CY || type == VT_DECIMAL) {
    const double number = cell.ToDouble();
    char buffer[64];
    const auto done = std::to_chars(buffer, buffer + sizeof buffer, number);
    std::string text(buffer, done.ptr);
    for (char& c : text)
      if (c == '.') c = Formats().decimalSeparator;
    return text;
  }
  return cell.To1251();
}

}  // namespace ra03v
