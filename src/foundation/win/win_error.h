#pragma once
// Turns Win32 failures into the library's plain exceptions, keeping the code.
#include <windows.h>

#include <stdexcept>
#include <string>

namespace ra03v {

// A failed system call; what() is Windows-1251 text.
class SystemError : public std::runtime_error {
 public:
  SystemError(const std::string& message, DWORD code) : std::runtime_error(message), code_(code) {}
  DWORD Code() const noexcept { return code_; }

 private:
  DWORD code_;
};

// The system's own text for an error code, in Windows-1251, without the
// trailing line break; value conversion failures and codes the system has no
// text for are told in the user's language.
std::string SystemErrorText(DWORD code);

// Throws SystemError: "<what>" CR LF "<system text>".
[[noreturn]] void ThrowLastError(const char* what);
[[noreturn]] void ThrowSystemError(const char* what, DWORD code);

}  // namespace ra03v
