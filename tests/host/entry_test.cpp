// The entry as a host reaches it: Query's arithmetic, errors turned into the
// block's fields, and the shipping DLL before a driver object exists.
#include <gtest/gtest.h>

#include "foundation/text_codec.h"
#include "foundation/win/variant.h"
#include "support/dll_under_test.h"
#include "support/test_language.h"

namespace ra03v::test {
namespace {

// A plug-in call block: result slot, name, call kind, then the arguments.
void FillCall(HostBlock& block, const wchar_t* name, std::initializer_list<Variant*> args = {}) {
  block.Add(Variant().Get());
  block.Add(Variant::FromText(name).Get());
  block.Add(Variant::FromInt(RA03V_KIND_METHOD).Get());
  for (Variant* a : args) block.Add(a->Get());
}

class ProbeEntry : public ::testing::Test {
 protected:
  DllUnderTest dll{L"ra03v_probe.dll"};
  HostTask task{RA03V_TASK_CLASS_INTERNAL};
};

TEST(Query, LeadsToTheEntry) {
  DllUnderTest dll(L"ra03v.dll");
  const uint32_t result = dll.QueryFunction()();
  // The entry is the DLL's own code, not an export.
  const auto entry = reinterpret_cast<uintptr_t>(RA03V_EntryFromQuery(dll.QueryFunction(), result));
  const auto base = reinterpret_cast<uintptr_t>(dll.Module());
  IMAGE_NT_HEADERS* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  EXPECT_GT(entry, base);
  EXPECT_LT(entry, base + nt->OptionalHeader.SizeOfImage);
  EXPECT_NE(entry, reinterpret_cast<uintptr_t>(dll.QueryFunction()));
  // The same arithmetic by hand: Query - (R xor key).
  const int32_t distance = static_cast<int32_t>(result ^ RA03V_QUERY_KEY);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(dll.QueryFunction()) - static_cast<intptr_t>(distance),
            entry);
  // Calling it reaches the driver object: an unknown name is its error 20036.
  HostBlock block;
  FillCall(block, L"НетТакогоМетода");
  EXPECT_EQ(0, dll.Entry()(block.Get(), nullptr));
  EXPECT_TRUE(block->HasError);
  EXPECT_EQ(20036, block->ErrorCode);
  EXPECT_EQ(L"НетТакогоМетода", block.ErrorSource());
  EXPECT_EQ(RussianRun() ? L"Метод/Свойство [НетТакогоМетода] не обнаружено"
                         : L"Method/property [НетТакогоМетода] it is not revealed",
            block.ErrorDescription());
}

TEST(Query, BothDllsAgreeOnTheContract) {
  DllUnderTest shipping(L"ra03v.dll");
  DllUnderTest probe(L"ra03v_probe.dll");
  HostBlock block;
  FillCall(block, L"echo");
  block.SetName("echo");
  Variant arg = Variant::FromInt(7);
  block.Add(arg.Get());
  EXPECT_EQ(1, probe.Entry()(block.Get(), nullptr));
  EXPECT_EQ(7, block.At(0).ToInt());
  EXPECT_FALSE(block->HasError);
}

TEST_F(ProbeEntry, ProtectExceptionBecomesCodeSourceAndMessage) {
  HostBlock block;
  block.SetName("raise");
  Variant code = Variant::FromInt(20001);
  Variant arg = Variant::FromText(L"COM3");
  FillCall(block, L"НастроитьУстройства", {&code, &arg});
  EXPECT_EQ(0, dll.Entry()(block.Get(), task.Get()));
  EXPECT_TRUE(block->HasError);
  EXPECT_EQ(20001, block->ErrorCode);
  EXPECT_EQ(VT_BSTR, V_VT(&block->ErrorSource));
  EXPECT_EQ(L"НастроитьУстройства", block.ErrorSource());
  EXPECT_EQ(RussianRun() ? L"Оборудование не найдено [COM3]." : L"The equipment not found [COM3].",
            block.ErrorDescription());
}

TEST_F(ProbeEntry, MessagesFollowTheUserLanguage) {
  HostBlock block;
  block.SetName("raise");
  Variant code = Variant::FromInt(20026);
  FillCall(block, L"Abort", {&code});
  dll.Entry()(block.Get(), task.Get());
  EXPECT_EQ(20026, block->ErrorCode);
  EXPECT_EQ(RussianRun() ? L"Операция прервана" : L"Operation is canceled",
            block.ErrorDescription());

  HostBlock unknown;
  unknown.SetName("raise");
  Variant noRow = Variant::FromInt(20049);
  FillCall(unknown, L"X", {&noRow});
  dll.Entry()(unknown.Get(), task.Get());
  EXPECT_EQ(RussianRun() ? L"Неизвестная ошибка (Код = 20049)!" : L"Unknown error (Code = 20049)!",
            unknown.ErrorDescription());
}

TEST_F(ProbeEntry, HardwareExceptionKeepsTheDeviceCode) {
  HostBlock block;
  block.SetName("hardware");
  Variant code = Variant::FromInt(5);
  Variant text = Variant::FromText(L"Порт не открыт");
  FillCall(block, L"Включить", {&code, &text});
  EXPECT_EQ(0, dll.Entry()(block.Get(), task.Get()));
  EXPECT_TRUE(block->HasError);
  EXPECT_EQ(5, block->ErrorCode);
  EXPECT_EQ(L"Включить", block.ErrorSource());
  EXPECT_EQ(L"Порт не открыт", block.ErrorDescription());
}

TEST_F(ProbeEntry, OtherExceptionsBecome20000WithTheirOwnText) {
  HostBlock block;
  block.SetName("plain");
  Variant text = Variant::FromText(L"сбой");
  FillCall(block, L"Метод", {&text});
  EXPECT_EQ(0, dll.Entry()(block.Get(), task.Get()));
  EXPECT_EQ(20000, block->ErrorCode);
  EXPECT_EQ(L"сбой", block.ErrorDescription());

  HostBlock odd;
  odd.SetName("unknown");
  FillCall(odd, L"Метод");
  EXPECT_EQ(0, dll.Entry()(odd.Get(), task.Get()));
  EXPECT_EQ(20000, odd->ErrorCode);
  EXPECT_TRUE(odd->HasError);
  EXPECT_FALSE(odd.ErrorDescription().empty());
}

TEST_F(ProbeEntry, SourceStaysEmptyWithFewerThanTwoValues) {
  HostBlock block;
  block.SetName("raise");
  block.Add(Variant().Get());
  EXPECT_EQ(0, dll.Entry()(block.Get(), task.Get()));
  // Get(3) itself failed: index error in the entry's own words.
  EXPECT_EQ(20000, block->ErrorCode);
  EXPECT_EQ(L"", block.ErrorSource());
  EXPECT_EQ(L"Неверный индекс (Get) Index=3 Count=1", block.ErrorDescription());
}

TEST_F(ProbeEntry, SuccessfulCallClearsHasErrorButKeepsTheCode) {
  HostBlock block;
  block.SetName("echo");
  Variant arg = Variant::FromText(L"x");
  FillCall(block, L"echo", {&arg});
  block->HasError = 1;
  block->ErrorCode = 0;
  EXPECT_EQ(1, dll.Entry()(block.Get(), task.Get()));
  EXPECT_FALSE(block->HasError);
  EXPECT_EQ(L"x", block.At(0).ToText());
}

}  // namespace
}  // namespace ra03v::test
