#pragma once
// Library texts are Windows-1251; the automation boundary is UTF-16. Conversions
// always name code page 1251 and never go through the active code page.
#include <string>
#include <string_view>

namespace ra03v {

inline constexpr unsigned kLibraryCodePage = 1251;

std::wstring Text1251ToWide(std::string_view text);
// Characters without a 1251 form become "?".
std::string WideTo1251(std::wstring_view text);
// A document text from the host, without a leading byte-order mark: it has no
// 1251 form, and as "?" in front of the root the text would not parse.
std::string DocumentTextTo1251(std::wstring_view text);

}  // namespace ra03v
