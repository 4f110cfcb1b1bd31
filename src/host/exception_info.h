#pragma once
// What an automation caller learns about an exception in flight: its message
// and the name of its class.
#include <string>

namespace ra03v {

struct ExceptionInfo {
  std::string className;  // e.g. "EProtectException", "Exception"
  std::string message;    // Windows-1251
};

// Call inside a catch block only.
ExceptionInfo CurrentExceptionInfo() noexcept;

}  // namespace ra03v
