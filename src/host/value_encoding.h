#pragma once
// The value encoding of the storage file: a VARTYPE word, then the value's
// bytes; arrays with their bounds, bulk element types as raw memory.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>

#include "foundation/win/variant.h"
#include "host/memory_stream.h"

namespace ra03v {

// One set of limits for a stored value, counted the same way when it is
// written and when it is read, so that whatever saves also loads and the
// other way round. Reading counts each thing before it is allocated, so a
// small hostile file cannot make a load allocate without bound.
//
// Levels: the table is level 0; the elements of an array, and the value behind
// a by-reference wrapper, are one level below what holds them.
inline constexpr int kMaxValueNesting = 64;
// Array dimensions.
inline constexpr int kMaxArrayDimensions = 8;
// The serialised value before compression.
inline constexpr uint32_t kMaxStoragePayload = 256u * 1024 * 1024;
// Two-dimensional arrays, the table included (each one loads as a value array object).
inline constexpr int64_t kMaxStorageObjects = 16384;
// Elements of arrays stored element by element (VARIANT and other non-raw element types).
inline constexpr int64_t kMaxStorageCells = 8 * 1024 * 1024;
// Raw array memory (element count times element size) and string characters (2 bytes each).
inline constexpr int64_t kMaxStorageBytes = 256 * 1024 * 1024;

// What one save or one load has made so far, against the limits above.
class ValueBudget {
 public:
  enum class Side { kSaving, kLoading };
  explicit ValueBudget(Side side) noexcept : side_(side) {}

  void CheckLevel(int depth) const;
  void CheckDimensions(int64_t dims) const;
  void CheckPayload(int64_t size) const;
  void AddObject();
  void AddCells(int64_t count);
  void AddBytes(int64_t count);

  int64_t Objects() const noexcept { return objects_; }
  int64_t Cells() const noexcept { return cells_; }
  int64_t Bytes() const noexcept { return bytes_; }

 private:
  [[noreturn]] void Refuse(const char* what, int64_t limit) const;

  Side side_;
  int64_t objects_ = 0;
  int64_t cells_ = 0;
  int64_t bytes_ = 0;
};

// Appends value; raises the unsupported-type error for what cannot be encoded
// and the limit error for what the limits do not allow.
void WriteValue(TMyMemoryStream& stream, const VARIANT& value);
void WriteValue(TMyMemoryStream& stream, const VARIANT& value, ValueBudget& budget);
// Reads one value at the stream's position. A two-dimensional array comes back
// as a new value array object (VT_DISPATCH).
Variant ReadValue(TMyMemoryStream& stream);
Variant ReadValue(TMyMemoryStream& stream, ValueBudget& budget);

// "Неподдерживаемый тип данных..." for a value of type, shown through value.
[[noreturn]] void RaiseUnsupportedType(unsigned type, const VARIANT* value);

}  // namespace ra03v
