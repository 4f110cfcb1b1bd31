#pragma once
// Reaching value array objects (the library's own or the host's) from device
// code, and reading host values as property text.
#include <oaidl.h>

#include <string>

#include "foundation/win/com_ptr.h"
#include "foundation/win/variant.h"
#include "ra03v/value_array.h"

namespace ra03v {

// Raises the value array's own error text when it left one, else the failure code.
void CheckArrayCall(HRESULT hr, const char* what);
// The value array behind a VT_DISPATCH or VT_UNKNOWN value; null for anything else.
ComPtr<ISafeArray> ValueArrayOf(const VARIANT& value);
// The object as a VT_DISPATCH value (ISafeArray is an IDispatch).
Variant ValueArrayValue(ComPtr<ISafeArray> table);
// A host value as text: numbers with the library's decimal separator, never
// the locale's; empty and null give empty text.
std::string ValueText(const VARIANT& value);

}  // namespace ra03v
