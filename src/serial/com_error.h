#pragma once
// EComPort: a failure of the serial device interface, with the port's error
// table code and, when there is one, the system's error code.
#include <cstdint>
#include <string>

#include "foundation/protect_exception.h"

namespace ra03v {

enum TComPortError : int32_t {
  CError_OpenFailed = 1,
  CError_WriteFailed = 2,
  CError_ReadFailed = 3,
  CError_InvalidAsync = 4,
  CError_PurgeFailed = 5,
  CError_AsyncCheck = 6,
  CError_SetStateFailed = 7,
  CError_TimeoutsFailed = 8,
  CError_SetupComFailed = 9,
  CError_ClearComFailed = 10,
  CError_ModemStatFailed = 11,
  CError_EscapeComFailed = 12,
  CError_TransmitFailed = 13,
  CError_ConnChangeProp = 14,
  CError_EnumPortsFailed = 15,
  CError_StoreFailed = 16,
  CError_LoadFailed = 17,
  CError_RegFailed = 18,
  CError_LedStateFailed = 19,
  CError_ThreadCreated = 20,
  CError_WaitFailed = 21,
  CError_HasLink = 22,
  CError_RegError = 23,
};

// The table text of a port error code (empty outside 1..23).
std::string ComPortErrorText(int32_t portErrorCode);

class EComPort : public EProtectException {
 public:
  // The table text alone; SystemErrorCode is -1.
  explicit EComPort(int32_t portErrorCode);
  // The table text followed by " (win error code: <systemErrorCode>)".
  EComPort(int32_t portErrorCode, int32_t systemErrorCode);

  int32_t SystemErrorCode() const noexcept { return systemErrorCode_; }
  int32_t PortErrorCode() const noexcept { return portErrorCode_; }

 private:
  int32_t systemErrorCode_;
  int32_t portErrorCode_;
};

// Raises EComPort with GetLastError as the system code.
[[noreturn]] void RaiseComPortLastError(int32_t portErrorCode);

}  // namespace ra03v
