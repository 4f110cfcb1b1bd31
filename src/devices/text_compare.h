#pragma once
// Comparing library texts (Windows-1251) the way the user's locale does,
// without going through the active code page.
#include <string>
#include <string_view>

namespace ra03v {

// Equal ignoring the case of every letter, Cyrillic included.
bool SameText(std::string_view a, std::string_view b);
// The sort key of text under the same comparison: two texts are SameText
// exactly when their keys are equal.
std::string SameTextKey(std::string_view text);

}  // namespace ra03v
