#pragma once
// The storage file of a value array: a 31-byte header (signature, version,
// time, checksum, sizes) and the value's encoding compressed as one zlib stream.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/win/com_ptr.h"
#include "ra03v/value_array.h"

namespace ra03v {

class TSafeArray;

inline constexpr size_t kStorageHeaderSize = 31;
inline constexpr uint8_t kStorageVersion = 1;

// CRC-32 table, register starting at 0, no final complement ("abc" gives 0xCA6598D0).
uint32_t StorageChecksum(const void* data, size_t size) noexcept;

// The whole file image for table (VT_ARRAY | element type, its SAFEARRAY).
std::string EncodeStorage(const VARIANT& table, double savedAt);
// Checks a whole file image in the fixed order and decodes it into a new value array object.
ComPtr<TSafeArray> DecodeStorage(std::string_view file);

// Writes table's storage file, stamped with the local time.
void SaveStorageFile(const std::wstring& name, const VARIANT& table);
// False when the file does not exist.
bool LoadStorageFile(const std::wstring& name, ComPtr<TSafeArray>& table);

}  // namespace ra03v
