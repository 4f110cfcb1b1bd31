// Device settings, equipment, parameters and model description documents read
// and written by the device list, on hand-written documents and round trips.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "device_test_list.h"
#include "devices/xml_dom.h"
#include "foundation/protect_exception.h"
#include "foundation/system_info.h"
#include "foundation/text_codec.h"
#include "support/dll_under_test.h"
#include "test_data.h"

namespace ra03v {
namespace {

using test::ReaderLikeList;

Variant Text(std::string_view text) { return Variant::From1251(text); }

std::string DataText(const wchar_t* file) { return WideTo1251(test::ReadDataFile(file)); }

// Kept beside the test program for the second, independent parser run by CTest.
void KeepForSecondParser(const std::string& document, const wchar_t* file) {
  const std::wstring wide = Text1251ToWide(document);
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length,
                      nullptr, nullptr);
  std::ofstream out(std::filesystem::path(test::BesideTestProgram(file)), std::ios::binary);
  out << utf8;
}

TEST(DeviceDocuments, SettingsWrittenAndReadBackRestoreCodeNameAndEveryProperty) {
  auto list = ReaderLikeList();
  TDeviceItem& source = list->AppendDevice();
  source.SetDeviceName("Проходная & \"главная\"");
  source.SetProperty("Примечание", "первая\r\nвторая <строка>");
  source.SetProperty("ComNumber", "102");
  source.SetProperty("Baud", "38400");
  source.SetProperty("StopBits", "2");
  source.SetProperty("Свой", "значение=с равенством");
  source.ApplyPortSettings(nullptr);  // the record is what the document stores for port keys
  const std::string document = source.SaveSettingsXML();
  KeepForSecondParser(document, L"written_settings.xml");

  auto other = ReaderLikeList();
  TDeviceItem& target = other->AppendDevice();
  ASSERT_EQ(0, target.LoadSettings(Text(document).Get()));
  EXPECT_TRUE(SameGuid(source.DeviceCode(), target.DeviceCode()));
  EXPECT_EQ(source.DeviceName(), target.DeviceName());
  ASSERT_EQ(source.Props().Count(), target.Props().Count());
  for (const auto& item : source.Props())
    EXPECT_EQ(item->Value(), target.Props().GetPropValue(item->Identifier())) << item->Identifier();
  EXPECT_EQ("первая\r\nвторая <строка>", target.GetProperty("Примечание"));
  EXPECT_EQ(17, target.PortManager().Settings().portIndex);  // 102
  EXPECT_EQ(2, target.PortManager().Settings().baudIndex);   // 38400
  EXPECT_EQ(0, target.PortManager().Settings().stopBitsIndex);
}

TEST(DeviceDocuments, PortKeysAreWrittenFromTheRecordNotFromTheProperties) {
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  device.SetProperty("Baud", "19200");  // not applied to the record
  const XmlDocument written = XmlDocument::Parse(device.SaveSettingsXML());
  const XmlNode baud = written.SelectSingleNode("//Параметр[@Идентификатор=\"Baud\"]");
  EXPECT_EQ("9600", baud.Attribute("Зна4ение"));
  EXPECT_EQ("", written.Root().Attribute("КодТо4киДоступа", "absent"));
  EXPECT_EQ(test::kModelCode, written.Root().Attribute("КодМодели"));
}

TEST(DeviceDocuments, ProperSpellingAfterASpaceLoadsButAfterATabLoadsEmptyValues) {
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  ASSERT_EQ(0, device.LoadSettings(test::DataFileValue(L"settings_proper.xml").Get()));
  EXPECT_EQ("{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}", GuidToText(device.DeviceCode()));
  EXPECT_EQ("Вход склада", device.DeviceName());
  EXPECT_EQ("19200", device.GetProperty("Baud"));
  EXPECT_EQ("первая\r\nвторая", device.GetProperty("Примечание"));
  EXPECT_EQ(16, device.PortManager().Settings().portIndex);  // 101
  EXPECT_EQ(3, device.PortManager().Settings().baudIndex);
  EXPECT_EQ(0, device.PortManager().Settings().stopBitsIndex);  // "2"

  TDeviceItem& tabbed = list->AppendDevice();
  ASSERT_EQ(0, tabbed.LoadSettings(test::DataFileValue(L"settings_tab.xml").Get()));
  EXPECT_EQ("Табуляция", tabbed.DeviceName());
  EXPECT_EQ("", tabbed.GetProperty("Baud"));
  EXPECT_EQ("", tabbed.GetProperty("Примечание"));
  // An empty port value leaves the record as it was.
  EXPECT_EQ(4, tabbed.PortManager().Settings().baudIndex);
}

TEST(DeviceDocuments, OldFormatTakesPortItemsIntoTheRecordAndExtraItemsIntoTheProperties) {
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  ASSERT_EQ(0, device.LoadSettings(test::DataFileValue(L"settings_old.xml").Get()));
  EXPECT_EQ("{5F4E3D2C-1B0A-4998-8776-655443322110}", GuidToText(device.DeviceCode()));
  EXPECT_EQ("Старый считыватель", device.DeviceName());
  const TComPortSennings& record = device.PortManager().Settings();
  EXPECT_EQ(2, record.portIndex);
  EXPECT_EQ(5, record.baudIndex);
  EXPECT_EQ(1, record.dataBitsIndex);
  EXPECT_EQ("1", device.GetProperty("ComNumber"));  // port items do not reach the properties
  EXPECT_EQ("250", device.GetProperty("ИнтервалОпроса"));
  EXPECT_EQ("0", device.GetProperty("Использовать"));
}

TEST(DeviceDocuments, LoadDevicesTakesOnlyThisModelsDevicesAtAnyDepthAndUpdatesByCode) {
  auto list = ReaderLikeList();
  ASSERT_EQ(0, list->LoadDevices(test::DataFileValue(L"equipment.xml").Get()));
  ASSERT_EQ(2, list->Count());  // the lower-case model code and the other model load nothing
  EXPECT_EQ("Первый", list->DeviceAt(0).DeviceName());
  EXPECT_EQ("2", list->DeviceAt(0).GetProperty("ComNumber"));
  EXPECT_EQ("x", list->DeviceAt(0).GetProperty("Новый"));
  EXPECT_EQ("Вложенный", list->DeviceAt(1).DeviceName());
  EXPECT_EQ(7, list->DeviceAt(1).PortManager().Settings().baudIndex);  // 1200
  EXPECT_NE(std::string::npos, list->LastDocument().find("Зна4ение="));

  list->DeviceAt(0).SetDeviceName("Изменён");
  TDeviceItem& untouched = list->AppendDevice();
  ASSERT_EQ(0, list->LoadDevices(test::DataFileValue(L"equipment.xml").Get()));
  EXPECT_EQ(3, list->Count());
  EXPECT_EQ("Первый", list->DeviceAt(0).DeviceName());
  EXPECT_EQ(&untouched, &list->DeviceAt(2));
}

TEST(DeviceDocuments, LoadDevicesAcceptsADomDocumentAndKeepsItsText) {
  auto list = ReaderLikeList();
  const XmlDocument document = XmlDocument::Parse(DataText(L"equipment.xml"));
  VARIANT object;
  VariantInit(&object);
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = document.Get();  // borrowed
  ASSERT_EQ(0, list->LoadDevices(object));
  EXPECT_EQ(2, list->Count());
  EXPECT_NE(std::string::npos, list->LastDocument().find("Вложенный"));
}

TEST(DeviceDocuments, CatalogCompletesUntypedPropertiesAndLoadDevicesFreesItFirst) {
  auto list = ReaderLikeList();
  list->LoadModelCatalog(test::DataFileValue(L"device_catalog.xml").Get());
  ASSERT_NE(nullptr, list->Models());
  ASSERT_EQ(1, list->Models()->Count());

  const std::string settings =
      std::string("<Устройство Код=\"{11111111-0000-4000-8000-0000000000AA}\" ") + "КодМодели=\"" +
      test::kModelCode +
      "\" Наименование=\"С каталогом\"><Параметры>"
      "<Параметр Идентификатор=\"Режим\" Зна4ение=\"ручной\"/>"
      "</Параметры></Устройство>";
  TDeviceItem& device = list->AppendDevice();
  ASSERT_EQ(0, device.LoadSettings(Text(settings).Get()));
  const TPropItem* mode = device.Props().Find("Режим");
  ASSERT_NE(nullptr, mode);
  EXPECT_EQ("ручной", mode->Value());  // the value stays as loaded
  EXPECT_EQ("Режим работы", mode->Name());
  EXPECT_EQ("String", mode->Type());
  EXPECT_TRUE(mode->ReadOnly());
  EXPECT_EQ("авто", mode->Default());
  EXPECT_EQ("Как читать карты", mode->Description());

  const std::string equipment = "<Оборудование>" +
                                std::string(settings).replace(settings.find("AA}"), 3, "BB}") +
                                "</Оборудование>";
  ASSERT_EQ(0, list->LoadDevices(Text(equipment).Get()));
  EXPECT_EQ(nullptr, list->Models());
  const TPropItem* plain = list->DeviceAt(1).Props().Find("Режим");
  ASSERT_NE(nullptr, plain);
  EXPECT_EQ("", plain->Type());
  EXPECT_EQ("", plain->Name());
}

TEST(DeviceDocuments, GetSettingsXmlGivesOneDeviceOrAllDevicesWrapped) {
  auto list = ReaderLikeList();
  std::string xml;
  EXPECT_EQ(0, list->GetSettingsXML(Variant::FromInt(0).Get(), xml));
  EXPECT_EQ("<Оборудование></Оборудование>", xml);

  TDeviceItem& first = list->AppendDevice();
  list->AppendDevice();
  EXPECT_EQ(0, list->GetSettingsXML(Variant::FromInt(7).Get(), xml));
  KeepForSecondParser(xml, L"written_equipment.xml");
  const XmlDocument all = XmlDocument::Parse(xml);
  ASSERT_TRUE(all.Parsed());
  EXPECT_EQ("Оборудование", all.Root().Name());
  const auto devices = all.SelectNodes("/Оборудование/Устройство");
  ASSERT_EQ(2u, devices.size());
  EXPECT_EQ("Считыватель_2", devices[1].Attribute("Наименование"));
  EXPECT_EQ(0, list->GetSettingsXML(Text("не код").Get(), xml));
  EXPECT_EQ(0u, xml.find("<Оборудование>"));

  EXPECT_EQ(0, list->GetSettingsXML(Text(GuidToText(first.DeviceCode())).Get(), xml));
  EXPECT_EQ("Считыватель_1", XmlDocument::Parse(xml).Root().Attribute("Наименование"));
  xml = "unchanged";
  EXPECT_EQ(3, list->GetSettingsXML(Text("{00000000-1111-2222-3333-444444444444}").Get(), xml));
  EXPECT_EQ("unchanged", xml);
}

TEST(DeviceDocuments, MalformedDocumentsEndInTheirErrorOrLoadNothing) {
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  const GUID code = device.DeviceCode();
  EXPECT_THROW(device.LoadSettings(Text("<Устройство Код=").Get()), std::exception);
  EXPECT_EQ(0, device.LoadSettings(Variant::FromInt(5).Get()));  // other kinds change nothing
  try {
    device.LoadSettings(Text("<Устройство Код=\"не код\" Наименование=\"Новое\"/>").Get());
    ADD_FAILURE() << "a code that is not an identifier loaded";
  } catch (const std::exception& e) {
    EXPECT_STREQ("Значение не является идентификатором объекта.", e.what());
  }
  EXPECT_TRUE(SameGuid(code, device.DeviceCode()));
  EXPECT_EQ("Считыватель_1", device.DeviceName());

  // Non-numeric port text fails; the fields before it keep their new values.
  EXPECT_THROW(device.LoadSettings(Text("<Устройство><Параметры>"
                                        "<Параметр Идентификатор=\"ComNumber\" Зна4ение=\"5\"/>"
                                        "<Параметр Идентификатор=\"Baud\" Зна4ение=\"быстро\"/>"
                                        "</Параметры></Устройство>")
                                       .Get()),
               std::exception);
  EXPECT_EQ(4, device.PortManager().Settings().portIndex);
  EXPECT_EQ(4, device.PortManager().Settings().baudIndex);

  EXPECT_EQ(0, list->LoadDevices(Text("<<<не документ").Get()));
  EXPECT_EQ(0, list->LoadDevices(Variant::FromDouble(2.5).Get()));
  EXPECT_EQ(0, list->LoadDevices(Text("<Другое><Устройство/></Другое>").Get()));
  EXPECT_EQ(1, list->Count());

  EXPECT_THROW(list->LoadDevices(test::DataFileValue(L"equipment_bad_code.xml").Get()),
               std::exception);
  ASSERT_EQ(2, list->Count());  // the device before the bad code stays loaded
  EXPECT_EQ("Хороший", list->DeviceAt(1).DeviceName());
}

TEST(DeviceDocuments, StopBitsAndOtherTablePositionsTravelBetweenPropertiesAndRecord) {
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  device.SetProperty("StopBits", "1");
  device.SetProperty("ComNumber", "77");  // not in the port table
  device.ApplyPortSettings(nullptr);
  TComPortSennings& record = device.PortManager().Settings();
  EXPECT_EQ(1, record.stopBitsIndex);
  EXPECT_EQ(-1, record.portIndex);
  EXPECT_EQ(1, record.keepOpen);  // "IsOpen" default 1

  record.stopBitsIndex = 0;
  record.baudIndex = 9;
  record.parity = 2;
  device.StorePortSettings(nullptr);
  EXPECT_EQ("2", device.GetProperty("StopBits"));
  EXPECT_EQ("28800", device.GetProperty("Baud"));
  EXPECT_EQ("2", device.GetProperty("Parity"));
  EXPECT_EQ("77", device.GetProperty("ComNumber"));        // position -1 has no number to write
  EXPECT_EQ(nullptr, device.Props().Find("FlowControl"));  // flow group not exposed

  TNameValueList lines;
  lines.Set("baud", "300");
  device.StorePortSettings(&lines);
  EXPECT_EQ(5, lines.Count());  // the existing line replaced, four appended
  EXPECT_EQ("28800", lines.Value("Baud"));
  EXPECT_FALSE(lines.Contains("ComNumber"));
}

TEST(DeviceDocuments, LineBreaksAreStoredAsBackslashNAndShownAsCrLf) {
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  device.SetProperty("Примечание", "a\r\nb\r\n");
  EXPECT_EQ("a\\nb\\n", device.Props().GetPropValue("Примечание"));
  EXPECT_EQ("a\r\nb\r\n", device.GetProperty("Примечание"));
  device.Props().SetPropValue("Примечание", "x\\Ny");
  EXPECT_EQ("x\r\ny", device.GetProperty("Примечание"));
  device.SetPropertyInt("Число", -12);
  EXPECT_EQ(-12, device.GetPropertyInt("Число"));
  EXPECT_EQ(0, device.GetPropertyInt("Пусто"));
  EXPECT_THROW(device.GetPropertyInt("Примечание"), std::exception);
}

TEST(DeviceDocuments, ModelDescriptionOfThisLibraryReplacesTemplatesAndNamesNewDevices) {
  auto list = ReaderLikeList();
  std::string text = DataText(L"model_description.xml");
  list->LoadModelDescription(text);
  EXPECT_NE(std::string::npos, text.find("Зна4ениеПоУмол4анию="));  // converted in place
  EXPECT_EQ("Считыватель_Тест", list->ModelIdentifier());
  EXPECT_EQ("Тестовый считыватель №", list->NamePrefix());
  const TPropItem* baud = list->PropTemplates().Find("Baud");
  ASSERT_NE(nullptr, baud);
  EXPECT_EQ("Скорость", baud->Name());
  EXPECT_TRUE(baud->ReadOnly());
  EXPECT_EQ("4800", baud->Default());
  EXPECT_EQ("4800", baud->Value());
  const TPropItem* mode = list->PropTemplates().Find("Режим");
  ASSERT_NE(nullptr, mode);
  EXPECT_FALSE(mode->ReadOnly());
  EXPECT_EQ("", mode->Description());
  EXPECT_EQ(nullptr, list->PropTemplates().Find("Чужой"));

  std::string added = DataText(L"model_description.xml");
  ASSERT_EQ(0, list->AddDevice(added, false));
  const XmlDocument document = XmlDocument::Parse(added);
  ASSERT_TRUE(document.Parsed());
  EXPECT_EQ("Тестовый считыватель №1", document.Root().Attribute("Наименование"));
  EXPECT_EQ(5, list->DeviceAt(0).PortManager().Settings().baudIndex);  // applied at creation
}

TEST(DeviceDocuments, ParametersDocumentListsTheTemplates) {
  auto list = ReaderLikeList();
  const XmlDocument document = XmlDocument::Parse(list->ParametersXML());
  const auto parameters = document.SelectNodes("/Параметры/Параметр");
  ASSERT_EQ(static_cast<size_t>(list->PropTemplates().Count()), parameters.size());
  EXPECT_EQ("IsOpen", parameters[7].Attribute("Идентификатор"));
  EXPECT_EQ("1", parameters[7].Attribute("ФлагТолько4тение"));
  EXPECT_EQ("Строка", parameters[8].Attribute("Тип"));
}

}  // namespace
}  // namespace ra03v
