#pragma once
// The base of scanner-class drivers: the driver object with the two common
// device rows ("Использовать", "Неразделяемое") as its device parameters.
#include "host/base_dll_obj.h"

namespace ra03v {

class TBaseDllScanner : public TBaseDllObj {
 public:
  TBaseDllScanner(std::span<const TMethodEntry> driverMethods,
                  std::span<const TMethodEntry> builtInMethods,
                  std::span<const TPropertyEntry> properties, const DeviceListFactory& makeList);
};

}  // namespace ra03v
