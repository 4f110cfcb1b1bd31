#pragma once
// How property values leave and enter a device: the stored line-break form and
// the conversions by type word.
#include <string>
#include <string_view>

#include "foundation/win/variant.h"

namespace ra03v {

// Values are stored with backslash-n where the host sees CR LF. Both directions
// match Latin letters in either case (backslash-N counts) and replace all.
std::string StoredToShownLineBreaks(std::string_view stored);
std::string ShownToStoredLineBreaks(std::string_view shown);

// A property read on its own: "Integer" gives a 32-bit integer; "Double" and
// "Число" a double, reading "." and "," alike as the decimal separator; any
// other type the text itself. Type words compare ignoring case.
Variant PropertyValueAsVariant(std::string_view type, std::string_view value);

// A value or default cell of the property table: "Integer" and "Число" give a
// double; any other type the text with its line breaks shown.
Variant TableCellValue(std::string_view type, std::string_view value);

// The type word shown to the host: "Integer" and "Boolean" become "Число",
// "String" becomes "Строка"; every other word is shown empty.
std::string ShownTypeWord(std::string_view type);

}  // namespace ra03v
