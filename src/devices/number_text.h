#pragma once
// Numbers from property texts, independent of the C locale and code page.
#include <cstdint>
#include <string_view>

namespace ra03v {

// Decimal with an optional sign, or hexadecimal after "$" or "0x"; leading
// blanks are allowed. Anything else, or a value outside 32 bits, throws
// "'<text>' is not a valid integer value" (Russian for a Russian user).
int32_t StrToInt(std::string_view text);
int32_t StrToIntDef(std::string_view text, int32_t defaultValue) noexcept;

// A decimal number whose fraction follows the library's decimal separator
// (Formats()), with an optional exponent; blanks around it are allowed.
// Anything else throws "'<text>' is not a valid floating point value"
// (Russian for a Russian user).
double StrToFloat(std::string_view text);
bool TryStrToFloat(std::string_view text, double& value) noexcept;

}  // namespace ra03v
