#include "serial/com_error.h"

#include <windows.h>

#include <cstdio>

#include "foundation/error_codes.h"

namespace ra03v {

std::string ComPortErrorText(int32_t code) {
  static const char* const kTexts[] = {
      "Unable to open com port",
      "WriteFile function failed",
      "ReadFile function failed",
      "Invalid Async parameter",
      "PurgeComm function failed",
      "Unable to get async status",
      "SetCommState function failed",
      "SetCommTimeouts failed",
      "SetupComm function failed",
      "ClearCommError function failed",
      "GetCommModemStatus function failed",
      "EscapeCommFunction function failed",
      "TransmitCommChar function failed",
      "Cannot set property while connected",
      "EnumPorts function failed",
      "Failed to store settings",
      "Failed to load settings",
      "Link (un)registration failed",
      "Cannot change led state if ComPort is selected",
      "Cannot wait for event if event thread is created",
      "WaitForEvent method failed",
      "A component is linked to OnRxBuf event",
      "Registry error",
  };
  if (code < 1 || code > static_cast<int32_t>(std::size(kTexts))) return {};
  return kTexts[code - 1];
}

namespace {

std::string WithSystemCode(int32_t portErrorCode, int32_t systemErrorCode) {
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, " (win error code: %d)", static_cast<int>(systemErrorCode));
  return ComPortErrorText(portErrorCode) + suffix;
}

}  // namespace

EComPort::EComPort(int32_t portErrorCode)
    : EProtectException(kErrorText, ComPortErrorText(portErrorCode)),
      systemErrorCode_(-1),
      portErrorCode_(portErrorCode) {}

EComPort::EComPort(int32_t portErrorCode, int32_t systemErrorCode)
    : EProtectException(kErrorText, WithSystemCode(portErrorCode, systemErrorCode)),
      systemErrorCode_(systemErrorCode),
      portErrorCode_(portErrorCode) {}

void RaiseComPortLastError(int32_t portErrorCode) {
  throw EComPort(portErrorCode, static_cast<int32_t>(GetLastError()));
}

}  // namespace ra03v
