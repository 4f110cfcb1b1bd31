#pragma once
// Comparing library texts (Windows-1251) the way the user's locale does,
// without going through the active code page.
#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace ra03v {

// Equal ignoring the case of every letter, Cyrillic included.
bool SameText(std::string_view a, std::string_view b);
// The sort key of text under the same comparison: two texts are SameText
// exactly when their keys are equal.
std::string SameTextKey(std::string_view text);

// The same key for a given locale, made without touching the heap for texts of
// ordinary length, so that a name lookup per host call costs no allocation.
// Every character counts, also past an embedded null.
class TextKey {
 public:
  TextKey() = default;
  TextKey(const TextKey&) = delete;
  TextKey& operator=(const TextKey&) = delete;

  // Replaces the key with that of text under locale.
  void Make(std::string_view text, LCID locale);
  // The key made last; valid until the next Make.
  std::string_view View() const noexcept { return {data_, size_}; }

 private:
  std::array<char, 512> inline_{};
  std::unique_ptr<char[]> heap_;
  const char* data_ = inline_.data();
  size_t size_ = 0;
};

}  // namespace ra03v
