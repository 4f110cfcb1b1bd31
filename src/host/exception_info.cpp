#include "host/exception_info.h"

#include <exception>
#include <new>

#include "foundation/protect_exception.h"
#include "foundation/win/win_error.h"

namespace ra03v {

ExceptionInfo CurrentExceptionInfo() noexcept {
  try {
    try {
      throw;
    } catch (const EHardwareEquipmentException& e) {
      return {"EHardwareEquipmentException", e.what()};
    } catch (const EProtectException& e) {
      return {"EProtectException", e.what()};
    } catch (const SystemError& e) {
      return {"EOSError", e.what()};
    } catch (const std::bad_alloc&) {
      return {"EOutOfMemory", "Out of memory"};
    } catch (const std::exception& e) {
      return {"Exception", e.what()};
    } catch (...) {
      return {"Exception", "Unknown exception"};
    }
  } catch (...) {
    // Copying the texts failed: nothing more can be told.
    return {};
  }
}

}  // namespace ra03v
