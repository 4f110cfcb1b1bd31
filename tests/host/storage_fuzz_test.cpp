// Deterministic fuzzing of the storage file reader in the shipping DLL: files
// the DLL saved, and a few built here, are mutated (bytes flipped, cut,
// duplicated) with the header recomputed, so that the damage reaches the
// decoder. Every load either fails with a known message and leaves the table as
// it was, or succeeds with exactly the cells an independent reading finds.
#include <gtest/gtest.h>

#include <random>

#include "foundation/win/com_ptr.h"
#include "ra03v/value_array.h"
#include "storage_reference.h"
#include "storage_support.h"
#include "support/dispatch_caller.h"
#include "support/dll_under_test.h"

namespace ra03v::test {
namespace {

using ra03v_host::Value;

const wchar_t* const kKnownMessages[] = {
    L"Хранилище повреждено - неверный размер файла",
    L"Файл не является хранилищем ISafeArray",
    L"Неверная версия хранилища",
    L"Хранилище повреждено - неверная контрольная сумма данных",
    L"Ошибка распаковки данных",
    L"Ошибка чтения потока. ",
    L"Неподдерживаемый тип данных.\r\nТип данных=",
    L"Хранилище превышает пределы загрузки: ",
};

bool IsKnownMessage(const std::wstring& text) {
  for (const wchar_t* known : kKnownMessages)
    if (text.rfind(known, 0) == 0) return true;
  return false;
}

class StorageFuzz : public ::testing::Test {
 public:
  // Declared first so that it outlives every object the DLL hands out.
  DllUnderTest dll{L"ra03v.dll"};
  HostTask listTask{RA03V_TASK_CLASS_INTERNAL};
  std::wstring path = TempFileName(L"fuzz");

  ~StorageFuzz() override { DeleteFileW(path.c_str()); }

  ComPtr<ISafeArray> NewTable(int rows, int columns) {
    return DriverValueArray(dll, listTask, rows, columns);
  }

  std::string Saved(ISafeArray* table) {
    EXPECT_EQ(S_OK, CallMethod(table, L"SaveToFile", {Text(path.c_str())}).hr);
    return ReadFileBytes(path);
  }

  // Files the DLL saved from tables that between them use every encoding it
  // writes, and files built by hand with what it only reads.
  std::vector<std::string> SeedFiles() {
    std::vector<std::string> seeds;
    ComPtr<ISafeArray> table = NewTable(4, 3);
    table->SetValue(0, 0, Text(L"строка"));
    table->SetValue(0, 1, I4(-7));
    VARIANT number;
    V_VT(&number) = VT_R8;
    V_R8(&number) = 2.5;
    table->SetValue(1, 0, number);
    VARIANT date;
    V_VT(&date) = VT_DATE;
    V_DATE(&date) = 45000.5;
    table->SetValue(1, 1, date);
    VARIANT null;
    V_VT(&null) = VT_NULL;
    table->SetValue(2, 0, null);
    ComPtr<ISafeArray> inner = NewTable(2, 2);
    inner->SetValue(1, 1, Text(L"x"));
    VARIANT object;
    V_VT(&object) = VT_DISPATCH;
    V_DISPATCH(&object) = inner.Get();
    table->SetValue(2, 1, object);
    SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 5);
    VARIANT numbersValue;
    V_VT(&numbersValue) = VT_ARRAY | VT_I4;
    V_ARRAY(&numbersValue) = numbers;
    table->SetValue(3, 2, numbersValue);
    SafeArrayDestroy(numbers);
    SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 1, 2);
    LONG second = 2;
    BSTR word = SysAllocString(L"два");
    SafeArrayPutElement(texts, &second, word);
    SysFreeString(word);
    VARIANT textsValue;
    V_VT(&textsValue) = VT_ARRAY | VT_BSTR;
    V_ARRAY(&textsValue) = texts;
    table->SetValue(3, 0, textsValue);
    SafeArrayDestroy(texts);
    // A by-reference cell, as a host's own array may hold one.
    static VARIANT referenced;
    V_VT(&referenced) = VT_I2;
    V_I2(&referenced) = 300;
    SAFEARRAYBOUND one[2] = {{1, 0}, {2, 0}};
    SAFEARRAY* cells = SafeArrayCreate(VT_VARIANT, 2, one);
    LONG origin[2] = {0, 0};
    VARIANT* cell = nullptr;
    SafeArrayPtrOfIndex(cells, origin, reinterpret_cast<void**>(&cell));
    V_VT(cell) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(cell) = &referenced;
    ComPtr<ISafeArray> byReference = NewTable(0, 0);
    byReference->SetPSA(cells);
    V_DISPATCH(&object) = byReference.Get();
    table->SetValue(3, 1, object);
    seeds.push_back(Saved(table.Get()));

    // A byte table, stored as raw memory.
    WriteFileBytes(path, "\x01\x02\x03\x04\x05\x06");
    ComPtr<ISafeArray> bytes = NewTable(0, 0);
    CallMethod(bytes.Get(), L"LoadFromFileAsStream", {Text(path.c_str())});
    seeds.push_back(Saved(bytes.Get()));

    // What the DLL reads but does not write: 8-bit strings, the old wrapper
    // word, lower bounds other than 0, three dimensions, types without bytes.
    PayloadWriter payload;
    payload.Word(0x200C).Int(2).Int(0).Int(1).Int(1).Int(3);
    payload.Word(256).Int(3).Raw("\xC0\xE1\xE2", 3);
    payload.Word(0x400C).Word(VT_UI1).Raw("\x2A", 1);
    payload.Word(0x2003).Int(3).Int(0).Int(0).Int(0).Int(1).Int(0).Int(0).Int(8);
    payload.Raw("\x01\0\0\0\x02\0\0\0", 8);
    payload.Word(VT_I1).Word(0x4000).Word(VT_DECIMAL).Word(VT_NULL);
    seeds.push_back(MakeStorageFile(payload.Bytes()));
    return seeds;
  }
};

std::string Mutate(std::string bytes, std::mt19937& random) {
  if (bytes.empty()) return bytes;
  auto pick = [&](size_t limit) { return std::uniform_int_distribution<size_t>(0, limit)(random); };
  const int edits = 1 + static_cast<int>(pick(3));
  for (int e = 0; e < edits && !bytes.empty(); ++e) {
    switch (pick(3)) {
      case 0:  // flip bits
        bytes[pick(bytes.size() - 1)] ^= static_cast<char>(1 + pick(254));
        break;
      case 1:  // set a whole word to a large or telling value
      {
        const size_t at = pick(bytes.size() - 1);
        const uint32_t values[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x4000u,
                                   0x400Cu,     0x200Cu,     0x2011u,     0};
        const uint32_t value = values[pick(7)];
        for (size_t i = 0; i < 4 && at + i < bytes.size(); ++i)
          bytes[at + i] = static_cast<char>(value >> (8 * i));
        break;
      }
      case 2:  // cut
        bytes.resize(pick(bytes.size() - 1));
        break;
      default: {  // duplicate a range
        const size_t from = pick(bytes.size() - 1);
        const size_t length = pick(std::min<size_t>(64, bytes.size() - from));
        bytes.insert(pick(bytes.size()), bytes.substr(from, length));
      }
    }
  }
  return bytes;
}

// Loads image into a fresh table holding one marked cell. A load that succeeds
// must hold what the independent reading finds; one that fails must give a
// known message and leave the table as it was. Gives whether it loaded.
bool LoadAndCheck(StorageFuzz& fuzz, const std::string& image, int round);

TEST_F(StorageFuzz, EveryLoadMatchesAnIndependentReadingOrChangesNothing) {
  const std::vector<std::string> seeds = SeedFiles();
  for (const std::string& seed : seeds) ASSERT_TRUE(LoadAndCheck(*this, seed, -1));
  std::mt19937 random(20261208);
  int loaded = 0, failed = 0;
  for (int round = 0; round < 3000 && !HasFatalFailure(); ++round) {
    const std::string& seed = seeds[round % seeds.size()];
    std::string image;
    if (round % 4 == 3) {
      // The raw file, with the header recomputed only half of the time.
      image = Mutate(seed, random);
      if (image.size() >= 31 && round % 8 == 3) FixHeader(image);
    } else {
      // The decompressed payload: recompressed so the decoder sees the damage.
      image = MakeStorageFile(Mutate(PlainPayload(seed), random));
    }
    (LoadAndCheck(*this, image, round) ? loaded : failed) += 1;
  }
  // Both outcomes occur, so the rounds reach deep into the decoder.
  EXPECT_GT(loaded, 50);
  EXPECT_GT(failed, 50);
}

bool LoadAndCheck(StorageFuzz& fuzz, const std::string& image, int round) {
  WriteFileBytes(fuzz.path, image);
  ComPtr<ISafeArray> table = fuzz.NewTable(1, 1);
  EXPECT_TRUE(table);
  if (!table) return false;
  table->SetValue(0, 0, I4(99));
  SAFEARRAY* before = nullptr;
  table->GetPSA(&before);
  const DispatchOutcome outcome =
      CallMethod(table.Get(), L"LoadFromFile", {Text(fuzz.path.c_str())});
  if (outcome.hr == S_OK) {
    StoredValue expected;
    std::string why;
    EXPECT_TRUE(ReadStoredTable(image, expected, why))
        << "round " << round << ": the DLL loaded a file the format refuses: " << why;
    if (why.empty()) {
      EXPECT_EQ("", CompareWithTable(expected, table.Get())) << "round " << round;
    }
    return true;
  }
  EXPECT_TRUE(IsKnownMessage(outcome.description)) << "round " << round;
  // The table is the one it was: same array, counts and cell.
  SAFEARRAY* after = nullptr;
  table->GetPSA(&after);
  LONG x = 0, y = 0;
  table->GetBounds(&x, &y);
  Variant cell;
  table->GetValue(0, 0, cell.Put());
  EXPECT_TRUE(after == before && x == 1 && y == 1 && cell.Type() == VT_I4 &&
              V_I4(&cell.Get()) == 99)
      << "round " << round << ": a failed load changed the table";
  return false;
}

}  // namespace
}  // namespace ra03v::test
