#include "devices/prop_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ra03v {
namespace {

std::vector<std::string> Identifiers(const TPropList& list) {
  std::vector<std::string> out;
  for (const auto& item : list) out.push_back(item->Identifier());
  return out;
}

TEST(PropList, FindsIgnoringCaseAndSetsOrAppendsValues) {
  TPropList list;
  list.AddDescriptors(CommonPropertyDescriptors());
  EXPECT_EQ(&list.Item(0), list.Find("ИСПОЛЬЗОВАТЬ"));
  EXPECT_EQ(nullptr, list.Find("Использова"));
  EXPECT_EQ("1", list.GetPropValue("использовать"));
  EXPECT_EQ("", list.GetPropValue("Нет"));

  list.SetPropValue("неРАЗДЕЛЯЕМОЕ", "1");
  EXPECT_EQ("1", list.Item(1).Value());
  EXPECT_EQ("Неразделяемое", list.Item(1).Identifier());  // the found item keeps its spelling

  list.SetPropValue("Новое", "x");
  ASSERT_EQ(3, list.Count());
  const TPropItem& added = list.Item(2);
  EXPECT_EQ("x", added.Value());
  EXPECT_EQ("", added.Name());
  EXPECT_EQ("", added.Type());
  EXPECT_FALSE(added.ReadOnly());
  EXPECT_THROW(list.Item(3), std::exception);
  EXPECT_THROW(list.Item(-1), std::exception);
}

TEST(PropList, ApplyListKeepsNamesAndValuesWhole) {
  TPropList list;
  TNameValueList lines;
  lines.Set("ComNumber", "3");
  lines.Set("Формула", "a=b");
  lines.Set("comnumber", "4");  // a repeated name replaces the earlier value
  EXPECT_EQ(2, lines.Count());
  list.ApplyList(lines);
  EXPECT_EQ((std::vector<std::string>{"ComNumber", "Формула"}), Identifiers(list));
  EXPECT_EQ("4", list.GetPropValue("ComNumber"));
  EXPECT_EQ("a=b", list.GetPropValue("Формула"));
}

TEST(PropList, DescriptorRowsSetEveryFieldAndValueStartsAtTheDefault) {
  TPropList list;
  list.SetPropValue("Baud", "19200");
  list.AddDescriptors(PortPropertyDescriptors());
  EXPECT_EQ(
      (std::vector<std::string>{"Baud", "ComNumber", "DataBits", "StopBits", "Parity", "IsOpen"}),
      Identifiers(list));
  const TPropItem& baud = *list.Find("Baud");
  EXPECT_EQ("Скорость порта", baud.Name());
  EXPECT_EQ("Integer", baud.Type());
  EXPECT_EQ("9600", baud.Default());
  EXPECT_EQ("9600", baud.Value());  // the row resets the value
  EXPECT_EQ(
      "Четность (Parity)\r\nДопустимые значения: 0 - \"Отсутствует (None)\", 1 - Нечетный (Odd), "
      "2 - Четный (Even), 3 - Метка (Mark), 4 - Пробел (Space)",
      list.Find("Parity")->Description());

  const TPropDescriptor wide{"Длинное",
                             "",
                             "Длинное",
                             "Integer",
                             1,
                             "0",
                             std::string_view("0123456789012345678901234567890123456789012345678901"
                                              "234567890123456789012345678901234567890123"
                                              "4567890123456789012345678901234567890123456789012345"
                                              "678901234567890123456789012345678901234567"
                                              "8901234567890123456789012345678901234567890123456789"
                                              "0123456789012345678901234567890123456789")};
  EXPECT_EQ(kPropTextMax, list.AddDescriptor(wide).Description().size());
  EXPECT_TRUE(list.Find("Длинное")->ReadOnly());
}

TEST(PropList, DescriptorTablesHoldTheCommonAndPortRows) {
  ASSERT_EQ(2u, CommonPropertyDescriptors().size());
  ASSERT_EQ(6u, PortPropertyDescriptors().size());
  for (auto table : {CommonPropertyDescriptors(), PortPropertyDescriptors()}) {
    for (const TPropDescriptor& row : table) {
      EXPECT_EQ("Integer", row.Type) << row.Identifier;
      EXPECT_EQ(0, row.ReadOnly) << row.Identifier;
      EXPECT_TRUE(row.AltIdentifier.empty()) << row.Identifier;
      EXPECT_NE(std::string_view::npos, row.Description.find("\r\n")) << row.Identifier;
    }
  }
  const TPropDescriptor& shared = CommonPropertyDescriptors()[1];
  EXPECT_EQ("Неразделяемое", shared.Identifier);
  EXPECT_EQ("0", shared.Default);
  EXPECT_EQ(
      "Поведение оборудования при нескольких запушенных копий продукта на одной машине или в "
      "терминальной сессии\r\nЗначение: 0 – Оборудование создается только на главной сессии;\r\n"
      "1 – Каждый экземпляр точки доступа создает свое локальное оборудование",
      shared.Description);
  EXPECT_EQ("Номер порта\r\nДопустимые значения: 1, 2, 3...",
            PortPropertyDescriptors()[0].Description);
}

TEST(PropList, CopiesStartFromDefaultsAndDefaultsCanBeChanged) {
  TPropList templates;
  templates.AddDescriptors(CommonPropertyDescriptors());
  templates.AddDescriptors(PortPropertyDescriptors());
  templates.SetPropValue("ComNumber", "7");
  EXPECT_TRUE(templates.SetPropertyDefault("isopen", "1", true));
  EXPECT_FALSE(templates.SetPropertyDefault("Нет такого", "1", true));
  EXPECT_EQ(8, templates.Count());

  TPropList device;
  device.CopyItemsFrom(templates);
  ASSERT_EQ(8, device.Count());
  const TPropItem& port = *device.Find("ComNumber");
  EXPECT_EQ("1", port.Value());  // the default, not the template's value
  EXPECT_EQ("Номер порта", port.Name());
  const TPropItem& keep = *device.Find("IsOpen");
  EXPECT_EQ("1", keep.Default());
  EXPECT_EQ("1", keep.Value());
  EXPECT_TRUE(keep.ReadOnly());
  EXPECT_NE(&port, templates.Find("ComNumber"));  // copies, not shared items

  device.CopyItemsFrom(device);  // onto itself: each item once more
  EXPECT_EQ(16, device.Count());
}

}  // namespace
}  // namespace ra03v
