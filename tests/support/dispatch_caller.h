#pragma once
// Calls an IDispatch member by name the way an automation host does, and
// helpers for the value array tests.
#include <windows.h>
#include <oaidl.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "foundation/win/variant.h"

namespace ra03v::test {

struct DispatchOutcome {
  HRESULT hr = E_FAIL;
  Variant result;
  SCODE scode = 0;
  std::wstring description;
  std::wstring source;
};

// Looks the name up with GetIDsOfNames and invokes it with args in natural
// order (the caller keeps ownership of them). A property put passes the value
// as the named argument DISPID_PROPERTYPUT, as hosts do.
DispatchOutcome CallByName(IDispatch* object, const wchar_t* name, WORD flags,
                           std::initializer_list<VARIANT> args = {});
DispatchOutcome CallMethod(IDispatch* object, const wchar_t* name,
                           std::initializer_list<VARIANT> args = {});

// VARIANTs for argument lists (no ownership for the by-reference ones).
VARIANT I4(int32_t value);
VARIANT Text(const wchar_t* text);  // owned by a pool freed at exit of the test
VARIANT RefVariant(VARIANT* target);
VARIANT RefI4(LONG* target);

// A fresh file name in the temporary folder (the file is not created).
std::wstring TempFileName(const wchar_t* stem);
std::string ReadFileBytes(const std::wstring& name);
void WriteFileBytes(const std::wstring& name, const std::string& bytes);

}  // namespace ra03v::test
