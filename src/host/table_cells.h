#pragma once
// Typed access to the cells of a table's SAFEARRAY, whatever its element type.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>

#include "foundation/win/variant.h"

namespace ra03v {

// Bytes of one element of type as a SAFEARRAY stores it; 0 for types a table cannot hold.
ULONG ElementSize(VARTYPE type) noexcept;
// Product of the extents of every dimension.
int64_t ArrayElementCount(SAFEARRAY* array);
// Raises unless array is two-dimensional and its elements are of type.
void CheckTableShape(SAFEARRAY* array, VARTYPE type);

// Copies cell (x, y) out as a VARIANT of the element type (bounds checked by the array).
Variant GetCell(SAFEARRAY* array, VARTYPE type, LONG x, LONG y);
// Stores value into cell (x, y), converted to the element type when that is not VT_VARIANT.
void PutCell(SAFEARRAY* array, VARTYPE type, LONG x, LONG y, const VARIANT& value);
// Moves value into the element at data (its old content is freed); value is left empty.
void MoveIntoElement(void* element, VARTYPE type, VARIANT& value);
// A VARIANT of type that views the element at data without owning it.
VARIANT ViewElement(const void* element, VARTYPE type) noexcept;

}  // namespace ra03v
