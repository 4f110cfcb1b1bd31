// The driver object as a host reaches it: through Query and the entry of the
// shipping DLL, with the project's test host on the other side.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "devices/text_compare.h"
#include "foundation/text_codec.h"
#include "foundation/text_utils.h"
#include "foundation/win/com_ptr.h"
#include "host/name_index.h"
#include "ra03v/value_array.h"
#include "support/dll_under_test.h"
#include "support/test_language.h"

namespace ra03v::test {
namespace {

using ra03v_host::Value;

// No test of this program has a port behind COM16: switching on fails.
constexpr int kMissingPort = 16;

// Texts a name lookup could get wrong, made from names (1251 texts): each name
// in either case, its prefixes, and the name with one character of the whole
// 1251 set put at either end or in place of its first, middle or last one.
std::set<std::string> NearNames(const std::vector<std::string>& names) {
  std::set<std::string> texts;
  auto convert = [](const std::string& text, DWORD flags) {
    std::wstring wide = Text1251ToWide(text);
    if (!wide.empty())
      LCMapStringW(LOCALE_USER_DEFAULT, flags, wide.data(), static_cast<int>(wide.size()),
                   wide.data(), static_cast<int>(wide.size()));
    return WideTo1251(wide);
  };
  for (const std::string& name : names) {
    texts.insert({name, convert(name, LCMAP_UPPERCASE), convert(name, LCMAP_LOWERCASE)});
    for (size_t k = 0; k < name.size(); ++k) texts.insert(name.substr(0, k));
    for (int c = 1; c < 256; ++c) {
      const char ch = static_cast<char>(c);
      texts.insert({ch + name, name + ch});
      for (size_t at : {size_t{0}, name.size() / 2, name.size() - 1})
        if (at < name.size()) texts.insert(name.substr(0, at) + ch + name.substr(at + 1));
    }
  }
  return texts;
}

// Names as the driver has always compared them: ignoring case under the
// user's locale.
class NameRule {
 public:
  explicit NameRule(const std::vector<std::string>& names) {
    for (const std::string& name : names) names_.push_back(Text1251ToWide(name));
  }
  bool Matches(const std::wstring& text) const {
    for (const std::wstring& name : names_)
      if (name == text || CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.data(),
                                         static_cast<int>(name.size()), text.data(),
                                         static_cast<int>(text.size())) == CSTR_EQUAL)
        return true;
    return false;
  }

 private:
  std::vector<std::wstring> names_;
};

// Writes a plug-in call into a host block (one the chain owns, say).
void FillCall(RA03V_PARAMS* block, const wchar_t* name, int kind, const std::vector<Value>& args) {
  auto add = [block](const VARIANT& v) {
    VARIANT& slot = block->Values->rgvarg[block->Values->cArgs++];
    VariantInit(&slot);
    VariantCopy(&slot, const_cast<VARIANT*>(&v));
  };
  add(Value().Get());
  add(Value::Text(name).Get());
  add(Value::Int(kind).Get());
  for (const Value& a : args) add(a.Get());
}

class DriverCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    CoCreateGuid(&deviceCode);
    deviceTask.SetDevice(deviceCode);
    GUID other;
    CoCreateGuid(&other);
    strangerTask.SetDevice(other);
  }

  // One reader on a port that does not exist, addressed by deviceTask.
  void ConfigureOneDevice() {
    const std::wstring document = ra03v_host::EquipmentDocument(
        ra03v_host::ReaderDeviceElement(deviceCode, L"Первый", kMissingPort));
    auto block = dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &listTask);
    ASSERT_FALSE(block->Get()->HasError) << block->ErrorDescription();
    ASSERT_EQ(1, dll.GetProperty(L"КоличествоУстройств", &listTask)->At(0).ToInt());
  }

  ComPtr<ISafeArray> NewValueArray(int rows, int columns) {
    return DriverValueArray(dll, listTask, rows, columns);
  }

  RA03V_DRIVER_NAMES* Names(ra03v_host::EventSink& sink) {
    auto block = dll.Control("__@@EventSupport", sink.Interface());
    EXPECT_EQ(1, block->Count());
    const Value names = block->At(0);
    EXPECT_EQ(VT_UNKNOWN, names.Type());
    const IID iid = RA03V_IID_DRIVER_NAMES_INIT;
    void* out = nullptr;
    V_UNKNOWN(&names.Get())->QueryInterface(iid, &out);
    names_ = static_cast<RA03V_DRIVER_NAMES*>(out);
    return names_;
  }

  void TearDown() override {
    if (names_) names_->lpVtbl->Release(names_);
    dll.Control("__FRee");
  }

  // Declared first: the driver may hold the host's interface until it is freed.
  ra03v_host::EventSink sink;
  DllUnderTest dll{L"ra03v.dll"};
  GUID deviceCode{};
  HostTask listTask{RA03V_TASK_CLASS_INTERNAL};
  HostTask deviceTask{RA03V_TASK_CLASS_THREAD};
  HostTask strangerTask{RA03V_TASK_CLASS_INTERNAL};
  RA03V_DRIVER_NAMES* names_ = nullptr;
};

// The list's identity travels as a pointer-sized integer: a 32-bit host gets
// the 32-bit integer it expects, a 64-bit one an address that is not cut.
TEST_F(DriverCalls, PluginInfoNamesTheModelAndTheListWithAPointerSizedInteger) {
  std::vector<Value> args(13);
  auto first = dll.Method(L"ИнформацияОПлагине", args, &listTask);
  ASSERT_FALSE(first->Get()->HasError) << first->ErrorDescription();
  ASSERT_EQ(3 + 13, first->Count());
  EXPECT_EQ(L"{C7C345A0-2C38-411D-AE5B-CEA387564725}", first->At(3).ToText());
  EXPECT_EQ(L"Проксимити считыватель RA-03V\\RS232", first->At(4).ToText());
  const Value list = first->At(3 + 11);
#if defined(_WIN64)
  ASSERT_EQ(VT_I8, list.Type());
  EXPECT_NE(0, V_I8(&list.Get()));
#else
  ASSERT_EQ(VT_I4, list.Type());
  EXPECT_NE(0, V_I4(&list.Get()));
#endif
  auto second = dll.Method(L"GetPlgInfo", args, &listTask);
  ASSERT_FALSE(second->Get()->HasError) << second->ErrorDescription();
  const Value again = second->At(3 + 11);
  ASSERT_EQ(list.Type(), again.Type());
#if defined(_WIN64)
  EXPECT_EQ(V_I8(&list.Get()), V_I8(&again.Get()));
#else
  EXPECT_EQ(V_I4(&list.Get()), V_I4(&again.Get()));
#endif
}

TEST_F(DriverCalls, ChainStopsAfterAPropertySet) {
  HostBlock block;
  block.SetName("call");
  FillCall(block.Get(), L"ОписаниеОшибки", RA03V_KIND_METHOD, {Value::Int(0)});
  FillCall(block.Append(), L"ДоступностьСтраницыСвойств", RA03V_KIND_SET, {Value::Int(7)});
  FillCall(block.Append(), L"ОписаниеОшибки", RA03V_KIND_METHOD, {Value::Int(0)});
  EXPECT_TRUE(dll.Call(block, &listTask));
  EXPECT_FALSE(block->HasError) << block.ErrorDescription();
  EXPECT_EQ(VT_BSTR, block.At(0).Type());
  EXPECT_EQ(VT_EMPTY, V_VT(&block->Next->Next->Values->rgvarg[0])) << "the third block ran";
  EXPECT_EQ(7, dll.GetProperty(L"PropertyPageEnabled", &listTask)->At(0).ToInt());
}

TEST_F(DriverCalls, LoadInFrontStopsTheChain) {
  HostBlock block;
  block.SetName("__Load");
  RA03V_PARAMS* call = block.Append();
  FillCall(call, L"ДоступностьСтраницыСвойств", RA03V_KIND_SET, {Value::Int(5)});
  EXPECT_FALSE(dll.Call(block, &listTask));
  EXPECT_FALSE(block->HasError);
  EXPECT_EQ(0, dll.GetProperty(L"PropertyPageEnabled", &listTask)->At(0).ToInt());
}

TEST_F(DriverCalls, AGetOfAMethodNameRunsTheMethod) {
  auto block = dll.GetProperty(L"ОписаниеОшибки", &listTask);
  // The method needs one argument: the count check proves the method ran.
  EXPECT_EQ(20000, block->Get()->ErrorCode);
  EXPECT_NE(std::wstring::npos, block->ErrorDescription().find(L"Функция [ОписаниеОшибки]"));

  bool result = false;
  HostBlock get;
  get.SetName("call");
  FillCall(get.Get(), L"SwitchOn", RA03V_KIND_GET, {Value::Int(0)});
  result = dll.Call(get, &strangerTask);
  EXPECT_FALSE(result);
  // No device for the call: the method answered 3, raised with the list's text.
  EXPECT_EQ(3, get->ErrorCode);
}

TEST_F(DriverCalls, ArgumentCountMessageIsComposed) {
  auto block = dll.Method(L"Гудок", {Value::Int(440)}, &listTask);
  EXPECT_EQ(20000, block->Get()->ErrorCode);
  EXPECT_EQ(
      L"Неверное количество переданных параметров\r\nФункция [Гудок]\r\nПередано: 1\r\n"
      L"Необходимо: 2",
      block->ErrorDescription());
  EXPECT_EQ(L"Гудок", block->ErrorSource());
}

TEST_F(DriverCalls, AValueArrayCarriesTheArgumentsInItsFirstColumn) {
  ComPtr<ISafeArray> arguments = NewValueArray(2, 1);
  ASSERT_TRUE(arguments);
  arguments->SetValue(0, 0, Value::Int(440).Get());
  arguments->SetValue(1, 0, Value::Int(1).Get());
  auto block = dll.Method(L"Гудок", {Value::Object(arguments.Get())}, &listTask);
  EXPECT_FALSE(block->Get()->HasError) << block->ErrorDescription();
  ASSERT_EQ(4, block->Count());
  EXPECT_EQ(VT_DISPATCH, block->At(3).Type());
  EXPECT_EQ(static_cast<IUnknown*>(arguments.Get()), V_UNKNOWN(&block->At(3).Get()));
  Value cell;
  arguments->GetValue(1, 0, cell.Put());
  EXPECT_EQ(1, cell.ToInt());

  // One argument, one cell: the object itself is the argument.
  ComPtr<ISafeArray> single = NewValueArray(1, 1);
  single->SetValue(0, 0, Value::Int(5).Get());
  auto description = dll.Method(L"ОписаниеОшибки", {Value::Object(single.Get())}, &listTask);
  EXPECT_EQ(4, description->Get()->ErrorCode) << "an object is not an error code";

  // Bounds that do not fit: nothing is unpacked and the count is 0.
  ComPtr<ISafeArray> wrong = NewValueArray(3, 1);
  auto mismatch = dll.Method(L"Гудок", {Value::Object(wrong.Get())}, &listTask);
  EXPECT_NE(std::wstring::npos, mismatch->ErrorDescription().find(L"Передано: 0"));
}

TEST_F(DriverCalls, APositiveResultIsRaisedWithTheListsText) {
  auto block = dll.Method(L"ПолучитьСвойства", {Value()}, &strangerTask);
  EXPECT_EQ(3, block->Get()->ErrorCode);
  EXPECT_TRUE(block->Get()->HasError);
  EXPECT_EQ(L"Устройство не обнаружено", block->ErrorDescription());
  EXPECT_EQ(3, block->At(0).ToInt());
}

TEST_F(DriverCalls, DeviceIsOnBecomesReadOnlyWithEvents) {
  ConfigureOneDevice();
  EXPECT_FALSE(dll.SetProperty(L"УстройствоВключено", Value::Int(0), &deviceTask)->Get()->HasError);
  ASSERT_NE(nullptr, Names(sink));
  auto refused = dll.SetProperty(L"DeviceIsOn", Value::Int(1), &deviceTask);
  EXPECT_EQ(20000, refused->Get()->ErrorCode);
  EXPECT_EQ(L"Свойство [DeviceIsOn] доступно только для чтения", refused->ErrorDescription());
  // The reader's port is missing: switching on fails with the reader's own text.
  auto on = dll.Method(L"Включить", {Value()}, &deviceTask);
  EXPECT_EQ(3, on->Get()->ErrorCode);
  EXPECT_EQ(L"Устройство не обнаружено", on->ErrorDescription());
  EXPECT_EQ(0, dll.GetProperty(L"УстройствоВключено", &deviceTask)->At(0).ToInt());
  auto off = dll.Method(L"SwitchOff", {Value()}, &deviceTask);
  EXPECT_FALSE(off->Get()->HasError) << off->ErrorDescription();
  EXPECT_EQ(0, dll.GetProperty(L"DeviceIsOn", &deviceTask)->At(0).ToInt());
}

TEST_F(DriverCalls, ATaskForAnUnknownDeviceHasNoCurrentDevice) {
  ConfigureOneDevice();
  EXPECT_EQ(3, dll.GetProperty(L"Результат", &strangerTask)->At(0).ToInt());
  EXPECT_EQ(0, dll.GetProperty(L"Result", &deviceTask)->At(0).ToInt());
  // The dispatcher stored itself in both tasks' driver slot.
  EXPECT_NE(nullptr, strangerTask.DriverSlot());
  EXPECT_EQ(strangerTask.DriverSlot(), deviceTask.DriverSlot());
}

TEST_F(DriverCalls, NullAndUnknownTasks) {
  auto none = dll.Method(L"ОписаниеОшибки", {Value::Int(0)}, nullptr);
  EXPECT_EQ(20000, none->Get()->ErrorCode);
  EXPECT_EQ(L"Вызов метода GetBaseDll с очень плохим параметром!", none->ErrorDescription());
  HostTask unknown("TSomethingElse");
  auto odd = dll.Method(L"ОписаниеОшибки", {Value::Int(0)}, &unknown);
  EXPECT_EQ(L"Вызов метода GetBaseDll с очень плохим параметром!", odd->ErrorDescription());
  // A property handler given no task leaves the value untouched.
  auto property = dll.GetProperty(L"КоличествоУстройств", nullptr);
  EXPECT_FALSE(property->Get()->HasError);
  EXPECT_EQ(VT_EMPTY, property->At(0).Type());
}

TEST_F(DriverCalls, EveryNameInBothLanguages) {
  RA03V_DRIVER_NAMES* names = Names(sink);
  ASSERT_NE(nullptr, names);
  auto ask = [names](uint8_t(__stdcall * op)(RA03V_DRIVER_NAMES*, BSTR), const wchar_t* name) {
    BSTR text = SysAllocString(name);
    const bool answer = op(names, text) != 0;
    SysFreeString(text);
    return answer;
  };
  const RA03V_DRIVER_NAMES_VTBL& v = *names->lpVtbl;
  for (const wchar_t* name : {L"ОписаниеОшибки",
                              L"ResultDescription",
                              L"НастроитьУстройства",
                              L"SettingDevices",
                              L"УдалитьУстройство",
                              L"DeleteDevice",
                              L"ДобавитьУстройствоРасш",
                              L"AddDeviceEx",
                              L"ДобавитьУстройство",
                              L"AddDevice",
                              L"ИзменитьУстройствоРасш",
                              L"SettingsDeviceEx",
                              L"ИнформацияОПлагине",
                              L"GetPlgInfo",
                              L"ПолучитьНастройкиXML",
                              L"GetSettingsXML",
                              L"Включить",
                              L"SwitchOn",
                              L"Выключить",
                              L"SwitchOff",
                              L"ПолучитьСвойства",
                              L"GetProps",
                              L"УстановитьСвойства",
                              L"SetProps",
                              L"СоздатьПараметры",
                              L"CreateComSafeArray",
                              L"Гудок",
                              L"Beep"}) {
    EXPECT_TRUE(ask(v.IsMethod, name)) << name;
    EXPECT_TRUE(ask(v.IsBuiltInMethod, name)) << name;
    EXPECT_FALSE(ask(v.IsProperty, name)) << name;
  }
  EXPECT_TRUE(ask(v.IsMethod, L"ВыбратьУстройство"));
  EXPECT_TRUE(ask(v.IsMethod, L"selectdevice"));
  EXPECT_FALSE(ask(v.IsBuiltInMethod, L"SelectDevice"));
  for (const wchar_t* name :
       {L"ДоступностьСтраницыСвойств", L"PropertyPageEnabled", L"НомерУстройства", L"DeviceNumber",
        L"ИмяУстройства", L"DeviceName", L"КоличествоУстройств", L"DevicesQuantity",
        L"УстройствоВключено", L"DeviceIsOn", L"Результат", L"Result", L"Релиз", L"Release",
        L"Использовать", L"Неразделяемое"}) {
    EXPECT_TRUE(ask(v.IsProperty, name)) << name;
    EXPECT_FALSE(ask(v.IsMethod, name)) << name;
  }
  // Case is ignored for Cyrillic as for Latin letters.
  EXPECT_TRUE(ask(v.IsMethod, L"включить"));
  EXPECT_TRUE(ask(v.IsProperty, L"РЕЗУЛЬТАТ"));
  EXPECT_TRUE(ask(v.IsSwitchOn, L"ВКЛЮЧИТЬ"));
  EXPECT_TRUE(ask(v.IsSwitchOn, L"switchon"));
  EXPECT_FALSE(ask(v.IsSwitchOn, L"Выключить"));
  EXPECT_TRUE(ask(v.IsSwitchOff, L"выключить"));
  EXPECT_TRUE(ask(v.IsSwitchOff, L"SWITCHOFF"));
  EXPECT_FALSE(ask(v.IsMethod, L""));
  // Calls by either name reach the same handler.
  EXPECT_EQ(dll.Method(L"ResultDescription", {Value::Int(3)}, &listTask)->At(0).ToText(),
            dll.Method(L"описаниеошибки", {Value::Int(3)}, &listTask)->At(0).ToText());
  EXPECT_EQ(VT_I2, dll.GetProperty(L"Релиз", &listTask)->At(0).Type());
}

// Through the host's name interface, every name near a real one is answered as
// comparing it with every row in this session's user locale answers it.
TEST_F(DriverCalls, NameLookupAgreesWithComparingEveryRow) {
  const std::vector<std::string> builtIn = {
      "ResultDescription", "ОписаниеОшибки", "НастроитьУстройства", "SettingDevices",
      "УдалитьУстройство", "DeleteDevice", "ДобавитьУстройствоРасш", "AddDeviceEx",
      "ДобавитьУстройство", "AddDevice", "ИзменитьУстройствоРасш", "SettingsDeviceEx",
      "ИнформацияОПлагине", "GetPlgInfo", "ПолучитьНастройкиXML", "GetSettingsXML", "Включить",
      "SwitchOn", "Выключить", "SwitchOff", "ПолучитьСвойства", "GetProps", "УстановитьСвойства",
      "SetProps", "СоздатьПараметры", "CreateComSafeArray", "Гудок", "Beep"};
  std::vector<std::string> methods = builtIn;
  methods.insert(methods.end(), {"ВыбратьУстройство", "SelectDevice"});
  std::vector<std::string> properties = {
      "Использовать", "Неразделяемое", "ДоступностьСтраницыСвойств", "PropertyPageEnabled",
      "НомерУстройства", "DeviceNumber", "ИмяУстройства", "DeviceName", "КоличествоУстройств",
      "DevicesQuantity", "УстройствоВключено", "DeviceIsOn", "Результат", "Result", "Релиз",
      "Release"};
  // The device templates answer too: their identifiers from the parameters document.
  auto info = dll.Method(L"ИнформацияОПлагине", std::vector<Value>(13), &listTask);
  ASSERT_FALSE(info->Get()->HasError) << info->ErrorDescription();
  const std::string parameters = WideTo1251(info->At(3 + 7).ToText());
  std::vector<std::string> templates;
  const std::string attribute = "Идентификатор=\"";
  for (size_t at = parameters.find(attribute); at != std::string::npos;
       at = parameters.find(attribute, at + 1)) {
    const size_t start = at + attribute.size();
    templates.push_back(parameters.substr(start, parameters.find('"', start) - start));
  }
  ASSERT_GE(templates.size(), 5u);

  RA03V_DRIVER_NAMES* names = Names(sink);
  ASSERT_NE(nullptr, names);
  std::vector<std::string> all = methods;
  all.insert(all.end(), properties.begin(), properties.end());
  all.push_back("Включить,SwitchOn");  // a stored pair of names is no name
  const NameRule methodRule(methods), builtInRule(builtIn), propertyRule(properties),
      templateRule(templates);
  int asked = 0, wrong = 0;
  for (const std::string& text : NearNames(all)) {
    const std::wstring wide = Text1251ToWide(text);
    BSTR name = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    const bool method = names->lpVtbl->IsMethod(names, name) != 0;
    const bool isBuiltIn = names->lpVtbl->IsBuiltInMethod(names, name) != 0;
    const bool property = names->lpVtbl->IsProperty(names, name) != 0;
    SysFreeString(name);
    const bool wantProperty = propertyRule.Matches(wide) || templateRule.Matches(wide);
    ++asked;
    if (method != methodRule.Matches(wide) || isBuiltIn != builtInRule.Matches(wide) ||
        property != wantProperty) {
      if (++wrong <= 10)
        ADD_FAILURE() << "\"" << wide << "\": method " << method << ", built-in " << isBuiltIn
                      << ", property " << property;
    }
  }
  EXPECT_EQ(0, wrong) << "of " << asked;
}

// Rows whose names collide: the first row in lookup order wins, as a walk over
// every row compared by the user's locale finds it.
TEST(NameIndexRows, FirstMatchWinsAmongNamesThatCollide) {
  auto methods = [](std::initializer_list<std::string_view> names) {
    std::vector<TMethodEntry> rows(names.size());
    for (size_t i = 0; i < names.size(); ++i) rows[i].Names = names.begin()[i];
    return rows;
  };
  auto properties = [](std::initializer_list<std::pair<std::string_view, std::string_view>> names) {
    std::vector<TPropertyEntry> rows(names.size());
    for (size_t i = 0; i < names.size(); ++i)
      std::tie(rows[i].Name, rows[i].AltName) = names.begin()[i];
    return rows;
  };
  const auto driverMethods = methods({"Ёлка,Tree", "ЁЛКА,Вторая", "Один"});
  const auto builtInMethods = methods({"Ёл,Tre", "TREE,Дерево", "Ель,Ёлка", "Іней,Ijk", ",Пустое"});
  const auto deviceParameters = properties({{"дерево", ""}, {"Fir", "ЁЛКА"}});
  const auto driverProperties = properties({{"Елка", "Ёлки"}, {"FIR", "іней"}, {"", "Ijk"}});
  const NameIndex index(driverMethods, builtInMethods, deviceParameters, driverProperties);

  // What a walk over every row finds.
  auto walk = [&](const std::string& text) {
    NameMatch want;
    auto methodRows = [&](const std::vector<TMethodEntry>& rows, int32_t base, bool builtIn) {
      for (size_t i = 0; i < rows.size(); ++i)
        if (SameText(SplitAtComma(rows[i].Names, 0), text) ||
            SameText(SplitAtComma(rows[i].Names, 1), text)) {
          if (want.method == kNotFound) want.method = base + static_cast<int32_t>(i);
          want.builtIn = want.builtIn || builtIn;
        }
    };
    auto propertyRows = [&](const std::vector<TPropertyEntry>& rows, int32_t base) {
      for (size_t i = 0; i < rows.size() && want.property == kNotFound; ++i)
        if (SameText(rows[i].Name, text) ||
            (!rows[i].AltName.empty() && SameText(rows[i].AltName, text)))
          want.property = base + static_cast<int32_t>(i);
    };
    methodRows(driverMethods, kDriverMethodBase, false);
    methodRows(builtInMethods, kBuiltInMethodBase, true);
    propertyRows(deviceParameters, kDeviceParameterBase);
    propertyRows(driverProperties, kDriverPropertyBase);
    return want;
  };
  const NameMatch tree = index.Find("ёлка");
  EXPECT_EQ(kDriverMethodBase + 0, tree.method);
  EXPECT_TRUE(tree.builtIn) << "Ель,Ёлка";
  EXPECT_EQ(kDeviceParameterBase + 1, tree.property);
  const NameMatch empty = index.Find("");
  EXPECT_EQ(kDriverMethodBase + 2, empty.method) << "the missing second name of Один";
  EXPECT_TRUE(empty.builtIn) << ",Пустое";
  EXPECT_EQ(kDriverPropertyBase + 2, empty.property) << "a missing English name is no name";
  EXPECT_EQ(kNotFound, index.Find("Ё").method);
  int wrong = 0;
  for (const std::string& text :
       NearNames({"Ёлка", "Tree", "Вторая", "Один", "Ёл", "Tre", "Дерево", "Ель", "Іней", "Ijk",
                  "Пустое", "Fir", "Елка", "Ёлки", "Ijk", "Ёлка,Tree"})) {
    const NameMatch got = index.Find(text), want = walk(text);
    if (got.method != want.method || got.property != want.property ||
        got.builtIn != want.builtIn) {
      if (++wrong <= 10)
        ADD_FAILURE() << "\"" << Text1251ToWide(text) << "\": method " << got.method << " not "
                      << want.method << ", property " << got.property << " not " << want.property
                      << ", built-in " << got.builtIn;
    }
  }
  EXPECT_EQ(0, wrong);
}

TEST_F(DriverCalls, ANameKnownOnlyAsADeviceTemplate) {
  const std::wstring model =
      L"<Модель Библиотека=\"RA03V.DLL\" Идентификатор=\"Тестовая\" Наименование=\"Тест\">"
      L"<Параметры><Параметр Идентификатор=\"ТолькоШаблон\" Наименование=\"Ш\" Тип=\"Integer\" "
      L"ЗначениеПоУмолчанию=\"2\"/></Параметры></Модель>";
  auto added = dll.Method(L"ДобавитьУстройство", {Value::Text(model)}, &listTask);
  ASSERT_FALSE(added->Get()->HasError) << added->ErrorDescription();
  RA03V_DRIVER_NAMES* names = Names(sink);
  BSTR name = SysAllocString(L"ТолькоШаблон");
  EXPECT_EQ(1, names->lpVtbl->IsProperty(names, name));
  EXPECT_EQ(0, names->lpVtbl->IsMethod(names, name));
  SysFreeString(name);
  auto call = dll.GetProperty(L"ТолькоШаблон", &listTask);
  EXPECT_EQ(20036, call->Get()->ErrorCode);
  EXPECT_EQ(test::RussianRun() ? L"Метод/Свойство [ТолькоШаблон] не обнаружено"
                               : L"Method/property [ТолькоШаблон] it is not revealed",
            call->ErrorDescription());
}

TEST_F(DriverCalls, ControlCommandsAndCallShapes) {
  HostBlock tooShort;
  tooShort.SetName("call");
  tooShort.Add(Value().Get());
  tooShort.Add(Value::Text(L"Результат").Get());
  EXPECT_FALSE(dll.Call(tooShort, &listTask));
  EXPECT_EQ(L"Недостаточно параметров при вызове метода", tooShort.ErrorDescription());

  auto unnamed = dll.Method(L"", {}, &listTask);
  EXPECT_EQ(L"Не указано имя метода", unnamed->ErrorDescription());

  auto methodAsProperty = dll.Run(L"КоличествоУстройств", RA03V_KIND_METHOD, {}, &listTask);
  EXPECT_EQ(20036, methodAsProperty->Get()->ErrorCode);

  Names(sink);
  EXPECT_GT(sink.References(), 1) << "the driver keeps the host's interface";
  dll.Control("__FRee");
  EXPECT_EQ(1, sink.References()) << "__FRee gives it back";
}

TEST(DriverThreads, FourHostThreadsCallAtFullSpeed) {
  DllUnderTest dll(L"ra03v.dll");
  std::atomic<bool> stop{false};
  std::atomic<int> calls{0};
  std::atomic<int> wrong{0};
  const std::vector<std::wstring> texts = {L"Порт недоступен", L"Нет связи",
                                           L"Устройство не обнаружено", L"Неверный тип параметра"};
  auto worker = [&](int id) {
    HostTask task(RA03V_TASK_CLASS_INTERNAL);
    while (!stop) {
      auto text = dll.Method(L"ОписаниеОшибки", {Value::Int(id)}, &task);
      if (text->Get()->HasError || text->At(0).ToText() != texts[static_cast<size_t>(id - 1)])
        ++wrong;
      auto set = dll.SetProperty(L"ДоступностьСтраницыСвойств", Value::Int(id), &task);
      auto count = dll.GetProperty(L"КоличествоУстройств", &task);
      if (set->Get()->HasError || count->Get()->HasError || count->At(0).ToInt() != 0) ++wrong;
      calls += 3;
    }
  };
  std::vector<std::thread> threads;
  for (int i = 1; i <= 4; ++i) threads.emplace_back(worker, i);
  // Seconds of four threads at full speed are hundreds of thousands of calls;
  // longer only starves the tests that run beside this one.
  Sleep(3000);
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(0, wrong.load());
  EXPECT_GT(calls.load(), 100);
}

}  // namespace
}  // namespace ra03v::test
