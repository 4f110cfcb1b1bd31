// The unit that owns the single driver object of the DLL and installs the
// dispatch routine that the entry calls.
#include <memory>

#include "foundation/error_codes.h"
#include "host/plugin_entry.h"
#include "module/module_startup.h"
#include "reader/dll_scanner_ra03v.h"

namespace ra03v {

namespace {

std::unique_ptr<TDllScanner_RA03V> g_driver;

bool DispatchToDriver(TParams& params, void* task) {
  // Creating the driver failed at load: every call ends as an error.
  if (!g_driver) RaiseText(ErrorText(20004));
  return g_driver->Dispatch(params, task);
}

}  // namespace

void CreateDriverObject() {
  try {
    if (!g_driver) g_driver = std::make_unique<TDllScanner_RA03V>();
  } catch (...) {
    g_driver.reset();
  }
  InstallDispatch(&DispatchToDriver);
}

void FreeDriverObject(bool processEnding) noexcept {
  // At process end the other threads are already gone, perhaps holding locks
  // that freeing the readers would wait for: the system reclaims everything.
  if (processEnding) {
    (void)g_driver.release();
    return;
  }
  try {
    g_driver.reset();
  } catch (...) {
  }
}

}  // namespace ra03v
