#include "foundation/text_utils.h"

#include <array>
#include <cstring>

namespace ra03v {

namespace {

constexpr std::array<unsigned char, 256> MakeFoldingTable() {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(i);
  for (int c = 'a'; c <= 'z'; ++c) table[c] = static_cast<unsigned char>(c - 'a' + 'A');
  return table;
}

constexpr std::array<unsigned char, 256> kFolding = MakeFoldingTable();

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

int HexValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct SpellingPair {
  const char* proper;
  const char* digits;
};

// Applied in this order; the leading space and the "=" keep values untouched.
constexpr SpellingPair kSpellings[] = {
    {"ТочкиДоступа>", "То4киДоступа>"},
    {"<ТочкаДоступа", "<То4каДоступа"},
    {" ФлагТолькоЧтение=", " ФлагТолько4тение="},
    {" ЗначениеПоУмолчанию=", " Зна4ениеПоУмол4анию="},
    {" КодТочкиДоступа=", " КодТо4киДоступа="},
    {" Значение=", " Зна4ение="},
};

}  // namespace

unsigned char FoldLatinCase(unsigned char c) noexcept { return kFolding[c]; }

std::string SplitAtComma(std::string_view text, int part) {
  const size_t comma = text.find(',');
  if (part == 0) return std::string(comma == std::string_view::npos ? text : text.substr(0, comma));
  return comma == std::string_view::npos ? std::string() : std::string(text.substr(comma + 1));
}

std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement, bool caseSensitive) {
  if (text.empty()) return {};
  if (pattern.empty() || pattern.size() > text.size()) return std::string(text);

  const size_t m = pattern.size();
  auto fold = [caseSensitive](char c) {
    const auto u = static_cast<unsigned char>(c);
    return caseSensitive ? u : kFolding[u];
  };

  std::array<size_t, 256> skip;
  skip.fill(m);
  for (size_t i = 0; i + 1 < m; ++i) skip[fold(pattern[i])] = m - 1 - i;

  // Sized once up front; grows by half when the estimate runs out.
  size_t capacity = replacement.size() <= m ? text.size() : text.size() * replacement.size() / m;
  std::string out;
  out.reserve(capacity);
  auto append = [&](std::string_view piece) {
    if (out.size() + piece.size() > capacity) {
      while (out.size() + piece.size() > capacity) capacity += capacity / 2 + 1;
      out.reserve(capacity);
    }
    out.append(piece);
  };

  size_t copied = 0;  // text before this index is already in out
  size_t pos = 0;     // window start
  while (pos + m <= text.size()) {
    size_t k = m;
    while (k > 0 && fold(text[pos + k - 1]) == fold(pattern[k - 1])) --k;
    if (k == 0) {
      append(text.substr(copied, pos - copied));
      append(replacement);
      pos += m;
      copied = pos;
    } else {
      pos += skip[fold(text[pos + m - 1])];
    }
  }
  append(text.substr(copied));
  return out;
}

std::string BytesToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

std::string HexToBytes(std::string_view hex) {
  std::string out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return {};
    out += static_cast<char>(high << 4 | low);
  }
  return out;
}

uint32_t Crc32Update(uint32_t crc, const void* data, int64_t length) noexcept {
  if (!data || length <= 0) return crc;
  const auto* p = static_cast<const unsigned char*>(data);
  for (int64_t i = 0; i < length; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

void ConvertSpelling(std::string& text, SpellingDirection direction) {
  for (const SpellingPair& pair : kSpellings) {
    const bool toDigits = direction == SpellingDirection::ToDigitForm;
    text = ReplaceAll(text, toDigits ? pair.proper : pair.digits,
                      toDigits ? pair.digits : pair.proper, true);
  }
}

}  // namespace ra03v
