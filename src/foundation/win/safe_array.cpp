#include "foundation/win/safe_array.h"

#include <new>

namespace ra03v {

SafeArray SafeArray::Vector(VARTYPE type, LONG lowerBound, ULONG count) {
  SAFEARRAY* array = SafeArrayCreateVector(type, lowerBound, count);
  if (!array) throw std::bad_alloc();
  return Attach(array);
}

}  // namespace ra03v
