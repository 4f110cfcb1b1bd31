// The storage file as a host meets it in the shipping DLL: value arrays from
// "СоздатьПараметры", filled, saved and loaded by name and through their slots,
// against files built here byte by byte from the format.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/win/bstr.h"
#include "foundation/win/com_ptr.h"
#include "ra03v/value_array.h"
#include "storage_support.h"
#include "support/dispatch_caller.h"
#include "support/dll_under_test.h"

namespace ra03v::test {
namespace {

using ra03v_host::Value;

constexpr uint32_t kByRef = 0x4000;
constexpr uint32_t kVariantTable = 0x200C;

class StorageThroughDll : public ::testing::Test {
 protected:
  // Declared first so that it outlives every object the DLL hands out.
  DllUnderTest dll{L"ra03v.dll"};
  HostTask listTask{RA03V_TASK_CLASS_INTERNAL};
  std::wstring path = TempFileName(L"hoststore");

  ~StorageThroughDll() override { DeleteFileW(path.c_str()); }

  ComPtr<ISafeArray> NewTable(int rows, int columns) {
    ComPtr<ISafeArray> table = DriverValueArray(dll, listTask, rows, columns);
    EXPECT_TRUE(table) << "no value array from the driver";
    return table;
  }

  // Loads image by name into a fresh table that holds one marked cell; a failed
  // load must leave that table as it was. Gives the error text, "" on success.
  std::wstring Load(const std::string& image, ComPtr<ISafeArray>* loaded = nullptr) {
    WriteFileBytes(path, image);
    ComPtr<ISafeArray> target = NewTable(1, 1);
    if (!target) return L"<no table>";
    CallMethod(target.Get(), L"SetValue", {I4(0), I4(0), I4(99)});
    const DispatchOutcome outcome = CallMethod(target.Get(), L"LoadFromFile", {Text(path.c_str())});
    if (loaded) *loaded = target;
    if (outcome.hr == S_OK) return L"";
    EXPECT_EQ(DISP_E_EXCEPTION, outcome.hr);
    EXPECT_EQ(1000, outcome.scode);
    LONG x = 0, y = 0;
    target->GetBounds(&x, &y);
    Variant cell;
    target->GetValue(0, 0, cell.Put());
    EXPECT_TRUE(x == 1 && y == 1 && cell.Type() == VT_I4 && V_I4(&cell.Get()) == 99)
        << "a failed load changed the table";
    return outcome.description.empty() ? L"<no message>" : outcome.description;
  }

  static Variant Cell(ISafeArray* table, LONG x, LONG y) {
    Variant value;
    EXPECT_EQ(S_OK, table->GetValue(x, y, value.Put())) << x << "," << y;
    return value;
  }
};

// A SAFEARRAY of x by y VARIANT cells, each a by-reference VARIANT to targets.
SAFEARRAY* ByReferenceCells(LONG x, LONG y, std::vector<VARIANT>& targets) {
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(x), 0}, {static_cast<ULONG>(y), 0}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  VARIANT* cells = nullptr;
  SafeArrayAccessData(array, reinterpret_cast<void**>(&cells));
  for (LONG i = 0; i < x * y; ++i) {
    V_VT(&cells[i]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&cells[i]) = &targets[static_cast<size_t>(i)];
  }
  SafeArrayUnaccessData(array);
  return array;
}

TEST_F(StorageThroughDll, ByReferenceWordIsFollowedByTheValueItStandsFor) {
  ComPtr<ISafeArray> table;
  PayloadWriter payload;
  payload.Table(1, 3).Word(kByRef).Word(VT_I4).Int(5);
  payload.Word(kByRef).Word(kByRef).Word(VT_BSTR).Int(2).Raw(L"ab", 4);
  payload.Word(VT_R8).Double(2.5);
  ASSERT_EQ(L"", Load(MakeStorageFile(payload.Bytes()), &table));
  LONG x = 0, y = 0;
  table->GetBounds(&x, &y);
  ASSERT_EQ(1, x);
  ASSERT_EQ(3, y);
  const Variant first = Cell(table.Get(), 0, 0);
  ASSERT_EQ(VT_I4, first.Type());
  EXPECT_EQ(5, V_I4(&first.Get()));
  const Variant second = Cell(table.Get(), 0, 1);
  ASSERT_EQ(VT_BSTR, second.Type());
  EXPECT_EQ(L"ab", second.ToText());
  const Variant third = Cell(table.Get(), 0, 2);
  ASSERT_EQ(VT_R8, third.Type());
  EXPECT_EQ(2.5, V_R8(&third.Get()));

  // Files of earlier builds wrote VT_BYREF | VT_VARIANT; they load as before.
  PayloadWriter legacy;
  legacy.Table(1, 2).Word(0x400C).Word(VT_I4).Int(9).Word(VT_I2).Raw("\x07\x00", 2);
  ASSERT_EQ(L"", Load(MakeStorageFile(legacy.Bytes()), &table));
  EXPECT_EQ(9, Cell(table.Get(), 0, 0).ToInt());
  EXPECT_EQ(7, Cell(table.Get(), 0, 1).ToInt());
}

TEST_F(StorageThroughDll, ByReferenceCellsAreSavedAsTheWrapperWord) {
  // The referenced values outlive the table that points at them.
  std::vector<VARIANT> targets(2);
  V_VT(&targets[0]) = VT_I4;
  V_I4(&targets[0]) = 77;
  targets[1] = Text(L"ref");
  ComPtr<ISafeArray> table = NewTable(0, 0);
  ASSERT_TRUE(table);
  ASSERT_EQ(S_OK, table->SetPSA(ByReferenceCells(2, 1, targets)));
  ASSERT_EQ(S_OK, CallMethod(table.Get(), L"SaveToFile", {Text(path.c_str())}).hr);

  PayloadWriter expected;
  expected.Table(2, 1).Word(kByRef).Word(VT_I4).Int(77);
  expected.Word(kByRef).Word(VT_BSTR).Int(3).Raw(L"ref", 6);
  EXPECT_EQ(expected.Bytes(), PlainPayload(ReadFileBytes(path)));

  ComPtr<ISafeArray> loaded = NewTable(0, 0);
  ASSERT_EQ(S_OK, CallMethod(loaded.Get(), L"LoadFromFile", {Text(path.c_str())}).hr);
  EXPECT_EQ(77, Cell(loaded.Get(), 0, 0).ToInt());
  EXPECT_EQ(L"ref", Cell(loaded.Get(), 1, 0).ToText());
}

TEST_F(StorageThroughDll, SetValueByNameRefusesOtherByReferenceTypesBeforeStoring) {
  ComPtr<ISafeArray> table = NewTable(2, 2);
  ASSERT_TRUE(table);
  ASSERT_EQ(S_OK, CallMethod(table.Get(), L"SetValue", {I4(0), I4(0), Text(L"было")}).hr);
  SHORT small = 5;
  VARIANT refI2;
  V_VT(&refI2) = VT_BYREF | VT_I2;
  V_I2REF(&refI2) = &small;

  DispatchOutcome call = CallMethod(table.Get(), L"SetValue", {I4(0), I4(0), refI2});
  EXPECT_EQ(DISP_E_EXCEPTION, call.hr);
  EXPECT_EQ(1000, call.scode);
  EXPECT_EQ(L"Ошибка типа параметра. 16386", call.description);
  EXPECT_EQ(L"было", Cell(table.Get(), 0, 0).ToText()) << "the cell was stored anyway";
  // A row with such a value anywhere stores none of its cells.
  call = CallMethod(table.Get(), L"SetRowValues", {I4(1), Text(L"a"), refI2});
  EXPECT_EQ(L"Ошибка типа параметра. 16386", call.description);
  EXPECT_EQ(VT_EMPTY, Cell(table.Get(), 1, 0).Type());
  EXPECT_EQ(5, small);

  // The by-reference types that may be stored are stored dereferenced, and the
  // call succeeds; indexes may come by reference too.
  DATE when = 45000.25;
  VARIANT refDate;
  V_VT(&refDate) = VT_BYREF | VT_DATE;
  V_DATEREF(&refDate) = &when;
  call = CallMethod(table.Get(), L"SetValue", {I4(1), I4(1), refDate});
  EXPECT_EQ(S_OK, call.hr) << call.description;
  const Variant date = Cell(table.Get(), 1, 1);
  ASSERT_EQ(VT_DATE, date.Type());
  EXPECT_EQ(45000.25, V_DATE(&date.Get()));
  LONG row = 1, number = 12;
  VARIANT text = Text(L"через ссылку");
  call = CallMethod(table.Get(), L"SetRowValues", {RefI4(&row), RefI4(&number), RefVariant(&text)});
  EXPECT_EQ(S_OK, call.hr) << call.description;
  EXPECT_EQ(12, Cell(table.Get(), 1, 0).ToInt());
  EXPECT_EQ(L"через ссылку", Cell(table.Get(), 1, 1).ToText());
  EXPECT_EQ(1, row);
}

// The limits of a stored value, the same for saving and loading.
constexpr int kLevels = 64;
constexpr int kObjects = 16384;
constexpr int kCells = 8 * 1024 * 1024;
constexpr int kBytes = 256 * 1024 * 1024;
const std::wstring kSaveLimit = L"Таблица превышает пределы хранилища: ";
const std::wstring kLoadLimit = L"Хранилище превышает пределы загрузки: ";

std::wstring More(const wchar_t* what, int limit) {
  return std::wstring(what) + L" более " + std::to_wstring(limit);
}

// A file the library can neither make nor read; saves that are refused must
// leave it as it is.
constexpr char kUntouched[] = "untouched";

class StorageLimits : public StorageThroughDll {
 protected:
  // Saves table by name; gives the error text, "" on success. A refused save
  // writes nothing.
  std::wstring Save(ISafeArray* table) {
    WriteFileBytes(path, kUntouched);
    const DispatchOutcome outcome = CallMethod(table, L"SaveToFile", {Text(path.c_str())});
    if (outcome.hr == S_OK) return L"";
    EXPECT_EQ(kUntouched, ReadFileBytes(path)) << "a refused save wrote the file";
    return outcome.description.empty() ? L"<no message>" : outcome.description;
  }
  // Puts object into cell (x, y) of table.
  static void PutObject(ISafeArray* table, LONG x, LONG y, ISafeArray* object) {
    VARIANT value;
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = object;
    ASSERT_EQ(S_OK, table->SetValue(x, y, value));
  }
};

TEST_F(StorageLimits, NestingSavesAndLoadsToTheSameDepth) {
  // A chain of tables, each in the first cell of the one before: the cells of
  // the k-th table (the outer one is the 1st) lie k levels down.
  auto chain = [&](int tables) {
    std::vector<ComPtr<ISafeArray>> links;
    for (int i = 0; i < tables; ++i) links.push_back(NewTable(1, 1));
    for (int i = tables - 1; i > 0; --i) PutObject(links[i - 1].Get(), 0, 0, links[i].Get());
    links.back()->SetValue(0, 0, Text(L"дно"));
    return links;
  };
  {
    auto links = chain(kLevels);
    ASSERT_EQ(L"", Save(links.front().Get()));
  }
  ComPtr<ISafeArray> loaded = NewTable(0, 0);
  ASSERT_EQ(S_OK, CallMethod(loaded.Get(), L"LoadFromFile", {Text(path.c_str())}).hr);
  for (int level = 1; level < kLevels; ++level) {
    const Variant link = Cell(loaded.Get(), 0, 0);
    ASSERT_EQ(VT_DISPATCH, link.Type()) << level;
    ComPtr<ISafeArray> next;
    ASSERT_EQ(S_OK, V_DISPATCH(&link.Get())->QueryInterface(RA03V_IID_ISafeArray, next.PutVoid()));
    loaded = next;
  }
  EXPECT_EQ(L"дно", Cell(loaded.Get(), 0, 0).ToText());
  {
    auto links = chain(kLevels + 1);
    EXPECT_EQ(kSaveLimit + More(L"уровней вложенности", kLevels), Save(links.front().Get()));
  }

  // The same depth in a file: one more level is refused, as on saving.
  auto nested = [](int tables) {
    PayloadWriter payload;
    for (int i = 0; i < tables; ++i) payload.Table(1, 1);
    payload.Word(VT_NULL);
    return MakeStorageFile(payload.Bytes());
  };
  EXPECT_EQ(L"", Load(nested(kLevels)));
  EXPECT_EQ(kLoadLimit + More(L"уровней вложенности", kLevels), Load(nested(kLevels + 1)));
}

TEST_F(StorageLimits, ObjectsAreCountedAlikeOnBothSides) {
  // Saving one table in many cells writes it many times; each loads as an object.
  ComPtr<ISafeArray> table = NewTable(1, kObjects);
  ComPtr<ISafeArray> inner = NewTable(1, 1);
  for (LONG y = 0; y < kObjects - 1; ++y) PutObject(table.Get(), 0, y, inner.Get());
  ASSERT_EQ(L"", Save(table.Get()));
  ComPtr<ISafeArray> loaded = NewTable(0, 0);
  ASSERT_EQ(S_OK, CallMethod(loaded.Get(), L"LoadFromFile", {Text(path.c_str())}).hr);
  EXPECT_EQ(VT_DISPATCH, Cell(loaded.Get(), 0, kObjects - 2).Type());
  loaded.Reset();
  PutObject(table.Get(), 0, kObjects - 1, inner.Get());
  EXPECT_EQ(kSaveLimit + More(L"двумерных массивов", kObjects), Save(table.Get()));

  // A small file of empty two-dimensional arrays, one more than the budget.
  auto emptyTables = [](int count) {
    PayloadWriter payload;
    payload.Table(1, 1).Word(0x2000 | VT_VARIANT).Int(1).Int(0).Int(count - 1);
    for (int i = 0; i < count; ++i) payload.Word(kVariantTable).Int(2).Int(0).Int(0).Int(-1).Int(-1);
    return MakeStorageFile(payload.Bytes());
  };
  EXPECT_EQ(kLoadLimit + More(L"двумерных массивов", kObjects), Load(emptyTables(kObjects)));
  ASSERT_EQ(L"", Load(emptyTables(kObjects - 1), &loaded));
  const Variant list = Cell(loaded.Get(), 0, 0);
  ASSERT_EQ(VT_ARRAY | VT_VARIANT, list.Type());
  LONG high = 0;
  SafeArrayGetUBound(V_ARRAY(&list.Get()), 1, &high);
  EXPECT_EQ(kObjects - 2, high);
}

TEST_F(StorageLimits, CellsAreCountedAlikeOnBothSides) {
  {
    ComPtr<ISafeArray> table = NewTable(2048, kCells / 2048);
    ASSERT_TRUE(table);
    table->SetValue(2047, kCells / 2048 - 1, I4(1));
    ASSERT_EQ(L"", Save(table.Get()));
  }
  {
    ComPtr<ISafeArray> loaded = NewTable(0, 0);
    ASSERT_EQ(S_OK, CallMethod(loaded.Get(), L"LoadFromFile", {Text(path.c_str())}).hr);
    EXPECT_EQ(1, Cell(loaded.Get(), 2047, kCells / 2048 - 1).ToInt());
  }
  {
    ComPtr<ISafeArray> table = NewTable(2049, kCells / 2048);
    EXPECT_EQ(kSaveLimit + More(L"ячеек", kCells), Save(table.Get()));
  }
  // Cells of all arrays count together: two lists of half the budget each,
  // beside the table's own two cells.
  PayloadWriter payload;
  payload.Table(1, 2);
  for (int list = 0; list < 2; ++list) {
    payload.Word(0x2000 | VT_VARIANT).Int(1).Int(0).Int(kCells / 2 - 1);
    const std::string empties(size_t{4} * (kCells / 2), '\0');
    payload.Raw(empties.data(), empties.size());
  }
  EXPECT_EQ(kLoadLimit + More(L"ячеек", kCells), Load(MakeStorageFile(payload.Bytes())));
}

TEST_F(StorageLimits, BytesAndPayloadAreCountedAlikeOnBothSides) {
  // A host's table holding one byte list a byte over the budget.
  {
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, kBytes + 1);
    ASSERT_TRUE(bytes);
    SAFEARRAYBOUND one[2] = {{1, 0}, {1, 0}};
    SAFEARRAY* cells = SafeArrayCreate(VT_VARIANT, 2, one);
    LONG origin[2] = {0, 0};
    VARIANT* cell = nullptr;
    SafeArrayPtrOfIndex(cells, origin, reinterpret_cast<void**>(&cell));
    V_VT(cell) = VT_ARRAY | VT_UI1;
    V_ARRAY(cell) = bytes;
    ComPtr<ISafeArray> table = NewTable(0, 0);
    ASSERT_EQ(S_OK, table->SetPSA(cells));
    EXPECT_EQ(kSaveLimit + More(L"байт в строках и массивах", kBytes), Save(table.Get()));
  }
  // A string of exactly the budget is allowed, but with its words the payload
  // grows beyond what loading accepts.
  {
    ComPtr<ISafeArray> table = NewTable(1, 1);
    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocStringLen(nullptr, kBytes / 2);
    ASSERT_TRUE(V_BSTR(&text));
    wmemset(V_BSTR(&text), L'ж', kBytes / 2);
    const HRESULT stored = table->SetValue(0, 0, text);
    VariantClear(&text);
    ASSERT_EQ(S_OK, stored);
    EXPECT_EQ(kSaveLimit + More(L"байт данных до сжатия", kBytes), Save(table.Get()));
  }
  // 8-bit strings load as wide ones, twice their stored size.
  PayloadWriter payload;
  payload.Table(1, 2);
  const std::string half(kBytes / 4 + 1, 'a');
  for (int i = 0; i < 2; ++i) payload.Word(256).Int(static_cast<int32_t>(half.size())).Raw(half.data(), half.size());
  EXPECT_EQ(kLoadLimit + More(L"байт в строках и массивах", kBytes),
            Load(MakeStorageFile(payload.Bytes())));
}

}  // namespace
}  // namespace ra03v::test
