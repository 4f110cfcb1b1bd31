#include "devices/model_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "devices/xml_dom.h"
#include "foundation/system_info.h"
#include "foundation/text_codec.h"
#include "foundation/win/com_init.h"
#include "test_data.h"

namespace ra03v {
namespace {

constexpr char kReaderCode[] = "{6D7C2A10-1B3E-4F55-9A61-0C2B3D4E5F60}";

std::unique_ptr<TModelList> Catalog(const wchar_t* file, std::string_view library,
                                    std::string_view state = "") {
  const Variant document = test::DataFileValue(file);
  return CreateModelList(document.Get(), "", "", library, "", "", state);
}

std::vector<std::string> Identifiers(const TModelList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Model(i).Identif());
  return out;
}

std::vector<std::string> ParameterNames(const TParameterList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Param(i).ParamName());
  return out;
}

TEST(ModelCatalog, LibraryFilterIgnoresCaseAndStateFilterTakesAbsentStateAsZero) {
  const auto models = Catalog(L"catalog.xml", "ra03v_probe.dll", "0");
  // "Другая библиотека" and the model without "Библиотека" fail the library
  // filter; "Снятая" is in state 2.
  EXPECT_EQ(
      (std::vector<std::string>{"Проксимити_Cчитыватель", "БезСостояния", "БезКода", "Двойник"}),
      Identifiers(*models));
  EXPECT_FALSE(models->Modified());
  EXPECT_EQ(0, models->Filters().Count());  // filters are dropped after loading
}

TEST(ModelCatalog, ReadsEveryModelAttributeAndItsParameters) {
  const auto models = Catalog(L"catalog.xml", "RA03V_PROBE.DLL");
  const TModelItem& reader = models->Model(0);
  EXPECT_EQ(kReaderCode, GuidToText(reader.Code()));
  EXPECT_EQ("Сканер", reader.ClassIdentif());
  EXPECT_EQ("RA03V_Probe.DLL", reader.FileName());
  EXPECT_EQ("Считыватель RA-03V", reader.Description());
  EXPECT_EQ(1, reader.NeedMorv());
  EXPECT_EQ(3, reader.Version());
  EXPECT_EQ(0, reader.State());
  EXPECT_EQ("1.0.2", reader.FilePLUVersion());
  EXPECT_EQ(7, reader.Release());

  const TParameterList& parameters = reader.Parameters();
  ASSERT_EQ((std::vector<std::string>{"ComNumber", "ИнтервалОпроса", "Режим"}),
            ParameterNames(parameters));
  const TParameterItem& interval = parameters.Param(1);
  EXPECT_EQ("Интервал опроса", interval.ParamDescription());
  EXPECT_EQ("Число", interval.ParamType());
  EXPECT_EQ("500", interval.ParamDefault());
  EXPECT_EQ("500", interval.ParamValue());
  EXPECT_EQ("Миллисекунды\\nмежду запросами", interval.ParamHint());
  EXPECT_EQ(1, interval.ParamReadOnly());
  EXPECT_EQ(0, parameters.Param(0).ParamReadOnly());
  // Absent attributes read empty, an absent flag 0.
  const TParameterItem& mode = parameters.Param(2);
  EXPECT_EQ(0, mode.ParamReadOnly());
  EXPECT_EQ("", mode.ParamHint());
  EXPECT_EQ(&mode, parameters.FindByName("режим"));
  EXPECT_EQ(nullptr, parameters.FindByName("Нет"));

  // Non-numeric and empty integer attributes read 0; an empty code is the null GUID.
  const TModelItem& loose = models->Model(1);
  EXPECT_EQ(0, loose.Version());
  EXPECT_EQ(0, loose.Release());
  EXPECT_EQ(2, models->Model(2).State());
  EXPECT_TRUE(SameGuid(GUID{}, models->Model(3).Code()));
}

TEST(ModelCatalog, ModelsSharingACodeKeepTheirOwnParametersAndLookupFindsTheFirst) {
  const auto models = Catalog(L"catalog.xml", "ra03v_probe.dll");
  TModelItem* found = models->FindByCode(TextToGuid(kReaderCode));
  ASSERT_NE(nullptr, found);
  EXPECT_EQ("Проксимити_Cчитыватель", found->Identif());
  EXPECT_EQ(3, found->Parameters().Count());
  const TModelItem& twin = models->Model(models->Count() - 1);
  EXPECT_EQ("Двойник", twin.Identif());
  EXPECT_EQ("Весы", twin.ClassIdentif());
  EXPECT_EQ((std::vector<std::string>{"Вес"}), ParameterNames(twin.Parameters()));
  EXPECT_EQ(nullptr, models->FindByCode(TextToGuid("{00000000-0000-0000-0000-000000000001}")));
}

TEST(ModelCatalog, LookupSkipsModelsInStateOneOnlyWhenAskedTo) {
  const XmlDocument document = XmlDocument::Parse(
      "<Система><КлассыОборудования><КлассОборудования Идентификатор=\"К\">"
      "<Модель Код=\"{6D7C2A10-1B3E-4F55-9A61-0C2B3D4E5F60}\" Идентификатор=\"Старая\" "
      "Состояние=\"1\"/>"
      "<Модель Код=\"{6D7C2A10-1B3E-4F55-9A61-0C2B3D4E5F60}\" Идентификатор=\"Новая\"/>"
      "<Модель Код=\"{22222222-3333-4444-5555-666666666666}\" Версия=\"-1\" Состояние=\"1\"/>"
      "</КлассОборудования></КлассыОборудования></Система>");
  TModelList list;
  list.LoadFrom(document);
  // The withdrawn model (version -1, state 1) removed itself while loading.
  EXPECT_EQ((std::vector<std::string>{"Старая", "Новая"}), Identifiers(list));
  const GUID code = TextToGuid(kReaderCode);
  EXPECT_EQ("Старая", list.FindByCode(code)->Identif());
  list.SetAnyState(false);
  EXPECT_EQ("Новая", list.FindByCode(code)->Identif());
}

TEST(ModelCatalog, FiltersOnEveryAttributeIgnoringCase) {
  const Variant document = test::DataFileValue(L"catalog.xml");
  auto byCode = CreateModelList(document.Get(), "{6d7c2a10-1b3e-4f55-9a61-0c2b3d4e5f60}", "*", "",
                                "*", "", "*");
  EXPECT_EQ((std::vector<std::string>{"Проксимити_Cчитыватель", "Двойник"}), Identifiers(*byCode));
  auto byClass = CreateModelList(document.Get(), "", "", "", "весы", "", "");
  EXPECT_EQ((std::vector<std::string>{"Двойник"}), Identifiers(*byClass));
  auto byName = CreateModelList(document.Get(), "", "", "", "", "БЕЗ СОСТОЯНИЯ", "");
  EXPECT_EQ((std::vector<std::string>{"БезСостояния"}), Identifiers(*byName));
  auto byIdentifier = CreateModelList(document.Get(), "", "чужой", "", "", "", "");
  EXPECT_EQ((std::vector<std::string>{"Чужой"}), Identifiers(*byIdentifier));
  auto nothing = CreateModelList(document.Get(), "", "", "absent.dll", "", "", "");
  EXPECT_EQ(0, nothing->Count());
  auto everything = CreateModelList(document.Get(), "*", "*", "*", "*", "*", "*");
  EXPECT_EQ(7, everything->Count());
}

TEST(ModelCatalog, TheLibraryCatalogKeepsThisModulesModelsInStateZero) {
  // Linked into the test program, "this module" is the test program itself.
  const Variant document = Variant::FromText(
      L"<Система><КлассыОборудования><КлассОборудования Идентификатор=\"Сканер\">"
      L"<Модель Идентификатор=\"Да\" Библиотека=\"DEVICES_TESTS.EXE\"/>"
      L"<Модель Идентификатор=\"Нет\" Библиотека=\"devices_tests.exe\" Состояние=\"1\"/>"
      L"<Модель Идентификатор=\"Чужая\" Библиотека=\"ra03v.dll\"/>"
      L"</КлассОборудования></КлассыОборудования></Система>");
  const auto models = CreateLibraryCatalog(document.Get());
  EXPECT_EQ((std::vector<std::string>{"Да"}), Identifiers(*models));
}

TEST(ModelCatalog, ProperSpellingIsNotConvertedSoDefaultsAndFlagsReadEmpty) {
  const auto models = Catalog(L"catalog_proper_spelling.xml", "ra03v_probe.dll");
  ASSERT_EQ(1, models->Count());
  const TParameterItem& port = models->Model(0).Parameters().Param(0);
  EXPECT_EQ("ComNumber", port.ParamName());
  EXPECT_EQ("", port.ParamDefault());
  EXPECT_EQ(0, port.ParamReadOnly());
}

TEST(ModelCatalog, ACodeThatIsNotAGuidFailsAndKeepsTheModelsBeforeIt) {
  const XmlDocument document =
      XmlDocument::Parse(WideTo1251(test::ReadDataFile(L"catalog_bad_code.xml")));
  TModelList list;
  try {
    list.LoadFrom(document);
    FAIL() << "a bad code must fail the load";
  } catch (const std::exception& e) {
    EXPECT_STREQ("Значение не является идентификатором объекта.", e.what());
  }
  EXPECT_EQ((std::vector<std::string>{"Первая"}), Identifiers(list));

  const Variant text = test::DataFileValue(L"catalog_bad_code.xml");
  EXPECT_THROW(CreateModelList(text.Get(), "", "", "", "", "", ""), std::exception);
  // Filtered out before the code is read, the bad model does no harm.
  EXPECT_EQ(1, CreateModelList(text.Get(), "", "Третья", "", "", "", "")->Count());
}

TEST(ModelCatalog, BadDocumentsGiveAnEmptyCatalog) {
  for (const wchar_t* text :
       {L"<Система><КлассыОборудования>", L"", L"<Другое><Модель Код=\"\"/></Другое>"}) {
    const Variant document = Variant::FromText(text);
    EXPECT_EQ(0, CreateModelList(document.Get(), "", "", "", "", "", "")->Count());
  }
  EXPECT_EQ(0, CreateModelList(Variant().Get(), "", "", "", "", "", "")->Count());
  EXPECT_EQ(0, CreateModelList(Variant::FromInt(5).Get(), "", "", "", "", "", "")->Count());
  VARIANT nullObject;
  VariantInit(&nullObject);
  V_VT(&nullObject) = VT_DISPATCH;
  V_DISPATCH(&nullObject) = nullptr;
  EXPECT_EQ(0, CreateModelList(nullObject, "", "", "", "", "", "")->Count());
}

TEST(ModelCatalog, LoadsFromADocumentObjectAndThroughAReference) {
  ComInit com;
  const XmlDocument held = XmlDocument::Parse(WideTo1251(test::ReadDataFile(L"catalog.xml")));
  VARIANT object;
  VariantInit(&object);
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = held.Get();  // borrowed
  const auto models = CreateModelList(object, "", "", "ra03v_probe.dll", "", "", "0");
  EXPECT_EQ(4, models->Count());
  // The catalog keeps the document's text and can read it again on its own.
  ASSERT_TRUE(models->SourceDocument());
  TModelList again;
  again.SetSourceDocument(models->SourceDocument());
  again.Load();
  EXPECT_EQ(7, again.Count());

  Variant text = test::DataFileValue(L"catalog.xml");
  VARIANT reference;
  VariantInit(&reference);
  V_VT(&reference) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&reference) = const_cast<VARIANT*>(&text.Get());
  EXPECT_EQ(4, CreateModelList(reference, "", "", "ra03v_probe.dll", "", "", "0")->Count());
}

TEST(ModelCatalog, ReloadByMarksKeepsPresentParametersInsertsNewOnesAndRemovesTheRest) {
  auto models = Catalog(L"catalog.xml", "ra03v_probe.dll");
  TModelItem& reader = models->Model(0);
  TParameterList& parameters = reader.Parameters();
  TParameterItem* keptPort = &parameters.Param(0);
  TParameterItem* keptMode = &parameters.Param(2);

  const XmlDocument changed = XmlDocument::Parse(
      "<Модель><Параметры>"
      "<Параметр Идентификатор=\"Новый1\"/>"
      "<Параметр Идентификатор=\"режим\" Зна4ениеПоУмол4анию=\"ручной\"/>"
      "<Параметр Идентификатор=\"ComNumber\" Зна4ениеПоУмол4анию=\"5\"/>"
      "<Параметр Идентификатор=\"Новый2\"/>"
      "</Параметры></Модель>");
  reader.LoadParameters(changed.Root());
  // Found ones keep their place and identity; new ones go to their catalog
  // position; "ИнтервалОпроса" is gone.
  EXPECT_EQ((std::vector<std::string>{"Новый1", "ComNumber", "Новый2", "режим"}),
            ParameterNames(parameters));
  EXPECT_EQ(keptPort, &parameters.Param(1));
  EXPECT_EQ(keptMode, &parameters.Param(3));
  EXPECT_EQ("5", keptPort->ParamDefault());
  EXPECT_EQ("ручной", keptMode->ParamValue());
  EXPECT_TRUE(reader.EffectiveModified());
  EXPECT_FALSE(reader.Modified());

  // Reading the model's own element again brings back its parameters; the
  // kept ones stay where they are and the returning one takes its position.
  reader.LoadChildren();
  EXPECT_EQ((std::vector<std::string>{"ИнтервалОпроса", "ComNumber", "Режим"}),
            ParameterNames(parameters));
  EXPECT_EQ(keptPort, &parameters.Param(1));
  EXPECT_EQ("3", keptPort->ParamDefault());
}

TEST(ModelCatalog, ModifiedFlagsNotifyOnChangesOnly) {
  auto models = Catalog(L"catalog.xml", "ra03v_probe.dll");
  std::vector<TChangeSource> seen;
  models->SetOnChange([&](const TChangeSource& source) { seen.push_back(source); });
  TModelItem& model = models->Model(0);
  model.SetOnChange(models->OnChange());
  model.Parameters().SetOnChange(models->OnChange());

  model.SetDescription(model.Description());  // same text: nothing happens
  EXPECT_TRUE(seen.empty());
  EXPECT_FALSE(models->Modified());

  model.SetDescription("Другое имя");
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(&model, seen[0].item);
  model.SetRelease(8);  // already modified: no second notice
  EXPECT_EQ(1u, seen.size());
  EXPECT_TRUE(models->Modified());

  models->SetModified(false);
  EXPECT_FALSE(model.Modified());
  EXPECT_FALSE(models->Modified());

  // Deleting notifies once for the list, and not again while it stays modified.
  seen.clear();
  model.Parameters().Delete(0);
  model.Parameters().Delete(0);
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(&model.Parameters(), seen[0].list);
  EXPECT_TRUE(model.EffectiveModified());
  model.SetModified(false);  // clears the child list too
  EXPECT_FALSE(model.EffectiveModified());

  // Held back while updating.
  seen.clear();
  models->BeginUpdate();
  EXPECT_TRUE(model.SetState(2));
  models->Delete(1);
  models->EndUpdate();
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(models->Modified());
  EXPECT_THROW(models->Delete(99), std::exception);
}

TEST(ModelCatalog, StateOneOnAModelOfVersionMinusOneFreesIt) {
  auto models = Catalog(L"catalog.xml", "ra03v_probe.dll");
  const int before = models->Count();
  TModelItem& model = models->Model(1);
  model.SetVersion(-1);
  EXPECT_TRUE(model.SetState(2));
  EXPECT_FALSE(model.SetState(1));
  EXPECT_EQ(before - 1, models->Count());
  EXPECT_EQ("Снятая", models->Model(1).Identif());
}

}  // namespace
}  // namespace ra03v
