#include "foundation/text_format.h"

#include <stdexcept>

namespace ra03v {

namespace {

[[noreturn]] void FormatFailure(std::string_view pattern) {
  throw std::runtime_error("Format '" + std::string(pattern) +
                           "' invalid or incompatible with argument");
}

}  // namespace

std::string QuoteHostText(std::string_view text) {
  if (text.size() <= kQuotedHostTextMax) return std::string(text);
  // "…" is one character in Windows-1251.
  return std::string(text.substr(0, kQuotedHostTextMax)) + "\x85";
}

std::string FormatTemplate(std::string_view pattern, std::span<const FormatArg> args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i + 1 >= pattern.size()) FormatFailure(pattern);
    const char directive = pattern[++i];
    if (directive == '%') {
      out += '%';
      continue;
    }
    if (next >= args.size()) FormatFailure(pattern);
    const FormatArg& arg = args[next++];
    if (directive == 's') {
      if (const auto* text = std::get_if<std::string>(&arg))
        out += *text;
      else
        out += std::to_string(std::get<int64_t>(arg));
    } else if (directive == 'd') {
      const auto* number = std::get_if<int64_t>(&arg);
      if (!number) FormatFailure(pattern);
      out += std::to_string(*number);
    } else {
      FormatFailure(pattern);
    }
  }
  return out;
}

}  // namespace ra03v
