#include "foundation/xml_helpers.h"

#include <gtest/gtest.h>

#include "foundation/text_codec.h"
#include "foundation/win/com_init.h"
#include "foundation/win/late_binding.h"

namespace ra03v {
namespace {

TEST(Xml, CreatesADocumentAndReadsAttributesWithDefaults) {
  ComInit com;
  ComPtr<IDispatch> document = CreateXmlDocument();
  ASSERT_TRUE(document);
  PutProperty(document.Get(), L"async", Variant::FromBool(false).Get());
  const Variant text = Variant::FromText(L"<Модель Имя=\"Считыватель\" Пусто=\"\"/>");
  ASSERT_TRUE(V_BOOL(&CallMethod(document.Get(), L"loadXML", {&text.Get()}).Get()));
  const Variant root = GetProperty(document.Get(), L"documentElement");
  ASSERT_EQ(VT_DISPATCH, root.Type());
  IDispatch* node = V_DISPATCH(&root.Get());
  EXPECT_EQ(WideTo1251(L"Считыватель"), GetAttributeDef(node, WideTo1251(L"Имя"), "d"));
  EXPECT_EQ("", GetAttributeDef(node, WideTo1251(L"Пусто"), "d"));
  EXPECT_EQ("d", GetAttributeDef(node, "Missing", "d"));
  EXPECT_EQ("d", GetAttributeDef(nullptr, "Any", "d"));
}

}  // namespace
}  // namespace ra03v
