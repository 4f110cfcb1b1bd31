#include "support/dispatch_caller.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <fstream>

#include "foundation/win/bstr.h"
#include "foundation/win/unique_handle.h"

namespace ra03v::test {

DispatchOutcome CallByName(IDispatch* object, const wchar_t* name, WORD flags,
                           std::initializer_list<VARIANT> args) {
  DispatchOutcome outcome;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  outcome.hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(outcome.hr)) return outcome;
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  EXCEPINFO error{};
  outcome.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                              outcome.result.Put(), &error, nullptr);
  outcome.scode = error.scode;
  if (error.bstrDescription) outcome.description = error.bstrDescription;
  if (error.bstrSource) outcome.source = error.bstrSource;
  SysFreeString(error.bstrDescription);
  SysFreeString(error.bstrSource);
  SysFreeString(error.bstrHelpFile);
  return outcome;
}

DispatchOutcome CallMethod(IDispatch* object, const wchar_t* name,
                           std::initializer_list<VARIANT> args) {
  return CallByName(object, name, DISPATCH_METHOD, args);
}

VARIANT I4(int32_t value) { return Variant::FromInt(value).Release(); }

VARIANT Text(const wchar_t* text) {
  static std::deque<Bstr> pool;
  pool.push_back(Bstr::Copy(text));
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = pool.back().Get();
  return v;
}

VARIANT RefVariant(VARIANT* target) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&v) = target;
  return v;
}

VARIANT RefI4(LONG* target) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | VT_I4;
  V_I4REF(&v) = target;
  return v;
}

std::wstring TempFileName(const wchar_t* stem) {
  static std::atomic<int> counter{0};
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + stem + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
         std::to_wstring(++counter) + L".dat";
}

std::string ReadFileBytes(const std::wstring& name) {
  FileHandle file(
      CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string bytes(GetFileSize(file.Get(), nullptr), '\0');
  DWORD got = 0;
  if (!bytes.empty())
    ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  bytes.resize(got);
  return bytes;
}

void WriteFileBytes(const std::wstring& name, const std::string& bytes) {
  FileHandle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (file && !bytes.empty())
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace ra03v::test
