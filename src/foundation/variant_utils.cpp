#include "foundation/variant_utils.h"

#include <cmath>
#include <stdexcept>

#include "foundation/win/variant.h"

namespace ra03v {

namespace {

double ReadDouble(const VARIANT& value) {
  const bool byRef = (V_VT(&value) & VT_BYREF) != 0;
  switch (V_VT(&value) & VT_TYPEMASK) {
    case VT_R8:
      return byRef ? *V_R8REF(&value) : V_R8(&value);
    case VT_CY: {
      const CY cy = byRef ? *V_CYREF(&value) : V_CY(&value);
      return static_cast<double>(cy.int64) / 10000.0;
    }
    default:
      return 0.0;
  }
}

void CheckArgsRange(SAFEARRAY* args, int last, size_t available) {
  if (!args || SafeArrayGetDim(args) != 1) throw std::invalid_argument("argument array expected");
  if (last >= 0 && static_cast<size_t>(last) >= available)
    throw std::invalid_argument("too few argument slots");
}

}  // namespace

VARTYPE VariantKind(const VARIANT& value) {
  VARTYPE kind = V_VT(&value) & ~VT_BYREF;
  if (kind == VT_CY) kind = VT_R8;
  if (kind == VT_R8) {
    const double d = ReadDouble(value);
    if (std::fabs(d - std::round(d)) < 1e-9) kind = VT_I4;
  }
  return kind;
}

bool VariantKindIn(const VARIANT& value, std::initializer_list<VARTYPE> kinds) {
  const VARTYPE kind = VariantKind(value);
  for (VARTYPE k : kinds)
    if (k == kind) return true;
  return false;
}

void GetArgs(SAFEARRAY* args, int last, std::span<VARIANT> targets) {
  CheckArgsRange(args, last, targets.size());
  LONG lower = 0;
  CheckHResult(SafeArrayGetLBound(args, 1, &lower), "SafeArrayGetLBound");
  for (int i = 0; i <= last; ++i) {
    VariantClear(&targets[i]);
    LONG index = lower + i;
    CheckHResult(SafeArrayGetElement(args, &index, &targets[i]), "SafeArrayGetElement");
  }
}

void PutArgs(SAFEARRAY* args, int last, std::span<const VARIANT> sources) {
  CheckArgsRange(args, last, sources.size());
  LONG lower = 0;
  CheckHResult(SafeArrayGetLBound(args, 1, &lower), "SafeArrayGetLBound");
  for (int i = 0; i <= last; ++i) {
    LONG index = lower + i;
    CheckHResult(SafeArrayPutElement(args, &index, const_cast<VARIANT*>(&sources[i])),
                 "SafeArrayPutElement");
  }
}

}  // namespace ra03v
