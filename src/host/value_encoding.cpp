#include "host/value_encoding.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/text_codec.h"
#include "foundation/text_format.h"
#include "foundation/win/bstr.h"
#include "foundation/win/com_ptr.h"
#include "foundation/win/safe_array.h"
#include "host/class_factory.h"
#include "host/safe_array_object.h"
#include "host/table_cells.h"
#include "ra03v/value_array.h"

namespace ra03v {

namespace {

// A by-reference VARIANT is this word alone, then the referenced value.
constexpr uint32_t kByRefWord = VT_BYREF;
// Earlier builds wrote VT_BYREF | VT_VARIANT instead; their files still load.
constexpr uint32_t kLegacyByRefWord = VT_BYREF | VT_VARIANT;
constexpr uint32_t kAnsiStringWord = 256;
constexpr uint32_t kLastScalarType = 20;

// Bytes stored after the word for the scalar types; -1 for those with a form of their own.
int ScalarBytes(unsigned type) noexcept {
  switch (type) {
    case VT_I2:
    case VT_BOOL:
    case VT_UI2:
      return 2;
    case VT_I4:
    case VT_R4:
    case VT_ERROR:
    case VT_UI4:
      return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
      return 8;
    case VT_UI1:
      return 1;
    default:
      return 0;
  }
}

// Element types stored as the array's raw memory.
bool IsBulkType(unsigned type) noexcept {
  return (type >= VT_I2 && type <= VT_DATE) || type == VT_BOOL || type == VT_UI1;
}

// Element types an array may have on reading.
bool IsArrayElementType(unsigned type) noexcept {
  return (type >= VT_I2 && type <= VT_I8 && type != VT_UNKNOWN && type != 15);
}

void WriteValueAt(TMyMemoryStream& stream, const VARIANT& value, int depth, ValueBudget& budget);
void ReadValueInto(TMyMemoryStream& stream, int depth, VARIANT& target, ValueBudget& budget);

void WriteWord(TMyMemoryStream& stream, uint32_t word) { stream.Write(&word, 4); }

uint32_t ReadWord(TMyMemoryStream& stream) {
  uint32_t word = 0;
  stream.Read(&word, 4);
  return word;
}

int32_t ReadInt(TMyMemoryStream& stream) {
  int32_t value = 0;
  stream.Read(&value, 4);
  return value;
}

// The read error for a structure that claims more bytes than the stream holds.
[[noreturn]] void RaiseShortStream(const TMyMemoryStream& stream, int64_t needed) {
  const int64_t count = needed > INT32_MAX ? INT32_MAX : needed;
  throw std::runtime_error(
      FormatTemplate("Ошибка чтения потока. Pos=%d Size=%d Count=%d",
                     {int64_t{stream.Position()}, int64_t{stream.Size()}, count}));
}

void CheckAvailable(const TMyMemoryStream& stream, int64_t needed) {
  if (needed < 0 || needed > stream.Remaining()) RaiseShortStream(stream, needed);
}

struct ArrayShape {
  std::vector<LONG> lower;
  std::vector<LONG> extent;
  int64_t count = 1;
};

ArrayShape ShapeOf(SAFEARRAY* array) {
  ArrayShape shape;
  const UINT dims = SafeArrayGetDim(array);
  for (UINT d = 1; d <= dims; ++d) {
    LONG low = 0, high = -1;
    CheckHResult(SafeArrayGetLBound(array, d, &low), "SafeArrayGetLBound");
    CheckHResult(SafeArrayGetUBound(array, d, &high), "SafeArrayGetUBound");
    shape.lower.push_back(low);
    shape.extent.push_back(high - low + 1);
    shape.count *= high - low + 1;
  }
  return shape;
}

// Calls visit(element offset) in index order with the last index running
// fastest; in memory the first index runs fastest.
template <typename F>
void ForEachInIndexOrder(const ArrayShape& shape, F&& visit) {
  if (shape.count <= 0) return;
  const size_t dims = shape.extent.size();
  std::vector<int64_t> stride(dims, 1);
  for (size_t d = 1; d < dims; ++d) stride[d] = stride[d - 1] * shape.extent[d - 1];
  std::vector<LONG> index(dims, 0);
  for (int64_t n = 0; n < shape.count; ++n) {
    int64_t offset = 0;
    for (size_t d = 0; d < dims; ++d) offset += index[d] * stride[d];
    visit(offset);
    for (size_t d = dims; d-- > 0;) {
      if (++index[d] < shape.extent[d]) break;
      index[d] = 0;
    }
  }
}

class DataAccess {
 public:
  explicit DataAccess(SAFEARRAY* array) : array_(array) {
    CheckHResult(SafeArrayAccessData(array, &data_), "SafeArrayAccessData");
  }
  DataAccess(const DataAccess&) = delete;
  DataAccess& operator=(const DataAccess&) = delete;
  ~DataAccess() { SafeArrayUnaccessData(array_); }
  unsigned char* Bytes() const noexcept { return static_cast<unsigned char*>(data_); }

 private:
  SAFEARRAY* array_;
  void* data_ = nullptr;
};

// An array is written at the level of the value that holds it; its elements
// are one level below.
void WriteArray(TMyMemoryStream& stream, VARTYPE type, SAFEARRAY* array, int depth,
                ValueBudget& budget) {
  const unsigned element = type & VT_TYPEMASK;
  VARIANT shown;
  V_VT(&shown) = static_cast<VARTYPE>(VT_ARRAY | element);
  V_ARRAY(&shown) = array;
  if (!array || !IsArrayElementType(element) || SafeArrayGetDim(array) == 0 ||
      SafeArrayGetElemsize(array) != ElementSize(static_cast<VARTYPE>(element)))
    RaiseUnsupportedType(VT_ARRAY | element, &shown);
  budget.CheckLevel(depth);
  budget.CheckDimensions(SafeArrayGetDim(array));
  const ArrayShape shape = ShapeOf(array);
  // Counted as reading will count them, before anything of the array is written.
  if (shape.extent.size() == 2) budget.AddObject();
  if (IsBulkType(element))
    budget.AddBytes(shape.count * ElementSize(static_cast<VARTYPE>(element)));
  else
    budget.AddCells(shape.count);
  WriteWord(stream, VT_ARRAY | element);
  const int32_t dims = static_cast<int32_t>(shape.extent.size());
  WriteWord(stream, static_cast<uint32_t>(dims));
  for (int32_t d = 0; d < dims; ++d) stream.Write(&shape.lower[d], 4);
  for (int32_t d = 0; d < dims; ++d) {
    const LONG high = shape.lower[d] + shape.extent[d] - 1;
    stream.Write(&high, 4);
  }
  DataAccess data(array);
  if (IsBulkType(element)) {
    const int64_t bytes = shape.count * ElementSize(static_cast<VARTYPE>(element));
    if (bytes > INT32_MAX) throw std::bad_alloc();
    WriteWord(stream, static_cast<uint32_t>(bytes));
    stream.Write(data.Bytes(), static_cast<int32_t>(bytes));
    return;
  }
  const ULONG size = ElementSize(static_cast<VARTYPE>(element));
  ForEachInIndexOrder(shape, [&](int64_t offset) {
    void* at = data.Bytes() + offset * size;
    if (element == VT_VARIANT)
      WriteValueAt(stream, *static_cast<VARIANT*>(at), depth + 1, budget);
    else
      WriteValueAt(stream, ViewElement(at, static_cast<VARTYPE>(element)), depth + 1, budget);
  });
}

void WriteString(TMyMemoryStream& stream, uint32_t word, BSTR text, ValueBudget& budget) {
  // Cut at the first zero character.
  const uint32_t length = text ? static_cast<uint32_t>(wcsnlen(text, SysStringLen(text))) : 0;
  budget.AddBytes(int64_t{length} * 2);
  WriteWord(stream, word);
  WriteWord(stream, length);
  stream.Write(text, static_cast<int32_t>(length * 2));
}

void WriteObject(TMyMemoryStream& stream, const VARIANT& value, IDispatch* object, int depth,
                 ValueBudget& budget) {
  ComPtr<ISafeArray> table;
  if (!object || FAILED(object->QueryInterface(RA03V_IID_ISafeArray, table.PutVoid())))
    RaiseUnsupportedType(V_VT(&value), &value);
  SAFEARRAY* array = nullptr;
  VARTYPE type = VT_EMPTY;
  CheckHResult(table->GetPSA(&array), "GetPSA");
  CheckHResult(table->GetElementType(&type), "GetElementType");
  // The object's table stands where the object does, as it will when read.
  WriteArray(stream, type, array, depth, budget);
}

Variant ReadArray(TMyMemoryStream& stream, uint32_t word, int depth, ValueBudget& budget) {
  const unsigned element = word & VT_TYPEMASK;
  if ((word & ~(VT_ARRAY | VT_BYREF | VT_TYPEMASK)) != 0 || !IsArrayElementType(element))
    RaiseUnsupportedType(word, nullptr);
  const int32_t dims = ReadInt(stream);
  if (dims < 1 || dims > kMaxArrayDimensions) RaiseShortStream(stream, int64_t{dims} * 8);
  std::vector<SAFEARRAYBOUND> bounds(static_cast<size_t>(dims));
  for (auto& b : bounds) b.lLbound = ReadInt(stream);
  const ULONG size = ElementSize(static_cast<VARTYPE>(element));
  // Every element needs stored bytes (bulk) or at least its word, so the
  // stream's remainder bounds what may be allocated.
  const int64_t perElement = IsBulkType(element) ? size : 4;
  int64_t count = 1;
  for (auto& b : bounds) {
    const int64_t extent = int64_t{ReadInt(stream)} - b.lLbound + 1;
    if (extent < 0 || extent > INT32_MAX) RaiseShortStream(stream, extent);
    b.cElements = static_cast<ULONG>(extent);
    count *= extent;
    if (count * perElement > stream.Remaining()) RaiseShortStream(stream, count * perElement);
  }
  if (dims == 2) budget.AddObject();
  if (IsBulkType(element))
    budget.AddBytes(count * size);
  else
    budget.AddCells(count);
  SafeArray array = SafeArray::Attach(
      SafeArrayCreate(static_cast<VARTYPE>(element), static_cast<UINT>(dims), bounds.data()));
  if (!array.Get()) RaiseUnsupportedType(word, nullptr);
  {
    DataAccess data(array.Get());
    if (IsBulkType(element)) {
      const int32_t bytes = ReadInt(stream);
      if (bytes < 0 || bytes > count * size) RaiseShortStream(stream, bytes);
      stream.Read(data.Bytes(), bytes);
    } else {
      ArrayShape shape;
      for (auto& b : bounds) shape.extent.push_back(static_cast<LONG>(b.cElements));
      shape.count = count;
      ForEachInIndexOrder(shape, [&](int64_t offset) {
        void* at = data.Bytes() + offset * size;
        // A new array's elements are empty: read straight into them.
        if (element == VT_VARIANT)
          return ReadValueInto(stream, depth + 1, *static_cast<VARIANT*>(at), budget);
        VARIANT value;
        VariantInit(&value);
        ReadValueInto(stream, depth + 1, value, budget);
        try {
          MoveIntoElement(at, static_cast<VARTYPE>(element), value);
        } catch (const std::bad_alloc&) {
          VariantClear(&value);
          throw;
        } catch (...) {
          // An element that does not fit the array's type.
          Variant owned = Variant::Attach(value);
          RaiseUnsupportedType(owned.Type(), &owned.Get());
        }
      });
    }
  }
  if (dims == 2) {
    ComPtr<TSafeArray> table = NewValueArrayObject();
    table->TakeOver(array.Get(), static_cast<VARTYPE>(element));
    (void)array.Release();
    VARIANT object;
    V_VT(&object) = VT_DISPATCH;
    // Readers of the stream rely on this: every object read is one of ours,
    // seen through its ISafeArray part.
    V_DISPATCH(&object) = static_cast<ISafeArray*>(table.Detach());
    return Variant::Attach(object);
  }
  VARIANT plain;
  V_VT(&plain) = static_cast<VARTYPE>(VT_ARRAY | element);
  V_ARRAY(&plain) = array.Release();
  return Variant::Attach(plain);
}


void WriteValueAt(TMyMemoryStream& stream, const VARIANT& value, int depth, ValueBudget& budget) {
  const VARTYPE vt = V_VT(&value);
  budget.CheckLevel(depth);
  budget.CheckPayload(stream.Size());
  const bool byRef = (vt & VT_BYREF) != 0;
  if (vt & VT_ARRAY) {
    SAFEARRAY* array =
        byRef ? (V_ARRAYREF(&value) ? *V_ARRAYREF(&value) : nullptr) : V_ARRAY(&value);
    WriteArray(stream, vt, array, depth, budget);
    return;
  }
  const unsigned type = vt & VT_TYPEMASK;
  if (byRef && !V_BYREF(&value)) RaiseUnsupportedType(vt, nullptr);
  switch (type) {
    case VT_EMPTY:
    case VT_NULL:
      // Without the flag: VT_BYREF | VT_EMPTY would read as a by-reference wrapper.
      WriteWord(stream, type);
      return;
    case VT_BSTR:
      WriteString(stream, vt, byRef ? *V_BSTRREF(&value) : V_BSTR(&value), budget);
      return;
    case VT_VARIANT:
      if (!byRef) RaiseUnsupportedType(vt, nullptr);
      WriteWord(stream, kByRefWord);
      WriteValueAt(stream, *V_VARIANTREF(&value), depth + 1, budget);
      return;
    case VT_DISPATCH:
      WriteObject(stream, value, byRef ? *V_DISPATCHREF(&value) : V_DISPATCH(&value), depth,
                  budget);
      return;
    case VT_DECIMAL:
    case VT_I1: {
      // The format keeps no bytes for these; store them as a number of a type
      // that does, so the value is not lost.
      Variant wider;
      CheckHResult(VariantChangeType(wider.Put(), const_cast<VARIANT*>(&value), 0,
                                     type == VT_I1 ? VT_I2 : VT_R8),
                   "VariantChangeType");
      WriteValueAt(stream, wider.Get(), depth, budget);
      return;
    }
    default:
      break;
  }
  if (type > kLastScalarType || type == VT_UNKNOWN || type == 15) RaiseUnsupportedType(vt, &value);
  WriteWord(stream, vt);
  const void* data = byRef ? V_BYREF(&value) : static_cast<const void*>(&V_UI1(&value));
  stream.Write(data, ScalarBytes(type));
}

void ReadValueInto(TMyMemoryStream& stream, int depth, VARIANT& target, ValueBudget& budget) {
  const uint32_t word = ReadWord(stream);
  budget.CheckLevel(depth);
  if (word == kByRefWord || word == kLegacyByRefWord)
    return ReadValueInto(stream, depth + 1, target, budget);
  if (word & VT_ARRAY) {
    target = ReadArray(stream, word, depth, budget).Release();
    return;
  }
  if (word == kAnsiStringWord) {
    const int32_t length = ReadInt(stream);
    CheckAvailable(stream, length);
    // Counted as the wide string it becomes.
    budget.AddBytes(int64_t{length} * 2);
    std::string bytes(static_cast<size_t>(length), '\0');
    stream.Read(bytes.data(), length);
    target = Variant::From1251(bytes).Release();
    return;
  }
  const uint32_t type = word & ~static_cast<uint32_t>(VT_BYREF);
  if (type > kLastScalarType || type == VT_DISPATCH || type == VT_UNKNOWN || type == 15 ||
      type == VT_VARIANT)
    RaiseUnsupportedType(word, nullptr);
  VARIANT value;
  std::memset(&value, 0, sizeof(value));
  if (type == VT_BSTR) {
    const int32_t length = ReadInt(stream);
    if (length < 0) RaiseShortStream(stream, length);
    CheckAvailable(stream, int64_t{length} * 2);
    budget.AddBytes(int64_t{length} * 2);
    Bstr text = Bstr::Attach(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
    if (!text.Get()) throw std::bad_alloc();
    stream.Read(text.Get(), length * 2);
    V_BSTR(&value) = text.Release();
  } else {
    stream.Read(&V_UI1(&value), ScalarBytes(type));
  }
  V_VT(&value) = static_cast<VARTYPE>(type);
  target = value;
}

}  // namespace

void ValueBudget::Refuse(const char* what, int64_t limit) const {
  const char* prefix = side_ == Side::kSaving ? "Таблица превышает пределы хранилища: "
                                              : "Хранилище превышает пределы загрузки: ";
  throw std::runtime_error(prefix + std::string(what) + " более " + std::to_string(limit));
}

void ValueBudget::CheckLevel(int depth) const {
  if (depth > kMaxValueNesting) Refuse("уровней вложенности", kMaxValueNesting);
}

void ValueBudget::CheckDimensions(int64_t dims) const {
  if (dims > kMaxArrayDimensions) Refuse("размерностей массива", kMaxArrayDimensions);
}

void ValueBudget::CheckPayload(int64_t size) const {
  if (size > kMaxStoragePayload) Refuse("байт данных до сжатия", kMaxStoragePayload);
}

void ValueBudget::AddObject() {
  if (++objects_ > kMaxStorageObjects) Refuse("двумерных массивов", kMaxStorageObjects);
}

void ValueBudget::AddCells(int64_t count) {
  cells_ += count;
  if (count < 0 || cells_ > kMaxStorageCells) Refuse("ячеек", kMaxStorageCells);
}

void ValueBudget::AddBytes(int64_t count) {
  bytes_ += count;
  if (count < 0 || bytes_ > kMaxStorageBytes) Refuse("байт в строках и массивах", kMaxStorageBytes);
}

[[noreturn]] void RaiseUnsupportedType(unsigned type, const VARIANT* value) {
  std::string text = "Неопределено";
  if (value && (V_VT(value) & VT_TYPEMASK) == VT_DISPATCH && !(V_VT(value) & VT_ARRAY)) {
    text = "Объект";
  } else if (value) {
    Variant converted;
    if (SUCCEEDED(VariantChangeType(converted.Put(), const_cast<VARIANT*>(value), 0, VT_BSTR)))
      text = WideTo1251(V_BSTR(&converted.Get()) ? V_BSTR(&converted.Get()) : L"");
  }
  throw std::runtime_error("Неподдерживаемый тип данных.\r\nТип данных=" + std::to_string(type) +
                           "\r\nПредставление: (" + text + ")");
}

void WriteValue(TMyMemoryStream& stream, const VARIANT& value) {
  ValueBudget budget(ValueBudget::Side::kSaving);
  WriteValue(stream, value, budget);
}

void WriteValue(TMyMemoryStream& stream, const VARIANT& value, ValueBudget& budget) {
  WriteValueAt(stream, value, 0, budget);
  budget.CheckPayload(stream.Size());
}

Variant ReadValue(TMyMemoryStream& stream) {
  ValueBudget budget(ValueBudget::Side::kLoading);
  return ReadValue(stream, budget);
}

Variant ReadValue(TMyMemoryStream& stream, ValueBudget& budget) {
  VARIANT value;
  VariantInit(&value);
  ReadValueInto(stream, 0, value, budget);
  return Variant::Attach(value);
}

}  // namespace ra03v
