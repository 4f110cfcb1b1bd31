#pragma once
// Binds the device handlers to the driver object's table rows: each row's
// routine finds the driver from the task, the device of the call, and runs
// the device handler.
#include <span>

#include "host/driver_tables.h"

namespace ra03v {

class TDevicesList;
class TDeviceItem;

// The reader driver's tables.
std::span<const TMethodEntry> ScannerDriverMethods() noexcept;
std::span<const TMethodEntry> ScannerBuiltInMethods() noexcept;
std::span<const TPropertyEntry> ScannerProperties() noexcept;
// "Использовать" and "Неразделяемое" as device parameters.
std::span<const TPropertyEntry> ScannerDeviceParameters() noexcept;

}  // namespace ra03v
