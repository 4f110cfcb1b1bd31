#pragma once
// Calls members of an automation object by name (late binding).
#include <oaidl.h>

#include <initializer_list>

#include "foundation/win/variant.h"

namespace ra03v {

// Invokes member name with kind DISPATCH_METHOD, DISPATCH_PROPERTYGET or
// DISPATCH_PROPERTYPUT; args are given in natural order. Failures throw,
// carrying the object's own error text when it gave one.
Variant InvokeByName(IDispatch* object, const wchar_t* name, WORD kind,
                     std::initializer_list<const VARIANT*> args = {});

inline Variant CallMethod(IDispatch* object, const wchar_t* name,
                          std::initializer_list<const VARIANT*> args = {}) {
  return InvokeByName(object, name, DISPATCH_METHOD, args);
}
inline Variant GetProperty(IDispatch* object, const wchar_t* name) {
  return InvokeByName(object, name, DISPATCH_PROPERTYGET);
}
inline void PutProperty(IDispatch* object, const wchar_t* name, const VARIANT& value) {
  InvokeByName(object, name, DISPATCH_PROPERTYPUT, {&value});
}

}  // namespace ra03v
