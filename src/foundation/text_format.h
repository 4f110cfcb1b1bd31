#pragma once
// "%s"/"%d" formatting of message templates, filled in argument order.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace ra03v {

// One argument of a message template: text (Windows-1251) or an integer.
using FormatArg = std::variant<std::string, int64_t>;

// Fills "%s" and "%d" from args in order; "%%" is a percent sign. A template
// with more placeholders than arguments, a text given for "%d" or an unknown
// directive throws std::runtime_error.
std::string FormatTemplate(std::string_view pattern, std::span<const FormatArg> args);

// Host input quoted in a message: at most kQuotedHostTextMax characters, a
// longer text cut there and followed by "…", so that hostile input cannot
// make a message of any size.
inline constexpr size_t kQuotedHostTextMax = 256;
std::string QuoteHostText(std::string_view text);

inline std::string FormatTemplate(std::string_view pattern, std::initializer_list<FormatArg> args) {
  return FormatTemplate(pattern, std::span<const FormatArg>(args.begin(), args.size()));
}

}  // namespace ra03v
