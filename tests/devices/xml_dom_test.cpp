#include "devices/xml_dom.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <functional>
#include <thread>

#include "devices/model_list.h"
#include "devices/parameters_document.h"
#include "devices/prop_list.h"
#include "foundation/win/com_init.h"
#include "foundation/win/late_binding.h"
#include "foundation/xml_helpers.h"
#include "test_data.h"

namespace ra03v {
namespace {

TEST(XmlDom, SelectsByPathPredicateAndTagNameWithCyrillicNames) {
  const XmlDocument document = XmlDocument::Parse(
      "<Оборудование><Устройство Код=\"1\" КодМодели=\"{A}\"><Параметры>"
      "<Параметр Идентификатор=\"ComNumber\" Зна4ение=\"3\"/><Параметр Идентификатор=\"Baud\"/>"
      "</Параметры></Устройство><Устройство Код=\"2\" КодМодели=\"{a}\"/></Оборудование>");
  ASSERT_TRUE(document.Parsed());
  EXPECT_EQ("Оборудование", document.Root().Name());

  const auto devices = document.SelectNodes("//Устройство[@КодМодели=\"{A}\"]");
  ASSERT_EQ(1u, devices.size());
  EXPECT_EQ("1", devices[0].Attribute("Код"));
  EXPECT_TRUE(devices[0].HasChildNodes());
  EXPECT_EQ("Оборудование", devices[0].Parent().Name());

  const auto parameters = devices[0].ElementsByTagName("Параметр");
  ASSERT_EQ(2u, parameters.size());
  EXPECT_EQ("3", parameters[0].Attribute("Зна4ение", "нет"));
  EXPECT_EQ("нет", parameters[1].Attribute("Зна4ение", "нет"));
  EXPECT_EQ(2u, document.ElementsByTagName("Устройство").size());

  EXPECT_EQ("Baud", document.SelectSingleNode("//Параметры/Параметр[@Идентификатор=\"Baud\"]")
                        .Attribute("Идентификатор"));
  EXPECT_FALSE(document.SelectSingleNode("//Нет"));
  EXPECT_FALSE(document.ElementsByTagName("Устройство")[1].HasChildNodes());
}

TEST(XmlDom, TextThatDoesNotParseLeavesAnEmptyDocument) {
  for (const char* text :
       {"<Устройство><Параметры></Устройство>", "", "просто текст", "<a/><b/>"}) {
    const XmlDocument document = XmlDocument::Parse(text);
    EXPECT_FALSE(document.Parsed()) << text;
    EXPECT_FALSE(document.Root()) << text;
    EXPECT_TRUE(document.SelectNodes("//Устройство").empty()) << text;
  }
  // A null node reads as nothing, with defaults.
  const XmlNode none;
  EXPECT_EQ("d", none.Attribute("Код", "d"));
  EXPECT_TRUE(none.SelectNodes("x").empty());
  EXPECT_FALSE(none.Parent());
  EXPECT_THROW(none.SetAttribute("Код", "1"), std::exception);
}

TEST(XmlDom, WritesWithoutDeclarationAndEscapesValuesThatReadBackWhole) {
  const XmlDocument document =
      XmlDocument::Parse("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<Параметры/>");
  ASSERT_TRUE(document.Parsed());
  const std::string tricky = "a<b>&\"c\" 'd' = Значение\\n";
  const XmlNode item = document.Root().AppendChild(document.CreateElement("Параметр"));
  item.SetAttribute("Идентификатор", tricky);
  item.SetAttribute("Пусто", "");

  const std::string text = document.Xml();
  EXPECT_EQ(0u, text.find("<Параметры>")) << text;
  EXPECT_EQ(std::string::npos, text.find("<?xml"));

  const XmlDocument again = XmlDocument::Parse(text);
  ASSERT_TRUE(again.Parsed()) << text;
  const XmlNode read = again.SelectSingleNode("/Параметры/Параметр");
  EXPECT_EQ(tricky, read.Attribute("Идентификатор"));
  EXPECT_EQ("", read.Attribute("Пусто", "d"));
  EXPECT_EQ("Параметр", read.Name());
}

TEST(XmlDom, UsesADocumentObjectTheCallerHolds) {
  const XmlDocument held = XmlDocument::Parse("<Модель Наименование=\"Считыватель\"/>");
  const XmlDocument used = XmlDocument::Use(held.Get());
  EXPECT_EQ("Считыватель", used.Root().Attribute("Наименование"));
  used.Root().SetAttribute("Наименование", "Новый");
  EXPECT_EQ("Новый", held.Root().Attribute("Наименование"));  // the same object, not a copy
  // A wrapped element has no document element of its own but still answers queries.
  const XmlDocument element = XmlDocument::Use(held.Root().Get());
  EXPECT_FALSE(element.Root());
  EXPECT_EQ(1u, element.SelectNodes("/Модель").size());
}

TEST(XmlDom, ACallersDocumentGetsItsQueryLanguageBack) {
  ComInit com;
  const ComPtr<IDispatch> raw = CreateXmlDocument();  // the DOM's own default language
  const Variant text = Variant::FromText(L"<Система><Модель Код=\"1\"/></Система>");
  ASSERT_TRUE(V_BOOL(&CallMethod(raw.Get(), L"loadXML", {&text.Get()}).Get()));
  const Variant name = Variant::FromText(L"SelectionLanguage");
  const std::wstring before = CallMethod(raw.Get(), L"getProperty", {&name.Get()}).ToText();
  ASSERT_NE(L"XPath", before);  // else there would be nothing to give back
  {
    const XmlDocument used = XmlDocument::Use(raw.Get());
    const XmlDocument copy = used;
    EXPECT_EQ("1", used.SelectSingleNode("/Система/Модель").Attribute("Код"));
    EXPECT_EQ(L"XPath", CallMethod(raw.Get(), L"getProperty", {&name.Get()}).ToText());
  }
  EXPECT_EQ(before, CallMethod(raw.Get(), L"getProperty", {&name.Get()}).ToText());
}

// What the calling thread's COM state is: CO_E_NOTINITIALIZED, or the apartment type.
HRESULT ApartmentOf(APTTYPE& type) {
  APTTYPEQUALIFIER qualifier{};
  return CoGetApartmentType(&type, &qualifier);
}

void OnOwnThread(const std::function<void()>& body) {
  std::thread worker([&] { body(); });
  worker.join();
}

// Every entry point that builds or reads documents, run once.
void RunDocumentOperations() {
  TPropList templates;
  templates.AddDescriptors(CommonPropertyDescriptors());
  EXPECT_NE(std::string::npos, ParametersDocument(templates).find("Использовать"));
  const Variant catalog = test::DataFileValue(L"catalog.xml");
  auto models = CreateModelList(catalog.Get(), "", "", "ra03v_probe.dll", "", "", "");
  ASSERT_EQ(5, models->Count());
  models->Model(0).LoadChildren();
  EXPECT_EQ(3, models->Model(0).Parameters().Count());
}

TEST(XmlDomComState, AThreadWithoutComHasNoneAfterwards) {
  OnOwnThread([] {
    APTTYPE type{};
    ASSERT_EQ(CO_E_NOTINITIALIZED, ApartmentOf(type));
    RunDocumentOperations();
    EXPECT_EQ(CO_E_NOTINITIALIZED, ApartmentOf(type));
  });
}

TEST(XmlDomComState, AThreadWithComKeepsItsApartmentAndCount) {
  for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
    OnOwnThread([model] {
      ASSERT_EQ(S_OK, CoInitializeEx(nullptr, model));
      RunDocumentOperations();
      APTTYPE type{};
      ASSERT_EQ(S_OK, ApartmentOf(type));
      if (model == COINIT_MULTITHREADED)
        EXPECT_EQ(APTTYPE_MTA, type);
      else
        EXPECT_TRUE(type == APTTYPE_STA || type == APTTYPE_MAINSTA) << type;
      // One uninitialise undoes the thread's own initialisation: nothing was left over.
      CoUninitialize();
      EXPECT_EQ(CO_E_NOTINITIALIZED, ApartmentOf(type));
    });
  }
}

}  // namespace
}  // namespace ra03v
