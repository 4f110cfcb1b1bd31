#pragma once
// The value encoding of the storage file: a VARTYPE word, then the value's
// bytes; arrays with their bounds, bulk element types as raw memory.
#include <windows.h>
#include <oleauto.h>

#include "foundation/win/variant.h"
#include "host/memory_stream.h"

namespace ra03v {

// Arrays within arrays (and by-reference wrappers) deeper than this are refused,
// so hostile input cannot exhaust the stack.
inline constexpr int kMaxValueNesting = 64;
// Array dimensions accepted on reading.
inline constexpr int kMaxArrayDimensions = 8;

// Appends value; raises the unsupported-type error for what cannot be encoded.
void WriteValue(TMyMemoryStream& stream, const VARIANT& value, int depth = 0);
// Reads one value at the stream's position. A two-dimensional array comes back
// as a new value array object (VT_DISPATCH).
Variant ReadValue(TMyMemoryStream& stream, int depth = 0);
// The same into target, which must hold nothing that needs freeing; target is
// set only when the whole value has been read.
void ReadValueInto(TMyMemoryStream& stream, int depth, VARIANT& target);

// "Неподдерживаемый тип данных..." for a value of type, shown through value.
[[noreturn]] void RaiseUnsupportedType(unsigned type, const VARIANT* value);

}  // namespace ra03v
