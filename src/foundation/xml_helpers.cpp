#include "foundation/xml_helpers.h"

#include <objbase.h>

#include "foundation/text_codec.h"
#include "foundation/win/late_binding.h"
#include "foundation/win/variant.h"
#include "foundation/win/win_error.h"

namespace ra03v {

namespace {

ComPtr<IDispatch> CreateByProgId(const wchar_t* progId, HRESULT& hr) {
  ComPtr<IDispatch> object;
  CLSID clsid{};
  hr = CLSIDFromProgID(progId, &clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid());
  return object;
}

}  // namespace

ComPtr<IDispatch> CreateXmlDocument() {
  HRESULT hr = S_OK;
  ComPtr<IDispatch> document = CreateByProgId(L"Msxml2.DOMDocument", hr);
  if (!document) document = CreateByProgId(L"MSXML.DOMDocument", hr);
  if (!document) ThrowSystemError("CreateXmlDocument", static_cast<DWORD>(hr));
  return document;
}

std::string GetAttributeDef(IDispatch* node, std::string_view name, std::string_view defaultValue) {
  if (!node) return std::string(defaultValue);
  const Variant attributeName = Variant::From1251(name);
  const Variant value = CallMethod(node, L"getAttribute", {&attributeName.Get()});
  if (value.Type() == VT_NULL || value.Type() == VT_EMPTY) return std::string(defaultValue);
  return value.To1251();
}

}  // namespace ra03v
