#include "host/value_storage.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

#include "foundation/text_utils.h"
#include "host/file_io.h"
#include "host/memory_stream.h"
#include "host/safe_array_object.h"
#include "host/value_encoding.h"

namespace ra03v {

namespace {

constexpr char kSignature[10] = {9, 'S', 'a', 'F', 'e', 'A', 'r', 'R', 'a', 'Y'};
constexpr size_t kVersionAt = 10;
constexpr size_t kTimeAt = 11;
constexpr size_t kChecksumAt = 19;
constexpr size_t kFileSizeAt = 23;
constexpr size_t kPlainSizeAt = 27;
// zlib cannot expand data more than about 1032 times.
constexpr uint64_t kMaxInflateRatio = 1040;

[[noreturn]] void Fail(const char* text) { throw std::runtime_error(text); }

uint32_t U32At(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

void PutU32(std::string& bytes, size_t at, uint32_t value) {
  std::memcpy(bytes.data() + at, &value, 4);
}

}  // namespace

uint32_t StorageChecksum(const void* data, size_t size) noexcept {
  return Crc32Update(0, data, static_cast<int64_t>(size));
}

std::string EncodeStorage(const VARIANT& table, double savedAt) {
  TMyMemoryStream stream;
  WriteValue(stream, table);
  const uLong plain = static_cast<uLong>(stream.Size());
  // Room for the worst case: small or random content may grow when compressed.
  uLongf packed = compressBound(plain);
  std::string file(kStorageHeaderSize + packed, '\0');
  auto* payload = reinterpret_cast<Bytef*>(file.data() + kStorageHeaderSize);
  if (compress2(payload, &packed, stream.Memory(), plain, 9) != Z_OK) Fail("Ошибка при упаковке");
  file.resize(kStorageHeaderSize + packed);
  if (file.size() > INT32_MAX) Fail("Ошибка при упаковке");
  std::memcpy(file.data(), kSignature, sizeof(kSignature));
  file[kVersionAt] = static_cast<char>(kStorageVersion);
  std::memcpy(file.data() + kTimeAt, &savedAt, 8);
  PutU32(file, kChecksumAt, StorageChecksum(payload, packed));
  PutU32(file, kFileSizeAt, static_cast<uint32_t>(file.size()));
  PutU32(file, kPlainSizeAt, plain);
  return file;
}

ComPtr<TSafeArray> DecodeStorage(std::string_view file) {
  if (file.size() < kStorageHeaderSize || U32At(file, kFileSizeAt) != file.size())
    Fail("Хранилище повреждено - неверный размер файла");
  if (std::memcmp(file.data(), kSignature, sizeof(kSignature)) != 0)
    Fail("Файл не является хранилищем ISafeArray");
  if (static_cast<uint8_t>(file[kVersionAt]) > kStorageVersion) Fail("Неверная версия хранилища");
  const std::string_view payload = file.substr(kStorageHeaderSize);
  if (StorageChecksum(payload.data(), payload.size()) != U32At(file, kChecksumAt))
    Fail("Хранилище повреждено - неверная контрольная сумма данных");

  const uint32_t plain = U32At(file, kPlainSizeAt);
  if (plain == 0 || plain > kMaxStoragePayload || plain > payload.size() * kMaxInflateRatio)
    Fail("Ошибка распаковки данных");
  TMyMemoryStream stream;
  stream.Seek(static_cast<int32_t>(plain));
  uLongf unpacked = plain;
  // The size field must be exact: a payload that inflates to less is damaged too.
  if (uncompress(stream.Memory(), &unpacked, reinterpret_cast<const Bytef*>(payload.data()),
                 static_cast<uLong>(payload.size())) != Z_OK ||
      unpacked != plain)
    Fail("Ошибка распаковки данных");
  stream.Seek(0);

  Variant value = ReadValue(stream);
  // Objects come out of the reading only as value array objects made for it.
  if (value.Type() != VT_DISPATCH || !V_DISPATCH(&value.Get()))
    RaiseUnsupportedType(value.Type(), &value.Get());
  return ComPtr<TSafeArray>::Copy(
      static_cast<TSafeArray*>(static_cast<ISafeArray*>(V_DISPATCH(&value.Get()))));
}

void SaveStorageFile(const std::wstring& name, const VARIANT& table) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  double savedAt = 0;
  SystemTimeToVariantTime(&now, &savedAt);
  const std::string file = EncodeStorage(table, savedAt);
  WriteWholeFile(name, file.data(), file.size());
}

bool LoadStorageFile(const std::wstring& name, ComPtr<TSafeArray>& table) {
  std::string file;
  if (!ReadWholeFile(name, file)) return false;
  table = DecodeStorage(file);
  return true;
}

}  // namespace ra03v
