// Blocks and tasks a host can build that the driver must survive, and the
// texts it answers them with, through the shipping DLL's entry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/dll_under_test.h"
#include "support/test_language.h"

namespace ra03v::test {
namespace {

using ra03v_host::Value;

constexpr int kMissingPort = 16;

std::wstring Text(const VARIANT& v) { return Value::Copy(v).ToText(); }

// Name field of a host block: freed by the host's class with free().
void SetRawName(RA03V_PARAMS* block, const char* name) {
  std::free(block->Name);
  block->Name = static_cast<char*>(std::malloc(std::strlen(name) + 1));
  std::memcpy(block->Name, name, std::strlen(name) + 1);
}

// A host block of the host's own class without any value list.
RA03V_PARAMS* BlockWithoutList() {
  RA03V_PARAMS* block = HostBlock::NewRaw();
  std::free(block->Values->rgvarg);
  std::free(block->Values);
  block->Values = nullptr;
  block->OwnsValues = 0;
  return block;
}

// One call with any task pointer, the driver object included.
std::unique_ptr<HostBlock> CallWith(DllUnderTest& dll, void* task, const std::wstring& name,
                                    int kind, const std::vector<Value>& args = {}) {
  auto block = std::make_unique<HostBlock>();
  block->SetName("call");
  block->Add(Value().Get());
  block->Add(Value::Text(name).Get());
  block->Add(Value::Int(kind).Get());
  for (const Value& a : args) block->Add(a.Get());
  dll.Entry()(block->Get(), task);
  return block;
}

std::wstring NoListText() {
  return RussianRun() ? L"Блок параметров не содержит собственного списка значений: в него нельзя "
                        L"добавить значение."
                      : L"The parameter block has no value list of its own: no value can be added "
                        L"to it.";
}

class HostFaults : public ::testing::Test {
 protected:
  void TearDown() override { dll.Control("__FRee"); }

  void ConfigureTwoDevices() {
    CoCreateGuid(&first);
    CoCreateGuid(&second);
    firstTask.SetDevice(first);
    const std::wstring document = ra03v_host::EquipmentDocument(
        ra03v_host::ReaderDeviceElement(first, L"Первый", kMissingPort) +
        ra03v_host::ReaderDeviceElement(second, L"Второй", kMissingPort));
    auto block = dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &task);
    ASSERT_FALSE(block->Get()->HasError) << block->ErrorDescription();
    ASSERT_EQ(2, dll.GetProperty(L"КоличествоУстройств", &task)->At(0).ToInt());
  }

  // Whether the driver has taken events over ("УстройствоВключено" read-only).
  bool DeviceIsOnReadOnly() {
    HostTask any(RA03V_TASK_CLASS_INTERNAL);
    auto set = dll.SetProperty(L"УстройствоВключено", Value::Int(0), &any);
    return set->ErrorDescription().find(L"только для чтения") != std::wstring::npos;
  }

  ra03v_host::EventSink sink;
  DllUnderTest dll{L"ra03v.dll"};
  HostTask task{RA03V_TASK_CLASS_INTERNAL};
  GUID first{}, second{};
  HostTask firstTask{RA03V_TASK_CLASS_THREAD};
};

TEST_F(HostFaults, EventSupportOnABlockWithoutAListFailsInsteadOfFaulting) {
  RA03V_PARAMS* block = BlockWithoutList();
  SetRawName(block, "__@@EventSupport");
  block->EventSink = sink.Interface();
  EXPECT_EQ(0, dll.Entry()(block, nullptr));
  EXPECT_TRUE(block->HasError);
  EXPECT_EQ(20000, block->ErrorCode);
  EXPECT_EQ(NoListText(), Text(block->ErrorDescription));
  EXPECT_EQ(nullptr, block->Values) << "the driver gave the host no list it cannot free";
  block->ClassRef->Destroy(block);
  // Refused before anything changed: the driver did not take events over.
  EXPECT_FALSE(DeviceIsOnReadOnly());
  EXPECT_EQ(1, sink.References());

  // A block with its own list still gets the names interface afterwards.
  auto good = dll.Control("__@@EventSupport", sink.Interface());
  EXPECT_FALSE(good->Get()->HasError) << good->ErrorDescription();
  ASSERT_EQ(1, good->Count());
  EXPECT_EQ(VT_UNKNOWN, good->At(0).Type());
  EXPECT_TRUE(DeviceIsOnReadOnly());
}

TEST_F(HostFaults, EventSupportOnABorrowedListLeavesTheHostsValues) {
  // The host lends a list of its own (values in reverse order).
  VARIANT slots[2];
  VariantInit(&slots[0]);
  VariantInit(&slots[1]);
  V_VT(&slots[0]) = VT_I4;
  V_I4(&slots[0]) = 7;
  V_VT(&slots[1]) = VT_BSTR;
  V_BSTR(&slots[1]) = SysAllocString(L"чужое");
  DISPPARAMS lent{slots, nullptr, 2, 0};
  RA03V_PARAMS* block = BlockWithoutList();
  block->Values = &lent;
  SetRawName(block, "__@@EventSupport");
  block->EventSink = sink.Interface();

  EXPECT_EQ(0, dll.Entry()(block, nullptr));
  EXPECT_EQ(20000, block->ErrorCode);
  EXPECT_EQ(NoListText(), Text(block->ErrorDescription));
  EXPECT_EQ(&lent, block->Values);
  EXPECT_EQ(2u, lent.cArgs);
  EXPECT_EQ(7, V_I4(&slots[0]));
  EXPECT_EQ(L"чужое", std::wstring(V_BSTR(&slots[1])));
  EXPECT_FALSE(DeviceIsOnReadOnly());
  block->Values = nullptr;
  block->ClassRef->Destroy(block);
  VariantClear(&slots[1]);
}

TEST_F(HostFaults, AHostListWithoutSlotsIsAnErrorNotARead) {
  // A record that claims values but has no slot area.
  RA03V_PARAMS* block = BlockWithoutList();
  DISPPARAMS empty{nullptr, nullptr, 3, 0};
  block->Values = &empty;
  block->OwnsValues = 1;
  SetRawName(block, "call");
  EXPECT_EQ(0, dll.Entry()(block, &task));
  EXPECT_EQ(20000, block->ErrorCode);
  EXPECT_EQ(L"", Text(block->ErrorSource));
  EXPECT_EQ(L"Неверный индекс (Get) Index=1 Count=3", Text(block->ErrorDescription));
  block->Values = nullptr;
  block->OwnsValues = 0;
  block->ClassRef->Destroy(block);
}

TEST_F(HostFaults, ANameThatIsNoTextStillLeavesTheMessage) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 2);
  ASSERT_NE(nullptr, array);
  VARIANT name;
  VariantInit(&name);
  V_VT(&name) = VT_ARRAY | VT_I4;
  V_ARRAY(&name) = array;
  HostBlock block;
  block.SetName("call");
  block.Add(Value().Get());
  block.Add(name);
  block.Add(Value::Int(RA03V_KIND_METHOD).Get());
  VariantClear(&name);
  EXPECT_EQ(0, dll.Call(block, &task));
  EXPECT_EQ(20000, block->ErrorCode);
  EXPECT_EQ(VT_BSTR, V_VT(&block->ErrorSource));
  EXPECT_EQ(L"", block.ErrorSource());
  EXPECT_EQ(RussianRun() ? L"Значение нельзя преобразовать в текст: Несоответствие типов."
                         : L"The value cannot be converted to text: Type mismatch.",
            block.ErrorDescription());
}

TEST_F(HostFaults, ConversionMessagesFollowTheUserLanguage) {
  // A call kind that is no number.
  HostBlock block;
  block.SetName("call");
  block.Add(Value().Get());
  block.Add(Value::Text(L"КоличествоУстройств").Get());
  block.Add(Value::Text(L"abc").Get());
  EXPECT_EQ(0, dll.Call(block, &task));
  EXPECT_EQ(20000, block->ErrorCode);
  EXPECT_EQ(L"КоличествоУстройств", block.ErrorSource());
  EXPECT_EQ(RussianRun() ? L"Значение нельзя преобразовать в целое число: Несоответствие типов."
                         : L"The value cannot be converted to an integer: Type mismatch.",
            block.ErrorDescription());

  // A number too large for the kind.
  HostBlock big;
  big.SetName("call");
  big.Add(Value().Get());
  big.Add(Value::Text(L"КоличествоУстройств").Get());
  big.Add(Value::Double(1e12).Get());
  EXPECT_EQ(0, dll.Call(big, &task));
  EXPECT_EQ(RussianRun() ? L"Значение нельзя преобразовать в целое число: Переполнение: значение "
                           L"вне допустимого диапазона."
                         : L"The value cannot be converted to an integer: Overflow: the value is "
                           L"out of range.",
            big.ErrorDescription());

  // A device parameter of type Integer holding a text that is no number.
  ConfigureTwoDevices();
  auto stored = dll.SetProperty(L"Использовать", Value::Text(L"abc"), &firstTask);
  ASSERT_FALSE(stored->Get()->HasError) << stored->ErrorDescription();
  auto read = dll.GetProperty(L"Использовать", &firstTask);
  EXPECT_EQ(20000, read->Get()->ErrorCode);
  EXPECT_EQ(RussianRun() ? L"'abc' не является допустимым целым числом"
                         : L"'abc' is not a valid integer value",
            read->ErrorDescription());
}

TEST_F(HostFaults, TheDriverObjectAsTaskAddressesTheCurrentDevice) {
  ConfigureTwoDevices();
  void* driver = task.DriverSlot();
  ASSERT_NE(nullptr, driver);

  auto select = CallWith(dll, driver, L"НомерУстройства", RA03V_KIND_SET, {Value::Int(2)});
  ASSERT_FALSE(select->Get()->HasError) << select->ErrorDescription();
  auto name = CallWith(dll, driver, L"ИмяУстройства", RA03V_KIND_GET);
  ASSERT_FALSE(name->Get()->HasError) << name->ErrorDescription();
  EXPECT_EQ(L"Второй", name->At(0).ToText());
  EXPECT_EQ(2, CallWith(dll, driver, L"DeviceNumber", RA03V_KIND_GET)->At(0).ToInt());

  // A method goes to the current device too: its port is missing.
  ASSERT_FALSE(
      CallWith(dll, driver, L"DeviceNumber", RA03V_KIND_SET, {Value::Int(1)})->Get()->HasError);
  EXPECT_EQ(L"Первый", CallWith(dll, driver, L"DeviceName", RA03V_KIND_GET)->At(0).ToText());
  auto on = CallWith(dll, driver, L"Включить", RA03V_KIND_METHOD, {Value()});
  EXPECT_EQ(3, on->Get()->ErrorCode) << on->ErrorDescription();
  EXPECT_EQ(L"Устройство не обнаружено", on->ErrorDescription());

  // No device selected: nothing to address, as for any call without one.
  ASSERT_FALSE(
      CallWith(dll, driver, L"НомерУстройства", RA03V_KIND_SET, {Value::Int(0)})->Get()->HasError);
  EXPECT_EQ(L"", CallWith(dll, driver, L"ИмяУстройства", RA03V_KIND_GET)->At(0).ToText());
  EXPECT_EQ(3, CallWith(dll, driver, L"Результат", RA03V_KIND_GET)->At(0).ToInt());

  // The driver object was used, never written into: ordinary tasks still work.
  EXPECT_EQ(2, dll.GetProperty(L"КоличествоУстройств", &task)->At(0).ToInt());
  EXPECT_EQ(driver, task.DriverSlot());
  auto text = dll.Method(L"ОписаниеОшибки", {Value::Int(3)}, &task);
  EXPECT_EQ(L"Устройство не обнаружено", text->At(0).ToText());
}

// Calls that give the driver nothing to work on are refused, not answered
// with an empty value, and hostile names do not make messages of any size.
TEST_F(HostFaults, NoDeviceNaNAndHugeNamesAreRefusedWithShortMessages) {
  // No device addressed: the device parameters fail as "Результат" says.
  ASSERT_EQ(3, dll.GetProperty(L"Результат", &task)->At(0).ToInt());
  auto read = dll.GetProperty(L"Использовать", &task);
  EXPECT_EQ(3, read->Get()->ErrorCode) << read->ErrorDescription();
  EXPECT_EQ(L"Устройство не обнаружено", read->ErrorDescription());
  auto write = dll.SetProperty(L"Использовать", Value::Int(0), &task);
  EXPECT_EQ(3, write->Get()->ErrorCode) << write->ErrorDescription();

  // NaN is no error code, nor is an infinity; a whole double still is.
  for (const double code : {std::nan(""), HUGE_VAL, 1e10}) {
    auto text = dll.Method(L"ОписаниеОшибки", {Value::Double(code)}, &task);
    EXPECT_EQ(4, text->Get()->ErrorCode) << code;
    EXPECT_EQ(L"Неверный тип параметра", text->ErrorDescription()) << code;
  }
  EXPECT_EQ(L"Нет связи",
            dll.Method(L"ОписаниеОшибки", {Value::Double(2.0)}, &task)->At(0).ToText());

  // A 1 MB name is quoted as its first 256 characters and "…".
  const std::wstring huge(1 << 20, L'Щ');
  const std::wstring quoted = huge.substr(0, 256) + L"\u2026";
  auto unknown = dll.Method(huge, {}, &task);
  EXPECT_EQ(20036, unknown->Get()->ErrorCode);
  EXPECT_NE(std::wstring::npos, unknown->ErrorDescription().find(L"[" + quoted + L"]"));
  EXPECT_LT(unknown->ErrorDescription().size(), 400u);
  auto readOnly = dll.SetProperty(L"Результат", Value::Int(1), &task);
  ASSERT_NE(std::wstring::npos, readOnly->ErrorDescription().find(L"[Результат]"));
  auto count = dll.Method(L"Гудок", {Value::Int(1)}, &task);
  EXPECT_NE(std::wstring::npos, count->ErrorDescription().find(L"[Гудок]"));
  ConfigureTwoDevices();
  auto number = dll.SetProperty(L"Использовать", Value::Text(huge), &firstTask);
  ASSERT_FALSE(number->Get()->HasError);
  auto notANumber = dll.GetProperty(L"Использовать", &firstTask);
  EXPECT_NE(std::wstring::npos, notANumber->ErrorDescription().find(L"'" + quoted + L"'"));
  EXPECT_LT(notANumber->ErrorDescription().size(), 400u);
}

}  // namespace
}  // namespace ra03v::test
