#include "devices/prop_values.h"

#include "devices/number_text.h"
#include "devices/text_compare.h"
#include "foundation/format_settings.h"
#include "foundation/text_utils.h"

namespace ra03v {

std::string StoredToShownLineBreaks(std::string_view stored) {
  return ReplaceAll(stored, "\\n", "\r\n", false);
}

std::string ShownToStoredLineBreaks(std::string_view shown) {
  return ReplaceAll(shown, "\r\n", "\\n", false);
}

Variant PropertyValueAsVariant(std::string_view type, std::string_view value) {
  if (SameText(type, "Integer")) return Variant::FromInt(StrToInt(value));
  if (SameText(type, "Double") || SameText(type, "Число")) {
    const std::string separator(1, Formats().decimalSeparator);
    std::string text = ReplaceAll(value, ".", separator, true);
    text = ReplaceAll(text, ",", separator, true);
    return Variant::FromDouble(StrToFloat(text));
  }
  return Variant::From1251(value);
}

Variant TableCellValue(std::string_view type, std::string_view value) {
  if (SameText(type, "Integer") || SameText(type, "Число"))
    return Variant::FromDouble(StrToFloat(value));
  return Variant::From1251(StoredToShownLineBreaks(value));
}

std::string ShownTypeWord(std::string_view type) {
  if (SameText(type, "Integer") || SameText(type, "Boolean")) return "Число";
  if (SameText(type, "String")) return "Строка";
  return {};
}

}  // namespace ra03v
