#pragma once
// The framework's error code table (20000..21999) and raising errors by code.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

#include "foundation/text_format.h"

namespace ra03v {

inline constexpr int32_t kErrorText = 20000;  // a failure told by its own text
inline constexpr int32_t kErrorInvalidIndex = 20002;
inline constexpr int32_t kErrorAborted = 20026;

enum class MessageLanguage { Russian, English };

// Russian unless the low byte of the user's default language identifier is not 0x19.
MessageLanguage CurrentMessageLanguage();

// The template for code in the current language (or the text for a code without one).
std::string ErrorText(int32_t code);
std::string ErrorText(int32_t code, MessageLanguage language);

// Builds the message for code from args and raises EProtectException.
[[noreturn]] void RaiseError(int32_t code, std::span<const FormatArg> args);
[[noreturn]] inline void RaiseError(int32_t code, std::initializer_list<FormatArg> args = {}) {
  RaiseError(code, std::span<const FormatArg>(args.begin(), args.size()));
}

// Raises code 20000 whose message is text itself.
[[noreturn]] void RaiseText(const std::string& text);

}  // namespace ra03v
