#include "foundation/text_codec.h"

#include <windows.h>

namespace ra03v {

std::wstring Text1251ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(kLibraryCodePage, 0, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(kLibraryCodePage, 0, text.data(), static_cast<int>(text.size()),
                      result.data(), length);
  return result;
}

std::string WideTo1251(std::wstring_view text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(kLibraryCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr,
                          0, nullptr, nullptr);
  std::string result(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(kLibraryCodePage, 0, text.data(), static_cast<int>(text.size()),
                      result.data(), length, nullptr, nullptr);
  return result;
}

std::string DocumentTextTo1251(std::wstring_view text) {
  if (!text.empty() && text.front() == L'\xFEFF') text.remove_prefix(1);
  return WideTo1251(text);
}

}  // namespace ra03v
