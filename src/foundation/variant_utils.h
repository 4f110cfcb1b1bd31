#pragma once
// Classifying variant values and copying call argument arrays.
#include <windows.h>
#include <oleauto.h>

#include <initializer_list>
#include <span>

namespace ra03v {

// The value's type without the by-reference bit; currency counts as double, and
// a double within 1e-9 of an integer counts as VT_I4.
VARTYPE VariantKind(const VARIANT& value);
bool VariantKindIn(const VARIANT& value, std::initializer_list<VARTYPE> kinds);

// For i = 0..last: clears targets[i] and fetches element (lower bound + i) of
// the one-dimensional argument array into it.
void GetArgs(SAFEARRAY* args, int last, std::span<VARIANT> targets);
// For i = 0..last: stores sources[i] as element (lower bound + i).
void PutArgs(SAFEARRAY* args, int last, std::span<const VARIANT> sources);

}  // namespace ra03v
