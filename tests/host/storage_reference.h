#pragma once
// A second reader of the value array storage file, written from the format
// description alone (it shares no code with the library), and a comparison of
// what it reads with a table the driver DLL loaded.
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ra03v/value_array.h"

namespace ra03v::test {

struct StoredValue {
  enum class Kind { kScalar, kString, kArray };
  Kind kind = Kind::kScalar;
  // Scalars: the type with the by-reference flag dropped; arrays: the element type.
  uint32_t type = 0;
  std::string bytes;  // a scalar's stored bytes
  std::wstring text;  // a string (8-bit strings decoded from Windows-1251)
  std::vector<int32_t> lows;
  std::vector<int64_t> extents;
  // Bulk arrays: their memory as stored (missing bytes are zero); other arrays:
  // the elements in memory order (first index fastest).
  std::string memory;
  std::vector<StoredValue> elements;
};

// Reads a whole file. False, with the reason, when the file breaks the format
// or the value is not a two-dimensional array.
bool ReadStoredTable(const std::string& file, StoredValue& table, std::string& why);

// Empty when table (loaded by the DLL) holds what expected describes;
// otherwise where and how they differ.
std::string CompareWithTable(const StoredValue& expected, ISafeArray* table);

}  // namespace ra03v::test
