#include "foundation/text_utils.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "foundation/text_codec.h"

namespace ra03v {
namespace {

std::string W(const wchar_t* text) { return WideTo1251(text); }

// Straightforward reference used to cross-check the skip-table search.
std::string NaiveReplace(const std::string& text, const std::string& pattern,
                         const std::string& replacement, bool caseSensitive) {
  auto eq = [&](char a, char b) {
    return caseSensitive ? a == b
                         : FoldLatinCase(static_cast<unsigned char>(a)) ==
                               FoldLatinCase(static_cast<unsigned char>(b));
  };
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    bool match = i + pattern.size() <= text.size();
    for (size_t k = 0; match && k < pattern.size(); ++k) match = eq(text[i + k], pattern[k]);
    if (match) {
      out += replacement;
      i += pattern.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

TEST(SplitAtComma, SplitsAtTheFirstCommaOnly) {
  EXPECT_EQ(W(L"Включить"), SplitAtComma(W(L"Включить"), 0));
  EXPECT_EQ("", SplitAtComma(W(L"Включить"), 1));
  EXPECT_EQ("a", SplitAtComma("a,b,c", 0));
  EXPECT_EQ("b,c", SplitAtComma("a,b,c", 1));
  EXPECT_EQ("", SplitAtComma(",x", 0));
  EXPECT_EQ("", SplitAtComma("x,", 1));
}

TEST(ReplaceAll, FoldsOnlyLatinLettersWithoutTheCaseFlag) {
  EXPECT_EQ("a\r\nb\r\nc", ReplaceAll("a\\nb\\Nc", "\\n", "\r\n", false));
  EXPECT_EQ("a\r\nb\\Nc", ReplaceAll("a\\nb\\Nc", "\\n", "\r\n", true));
  // Cyrillic capitals and small letters stay distinct.
  EXPECT_EQ(W(L"X Ч"), ReplaceAll(W(L"ч Ч"), W(L"ч"), "X", false));
}

TEST(ReplaceAll, GrowsWhenTheReplacementIsLonger) {
  const std::string text(1000, 'a');
  const std::string out = ReplaceAll(text, "a", "0123456789", true);
  EXPECT_EQ(10000u, out.size());
  EXPECT_EQ("0123456789", out.substr(9990));
  // Short pattern, long replacement, matches only near the end: the first
  // estimate is too large; many matches in a long text exceed it.
  const std::string mixed = std::string(50, 'x') + "ab" + std::string(50, 'y') + "ab";
  EXPECT_EQ(NaiveReplace(mixed, "ab", std::string(300, 'R'), true),
            ReplaceAll(mixed, "ab", std::string(300, 'R'), true));
}

TEST(ReplaceAll, EdgeCases) {
  EXPECT_EQ("", ReplaceAll("", "a", "b", true));
  EXPECT_EQ("abc", ReplaceAll("abc", "", "x", true));
  EXPECT_EQ("ab", ReplaceAll("ab", "abc", "x", true));
  EXPECT_EQ("x", ReplaceAll("abc", "abc", "x", true));
  // Non-overlapping, left to right.
  EXPECT_EQ("Ba", ReplaceAll("aaa", "aa", "B", true));
  EXPECT_EQ("", ReplaceAll("abab", "ab", "", true));
  // Bytes above 127 in the skip table.
  EXPECT_EQ("\xFF-\xFE", ReplaceAll("\xFF\x80\xFE", "\x80", "-", false));
}

TEST(ReplaceAll, AgreesWithANaiveSearchOnRandomTexts) {
  std::mt19937 random(12345);
  const std::string alphabet = "abAB\\n<>=\xC0\xE0";
  auto make = [&](size_t length) {
    std::string s;
    for (size_t i = 0; i < length; ++i) s += alphabet[random() % alphabet.size()];
    return s;
  };
  for (int round = 0; round < 2000; ++round) {
    const std::string text = make(random() % 60);
    const std::string pattern = make(1 + random() % 4);
    const std::string replacement = make(random() % 6);
    const bool caseSensitive = random() % 2 == 0;
    ASSERT_EQ(NaiveReplace(text, pattern, replacement, caseSensitive),
              ReplaceAll(text, pattern, replacement, caseSensitive))
        << "text=" << text << " pattern=" << pattern << " case=" << caseSensitive;
  }
}

TEST(Hex, RoundTripsAndRejectsBadPairs) {
  EXPECT_EQ("AB", HexToBytes("4142"));
  EXPECT_EQ("AB", HexToBytes("41427"));  // trailing odd digit ignored
  EXPECT_EQ("", HexToBytes("41G2"));
  EXPECT_EQ("", HexToBytes("4 42"));
  EXPECT_EQ("\x0A\xFF", HexToBytes("0aff"));
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  const std::string hex = BytesToHex(all);
  EXPECT_EQ(512u, hex.size());
  EXPECT_EQ("000102", hex.substr(0, 6));
  EXPECT_EQ("FEFF", hex.substr(508));
  EXPECT_EQ(all, HexToBytes(hex));
  EXPECT_EQ("", BytesToHex(""));
}

TEST(Crc32, MatchesKnownVectors) {
  auto crc = [](const std::string& s) {
    return ~Crc32Update(0xFFFFFFFFu, s.data(), static_cast<int64_t>(s.size()));
  };
  EXPECT_EQ(0xCBF43926u, crc("123456789"));
  EXPECT_EQ(0x414FA339u, crc("The quick brown fox jumps over the lazy dog"));
  EXPECT_EQ(0u, crc(""));
  // Feeding in pieces gives the same result as one call.
  const std::string text = "123456789";
  uint32_t c = 0xFFFFFFFFu;
  c = Crc32Update(c, text.data(), 4);
  c = Crc32Update(c, text.data() + 4, 5);
  EXPECT_EQ(0xCBF43926u, ~c);
  EXPECT_EQ(0x1234u, Crc32Update(0x1234u, nullptr, 10));
  EXPECT_EQ(0x1234u, Crc32Update(0x1234u, "x", 0));
  EXPECT_EQ(0x1234u, Crc32Update(0x1234u, "x", -1));
}

TEST(ConvertSpelling, RewritesTheSixSpellingsBothWays) {
  std::string text =
      W(L"<ТочкиДоступа><ТочкаДоступа КодТочкиДоступа=\"1\" ФлагТолькоЧтение=\"0\" "
        L"ЗначениеПоУмолчанию=\"5\" Значение=\"7\"/></ТочкиДоступа>");
  ConvertSpelling(text, SpellingDirection::ToDigitForm);
  EXPECT_EQ(W(L"<То4киДоступа><То4каДоступа КодТо4киДоступа=\"1\" ФлагТолько4тение=\"0\" "
              L"Зна4ениеПоУмол4анию=\"5\" Зна4ение=\"7\"/></То4киДоступа>"),
            text);
  ConvertSpelling(text, SpellingDirection::ToProperForm);
  EXPECT_EQ(W(L"<ТочкиДоступа><ТочкаДоступа КодТочкиДоступа=\"1\" ФлагТолькоЧтение=\"0\" "
              L"ЗначениеПоУмолчанию=\"5\" Значение=\"7\"/></ТочкиДоступа>"),
            text);
}

TEST(ConvertSpelling, AttributeAfterATabIsNotConverted) {
  std::string text = W(L"<Параметр\tЗначение=\"1\" Значение=\"2\"/>");
  ConvertSpelling(text, SpellingDirection::ToDigitForm);
  EXPECT_EQ(W(L"<Параметр\tЗначение=\"1\" Зна4ение=\"2\"/>"), text);
}

}  // namespace
}  // namespace ra03v
