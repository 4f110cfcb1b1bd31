#include "host/table_cells.h"

#include <cstring>
#include <stdexcept>

namespace ra03v {

ULONG ElementSize(VARTYPE type) noexcept {
  switch (type) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_ERROR:
    case VT_INT:
    case VT_UINT:
      return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
      return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return sizeof(void*);
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

int64_t ArrayElementCount(SAFEARRAY* array) {
  int64_t count = 1;
  for (UINT d = 0; d < array->cDims; ++d) count *= array->rgsabound[d].cElements;
  return count;
}

void CheckTableShape(SAFEARRAY* array, VARTYPE type) {
  if (SafeArrayGetDim(array) != 2) throw std::runtime_error("Массив должен быть двумерным.");
  const ULONG size = ElementSize(type);
  if (size == 0 || SafeArrayGetElemsize(array) != size)
    throw std::runtime_error("Тип элементов массива не совпадает с заданным: " +
                             std::to_string(type));
}

VARIANT ViewElement(const void* element, VARTYPE type) noexcept {
  VARIANT view;
  VariantInit(&view);
  if (type == VT_DECIMAL) {
    std::memcpy(&V_DECIMAL(&view), element, sizeof(DECIMAL));
  } else {
    std::memcpy(&V_UI1(&view), element, ElementSize(type));
  }
  V_VT(&view) = type;
  return view;
}

void MoveIntoElement(void* element, VARTYPE type, VARIANT& value) {
  if (type == VT_VARIANT) {
    auto* slot = static_cast<VARIANT*>(element);
    VariantClear(slot);
    *slot = value;
    VariantInit(&value);
    return;
  }
  Variant converted;
  if (V_VT(&value) == type)
    converted = Variant::Attach(value);
  else
    CheckHResult(VariantChangeType(converted.Put(), &value, 0, type), "VariantChangeType");
  VariantClear(&value);
  // Free what the element held (a string or an interface) before overwriting it.
  VARIANT old = ViewElement(element, type);
  VariantClear(&old);
  VARIANT moved = converted.Release();
  if (type == VT_DECIMAL)
    std::memcpy(element, &V_DECIMAL(&moved), sizeof(DECIMAL));
  else
    std::memcpy(element, &V_UI1(&moved), ElementSize(type));
}

Variant GetCell(SAFEARRAY* array, VARTYPE type, LONG x, LONG y) {
  LONG index[2] = {x, y};
  void* element = nullptr;
  CheckHResult(SafeArrayPtrOfIndex(array, index, &element), "SafeArrayPtrOfIndex");
  if (type == VT_VARIANT) return Variant::Copy(*static_cast<VARIANT*>(element));
  return Variant::Copy(ViewElement(element, type));
}

void PutCell(SAFEARRAY* array, VARTYPE type, LONG x, LONG y, const VARIANT& value) {
  Variant copy = Variant::Copy(value);
  LONG index[2] = {x, y};
  void* element = nullptr;
  CheckHResult(SafeArrayPtrOfIndex(array, index, &element), "SafeArrayPtrOfIndex");
  VARIANT moved = copy.Release();
  try {
    MoveIntoElement(element, type, moved);
  } catch (...) {
    VariantClear(&moved);
    throw;
  }
}

}  // namespace ra03v
