#pragma once
// The library's own number and date formats. They never touch the host's C
// locale, user locale or thread code page.
#include <string>

namespace ra03v {

struct FormatSettings {
  char decimalSeparator = '.';
  char dateSeparator = '/';
  std::string shortDateFormat;
  char timeSeparator = ':';
  std::string shortTimeFormat;
  std::string longTimeFormat;
};

// Decimal ",", dates "dd.MM.yyyy", times "hh:mm" and "hh:mm:ss".
void SetStandardFormats();
const FormatSettings& Formats() noexcept;

}  // namespace ra03v
