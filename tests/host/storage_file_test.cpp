// The storage file through the value array object: every supported type saved
// and loaded back, the five storage errors in their order, damaged and hostile
// payloads, and the raw byte stream members.
#include <gtest/gtest.h>

#include <cstring>

#include "foundation/text_codec.h"
#include "foundation/win/bstr.h"
#include "foundation/win/safe_array.h"
#include "host/auto_object.h"
#include "host/class_factory.h"
#include "host/memory_stream.h"
#include "host/value_storage.h"
#include "storage_support.h"
#include "support/dispatch_caller.h"

namespace ra03v::test {
namespace {

class TOtherObject : public TBaseAutoObject {};

std::wstring ErrorOf(HRESULT hr) {
  if (SUCCEEDED(hr)) return L"<success>";
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK) return L"<no error info>";
  BSTR text = nullptr;
  info->GetDescription(&text);
  std::wstring result = text ? text : L"";
  SysFreeString(text);
  return result;
}

VARIANT Typed(VARTYPE type, const void* data, size_t size) {
  VARIANT v;
  VariantInit(&v);
  std::memcpy(&V_UI1(&v), data, size);
  V_VT(&v) = type;
  return v;
}

// Compares kind and content; objects are compared as tables.
void ExpectSame(const VARIANT& expected, const VARIANT& actual, const std::string& where);

void ExpectSameTable(ISafeArray* expected, ISafeArray* actual, const std::string& where) {
  LONG ex = 0, ey = 0, ax = 0, ay = 0;
  expected->GetBounds(&ex, &ey);
  actual->GetBounds(&ax, &ay);
  ASSERT_EQ(ex, ax) << where;
  ASSERT_EQ(ey, ay) << where;
  for (LONG x = 0; x < ex; ++x)
    for (LONG y = 0; y < ey; ++y) {
      Variant e, a;
      ASSERT_EQ(S_OK, expected->GetValue(x, y, e.Put()));
      ASSERT_EQ(S_OK, actual->GetValue(x, y, a.Put()));
      ExpectSame(e.Get(), a.Get(), where + " cell " + std::to_string(x) + "," + std::to_string(y));
    }
}

void ExpectSame(const VARIANT& expected, const VARIANT& actual, const std::string& where) {
  ASSERT_EQ(V_VT(&expected), V_VT(&actual)) << where;
  switch (V_VT(&expected)) {
    case VT_EMPTY:
    case VT_NULL:
      return;
    case VT_ERROR:
      EXPECT_EQ(V_ERROR(&expected), V_ERROR(&actual)) << where;
      return;
    case VT_DISPATCH: {
      ComPtr<ISafeArray> e, a;
      ASSERT_EQ(S_OK, V_DISPATCH(&expected)->QueryInterface(RA03V_IID_ISafeArray, e.PutVoid()));
      ASSERT_EQ(S_OK, V_DISPATCH(&actual)->QueryInterface(RA03V_IID_ISafeArray, a.PutVoid()));
      ExpectSameTable(e.Get(), a.Get(), where);
      return;
    }
    default: {
      const HRESULT compared = VarCmp(const_cast<VARIANT*>(&expected),
                                      const_cast<VARIANT*>(&actual), LOCALE_USER_DEFAULT, 0);
      // Some unsigned types cannot be compared directly: compare their texts.
      if (compared == DISP_E_TYPEMISMATCH || compared == DISP_E_BADVARTYPE)
        EXPECT_EQ(Variant::Copy(expected).ToText(), Variant::Copy(actual).ToText()) << where;
      else
        EXPECT_EQ(VARCMP_EQ, compared) << where;
    }
  }
}

class StorageFile : public ::testing::Test {
 protected:
  ComPtr<ISafeArray> table = CreateValueArray();
  std::wstring path = TempFileName(L"storage");
  ~StorageFile() override { DeleteFileW(path.c_str()); }

  Bstr Path() { return Bstr::Copy(path); }
  // Loads file into a fresh object marked with one known cell; returns the error text.
  std::wstring LoadImage(const std::string& image) {
    WriteFileBytes(path, image);
    ComPtr<ISafeArray> target = CreateValueArray();
    target->SetBounds(1, 1);
    target->SetValue(0, 0, I4(99));
    VARIANT_BOOL ok = VARIANT_TRUE;
    const std::wstring error = ErrorOf(target->LoadFromFile(Path().Get(), &ok));
    LONG x = 0, y = 0;
    target->GetBounds(&x, &y);
    Variant cell;
    target->GetValue(0, 0, cell.Put());
    if (error != L"<success>") {
      EXPECT_EQ(VARIANT_FALSE, ok);
      EXPECT_TRUE(x == 1 && y == 1 && cell.ToInt() == 99) << "a failed load changed the table";
    }
    return error;
  }
  std::string SavedImage() {
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, table->SaveToFile(Path().Get(), &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    return ReadFileBytes(path);
  }
};

TEST(StorageChecksum, MatchesTheFormatsReferenceValue) {
  EXPECT_EQ(0xCA6598D0u, StorageChecksum("abc", 3));
  EXPECT_EQ(0u, StorageChecksum("", 0));
}

TEST_F(StorageFile, EveryTypeSurvivesARoundTrip) {
  ComPtr<ISafeArray> nested = CreateValueArray();
  nested->SetBounds(2, 1);
  nested->SetValue(1, 0, Text(L"внутри"));
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  SafeArray plain2d = SafeArray::Attach(SafeArrayCreate(VT_VARIANT, 2, bounds));
  LONG index[2] = {1, 0};
  VARIANT inner = Text(L"plain");
  SafeArrayPutElement(plain2d.Get(), index, &inner);
  SafeArray doubles = SafeArray::Vector(VT_R8, 3, 2);
  {
    SafeArrayLock<double> lock(doubles.Get());
    lock[3] = 1.25;
    lock[4] = -7e300;
  }
  SafeArray strings = SafeArray::Vector(VT_BSTR, 0, 2);
  {
    SafeArrayLock<BSTR> lock(strings.Get());
    lock[1] = SysAllocString(L"второй");
  }

  const int16_t i2 = -1234;
  const int32_t i4 = -123456789;
  const float r4 = 3.5f;
  const double r8 = 0.1;
  const int64_t cy = 123456789012LL;
  const DATE date = 45292.75;  // 1 January 2024, 18:00
  const int16_t boolTrue = VARIANT_TRUE;
  const uint8_t ui1 = 250;
  const uint16_t ui2 = 65000;
  const uint32_t ui4 = 4000000000u;
  const int64_t i8 = -9000000000000LL;
  const SCODE error = DISP_E_PARAMNOTFOUND;
  VARIANT nullValue;
  V_VT(&nullValue) = VT_NULL;
  VARIANT nestedValue;
  V_VT(&nestedValue) = VT_DISPATCH;
  V_DISPATCH(&nestedValue) = nested.Get();
  VARIANT plainValue;
  V_VT(&plainValue) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&plainValue) = plain2d.Get();
  VARIANT doublesValue;
  V_VT(&doublesValue) = VT_ARRAY | VT_R8;
  V_ARRAY(&doublesValue) = doubles.Get();
  VARIANT stringsValue;
  V_VT(&stringsValue) = VT_ARRAY | VT_BSTR;
  V_ARRAY(&stringsValue) = strings.Get();

  const VARIANT cells[] = {
      Text(L"Съешь ещё этих мягких французских булок"),
      Text(L""),
      Typed(VT_I2, &i2, 2),
      Typed(VT_I4, &i4, 4),
      Typed(VT_R4, &r4, 4),
      Typed(VT_R8, &r8, 8),
      Typed(VT_CY, &cy, 8),
      Typed(VT_DATE, &date, 8),
      Typed(VT_BOOL, &boolTrue, 2),
      Typed(VT_UI1, &ui1, 1),
      Typed(VT_UI2, &ui2, 2),
      Typed(VT_UI4, &ui4, 4),
      Typed(VT_I8, &i8, 8),
      Typed(VT_ERROR, &error, 4),
      Variant().Get(),
      nullValue,
      nestedValue,
      doublesValue,
      stringsValue,
  };
  const LONG count = static_cast<LONG>(std::size(cells));
  ASSERT_EQ(S_OK, table->SetBounds(count, 2));
  for (LONG i = 0; i < count; ++i) ASSERT_EQ(S_OK, table->SetValue(i, 1, cells[i])) << i;
  ASSERT_EQ(S_OK, table->SetValue(0, 0, plainValue));
  SavedImage();

  ComPtr<ISafeArray> loaded = CreateValueArray();
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(S_OK, loaded->LoadFromFile(Path().Get(), &ok));
  EXPECT_EQ(VARIANT_TRUE, ok);
  LONG x = 0, y = 0;
  loaded->GetBounds(&x, &y);
  ASSERT_EQ(count, x);
  ASSERT_EQ(2, y);
  for (LONG i = 0; i < count - 2; ++i) {
    Variant value;
    ASSERT_EQ(S_OK, loaded->GetValue(i, 1, value.Put()));
    ExpectSame(cells[i], value.Get(), "cell " + std::to_string(i));
  }
  // One-dimensional arrays stay arrays, bulk and element by element alike.
  for (LONG i = count - 2; i < count; ++i) {
    Variant value;
    ASSERT_EQ(S_OK, loaded->GetValue(i, 1, value.Put()));
    ASSERT_EQ(V_VT(&cells[i]), value.Type());
    LONG low = 0;
    SafeArrayGetLBound(V_ARRAY(&value.Get()), 1, &low);
    EXPECT_EQ(i == count - 2 ? 3 : 0, low);
  }
  Variant loadedDoubles, loadedStrings;
  loaded->GetValue(count - 2, 1, loadedDoubles.Put());
  loaded->GetValue(count - 1, 1, loadedStrings.Put());
  SafeArrayLock<double> d(V_ARRAY(&loadedDoubles.Get()));
  EXPECT_EQ(1.25, d[3]);
  EXPECT_EQ(-7e300, d[4]);
  SafeArrayLock<BSTR> s(V_ARRAY(&loadedStrings.Get()));
  EXPECT_EQ(0u, SysStringLen(s[0]));
  EXPECT_EQ(std::wstring(L"второй"), s[1]);
  // A plain two-dimensional array comes back as a value array object.
  Variant fromPlain;
  ASSERT_EQ(S_OK, loaded->GetValue(0, 0, fromPlain.Put()));
  ASSERT_EQ(VT_DISPATCH, fromPlain.Type());
  ComPtr<ISafeArray> asTable;
  ASSERT_EQ(S_OK,
            V_DISPATCH(&fromPlain.Get())->QueryInterface(RA03V_IID_ISafeArray, asTable.PutVoid()));
  Variant plainCell;
  ASSERT_EQ(S_OK, asTable->GetValue(1, 0, plainCell.Put()));
  EXPECT_EQ(L"plain", plainCell.ToText());
}

TEST_F(StorageFile, ValuesWithoutStoredBytesAndStringsWithZeros) {
  ASSERT_EQ(S_OK, table->SetBounds(3, 1));
  VARIANT cut;
  V_VT(&cut) = VT_BSTR;
  V_BSTR(&cut) = SysAllocStringLen(L"ab\0cd", 5);
  ASSERT_EQ(S_OK, table->SetValue(0, 0, cut));
  VariantClear(&cut);
  // Decimal and signed byte have no bytes in the format; they are kept as numbers.
  Variant decimal;
  VARIANT source = Variant::FromDouble(12.375).Get();
  ASSERT_EQ(S_OK, VariantChangeType(decimal.Put(), &source, 0, VT_DECIMAL));
  ASSERT_EQ(S_OK, table->SetValue(1, 0, decimal.Get()));
  VARIANT signedByte;
  V_VT(&signedByte) = VT_I1;
  V_I1(&signedByte) = -5;
  ASSERT_EQ(S_OK, table->SetValue(2, 0, signedByte));
  SavedImage();
  ComPtr<ISafeArray> loaded = CreateValueArray();
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(S_OK, loaded->LoadFromFile(Path().Get(), &ok));
  Variant a, b, c;
  loaded->GetValue(0, 0, a.Put());
  loaded->GetValue(1, 0, b.Put());
  loaded->GetValue(2, 0, c.Put());
  EXPECT_EQ(L"ab", a.ToText());
  EXPECT_EQ(12.375, b.ToDouble());
  EXPECT_EQ(-5, c.ToInt());
}

TEST_F(StorageFile, ObjectsThatAreNotTablesCannotBeSaved) {
  ASSERT_EQ(S_OK, table->SetBounds(1, 1));
  ComPtr<TOtherObject> other = TBaseAutoObject::Make<TOtherObject>();
  VARIANT object;
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = other.Get();
  ASSERT_EQ(S_OK, table->SetValue(0, 0, object));
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_EQ(L"Неподдерживаемый тип данных.\r\nТип данных=9\r\nПредставление: (Объект)",
            ErrorOf(table->SaveToFile(Path().Get(), &ok)));
  EXPECT_EQ(VARIANT_FALSE, ok);
  // Through IDispatch the same failure is code 1000.
  DispatchOutcome call = CallMethod(table.Get(), L"SaveToFile", {Text(path.c_str())});
  EXPECT_EQ(DISP_E_EXCEPTION, call.hr);
  EXPECT_EQ(1000, call.scode);

  // A table that holds itself ends in the nesting limit, not in endless recursion.
  VARIANT self;
  V_VT(&self) = VT_DISPATCH;
  V_DISPATCH(&self) = table.Get();
  ASSERT_EQ(S_OK, table->SetValue(0, 0, self));
  EXPECT_EQ(L"Таблица превышает пределы хранилища: уровней вложенности более 64",
            ErrorOf(table->SaveToFile(Path().Get(), &ok)));
  ASSERT_EQ(S_OK, table->SetValue(0, 0, Variant().Get()));
}

TEST_F(StorageFile, DamagedFilesFailInTheFixedOrder) {
  table->SetBounds(2, 2);
  table->SetValue(1, 1, Text(L"данные"));
  const std::string good = SavedImage();
  ASSERT_EQ(L"<success>", LoadImage(good));

  const std::wstring size = L"Хранилище повреждено - неверный размер файла";
  const std::wstring signature = L"Файл не является хранилищем ISafeArray";
  const std::wstring version = L"Неверная версия хранилища";
  const std::wstring checksum = L"Хранилище повреждено - неверная контрольная сумма данных";
  const std::wstring unpack = L"Ошибка распаковки данных";

  EXPECT_EQ(size, LoadImage(good + "x"));
  EXPECT_EQ(size, LoadImage(good.substr(0, 20)));
  EXPECT_EQ(size, LoadImage(good.substr(0, good.size() - 1)));
  EXPECT_EQ(size, LoadImage(""));
  std::string bad = good;
  bad[3] = 'f';
  EXPECT_EQ(signature, LoadImage(bad));
  EXPECT_EQ(size, LoadImage(bad + "x"));  // size is tested first
  bad = good;
  bad[10] = 2;
  EXPECT_EQ(version, LoadImage(bad));
  bad[good.size() - 1] ^= 0x40;
  EXPECT_EQ(version, LoadImage(bad));  // before the checksum
  bad = good;
  bad[good.size() - 1] ^= 0x40;
  EXPECT_EQ(checksum, LoadImage(bad));
  bad = good;
  bad[35] ^= 0x01;
  FixHeader(bad);
  EXPECT_EQ(unpack, LoadImage(bad));
  // A decompressed-size field that is wrong in either direction, or huge.
  for (uint32_t plainSize : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    bad = good;
    std::memcpy(bad.data() + 27, &plainSize, 4);
    EXPECT_EQ(unpack, LoadImage(bad)) << plainSize;
  }
  uint32_t plainSize = 0;
  std::memcpy(&plainSize, good.data() + 27, 4);
  ++plainSize;
  bad = good;
  std::memcpy(bad.data() + 27, &plainSize, 4);
  EXPECT_EQ(unpack, LoadImage(bad));
  // Through IDispatch: the same text with code 1000.
  DispatchOutcome call = CallMethod(table.Get(), L"LoadFromFile", {Text(path.c_str())});
  EXPECT_EQ(1000, call.scode);
  EXPECT_EQ(unpack, call.description);
}

TEST_F(StorageFile, HostilePayloadsEndInMessages) {
  const std::wstring readError = L"Ошибка чтения потока. ";
  const std::wstring unsupported = L"Неподдерживаемый тип данных.\r\nТип данных=";
  auto load = [&](const PayloadWriter& payload) {
    return LoadImage(MakeStorageFile(payload.Bytes()));
  };
  auto startsWith = [](const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
  };

  EXPECT_EQ(L"<success>", load(PayloadWriter().Table(1, 1).Word(VT_I4).Int(5)));
  EXPECT_EQ(L"Неподдерживаемый тип данных.\r\nТип данных=85\r\nПредставление: (Неопределено)",
            load(PayloadWriter().Table(1, 1).Word(85)));
  EXPECT_TRUE(startsWith(load(PayloadWriter().Table(1, 1).Word(VT_UNKNOWN)), unsupported));
  EXPECT_TRUE(
      startsWith(load(PayloadWriter().Table(1, 1).Word(0x10000 | VT_I4).Int(1)), unsupported));
  // The value read is not a table.
  EXPECT_TRUE(startsWith(load(PayloadWriter().Word(VT_I4).Int(5)), unsupported));
  EXPECT_TRUE(startsWith(load(PayloadWriter().Word(0x2003).Int(1).Int(0).Int(0).Int(4).Int(7)),
                         unsupported));
  // Cut short inside a value.
  EXPECT_EQ(L"Ошибка чтения потока. Pos=28 Size=30 Count=8",
            load(PayloadWriter().Table(1, 1).Word(VT_R8).Raw("\0\0", 2)));
  // Absurd dimension counts and bounds.
  for (int32_t dims : {0, -1, 9, 65535, 0x7FFFFFFF})
    EXPECT_TRUE(startsWith(load(PayloadWriter().Word(0x200C).Int(dims).Int(0).Int(0)), readError))
        << dims;
  EXPECT_TRUE(startsWith(load(PayloadWriter().Table(0x7FFFFFFF, 0x7FFFFFFF)), readError));
  EXPECT_TRUE(startsWith(
      load(PayloadWriter().Word(0x200C).Int(2).Int(INT32_MIN).Int(0).Int(INT32_MAX).Int(0)),
      readError));
  EXPECT_TRUE(
      startsWith(load(PayloadWriter().Word(0x200C).Int(2).Int(5).Int(0).Int(2).Int(0)), readError));
  // A byte count larger than the array, and one that is negative.
  PayloadWriter bytes;
  bytes.Word(0x2011).Int(2).Int(0).Int(0).Int(0).Int(3).Int(100);
  bytes.Raw(std::string(100, 'x').data(), 100);
  EXPECT_TRUE(startsWith(load(bytes), readError));
  PayloadWriter negative;
  negative.Word(0x2011).Int(2).Int(0).Int(0).Int(0).Int(3).Int(-4).Int(0);
  EXPECT_TRUE(startsWith(load(negative), readError));
  // A string longer than the payload.
  EXPECT_TRUE(
      startsWith(load(PayloadWriter().Table(1, 1).Word(VT_BSTR).Int(0x7FFFFFFF)), readError));
  // Arrays nested in arrays, and by-reference wrappers, deep enough to overflow a stack.
  PayloadWriter deep;
  deep.Table(1, 1);
  for (int i = 0; i < 100000; ++i) deep.Word(0x200C).Int(1).Int(0).Int(0);
  const std::wstring tooDeep = L"Хранилище превышает пределы загрузки: уровней вложенности более 64";
  EXPECT_EQ(tooDeep, load(deep));
  PayloadWriter wrappers;
  wrappers.Table(1, 1);
  for (int i = 0; i < 100000; ++i) wrappers.Word(0x400C);
  wrappers.Word(VT_EMPTY);
  EXPECT_EQ(tooDeep, load(wrappers));
  // Nesting within the limit still loads.
  PayloadWriter nested;
  nested.Table(1, 1);
  for (int i = 0; i < 30; ++i) nested.Word(0x400C);
  nested.Word(VT_NULL);
  EXPECT_EQ(L"<success>", load(nested));
}

TEST_F(StorageFile, MissingFilesChangeNothing) {
  table->SetBounds(1, 1);
  VARIANT_BOOL ok = VARIANT_TRUE;
  Bstr missing = Bstr::Copy(TempFileName(L"missing"));
  EXPECT_EQ(S_OK, table->LoadFromFile(missing.Get(), &ok));
  EXPECT_EQ(VARIANT_FALSE, ok);
  ok = VARIANT_TRUE;
  EXPECT_EQ(S_OK, table->LoadFromFileAsStream(missing.Get(), &ok));
  EXPECT_EQ(VARIANT_FALSE, ok);
  EXPECT_EQ(S_OK, CallMethod(table.Get(), L"LoadFromFile", {Text(missing.Get())}).hr);
  LONG x = 0, y = 0;
  table->GetBounds(&x, &y);
  EXPECT_EQ(1, x);
  EXPECT_EQ(1, y);
}

TEST_F(StorageFile, ByteStreams) {
  WriteFileBytes(path, std::string("\x01\x00\xFFzz", 5));
  ASSERT_EQ(S_OK, CallMethod(table.Get(), L"LoadFromFileAsStream", {Text(path.c_str())}).hr);
  EXPECT_EQ(1, CallByName(table.Get(), L"RowCount", DISPATCH_PROPERTYGET).result.ToInt());
  EXPECT_EQ(5, CallByName(table.Get(), L"ColCount", DISPATCH_PROPERTYGET).result.ToInt());
  VARTYPE type = 0;
  table->GetElementType(&type);
  EXPECT_EQ(VT_UI1, type);
  const std::wstring copy = TempFileName(L"copy");
  ASSERT_EQ(S_OK, CallMethod(table.Get(), L"SaveToFileAsStream", {Text(copy.c_str())}).hr);
  EXPECT_EQ(std::string("\x01\x00\xFFzz", 5), ReadFileBytes(copy));
  DeleteFileW(copy.c_str());

  // A byte table goes through the storage file as raw memory and comes back as bytes.
  SavedImage();
  ComPtr<ISafeArray> loaded = CreateValueArray();
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(S_OK, loaded->LoadFromFile(Path().Get(), &ok));
  loaded->GetElementType(&type);
  EXPECT_EQ(VT_UI1, type);
  Variant last;
  loaded->GetValue(0, 4, last.Put());
  EXPECT_EQ('z', last.ToInt());

  // Only a byte table is written as a stream.
  ComPtr<ISafeArray> values = CreateValueArray();
  values->SetBounds(2, 2);
  const std::wstring none = TempFileName(L"none");
  Bstr noneName = Bstr::Copy(none);
  ok = VARIANT_TRUE;
  EXPECT_EQ(S_OK, values->SaveToFileAsStream(noneName.Get(), &ok));
  EXPECT_EQ(VARIANT_FALSE, ok);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(none.c_str()));

  // An empty file gives an empty byte table.
  WriteFileBytes(path, "");
  ASSERT_EQ(S_OK, table->LoadFromFileAsStream(Path().Get(), &ok));
  EXPECT_EQ(VARIANT_TRUE, ok);
  LONG x = 0, y = 0;
  table->GetBounds(&x, &y);
  EXPECT_EQ(1, x);
  EXPECT_EQ(0, y);
}

TEST(MemoryStream, ReadsWithinTheContentOnly) {
  TMyMemoryStream stream;
  stream.Write("abc", 3);
  EXPECT_EQ(3, stream.Size());
  EXPECT_GE(stream.Capacity(), 500000);
  stream.Seek(0);
  char buffer[8] = {};
  try {
    stream.Read(buffer, 4);
    ADD_FAILURE() << "read beyond the content";
  } catch (const std::exception& e) {
    EXPECT_EQ("Ошибка чтения потока. Pos=0 Size=3 Count=4", std::string(e.what()));
  }
  stream.Read(buffer, 3);
  EXPECT_EQ("abc", std::string(buffer));
  stream.Read(buffer, 0);  // nothing, no error
  stream.Seek(-5);         // ignored
  EXPECT_EQ(3, stream.Position());
  stream.Seek(600000);  // beyond the content: grows and fills with zeros
  EXPECT_EQ(600000, stream.Size());
  EXPECT_EQ(0, stream.Memory()[599999]);
  stream.Clear();
  EXPECT_EQ(0, stream.Size());
  EXPECT_EQ(0, stream.Capacity());
}

}  // namespace
}  // namespace ra03v::test
