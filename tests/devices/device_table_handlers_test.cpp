// The property table through value arrays, the method and property handlers
// with their result codes, and the list's device bookkeeping across threads.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>
#include <vector>

#include "device_test_list.h"
#include "devices/device_handlers.h"
#include "devices/value_array_access.h"
#include "devices/xml_dom.h"
#include "foundation/format_settings.h"
#include "foundation/protect_exception.h"
#include "foundation/system_info.h"
#include "foundation/win/safe_array.h"
#include "host/class_factory.h"
#include "test_host.h"

namespace ra03v {
namespace {

using test::ReaderLikeList;

Variant Text(std::string_view text) { return Variant::From1251(text); }

// A call's argument array.
class Args {
 public:
  explicit Args(size_t count)
      : array_(SafeArray::Vector(VT_VARIANT, 0, static_cast<ULONG>(count))) {}
  Args& Put(LONG i, const Variant& value) {
    CheckHResult(SafeArrayPutElement(array_.Get(), &i, const_cast<VARIANT*>(&value.Get())), "put");
    return *this;
  }
  Variant At(LONG i) const {
    Variant value;
    CheckHResult(SafeArrayGetElement(array_.Get(), &i, value.Put()), "get");
    return value;
  }
  SAFEARRAY* Get() const { return array_.Get(); }

 private:
  SafeArray array_;
};

Variant Cell(ISafeArray& table, LONG row, LONG column) {
  Variant value;
  CheckHResult(table.GetValue(row, column, value.Put()), "GetValue");
  return value;
}

ComPtr<ISafeArray> NewTable(LONG rows, LONG columns) {
  ComPtr<ISafeArray> table = CreateValueArray();
  CheckHResult(table->SetBounds(rows, columns), "SetBounds");
  return table;
}

void SetRow(ISafeArray& table, LONG row, std::initializer_list<Variant*> cells) {
  LONG column = 0;
  for (Variant* cell : cells) CheckHResult(table.SetValue(row, column++, cell->Get()), "SetValue");
}

TEST(DevicePropsTable, TableHasTheNameRowThenOneRowPerPropertyConvertedByType) {
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  device.SetProperty("Примечание", "раз\r\nдва");
  Variant value;
  ASSERT_EQ(0, device.GetPropsTable(value));
  const ComPtr<ISafeArray> table = ValueArrayOf(value.Get());
  ASSERT_TRUE(table);
  LONG rows = 0, columns = 0;
  table->GetBounds(&rows, &columns);
  EXPECT_EQ(device.Props().Count() + 1, rows);
  EXPECT_EQ(7, columns);
  ISafeArray& t = *table.Get();
  EXPECT_EQ("ИмяУстройства", Cell(t, 0, 0).To1251());
  EXPECT_EQ("Строка", Cell(t, 0, 3).To1251());
  EXPECT_EQ("Считыватель_1", Cell(t, 0, 4).To1251());
  EXPECT_EQ(1, Cell(t, 0, 5).ToInt());
  // Row 4 is "Baud": an Integer value and default leave as numbers.
  EXPECT_EQ("Baud", Cell(t, 4, 0).To1251());
  EXPECT_EQ("Число", Cell(t, 4, 3).To1251());
  EXPECT_EQ(VT_R8, Cell(t, 4, 4).Type());
  EXPECT_EQ(9600.0, Cell(t, 4, 6).ToDouble());
  EXPECT_EQ(1, Cell(t, 8, 5).ToInt());  // IsOpen is read-only
  EXPECT_EQ("раз\r\nдва", Cell(t, 9, 4).To1251());
  EXPECT_EQ("Строка", Cell(t, 9, 3).To1251());

  device.SetProperty("Baud", "много");
  EXPECT_THROW(device.GetPropsTable(value), std::exception);
}

TEST(DevicePropsTable, TableComesFromTheHostsEventInterfaceWhenTheDeviceHasOne) {
  ra03v_host::EventSink sink;
  int made = 0;
  sink.SetValueArrayFactory([&made](VARIANT* out) {
    ++made;
    V_VT(out) = VT_DISPATCH;
    V_DISPATCH(out) = CreateValueArray().Detach();
    return S_OK;
  });
  auto list = ReaderLikeList();
  TDeviceItem& before = list->AppendDevice();
  list->SetEventSink(sink.Interface());
  TDeviceItem& after = list->AppendDevice();
  Variant value;
  ASSERT_EQ(0, before.GetPropsTable(value));
  EXPECT_EQ(0, made);
  ASSERT_EQ(0, after.GetPropsTable(value));
  EXPECT_EQ(1, made);
  EXPECT_EQ("Считыватель_2", Cell(*ValueArrayOf(value.Get()).Get(), 0, 4).To1251());

  sink.SetValueArrayFactory([](VARIANT*) { return E_FAIL; });
  EXPECT_THROW(after.GetPropsTable(value), std::exception);
}

TEST(DevicePropsTable, SetPropsSkipsTheNameRowAddsUnknownRowsAndChecksNumbers) {
  SetStandardFormats();  // as the library's start-up does: decimal separator ","
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  ComPtr<ISafeArray> table = NewTable(4, 7);
  Variant name = Text("ИмяУстройства"), newName = Text("Другое имя"), empty,
          zero = Variant::FromInt(0);
  Variant numberType = Text("Число"), stringType = Text("Строка");
  SetRow(*table.Get(), 0, {&name, &name, &empty, &stringType, &newName, &zero, &empty});
  Variant baud = Text("Baud"), baudValue = Variant::FromDouble(19200.0);
  SetRow(*table.Get(), 1, {&baud, &baud, &empty, &numberType, &baudValue, &zero, &empty});
  Variant fresh = Text("Новое"), freshValue = Text("стр\r\nока");
  SetRow(*table.Get(), 2, {&fresh, &fresh, &empty, &stringType, &freshValue, &zero, &empty});
  Variant bad = Text("Parity"), badName = Text("Чётность"), badValue = Text("нечёт");
  SetRow(*table.Get(), 3, {&bad, &badName, &empty, &numberType, &badValue, &zero, &empty});
  try {
    device.SetPropsTable(ValueArrayValue(table).Get());
    ADD_FAILURE() << "a non-number in a Число row was accepted";
  } catch (const EProtectException& e) {
    EXPECT_EQ(20029, e.Code());
    EXPECT_NE(std::string::npos, std::string(e.what()).find("[Чётность]"));
  }
  EXPECT_EQ("Считыватель_1", device.DeviceName());
  EXPECT_EQ("19200", device.GetProperty("Baud"));
  EXPECT_EQ("стр\\nока", device.Props().GetPropValue("Новое"));
  EXPECT_EQ("0", device.GetProperty("Parity"));  // the failing row is not applied

  Variant readOnly = Variant::FromInt(1);
  SetRow(*table.Get(), 3, {&bad, &badName, &empty, &numberType, &badValue, &readOnly, &empty});
  EXPECT_EQ(0, device.SetPropsTable(ValueArrayValue(table).Get()));
  EXPECT_EQ("нечёт", device.GetProperty("Parity"));
  Variant fraction = Variant::FromDouble(1.5);
  SetRow(*table.Get(), 3, {&bad, &badName, &empty, &numberType, &fraction, &zero, &empty});
  EXPECT_EQ(0, device.SetPropsTable(ValueArrayValue(table).Get()));
  EXPECT_EQ("1,5", device.GetProperty("Parity"));  // the library's decimal separator
}

TEST(DevicePropsTable, ShortOrForeignTablesChangeNothing) {
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  ComPtr<ISafeArray> narrow = NewTable(1, 6);
  Variant baud = Text("Baud"), value = Text("300"), empty, zero = Variant::FromInt(0);
  SetRow(*narrow.Get(), 0, {&baud, &baud, &empty, &empty, &value, &zero});
  EXPECT_THROW(device.SetPropsTable(ValueArrayValue(narrow).Get()), std::exception);
  EXPECT_EQ("9600", device.GetProperty("Baud"));
  EXPECT_EQ(0, device.SetPropsTable(ValueArrayValue(NewTable(0, 7)).Get()));
  EXPECT_EQ(kResultWrongType, device.SetPropsTable(Text("таблица").Get()));
}

// A host's value array that reports whatever bounds it is told but holds one
// row of seven cells: what the library reads beyond that fails.
class LyingTable final : public ISafeArray {
 public:
  LyingTable(LONG rows, LONG columns) : rows_(rows), columns_(columns) {}
  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == RA03V_IID_ISafeArray) {
      *out = static_cast<ISafeArray*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG __stdcall AddRef() override { return 2; }
  ULONG __stdcall Release() override { return 1; }
  HRESULT __stdcall GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT __stdcall GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT __stdcall GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT __stdcall Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                           UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT __stdcall SetBounds(LONG, LONG) override { return E_NOTIMPL; }
  HRESULT __stdcall SetValue(LONG, LONG, VARIANT) override { return E_NOTIMPL; }
  HRESULT __stdcall GetPSA(SAFEARRAY**) override { return E_NOTIMPL; }
  HRESULT __stdcall GetElementType(VARTYPE*) override { return E_NOTIMPL; }
  HRESULT __stdcall IsEmpty(LONG*) override { return E_NOTIMPL; }
  HRESULT __stdcall SetPSA(SAFEARRAY*) override { return E_NOTIMPL; }
  HRESULT __stdcall SetPSAWithType(SAFEARRAY*, VARTYPE) override { return E_NOTIMPL; }
  HRESULT __stdcall GetBounds(LONG* rows, LONG* columns) override {
    *rows = rows_;
    *columns = columns_;
    return S_OK;
  }
  HRESULT __stdcall SaveToFile(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT __stdcall LoadFromFile(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT __stdcall LoadFromFileAsStream(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT __stdcall SaveToFileAsStream(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT __stdcall GetValue(LONG row, LONG column, VARIANT* value) override {
    ++reads;
    if (row != 0 || column < 0 || column >= 7) return DISP_E_BADINDEX;
    VariantInit(value);
    const Variant cell = column == 0 ? Text("Baud") : column == 4 ? Text("1200") : Variant();
    VariantCopy(value, const_cast<VARIANT*>(&cell.Get()));
    return S_OK;
  }

  int reads = 0;

 private:
  LONG rows_;
  LONG columns_;
};

TEST(DevicePropsTable, AbsurdBoundsFromAHostTableEndInAnErrorAfterTheRealRows) {
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  LyingTable huge(0x7FFFFFFF, 7);
  VARIANT object;
  VariantInit(&object);
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = &huge;
  EXPECT_THROW(device.SetPropsTable(object), std::exception);
  EXPECT_EQ("1200", device.GetProperty("Baud"));  // the real row stays applied
  EXPECT_EQ(8, huge.reads);                       // and reading stopped at the first bad cell

  LyingTable negative(-5, -1);
  V_DISPATCH(&object) = &negative;
  EXPECT_EQ(0, device.SetPropsTable(object));
  EXPECT_EQ(0, negative.reads);
}

TEST(DeviceHandlers, CallsWithoutADeviceOrWithWrongTypesGiveResultCodes) {
  auto list = ReaderLikeList();
  Args one(1);
  EXPECT_EQ(3, GetPropsMethod(*list, nullptr, one.Get()).ToInt());
  EXPECT_EQ(3, SetPropsMethod(*list, nullptr, one.Get()).ToInt());
  one.Put(0, Text("5"));
  EXPECT_EQ(4, ResultDescriptionMethod(*list, nullptr, one.Get()).ToInt());
  one.Put(0, Variant::FromInt(5));
  EXPECT_EQ(4, SettingDevicesMethod(*list, nullptr, one.Get()).ToInt());
  EXPECT_EQ(4, AddDeviceMethod(*list, nullptr, one.Get()).ToInt());
  EXPECT_EQ("Ошибка. Код №5", ResultDescriptionMethod(*list, nullptr, one.Get()).To1251());
  Args two(2);
  two.Put(0, Variant::FromDouble(1.5));
  EXPECT_EQ(4, GetSettingsXmlMethod(*list, nullptr, two.Get()).ToInt());
  EXPECT_EQ(4, SettingsDeviceExMethod(*list, nullptr, two.Get()).ToInt());
  two.Put(0, Text("не код"));
  EXPECT_THROW(SettingsDeviceExMethod(*list, nullptr, two.Get()), std::exception);
  two.Put(0, Text("высоко")).Put(1, Variant::FromInt(0));
  EXPECT_EQ(4, BeepMethod(*list, nullptr, two.Get()).ToInt());
  EXPECT_THROW(GetSettingsXmlMethod(*list, nullptr, Args(1).Get()), std::exception);
  EXPECT_THROW(GetPropsMethod(*list, nullptr, nullptr), std::exception);

  try {
    SwitchOnMethod(*list, nullptr, Args(0).Get());
    ADD_FAILURE() << "switching on without a device succeeded";
  } catch (const EHardwareEquipmentException& e) {
    EXPECT_EQ(3, e.Code());
  }
  VARIANT value;
  VariantInit(&value);
  EXPECT_FALSE(DeviceIsOnProperty(*list, nullptr, false, value));
  EXPECT_TRUE(ResultProperty(*list, nullptr, false, value));
  EXPECT_EQ(3, V_I4(&value));
  // A device parameter of no device fails as "Результат" reads: code 3.
  try {
    DeviceParameterProperty(*list, nullptr, false, value, "Baud");
    ADD_FAILURE() << "a device parameter without a device was answered";
  } catch (const EHardwareEquipmentException& e) {
    EXPECT_EQ(3, e.Code());
  }
  EXPECT_EQ(VT_EMPTY, DeleteDeviceMethod(*list, nullptr, one.Get()).Type());
}

TEST(DeviceHandlers, DeviceHandlersWorkOnTheDeviceOfTheCall) {
  SetStandardFormats();
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  Args table(1);
  ASSERT_EQ(0, GetPropsMethod(*list, &device, table.Get()).ToInt());
  EXPECT_EQ(0, SetPropsMethod(*list, &device, table.Get()).ToInt());  // the same table back

  Variant value;
  EXPECT_TRUE(DeviceParameterProperty(*list, &device, false, *value.Put(), "Baud"));
  EXPECT_EQ(VT_I4, value.Type());
  EXPECT_EQ(9600, value.ToInt());
  Variant text = Variant::FromDouble(2.25);
  EXPECT_TRUE(DeviceParameterProperty(*list, &device, true, *const_cast<VARIANT*>(&text.Get()),
                                      "Примечание"));
  EXPECT_EQ("2,25", device.GetProperty("Примечание"));

  // Switching on and off the plain device (its open step does not touch a port).
  EXPECT_EQ(0, SwitchOnMethod(*list, &device, Args(0).Get()).ToInt());
  EXPECT_EQ(1, device.GetActive());
  EXPECT_TRUE(DeviceIsOnProperty(*list, &device, false, *value.Put()));
  EXPECT_EQ(1, value.ToInt());
  EXPECT_EQ(0, SwitchOffMethod(*list, &device, Args(0).Get()).ToInt());
  EXPECT_EQ(0, device.GetActive());
  int32_t code = -1;
  EXPECT_FALSE(device.CheckStateOk(code));
  EXPECT_EQ(3, code);
  EXPECT_EQ(3, device.LastResult());
}

TEST(DeviceHandlers, DriverPropertiesAndDeviceSelection) {
  auto list = ReaderLikeList();
  list->AppendDevice().SetDeviceName("Вход");
  list->AppendDevice().SetDeviceName("Выход");
  Variant value = Variant::FromInt(5);
  EXPECT_TRUE(DeviceNumberProperty(*list, nullptr, true, *const_cast<VARIANT*>(&value.Get())));
  EXPECT_THROW(DeviceNameProperty(*list, nullptr, false, *value.Put()), std::exception);
  *value.Put() = Variant::FromInt(0).Release();
  EXPECT_TRUE(DeviceNumberProperty(*list, nullptr, true, *const_cast<VARIANT*>(&value.Get())));
  EXPECT_TRUE(DeviceNameProperty(*list, nullptr, false, *value.Put()));
  EXPECT_EQ("", value.To1251());
  EXPECT_FALSE(DeviceNameProperty(*list, nullptr, true, *value.Put()));
  EXPECT_TRUE(DevicesQuantityProperty(*list, nullptr, false, *value.Put()));
  EXPECT_EQ(2, value.ToInt());

  Args select(1);
  EXPECT_EQ(0, SelectDeviceMethod(*list, nullptr, select.Put(0, Text("вЫХОД")).Get()).ToInt());
  EXPECT_EQ(2, list->CurrentDevice());
  EXPECT_EQ(3,
            SelectDeviceMethod(*list, nullptr, select.Put(0, Variant::FromInt(0)).Get()).ToInt());
  EXPECT_EQ(3, SelectDeviceMethod(*list, nullptr, select.Put(0, Text("Нет такого")).Get()).ToInt());
  EXPECT_EQ(0,
            SelectDeviceMethod(*list, nullptr, select.Put(0, Variant::FromInt(1)).Get()).ToInt());
  EXPECT_EQ("Вход", list->CurrentDeviceName());
}

TEST(DeviceHandlers, PluginInfoAndNewValueArrays) {
  auto list = ReaderLikeList();
  list->SetModelDescription("Проксимити считыватель RA-03V\\RS232");
  list->PlgInfoValues() = {1, 1, 1, 1, 0};
  Args info(13);
  ASSERT_EQ(0, GetPlgInfoMethod(*list, nullptr, info.Get()).ToInt());
  EXPECT_EQ(test::kModelCode, info.At(0).To1251());
  EXPECT_EQ("Проксимити считыватель RA-03V\\RS232", info.At(1).To1251());
  EXPECT_EQ(1, info.At(5).ToInt());
  EXPECT_EQ(0, info.At(6).ToInt());
  EXPECT_TRUE(XmlDocument::Parse(info.At(7).To1251()).Parsed());
  // The list's address as a pointer-sized integer: a 64-bit address is not cut,
  // and a 32-bit host gets the plain 32-bit integer it has always had.
  const Variant& address = info.At(11);
#if defined(_WIN64)
  ASSERT_EQ(VT_I8, V_VT(&address.Get()));
  EXPECT_EQ(reinterpret_cast<intptr_t>(list.get()), static_cast<intptr_t>(V_I8(&address.Get())));
#else
  ASSERT_EQ(VT_I4, V_VT(&address.Get()));
  EXPECT_EQ(reinterpret_cast<intptr_t>(list.get()), static_cast<intptr_t>(V_I4(&address.Get())));
#endif
  EXPECT_EQ(nullptr, list->Models());

  Args size(2);
  size.Put(0, Text("много")).Put(1, Variant::FromInt(3));
  const ComPtr<ISafeArray> made =
      ValueArrayOf(CreateValueArrayMethod(*list, nullptr, size.Get()).Get());
  ASSERT_TRUE(made);
  LONG rows = -1, columns = -1;
  made->GetBounds(&rows, &columns);
  EXPECT_EQ(0, rows);
  EXPECT_EQ(3, columns);
  size.Put(0, Variant::FromInt(100000)).Put(1, Variant::FromInt(100000));
  EXPECT_THROW(CreateValueArrayMethod(*list, nullptr, size.Get()), std::exception);
}

TEST(DeviceList, GeneratedNamesReuseTheFirstFreeNumberAndNameLookupFoldsOnlyLatin) {
  auto list = ReaderLikeList();
  list->AppendDevice();
  list->AppendDevice();
  list->AppendDevice();
  EXPECT_EQ("Считыватель_3", list->DeviceAt(2).DeviceName());
  EXPECT_EQ(3, list->DeviceAt(2).Number());
  list->DeviceAt(0).Delete();
  EXPECT_EQ("Считыватель_1", list->AppendDevice().DeviceName());
  EXPECT_EQ("Считыватель_2", list->UniqueDeviceName("считыватель_2"));

  list->DeviceAt(0).SetDeviceName("Reader_Вход");
  EXPECT_EQ(&list->DeviceAt(0), list->FindByName("READER_Вход"));
  EXPECT_EQ(nullptr, list->FindByName("reader_ВХОД"));
  EXPECT_EQ(&list->DeviceAt(0), list->FindByNameIgnoringCase("reader_ВХОД"));
  EXPECT_EQ(&list->DeviceAt(1), list->FindByCode(list->DeviceAt(1).DeviceCode()));
  EXPECT_FALSE(list->DeviceExists(TextToGuid("{00000000-1111-2222-3333-444444444444}")));
}

TEST(DeviceList, DevicesAddedFromAnotherThreadLastOnlyForTheirCall) {
  auto list = ReaderLikeList();
  list->AppendDevice();
  Args text(1);
  int32_t result = -1;
  std::thread caller([&] {
    try {
      result = AddDeviceMethod(*list, nullptr, text.Get()).ToInt();
    } catch (...) {
      result = -100;
    }
  });
  caller.join();
  EXPECT_EQ(0, result);
  EXPECT_EQ(1, list->Count());
  const XmlDocument document = XmlDocument::Parse(text.At(0).To1251());
  ASSERT_TRUE(document.Parsed());
  EXPECT_EQ("Считыватель_2", document.Root().Attribute("Наименование"));

  // The same call on the list's own thread keeps the device.
  Args again(1);
  EXPECT_EQ(0, AddDeviceMethod(*list, nullptr, again.Get()).ToInt());
  EXPECT_EQ(2, list->Count());

  std::thread loader([&] {
    Args document(1);
    document.Put(
        0, Text(std::string(
                    "<Устройство Код=\"{11111111-0000-4000-8000-0000000000CC}\" КодМодели=\"") +
                test::kModelCode + "\"/>"));
    result = SettingDevicesMethod(*list, nullptr, document.Get()).ToInt();
  });
  loader.join();
  EXPECT_EQ(0, result);
  EXPECT_EQ(2, list->Count());
}

TEST(DeviceList, SettingsDialogSeamAndConfigureDevice) {
  auto list = ReaderLikeList();
  std::string text;
  EXPECT_EQ(kResultNoSettingsDialog, list->AddDevice(text, true));
  EXPECT_EQ(0, list->Count());  // a device whose dialog failed is deleted
  EXPECT_EQ(kResultUnknownCode, list->ConfigureDevice(GUID{}));

  static TDeviceItem* shown = nullptr;
  InstallSettingsDialog([](TDeviceItem& device) -> int32_t {
    shown = &device;
    return 0;
  });
  EXPECT_EQ(0, list->AddDevice(text, true));
  InstallSettingsDialog(nullptr);
  ASSERT_EQ(1, list->Count());
  EXPECT_EQ(&list->DeviceAt(0), shown);
  EXPECT_EQ("Считыватель_1", XmlDocument::Parse(text).Root().Attribute("Наименование"));
}

TEST(DeviceList, AbortIsReadOnlyFromKnownHostTasks) {
  auto list = ReaderLikeList();
  TDeviceItem& device = list->AppendDevice();
  EXPECT_FALSE(device.AbortRequested());
  ra03v_host::Task task;
  device.SetTask(task.Get());
  EXPECT_FALSE(device.AbortRequested());
  task.SetAbort(true);
  EXPECT_TRUE(device.AbortRequested());
  ra03v_host::Task stranger("TSomethingElse");
  stranger.SetAbort(true);
  device.SetTask(stranger.Get());
  EXPECT_FALSE(device.AbortRequested());
  device.SetTask(nullptr);
}

}  // namespace
}  // namespace ra03v
