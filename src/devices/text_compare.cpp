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

std::string SameTextKey(std::string_view text) {
  // Null-terminated, so the empty text has its key too.
  const std::wstring wide = Text1251ToWide(text);
  constexpr DWORD kFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
  const int size = LCMapStringW(LOCALE_USER_DEFAULT, kFlags, wide.c_str(), -1, nullptr, 0);
  if (size <= 0) return std::string(text);
  std::string key(static_cast<size_t>(size), '\0');
  LCMapStringW(LOCALE_USER_DEFAULT, kFlags, wide.c_str(), -1,
               reinterpret_cast<wchar_t*>(key.data()), size);
  return key;
}

}  // namespace ra03v
