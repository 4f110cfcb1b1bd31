#pragma once
// Text routines shared by the subsystems: two-language names, replacing, hex,
// CRC-32 and the spelling of XML attribute names.
#include <cstdint>
#include <string>
#include <string_view>

namespace ra03v {

// Part 0: the text before the first comma (all of it when there is none);
// part 1: the text after the first comma (empty when there is none).
std::string SplitAtComma(std::string_view text, int part);

// Replaces every non-overlapping occurrence of pattern, left to right. Without
// caseSensitive only the Latin letters a-z match their capitals.
std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement, bool caseSensitive);

// Latin a-z folded to A-Z; every other byte maps to itself.
unsigned char FoldLatinCase(unsigned char c) noexcept;

// Two upper-case hexadecimal digits per byte.
std::string BytesToHex(std::string_view bytes);
// Each pair of hexadecimal digits becomes one byte; a trailing odd digit is
// ignored; any invalid pair makes the whole result empty.
std::string HexToBytes(std::string_view hex);

// Table-driven reflected CRC-32 (polynomial EDB88320) without the initial and
// final inversion, which the caller applies. Null data or length <= 0: crc unchanged.
uint32_t Crc32Update(uint32_t crc, const void* data, int64_t length) noexcept;

enum class SpellingDirection { ToDigitForm = 0, ToProperForm = 1 };
// Rewrites the six attribute and element spellings with "ч" as "4" (or back).
void ConvertSpelling(std::string& text, SpellingDirection direction);

}  // namespace ra03v
