// Block operations reached through the probe DLL's entry: Get/Set index
// errors, writes through borrowed by-reference values, chains and Clear.
#include <gtest/gtest.h>

#include "foundation/win/bstr.h"
#include "host/params.h"
#include "foundation/win/variant.h"
#include "support/dll_under_test.h"

namespace ra03v::test {
namespace {

class Blocks : public ::testing::Test {
 protected:
  DllUnderTest dll{L"ra03v_probe.dll"};
  HostTask task{RA03V_TASK_CLASS_THREAD};
};

TEST_F(Blocks, IndexErrorsNameTheOperationIndexAndCount) {
  HostBlock block;
  block.SetName("get=3");
  for (int i = 0; i < 3; ++i) block.Add(Variant::FromInt(i).Get());
  EXPECT_EQ(0, dll.Entry()(block.Get(), task.Get()));
  EXPECT_EQ(20000, block->ErrorCode);
  EXPECT_EQ(L"Неверный индекс (Get) Index=3 Count=3", block.ErrorDescription());

  HostBlock negative;
  negative.SetName("set=-1");
  for (int i = 0; i < 2; ++i) negative.Add(Variant::FromInt(i).Get());
  EXPECT_EQ(0, dll.Entry()(negative.Get(), task.Get()));
  EXPECT_EQ(L"Неверный индекс (Set) Index=-1 Count=2", negative.ErrorDescription());
}

// A borrowed list as automation delivers it: values in reverse order.
struct BorrowedList {
  RA03V_PARAMS* block = HostBlock::NewRaw();
  VARIANT slots[2];
  DISPPARAMS* ownList = nullptr;
  BorrowedList(const VARIANT& value0, const VARIANT& value1) {
    slots[1] = value0;  // value 0 is the last slot
    slots[0] = value1;
    ownList = block->Values;
    block->Values = new DISPPARAMS{slots, nullptr, 2, 0};
    block->OwnsValues = 0;
  }
  ~BorrowedList() {
    delete block->Values;
    block->Values = ownList;
    block->OwnsValues = 1;
    block->ClassRef->Destroy(block);
  }
  void SetName(const char* name) {
    block->Name = static_cast<char*>(std::malloc(strlen(name) + 1));
    strcpy(block->Name, name);
  }
};

TEST_F(Blocks, SetWritesThroughBorrowedReferences) {
  BSTR callerText = SysAllocString(L"old");
  VARIANT ref;
  V_VT(&ref) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&ref) = &callerText;
  Variant source = Variant::FromText(L"новый");
  BorrowedList list(ref, source.Get());
  list.SetName("set=0");
  EXPECT_EQ(1, dll.Entry()(list.block, task.Get()));
  EXPECT_FALSE(list.block->HasError);
  EXPECT_STREQ(L"новый", callerText);
  SysFreeString(callerText);

  LONG number = 0;
  V_VT(&ref) = VT_I4 | VT_BYREF;
  V_I4REF(&ref) = &number;
  Variant text42 = Variant::FromText(L"42");
  BorrowedList ints(ref, text42.Get());
  ints.SetName("set=0");
  EXPECT_EQ(1, dll.Entry()(ints.block, task.Get()));
  EXPECT_EQ(42, number);

  double real = 0;
  V_VT(&ref) = VT_R8 | VT_BYREF;
  V_R8REF(&ref) = &real;
  Variant half = Variant::FromDouble(0.5);
  BorrowedList reals(ref, half.Get());
  reals.SetName("set=0");
  EXPECT_EQ(1, dll.Entry()(reals.block, task.Get()));
  EXPECT_EQ(0.5, real);
}

TEST_F(Blocks, BorrowedSetRefusesOtherReferencesAndIgnoresPlainSlots) {
  DATE date = 1.0;
  VARIANT ref;
  V_VT(&ref) = VT_DATE | VT_BYREF;
  V_DATEREF(&ref) = &date;
  Variant source = Variant::FromDouble(2.0);
  BorrowedList dates(ref, source.Get());
  dates.SetName("set=0");
  EXPECT_EQ(0, dll.Entry()(dates.block, task.Get()));
  EXPECT_EQ(20000, dates.block->ErrorCode);
  EXPECT_EQ(L"Неподдерживаемый тип параметра.",
            Variant::Copy(dates.block->ErrorDescription).ToText());
  EXPECT_EQ(1.0, date);

  // Not by reference: nothing is stored and nothing fails.
  Variant plain = Variant::FromInt(1);
  Variant other = Variant::FromInt(2);
  BorrowedList plainList(plain.Get(), other.Get());
  plainList.SetName("set=0");
  EXPECT_EQ(1, dll.Entry()(plainList.block, task.Get()));
  EXPECT_EQ(1, V_I4(&plainList.slots[1]));
  EXPECT_FALSE(plainList.block->HasError);
}

TEST_F(Blocks, ValueOrderOnABorrowedList) {
  Variant first = Variant::FromText(L"value0");
  Variant second = Variant::FromText(L"value1");
  BorrowedList list(first.Get(), second.Get());
  list.SetName("get=1");
  // get=1 stores value 1 into value 0; value 0 is not by reference, so the
  // borrowed slot stays as it was: the point is that Get(1) read slot 0.
  EXPECT_EQ(1, dll.Entry()(list.block, task.Get()));
  EXPECT_FALSE(list.block->HasError);
  list.block->Name[4] = '2';  // get=2: past the end
  EXPECT_EQ(0, dll.Entry()(list.block, task.Get()));
  EXPECT_EQ(L"Неверный индекс (Get) Index=2 Count=2",
            Variant::Copy(list.block->ErrorDescription).ToText());
}

TEST_F(Blocks, ChainIsWalkedInOrderAndClearDestroysTheSuccessors) {
  HostBlock block;
  block.SetName("chain");
  block.Add(Variant().Get());
  for (int i = 0; i < 2; ++i) {
    RA03V_PARAMS* next = block.Append();
    VariantInit(&next->Values->rgvarg[0]);
    next->Values->cArgs = 1;
  }
  EXPECT_EQ(1, dll.Entry()(block.Get(), task.Get()));
  EXPECT_EQ(0, block.At(0).ToInt());
  EXPECT_EQ(1, Variant::Copy(block->Next->Values->rgvarg[0]).ToInt());
  EXPECT_EQ(2, Variant::Copy(block->Next->Next->Values->rgvarg[0]).ToInt());

  const int destroyedBefore = HostBlock::DestroyedCount();
  block.SetName("clear");
  block->ErrorCode = 7;
  block->HasError = 1;
  EXPECT_EQ(0, dll.Entry()(block.Get(), task.Get()));
  // The two successors went through the host's own class record.
  EXPECT_EQ(destroyedBefore + 2, HostBlock::DestroyedCount());
  EXPECT_EQ(nullptr, block->Next);
  EXPECT_EQ(0u, block->Values->cArgs);
  EXPECT_EQ(0, block->ErrorCode);
  EXPECT_FALSE(block->HasError);
  EXPECT_EQ(VT_BSTR, V_VT(&block->ErrorDescription));
}

TEST(LibraryBlocks, OwnedListAddsInNaturalOrderAndRefusesPastCapacity) {
  TParams::Owned block = TParams::Create();
  EXPECT_EQ(&TParams::ClassRecord(), block->ClassRef);
  EXPECT_EQ(VT_BSTR, V_VT(&block->ErrorSource));
  EXPECT_EQ(0, block->Count());
  for (int i = 0; i < 20000; ++i) block->Add(Variant::FromInt(i).Get());
  EXPECT_EQ(20000, block->Count());
  EXPECT_EQ(19999, V_I4(&block->Values->rgvarg[19999]));
  block->Set(5, Variant::FromText(L"five").Get());
  EXPECT_EQ(L"five", block->Get(5).ToText());
  for (int i = 20000; i < RA03V_OWNED_SLOTS; ++i) block->Add(Variant::FromInt(i).Get());
  EXPECT_THROW(block->Add(Variant::FromInt(0).Get()), std::exception);
  EXPECT_EQ(RA03V_OWNED_SLOTS, block->Count());
  block->Clear();
  EXPECT_EQ(0, block->Count());
  block->Add(Variant::FromInt(1).Get());
  EXPECT_EQ(1, block->Get(0).ToInt());
}

TEST(LibraryBlocks, DestroyFreesAHostMadeSuccessorThroughItsOwnRecord) {
  TParams::Owned block = TParams::Create();
  block->AllocValues();
  const int before = HostBlock::DestroyedCount();
  block->Next = HostBlock::NewRaw();
  block.reset();
  EXPECT_EQ(before + 1, HostBlock::DestroyedCount());
}

TEST(LibraryBlocks, ErrorFlagFollowsTheCode) {
  TParams::Owned block = TParams::Create();
  EXPECT_TRUE(block->SetError(3));
  EXPECT_TRUE(block->HasError);
  EXPECT_FALSE(block->SetError(0));
  EXPECT_FALSE(block->HasError);
}

}  // namespace
}  // namespace ra03v::test

namespace ra03v::test {
namespace {

TEST(HostBlocks, AddGrowsAHostsOwnedListInPlace) {
  DllUnderTest dll(L"ra03v_probe.dll");
  HostBlock block;
  block.SetName("add");
  block.Add(Variant::FromInt(1).Get());
  block.Add(Variant::FromText(L"два").Get());
  EXPECT_EQ(1, dll.Entry()(block.Get(), nullptr));
  ASSERT_EQ(3, block.Count());
  EXPECT_EQ(L"два", block.At(2).ToText());
  // The list still belongs to the host: its own class record destroys it.
  EXPECT_EQ(1, block->OwnsValues);
}

}  // namespace
}  // namespace ra03v::test
