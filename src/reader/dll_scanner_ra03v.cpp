#include "reader/dll_scanner_ra03v.h"

#include <memory>

#include "reader/driver_handlers.h"
#include "reader/manager_scanner_ra03v.h"

namespace ra03v {

TDllScanner_RA03V::TDllScanner_RA03V()
    : TBaseDllScanner(ScannerDriverMethods(), ScannerBuiltInMethods(), ScannerProperties(),
                      [] { return std::make_unique<TManagerScanner_RA03VList>(); }) {}

}  // namespace ra03v
