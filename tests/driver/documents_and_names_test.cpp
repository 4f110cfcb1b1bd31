// Documents as hosts hand them over (a leading byte-order mark included) and
// the names the driver gives new devices, through the shipping DLL's entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/dll_under_test.h"

namespace ra03v::test {
namespace {

using ra03v_host::Value;

constexpr int kMissingPort = 16;
constexpr wchar_t kBom[] = L"\xFEFF";
const std::wstring kPrefix = L"Проксимити_Cчитыватель_";  // Latin C, as the driver writes it

GUID NewCode() {
  GUID code{};
  CoCreateGuid(&code);
  return code;
}

// The "Наименование" of a device settings document.
std::wstring NameIn(const std::wstring& document) {
  const std::wstring key = L"Наименование=\"";
  const size_t start = document.find(key);
  if (start == std::wstring::npos) return L"<no name in " + document + L">";
  const size_t end = document.find(L'"', start + key.size());
  return document.substr(start + key.size(), end - start - key.size());
}

class DocumentsAndNames : public ::testing::Test {
 protected:
  void TearDown() override { dll.Control("__FRee"); }

  int Count() { return dll.GetProperty(L"КоличествоУстройств", &task)->At(0).ToInt(); }

  void Load(const std::wstring& document) {
    auto block = dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &task);
    ASSERT_FALSE(block->Get()->HasError) << block->ErrorDescription();
    ASSERT_EQ(0, block->At(0).ToInt());
  }

  // Adds a device as "ДобавитьУстройство" does and returns the name it got.
  std::wstring Add(const std::wstring& description = L"", HostTask* on = nullptr) {
    auto block = dll.Method(L"ДобавитьУстройство", {Value::Text(description)}, on ? on : &task);
    if (block->Get()->HasError) return L"<error " + block->ErrorDescription() + L">";
    return NameIn(block->At(3).ToText());
  }

  DllUnderTest dll{L"ra03v.dll"};
  HostTask task{RA03V_TASK_CLASS_INTERNAL};
};

TEST_F(DocumentsAndNames, AByteOrderMarkInFrontOfAnEquipmentDocumentIsIgnored) {
  const GUID code = NewCode();
  Load(kBom + ra03v_host::EquipmentDocument(
                  ra03v_host::ReaderDeviceElement(code, L"Первый", kMissingPort)));
  ASSERT_EQ(1, Count());
  ASSERT_FALSE(dll.SetProperty(L"НомерУстройства", Value::Int(1), &task)->Get()->HasError);
  EXPECT_EQ(L"Первый", dll.GetProperty(L"ИмяУстройства", &task)->At(0).ToText());
}

TEST_F(DocumentsAndNames, AByteOrderMarkInFrontOfADeviceSettingsDocumentIsIgnored) {
  Load(kBom + ra03v_host::ReaderDeviceElement(NewCode(), L"Один", kMissingPort));
  EXPECT_EQ(1, Count());
}

TEST_F(DocumentsAndNames, AByteOrderMarkInFrontOfAModelDescriptionIsIgnored) {
  const std::wstring description =
      L"<Модели><Модель Библиотека=\"RA03V.DLL\" Идентификатор=\"Тестовый\" "
      L"Наименование=\"Считыватель\"/></Модели>";
  EXPECT_EQ(L"Считыватель №1", Add(kBom + description));
  EXPECT_EQ(L"Считыватель №2", Add());
}

TEST_F(DocumentsAndNames, NewDevicesTakeTheFirstFreeNumber) {
  EXPECT_EQ(kPrefix + L"1", Add());
  EXPECT_EQ(kPrefix + L"2", Add());
  EXPECT_EQ(kPrefix + L"3", Add());
  EXPECT_EQ(3, Count());
}

TEST_F(DocumentsAndNames, NamesAreComparedIgnoringCaseAndNothingElse) {
  Load(ra03v_host::EquipmentDocument(
      ra03v_host::ReaderDeviceElement(NewCode(), L"ПРОКСИМИТИ_CЧИТЫВАТЕЛЬ_1", kMissingPort) +
      ra03v_host::ReaderDeviceElement(NewCode(), L"проксимити_cчитыватель_3", kMissingPort) +
      // Not the same texts: a leading zero, a Cyrillic "С", a blank, a suffix.
      ra03v_host::ReaderDeviceElement(NewCode(), kPrefix + L"02", kMissingPort) +
      ra03v_host::ReaderDeviceElement(NewCode(), L"Проксимити_Считыватель_2", kMissingPort) +
      ra03v_host::ReaderDeviceElement(NewCode(), kPrefix + L" 4", kMissingPort) +
      ra03v_host::ReaderDeviceElement(NewCode(), kPrefix + L"4a", kMissingPort) +
      ra03v_host::ReaderDeviceElement(NewCode(), kPrefix + L"5", kMissingPort)));
  ASSERT_EQ(7, Count());
  EXPECT_EQ(kPrefix + L"2", Add());
  EXPECT_EQ(kPrefix + L"4", Add());
  EXPECT_EQ(kPrefix + L"6", Add());
}

TEST_F(DocumentsAndNames, AFreedNumberIsTakenAgain) {
  const GUID first = NewCode(), second = NewCode();
  Load(ra03v_host::EquipmentDocument(
      ra03v_host::ReaderDeviceElement(first, kPrefix + L"1", kMissingPort) +
      ra03v_host::ReaderDeviceElement(second, kPrefix + L"2", kMissingPort)));
  EXPECT_EQ(kPrefix + L"3", Add());
  // The first device is renamed: its number is free again.
  Load(ra03v_host::EquipmentDocument(
      ra03v_host::ReaderDeviceElement(first, L"Другое имя", kMissingPort)));
  EXPECT_EQ(kPrefix + L"1", Add());
  EXPECT_EQ(kPrefix + L"4", Add());

  // A device added from another thread lives for that call only: the next
  // device takes its number.
  std::wstring fromThread;
  std::thread other([&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HostTask otherTask(RA03V_TASK_CLASS_INTERNAL);
    fromThread = Add(L"", &otherTask);
    CoUninitialize();
  });
  other.join();
  EXPECT_EQ(kPrefix + L"5", fromThread);
  EXPECT_EQ(5, Count());
  EXPECT_EQ(kPrefix + L"5", Add());
}

TEST_F(DocumentsAndNames, ManyDevicesLeaveTheSameGapsToFill) {
  // Names taken at random from 1..400, some in other letter cases.
  std::mt19937 random(20261209);
  std::vector<int> numbers(400);
  for (int i = 0; i < 400; ++i) numbers[static_cast<size_t>(i)] = i + 1;
  std::shuffle(numbers.begin(), numbers.end(), random);
  numbers.resize(250);
  std::wstring elements;
  for (size_t i = 0; i < numbers.size(); ++i) {
    std::wstring prefix = kPrefix;
    if (i % 3 == 1) prefix = L"ПРОКСИМИТИ_CЧИТЫВАТЕЛЬ_";
    if (i % 3 == 2) prefix = L"проксимити_cчитыватель_";
    elements += ra03v_host::ReaderDeviceElement(NewCode(), prefix + std::to_wstring(numbers[i]),
                                                kMissingPort);
  }
  Load(ra03v_host::EquipmentDocument(elements));
  ASSERT_EQ(250, Count());
  const std::set<int> taken(numbers.begin(), numbers.end());
  std::vector<int> free;
  for (int i = 1; free.size() < 20; ++i)
    if (!taken.count(i)) free.push_back(i);
  for (int number : free) EXPECT_EQ(kPrefix + std::to_wstring(number), Add());
  EXPECT_EQ(270, Count());
}

}  // namespace
}  // namespace ra03v::test
