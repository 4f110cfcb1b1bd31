#include "devices/text_compare.h"

#include <windows.h>

#include <algorithm>

#include "foundation/text_codec.h"

namespace ra03v {

namespace {

constexpr DWORD kKeyFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
constexpr size_t kInlineWide = 256;

}  // namespace

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
  const int size = LCMapStringW(LOCALE_USER_DEFAULT, kKeyFlags, wide.c_str(), -1, nullptr, 0);
  if (size <= 0) return std::string(text);
  std::string key(static_cast<size_t>(size), '\0');
  LCMapStringW(LOCALE_USER_DEFAULT, kKeyFlags, wide.c_str(), -1,
               reinterpret_cast<wchar_t*>(key.data()), size);
  return key;
}

void TextKey::Make(std::string_view text, LCID locale) {
  // Code page 1251 has one UTF-16 unit per byte.
  std::array<wchar_t, kInlineWide> inlineWide;
  std::wstring longWide;
  wchar_t* wide = inlineWide.data();
  if (text.size() > kInlineWide) {
    longWide.resize(text.size());
    wide = longWide.data();
  }
  int length = -1;  // a length of 0 is refused: the empty text is keyed as a terminated one
  wide[0] = L'\0';
  if (!text.empty())
    length = MultiByteToWideChar(kLibraryCodePage, 0, text.data(), static_cast<int>(text.size()),
                                 wide, static_cast<int>(text.size()));
  auto map = [&](char* out, size_t capacity) {
    if (length == 0) return 0;
    return LCMapStringW(locale, kKeyFlags, wide, length, reinterpret_cast<wchar_t*>(out),
                        static_cast<int>(capacity));
  };
  data_ = inline_.data();
  int size = map(inline_.data(), inline_.size());
  if (size <= 0) {
    size = map(nullptr, 0);
    if (size > 0) {
      heap_ = std::make_unique<char[]>(static_cast<size_t>(size));
      size = map(heap_.get(), static_cast<size_t>(size));
      data_ = heap_.get();
    }
  }
  if (size > 0) {
    size_ = static_cast<size_t>(size);
    return;
  }
  // No key at all (a locale the system does not know): the text stands for
  // itself, which still finds every name spelt as stored.
  char* out = inline_.data();
  if (text.size() > inline_.size()) {
    heap_ = std::make_unique<char[]>(text.size());
    out = heap_.get();
  }
  std::copy(text.begin(), text.end(), out);
  data_ = out;
  size_ = text.size();
}

}  // namespace ra03v
