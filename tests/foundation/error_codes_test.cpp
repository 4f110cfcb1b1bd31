#include "foundation/error_codes.h"

#include <gtest/gtest.h>

#include "foundation/protect_exception.h"
#include "foundation/text_codec.h"
#include "support/test_language.h"

namespace ra03v {
namespace {

// The message and code of the EProtectException that RaiseError throws.
struct Raised {
  int32_t code = -1;
  std::wstring message;
};

Raised Catch(int32_t code, std::initializer_list<FormatArg> args) {
  try {
    RaiseError(code, args);
  } catch (const EProtectException& e) {
    return {e.Code(), Text1251ToWide(e.what())};
  }
  return {};
}

TEST(ErrorText, FollowsTheUserLanguage) {
  const bool ru = test::RussianRun();
  EXPECT_EQ(ru ? L"Операция прервана" : L"Operation is canceled", Text1251ToWide(ErrorText(20026)));
  EXPECT_EQ(L"Ok", Text1251ToWide(ErrorText(0)));
}

TEST(ErrorText, CodesWithoutRowNameTheirNumber) {
  EXPECT_EQ(L"Неизвестная ошибка (Код = 20049)!",
            Text1251ToWide(ErrorText(20049, MessageLanguage::Russian)));
  EXPECT_EQ(L"Unknown error (Code = 20049)!",
            Text1251ToWide(ErrorText(20049, MessageLanguage::English)));
  // 20054 has only a Russian template.
  EXPECT_EQ(L"Unknown error (Code = 20054)!",
            Text1251ToWide(ErrorText(20054, MessageLanguage::English)));
  EXPECT_EQ(L"Unknown error (Code = -7)!", Text1251ToWide(ErrorText(-7, MessageLanguage::English)));
}

TEST(ErrorText, MultiLineTemplatesKeepTheirLineBreaks) {
  EXPECT_EQ(L"Ошибка конфигурационного файла:\r\nдублирование описания решения.",
            Text1251ToWide(ErrorText(20041, MessageLanguage::Russian)));
  EXPECT_EQ(L"Function \"%s\" is not supported by the current FR",
            Text1251ToWide(ErrorText(21011, MessageLanguage::English)));
}

TEST(RaiseError, FillsTheTemplateOfTheCode) {
  const Raised r = Catch(20001, {std::string("COM3")});
  EXPECT_EQ(20001, r.code);
  EXPECT_EQ(
      test::RussianRun() ? L"Оборудование не найдено [COM3]." : L"The equipment not found [COM3].",
      r.message);
}

TEST(RaiseError, CodesOutsideTheTablePassTheirTextThrough) {
  const Raised r = Catch(19999, {std::string("x")});
  EXPECT_EQ(19999, r.code);
  EXPECT_EQ(L"x", r.message);
  EXPECT_EQ(L"plain", Catch(20000, {std::string("plain")}).message);
  EXPECT_EQ(L"21000 too", Catch(21000, {std::string("21000 too")}).message);
}

TEST(RaiseError, TwentyFiftyFourAddsTheRightsLine) {
  const Raised r = Catch(20054, {std::string("a")});
  if (test::RussianRun())
    EXPECT_EQ(L"a\r\nНедостаточно прав пользователя.", r.message);
  else
    EXPECT_EQ(L"Unknown error (Code = 20054)!", r.message);
}

TEST(RaiseError, TooFewArgumentsIsAFormattingFailureNotAProtectException) {
  EXPECT_THROW(RaiseError(20005, {std::string("one")}), std::runtime_error);
  try {
    RaiseError(20005, {std::string("one")});
  } catch (const EProtectException&) {
    FAIL() << "a formatting failure must not pose as the coded error";
  } catch (const std::runtime_error&) {
  }
}

TEST(RaiseError, HardwareExceptionIsAProtectException) {
  try {
    throw EHardwareEquipmentException(5, "device text");
  } catch (const EProtectException& e) {
    EXPECT_EQ(5, e.Code());
    EXPECT_STREQ("device text", e.what());
  }
}

TEST(FormatTemplate, FillsInOrderAndKeepsPercent) {
  EXPECT_EQ("a=1 b=x 100%", FormatTemplate("a=%d b=%s 100%%", {int64_t{1}, std::string("x")}));
  EXPECT_EQ("n=-5", FormatTemplate("n=%s", {int64_t{-5}}));
  EXPECT_THROW(FormatTemplate("%d", {std::string("text")}), std::runtime_error);
  EXPECT_THROW(FormatTemplate("%q", {int64_t{1}}), std::runtime_error);
  EXPECT_THROW(FormatTemplate("50%", {}), std::runtime_error);
}

}  // namespace
}  // namespace ra03v
