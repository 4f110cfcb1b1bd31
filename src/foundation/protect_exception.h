#pragma once
// The framework's exceptions: a code beside the message (Windows-1251 text).
#include <cstdint>
#include <stdexcept>
#include <string>

namespace ra03v {

class EProtectException : public std::runtime_error {
 public:
  EProtectException(int32_t code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  int32_t Code() const noexcept { return code_; }

 private:
  int32_t code_;
};

// Raised by switch-on and switch-off when a device reports a non-zero result
// code; carries that device code and the device list's text for it.
class EHardwareEquipmentException : public EProtectException {
 public:
  using EProtectException::EProtectException;
};

}  // namespace ra03v
