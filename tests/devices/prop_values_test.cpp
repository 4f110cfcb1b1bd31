#include "devices/prop_values.h"

#include <gtest/gtest.h>

#include "devices/number_text.h"
#include "foundation/format_settings.h"
#include "support/test_language.h"

namespace ra03v {
using test::RussianRun;

namespace {

class PropValues : public ::testing::Test {
 protected:
  void SetUp() override { SetStandardFormats(); }  // decimal separator ","
};

TEST_F(PropValues, LineBreaksTravelAsBackslashNInEitherCase) {
  EXPECT_EQ("строка\r\nдругая\r\nтретья", StoredToShownLineBreaks("строка\\nдругая\\Nтретья"));
  EXPECT_EQ("a\\nb\\n", ShownToStoredLineBreaks("a\r\nb\r\n"));
  EXPECT_EQ("\\н и \\t", StoredToShownLineBreaks("\\н и \\t"));  // Cyrillic is never folded
  const std::string shown = "Номер\r\nпорта";
  EXPECT_EQ(shown, StoredToShownLineBreaks(ShownToStoredLineBreaks(shown)));
  EXPECT_EQ("", StoredToShownLineBreaks(""));
}

TEST_F(PropValues, SinglePropertyConvertsByItsTypeWord) {
  Variant v = PropertyValueAsVariant("integer", "-42");
  ASSERT_EQ(VT_I4, v.Type());
  EXPECT_EQ(-42, V_I4(&v.Get()));
  for (const char* text : {"1.5", "1,5"}) {
    for (const char* type : {"Double", "Число", "ЧИСЛО"}) {
      v = PropertyValueAsVariant(type, text);
      ASSERT_EQ(VT_R8, v.Type()) << type;
      EXPECT_DOUBLE_EQ(1.5, V_R8(&v.Get())) << text;
    }
  }
  v = PropertyValueAsVariant("Строка", "1.5\\n");
  ASSERT_EQ(VT_BSTR, v.Type());
  EXPECT_EQ("1.5\\n", v.To1251());
  EXPECT_EQ("", PropertyValueAsVariant("", "").To1251());
  try {
    PropertyValueAsVariant("Integer", "abc");
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_STREQ(RussianRun() ? "'abc' не является допустимым целым числом"
                              : "'abc' is not a valid integer value",
                 e.what());
  }
  EXPECT_THROW(PropertyValueAsVariant("Double", "1.000,5"), std::exception);
  EXPECT_THROW(PropertyValueAsVariant("Integer", ""), std::exception);
}

TEST_F(PropValues, TableCellsGiveDoublesForNumbersAndShownTextOtherwise) {
  Variant v = TableCellValue("Integer", "9600");
  ASSERT_EQ(VT_R8, v.Type());
  EXPECT_EQ(9600.0, V_R8(&v.Get()));
  v = TableCellValue("число", "2,5");
  EXPECT_EQ(2.5, V_R8(&v.Get()));
  v = TableCellValue("Double", "2,5");  // "Double" cells stay text
  ASSERT_EQ(VT_BSTR, v.Type());
  EXPECT_EQ("2,5", v.To1251());
  EXPECT_EQ("a\r\nb", TableCellValue("String", "a\\nb").To1251());
  try {
    TableCellValue("Число", "2.5");  // only the library's separator counts here
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_STREQ(RussianRun() ? "'2.5' не является допустимым числом"
                              : "'2.5' is not a valid floating point value",
                 e.what());
  }
}

TEST_F(PropValues, ShownTypeWords) {
  EXPECT_EQ("Число", ShownTypeWord("Integer"));
  EXPECT_EQ("Число", ShownTypeWord("BOOLEAN"));
  EXPECT_EQ("Строка", ShownTypeWord("string"));
  for (const char* other : {"Число", "Строка", "Double", "", "Integr"})
    EXPECT_EQ("", ShownTypeWord(other)) << other;
}

TEST_F(PropValues, IntegerTextFollowsTheLibrarysRules) {
  EXPECT_EQ(12, StrToInt("  12"));
  EXPECT_EQ(-5, StrToInt("-5"));
  EXPECT_EQ(31, StrToInt("$1F"));
  EXPECT_EQ(16, StrToInt("0x10"));
  EXPECT_EQ(INT32_MIN, StrToInt("-2147483648"));
  EXPECT_EQ(-1, StrToInt("$FFFFFFFF"));
  for (const char* bad : {"", " ", "12 ", "2147483648", "1e3", "0x", "+", "1-"})
    EXPECT_THROW(StrToInt(bad), std::exception) << bad;
  EXPECT_EQ(7, StrToIntDef("x", 7));
  EXPECT_EQ(1, StrToIntDef("01", 7));
}

TEST_F(PropValues, FloatTextUsesTheDecimalSeparator) {
  EXPECT_DOUBLE_EQ(-1.25, StrToFloat(" -1,25 "));
  EXPECT_DOUBLE_EQ(1000.0, StrToFloat("1E3"));
  EXPECT_DOUBLE_EQ(0.5, StrToFloat(",5"));
  for (const char* bad : {"", "1.5", "inf", "nan", "1,2,3", "0x10", "1 000", "e5", "-"})
    EXPECT_THROW(StrToFloat(bad), std::exception) << bad;
}

}  // namespace
}  // namespace ra03v
