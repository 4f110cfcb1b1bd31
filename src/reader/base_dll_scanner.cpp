#include "reader/base_dll_scanner.h"

#include "reader/driver_handlers.h"

namespace ra03v {

TBaseDllScanner::TBaseDllScanner(std::span<const TMethodEntry> driverMethods,
                                 std::span<const TMethodEntry> builtInMethods,
                                 std::span<const TPropertyEntry> properties,
                                 const DeviceListFactory& makeList)
    : TBaseDllObj(driverMethods, builtInMethods, properties, makeList) {
  SetDeviceParameters(ScannerDeviceParameters());
}

}  // namespace ra03v
