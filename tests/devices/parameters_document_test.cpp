#include "devices/parameters_document.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "devices/xml_dom.h"
#include "foundation/text_codec.h"
#include "support/dll_under_test.h"

namespace ra03v {
namespace {

TPropList ReaderLikeTemplates() {
  TPropList templates;
  templates.AddDescriptors(CommonPropertyDescriptors());
  templates.AddDescriptors(PortPropertyDescriptors());
  templates.SetPropertyDefault("IsOpen", "1", true);
  TPropItem& text = templates.Add();
  text.SetIdentifier("Примечание");
  text.SetName("Примечание & \"кавычки\"");
  text.SetType("Строка");
  text.SetDefault("<нет>");
  text.SetDescription("Первая\r\nвторая");
  return templates;
}

// Kept beside the test program for the second, independent parser run by CTest.
void KeepForSecondParser(const std::string& document) {
  const std::wstring wide = Text1251ToWide(document);
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length,
                      nullptr, nullptr);
  std::ofstream file(std::filesystem::path(test::BesideTestProgram(L"written_parameters.xml")),
                     std::ios::binary);
  file << utf8;
}

TEST(ParametersDocument, OneParameterPerTemplateWithTheDigitSpellings) {
  const TPropList templates = ReaderLikeTemplates();
  const std::string text = ParametersDocument(templates);
  EXPECT_EQ(0u, text.find("<Параметры>")) << text;
  KeepForSecondParser(text);

  const XmlDocument document = XmlDocument::Parse(text);
  ASSERT_TRUE(document.Parsed()) << text;
  const auto parameters = document.SelectNodes("/Параметры/Параметр");
  ASSERT_EQ(static_cast<size_t>(templates.Count()), parameters.size());
  for (size_t i = 0; i < parameters.size(); ++i)
    EXPECT_EQ(templates.Item(static_cast<int>(i)).Identifier(),
              parameters[i].Attribute("Идентификатор"));

  const XmlNode& use = parameters[0];
  EXPECT_EQ("Использовать", use.Attribute("Наименование"));
  EXPECT_EQ("Число", use.Attribute("Тип"));
  EXPECT_EQ("0", use.Attribute("ФлагТолько4тение"));
  EXPECT_EQ("1", use.Attribute("Зна4ениеПоУмол4анию"));
  EXPECT_EQ(
      "Признак того, что данное устройство может быть использовано (включено выключено и т.д.)\\n"
      "Допустимые значения: 0 - не может быть использовано, 1 - может",
      use.Attribute("Описание"));

  EXPECT_EQ("1", parameters[7].Attribute("ФлагТолько4тение"));  // IsOpen made read-only
  const XmlNode& note = parameters[8];
  EXPECT_EQ("", note.Attribute("Тип", "нет"));  // "Строка" itself is shown empty
  EXPECT_EQ("Примечание & \"кавычки\"", note.Attribute("Наименование"));
  EXPECT_EQ("<нет>", note.Attribute("Зна4ениеПоУмол4анию"));
  EXPECT_EQ("Первая\\nвторая", note.Attribute("Описание"));
  // The proper spellings are not written.
  EXPECT_EQ(std::string::npos, text.find("ЗначениеПоУмолчанию"));
}

TEST(ParametersDocument, NoTemplatesGiveTheBareRoot) {
  const TPropList none;
  const XmlDocument document = XmlDocument::Parse(ParametersDocument(none));
  ASSERT_TRUE(document.Parsed());
  EXPECT_EQ("Параметры", document.Root().Name());
  EXPECT_FALSE(document.Root().HasChildNodes());
}

}  // namespace
}  // namespace ra03v
