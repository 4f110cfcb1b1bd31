#include "storage_reference.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

#include "foundation/win/com_ptr.h"
#include "storage_support.h"

namespace ra03v::test {
namespace {

constexpr size_t kHeader = 31;
constexpr uint32_t kByRefWord = 0x4000;
// What earlier builds of the library wrote for the same wrapper.
constexpr uint32_t kOldByRefWord = 0x400C;
constexpr uint32_t kArrayFlag = 0x2000;
constexpr uint32_t kTypeMask = 0x0FFF;
// Beyond this the reference gives up instead of recursing or allocating.
constexpr int kDeepest = 5000;
constexpr int64_t kLargest = 64 * 1024 * 1024;

// Bytes after the word for the scalar types up to 20 (0: only the type survives).
size_t ScalarSize(uint32_t type) {
  switch (type) {
    case 2: case 11: case 18: return 2;
    case 3: case 4: case 10: case 19: return 4;
    case 5: case 6: case 7: case 20: return 8;
    case 17: return 1;
    default: return 0;
  }
}

// Element types stored as the array's memory, and their element sizes.
size_t BulkSize(uint32_t type) {
  switch (type) {
    case 2: case 11: return 2;
    case 3: case 4: return 4;
    case 5: case 6: case 7: return 8;
    case 17: return 1;
    default: return 0;
  }
}

// Bytes of one element of a SAFEARRAY of type (the platform's own sizes).
size_t ElementBytes(uint32_t type) {
  switch (type) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: case VT_ERROR: case VT_INT: case VT_UINT: return 4;
    case VT_R8: case VT_CY: case VT_DATE: case VT_I8: case VT_UI8: return 8;
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: return sizeof(void*);
    case VT_DECIMAL: return sizeof(DECIMAL);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
  }
}

class Reader {
 public:
  explicit Reader(const std::string& data) : data_(data) {}

  StoredValue Value(int depth) {
    if (depth > kDeepest) throw std::runtime_error("nested too deep for the reference");
    const uint32_t word = U32();
    if (word == kByRefWord || word == kOldByRefWord) return Value(depth + 1);
    if (word > 0xFFFF) throw std::runtime_error("not a type word: " + std::to_string(word));
    if (word & kArrayFlag) return Array(word & kTypeMask, depth);
    StoredValue value;
    if (word == 256) {
      const std::string bytes = Take(Count());
      value.kind = StoredValue::Kind::kString;
      value.type = VT_BSTR;
      if (!bytes.empty()) {
        const int n = static_cast<int>(bytes.size());
        value.text.resize(bytes.size());
        MultiByteToWideChar(1251, 0, bytes.data(), n, value.text.data(), n);
      }
      return value;
    }
    const uint32_t base = word & kTypeMask;
    value.type = word & ~kByRefWord;
    if (base == VT_BSTR) {
      const std::string bytes = Take(Count() * 2);
      value.kind = StoredValue::Kind::kString;
      value.text.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
      return value;
    }
    if (base == VT_DISPATCH || base == VT_UNKNOWN || base > 20)
      throw std::runtime_error("unsupported type " + std::to_string(word));
    value.bytes = Take(static_cast<int64_t>(ScalarSize(base)));
    return value;
  }

  size_t Position() const { return pos_; }

 private:
  StoredValue Array(uint32_t element, int depth) {
    StoredValue array;
    array.kind = StoredValue::Kind::kArray;
    array.type = element;
    const int32_t dims = I32();
    if (dims < 1 || int64_t{dims} * 8 > Remaining())
      throw std::runtime_error("dimensions " + std::to_string(dims));
    int64_t count = 1;
    for (int32_t d = 0; d < dims; ++d) array.lows.push_back(I32());
    for (int32_t d = 0; d < dims; ++d) {
      const int64_t extent = int64_t{I32()} - array.lows[d] + 1;
      if (extent < 0) throw std::runtime_error("negative extent");
      array.extents.push_back(extent);
      count *= extent;
      if (count > kLargest) throw std::runtime_error("too large for the reference");
    }
    if (const size_t size = BulkSize(element)) {
      const int64_t stored = Count();
      if (stored > count * static_cast<int64_t>(size))
        throw std::runtime_error("byte count beyond the array");
      array.memory = Take(stored);
      array.memory.resize(static_cast<size_t>(count) * size, '\0');
      return array;
    }
    // Every element takes a word at least.
    if (count * 4 > Remaining()) throw std::runtime_error("elements beyond the payload");
    array.elements.resize(static_cast<size_t>(count));
    // Stored with the last index running fastest; kept in memory order.
    std::vector<int64_t> index(array.extents.size(), 0);
    for (int64_t n = 0; n < count; ++n) {
      int64_t at = 0, stride = 1;
      for (size_t d = 0; d < index.size(); ++d) {
        at += index[d] * stride;
        stride *= array.extents[d];
      }
      array.elements[static_cast<size_t>(at)] = Value(depth + 1);
      for (size_t d = index.size(); d-- > 0;) {
        if (++index[d] < array.extents[d]) break;
        index[d] = 0;
      }
    }
    return array;
  }

  int64_t Remaining() const { return static_cast<int64_t>(data_.size() - pos_); }
  std::string Take(int64_t n) {
    if (n < 0 || n > Remaining()) throw std::runtime_error("cut short");
    std::string bytes = data_.substr(pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return bytes;
  }
  uint32_t U32() {
    const std::string bytes = Take(4);
    uint32_t value = 0;
    std::memcpy(&value, bytes.data(), 4);
    return value;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  int64_t Count() {
    const int32_t n = I32();
    if (n < 0) throw std::runtime_error("negative count");
    return n;
  }

  const std::string& data_;
  size_t pos_ = 0;
};

uint32_t U32At(const std::string& file, size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, file.data() + at, 4);
  return value;
}

std::string Where(const std::string& where, size_t index) {
  return where + "[" + std::to_string(index) + "]";
}

std::string CompareArray(const StoredValue& expected, SAFEARRAY* array, const std::string& where);

std::string CompareValue(const StoredValue& expected, const VARIANT& value,
                         const std::string& where) {
  switch (expected.kind) {
    case StoredValue::Kind::kScalar:
      if (V_VT(&value) != expected.type)
        return where + ": type " + std::to_string(V_VT(&value)) + ", stored " +
               std::to_string(expected.type);
      if (!expected.bytes.empty() &&
          std::memcmp(&V_UI1(&value), expected.bytes.data(), expected.bytes.size()) != 0)
        return where + ": another value";
      return "";
    case StoredValue::Kind::kString:
      if (V_VT(&value) != VT_BSTR) return where + ": not a string";
      if (std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value))) != expected.text)
        return where + ": another string";
      return "";
    case StoredValue::Kind::kArray:
      if (expected.extents.size() == 2) {
        ComPtr<ISafeArray> table;
        if (V_VT(&value) != VT_DISPATCH || !V_DISPATCH(&value) ||
            FAILED(V_DISPATCH(&value)->QueryInterface(RA03V_IID_ISafeArray, table.PutVoid())))
          return where + ": not a value array object";
        return CompareWithTable(expected, table.Get());
      }
      if (V_VT(&value) != (VT_ARRAY | expected.type) || !V_ARRAY(&value))
        return where + ": not an array of type " + std::to_string(expected.type);
      return CompareArray(expected, V_ARRAY(&value), where);
  }
  return where + ": unknown kind";
}

std::string CompareArray(const StoredValue& expected, SAFEARRAY* array, const std::string& where) {
  if (SafeArrayGetDim(array) != expected.extents.size()) return where + ": dimensions";
  for (UINT d = 0; d < expected.extents.size(); ++d) {
    LONG low = 0, high = 0;
    SafeArrayGetLBound(array, d + 1, &low);
    SafeArrayGetUBound(array, d + 1, &high);
    if (low != expected.lows[d] || int64_t{high} - low + 1 != expected.extents[d])
      return where + ": bounds of dimension " + std::to_string(d + 1);
  }
  const size_t size = ElementBytes(expected.type);
  if (size == 0 || SafeArrayGetElemsize(array) != size) return where + ": element size";
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) return where + ": no access to the data";
  std::string difference;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (BulkSize(expected.type)) {
    if (!expected.memory.empty() &&
        std::memcmp(bytes, expected.memory.data(), expected.memory.size()) != 0)
      difference = where + ": other memory";
  } else {
    for (size_t i = 0; i < expected.elements.size() && difference.empty(); ++i) {
      const StoredValue& element = expected.elements[i];
      const void* at = bytes + i * size;
      if (expected.type == VT_VARIANT) {
        difference = CompareValue(element, *static_cast<const VARIANT*>(at), Where(where, i));
        continue;
      }
      // Elements of another type than the array's are converted on reading,
      // which the format leaves open: only those of the array's type are compared.
      const bool sameType = element.kind == StoredValue::Kind::kArray
                                ? expected.type == VT_DISPATCH && element.extents.size() == 2
                                : element.type == expected.type;
      if (!sameType) continue;
      VARIANT view;
      VariantInit(&view);
      if (expected.type == VT_DECIMAL)
        std::memcpy(&V_DECIMAL(&view), at, sizeof(DECIMAL));
      else
        std::memcpy(&V_UI1(&view), at, size);
      V_VT(&view) = static_cast<VARTYPE>(expected.type);
      difference = CompareValue(element, view, Where(where, i));
    }
  }
  SafeArrayUnaccessData(array);
  return difference;
}

}  // namespace

bool ReadStoredTable(const std::string& file, StoredValue& table, std::string& why) {
  try {
    if (file.size() < kHeader || U32At(file, 23) != file.size())
      throw std::runtime_error("file size");
    if (file.compare(0, 10, "\tSaFeArRaY") != 0) throw std::runtime_error("signature");
    if (static_cast<uint8_t>(file[10]) > 1) throw std::runtime_error("version");
    if (FormatChecksum(file.data() + kHeader, file.size() - kHeader) != U32At(file, 19))
      throw std::runtime_error("checksum");
    const uint32_t plainSize = U32At(file, 27);
    if (plainSize > 4 * kLargest) throw std::runtime_error("too large for the reference");
    std::string plain(plainSize, '\0');
    uLongf unpacked = plainSize;
    if (uncompress(reinterpret_cast<Bytef*>(plain.data()), &unpacked,
                   reinterpret_cast<const Bytef*>(file.data() + kHeader),
                   static_cast<uLong>(file.size() - kHeader)) != Z_OK)
      throw std::runtime_error("decompression");
    plain.resize(unpacked);
    Reader reader(plain);
    table = reader.Value(0);
    if (table.kind != StoredValue::Kind::kArray || table.extents.size() != 2)
      throw std::runtime_error("not a two-dimensional array");
    return true;
  } catch (const std::exception& e) {
    why = e.what();
    return false;
  }
}

std::string CompareWithTable(const StoredValue& expected, ISafeArray* table) {
  VARTYPE type = 0;
  LONG x = 0, y = 0;
  SAFEARRAY* array = nullptr;
  if (FAILED(table->GetElementType(&type)) || FAILED(table->GetBounds(&x, &y)) ||
      FAILED(table->GetPSA(&array)) || !array)
    return "table: no answer";
  if (type != expected.type) return "table: element type " + std::to_string(type);
  // The counts are the high bounds plus one.
  if (x != expected.lows[0] + expected.extents[0] || y != expected.lows[1] + expected.extents[1])
    return "table: counts " + std::to_string(x) + "x" + std::to_string(y);
  return CompareArray(expected, array, "table");
}

}  // namespace ra03v::test
