#include "devices/number_text.h"

#include "foundation/text_format.h"

#include <charconv>
#include <stdexcept>
#include <string>

#include "foundation/error_codes.h"
#include "foundation/format_settings.h"

namespace ra03v {

namespace {

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t'; }

bool ParseInt(std::string_view text, int32_t& value) noexcept {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  uint64_t magnitude = 0;
  const auto [end, error] =
      std::from_chars(text.data() + i, text.data() + text.size(), magnitude, base);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  // Hexadecimal may spell the full 32-bit pattern, as it does for negative values.
  const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  if (magnitude > limit) return false;
  const auto bits = static_cast<uint32_t>(negative ? 0 - magnitude : magnitude);
  value = static_cast<int32_t>(bits);
  return true;
}

// Host-visible, so in the user's language.
std::string NotANumber(std::string_view text, const char* russian, const char* english) {
  if (CurrentMessageLanguage() == MessageLanguage::Russian)
    return "'" + QuoteHostText(text) + "' не является допустимым " + russian;
  return "'" + QuoteHostText(text) + "' is not a valid " + english + " value";
}

}  // namespace

int32_t StrToInt(std::string_view text) {
  int32_t value = 0;
  if (!ParseInt(text, value))
    throw std::invalid_argument(NotANumber(text, "целым числом", "integer"));
  return value;
}

int32_t StrToIntDef(std::string_view text, int32_t defaultValue) noexcept {
  int32_t value = 0;
  return ParseInt(text, value) ? value : defaultValue;
}

bool TryStrToFloat(std::string_view text, double& value) noexcept {
  const char separator = Formats().decimalSeparator;
  size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  std::string number;
  number.reserve(last - first);
  size_t i = first;
  bool negative = false;
  if (i < last && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // from_chars would also take "inf", "nan" and hexadecimal: only digits may start.
  if (i >= last || !((text[i] >= '0' && text[i] <= '9') || text[i] == separator)) return false;
  for (; i < last; ++i) {
    const char c = text[i];
    if (c == separator) {
      number += '.';
    } else if ((c >= '0' && c <= '9') || c == 'e' || c == 'E' || c == '+' || c == '-') {
      number += c;
    } else {
      return false;  // another separator, blanks inside, letters
    }
  }
  double parsed = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), parsed,
                                            std::chars_format::general);
  if (error != std::errc() || end != number.data() + number.size()) return false;
  value = negative ? -parsed : parsed;
  return true;
}

double StrToFloat(std::string_view text) {
  double value = 0;
  if (!TryStrToFloat(text, value))
    throw std::invalid_argument(NotANumber(text, "числом", "floating point"));
  return value;
}

}  // namespace ra03v
