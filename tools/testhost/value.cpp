#include "test_host.h"

#include <stdexcept>

namespace ra03v_host {

Value::Value(const Value& other) {
  VariantInit(&v_);
  VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
}

Value& Value::operator=(const Value& other) {
  if (this != &other) VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
  return *this;
}

Value Value::Int(int32_t i) {
  Value v;
  V_VT(&v.v_) = VT_I4;
  V_I4(&v.v_) = i;
  return v;
}

Value Value::Double(double d) {
  Value v;
  V_VT(&v.v_) = VT_R8;
  V_R8(&v.v_) = d;
  return v;
}

Value Value::Text(const std::wstring& s) {
  Value v;
  V_VT(&v.v_) = VT_BSTR;
  V_BSTR(&v.v_) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return v;
}

Value Value::Object(IUnknown* object, VARTYPE type) {
  Value v;
  V_VT(&v.v_) = type;
  V_UNKNOWN(&v.v_) = object;
  if (object) object->AddRef();
  return v;
}

Value Value::Copy(const VARIANT& source) {
  Value v;
  VariantCopyInd(&v.v_, const_cast<VARIANT*>(&source));
  return v;
}

std::wstring Value::ToText() const {
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&v_), VARIANT_ALPHABOOL, VT_BSTR)))
    throw std::runtime_error("value is not convertible to text");
  std::wstring out(V_BSTR(&text) ? V_BSTR(&text) : L"", SysStringLen(V_BSTR(&text)));
  VariantClear(&text);
  return out;
}

int32_t Value::ToInt() const {
  VARIANT number;
  VariantInit(&number);
  if (FAILED(VariantChangeType(&number, const_cast<VARIANT*>(&v_), 0, VT_I4)))
    throw std::runtime_error("value is not convertible to an integer");
  return V_I4(&number);
}

void PumpFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return;
    MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds - elapsed, QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
}

std::wstring GuidText(const GUID& id) {
  wchar_t text[40];
  StringFromGUID2(id, text, 40);
  return text;
}

}  // namespace ra03v_host
