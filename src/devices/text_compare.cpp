#include "devices/text_compare.h"

#include <windows.h>

#include "foundation/text_codec.h"

namespace ra03v {

bool SameText(std::string_view a, std::string_view b) {
  if (a == b) return true;
  const std::wstring wa = Text1251ToWide(a);
  const std::wstring wb = Text1251ToWide(b);
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.data(),
                        static_cast<int>(wa.size()), wb.data(),
                        static_cast<int>(wb.size())) == CSTR_EQUAL;
}

}  // namespace ra03v
