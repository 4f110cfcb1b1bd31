#include "storage_support.h"

#include <zlib.h>

#include <array>
#include <cstring>

namespace ra03v::test {

uint32_t FormatChecksum(const void* data, size_t size) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

void FixHeader(std::string& file) {
  const uint32_t checksum = FormatChecksum(file.data() + 31, file.size() - 31);
  const uint32_t size = static_cast<uint32_t>(file.size());
  std::memcpy(file.data() + 19, &checksum, 4);
  std::memcpy(file.data() + 23, &size, 4);
}

std::string MakeStorageFile(const std::string& plain, uint8_t version) {
  uLongf packed = compressBound(static_cast<uLong>(plain.size()));
  std::string file(31 + packed, '\0');
  compress2(reinterpret_cast<Bytef*>(file.data() + 31), &packed,
            reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()), 9);
  file.resize(31 + packed);
  std::memcpy(file.data(), "\tSaFeArRaY", 10);
  file[10] = static_cast<char>(version);
  const uint32_t plainSize = static_cast<uint32_t>(plain.size());
  std::memcpy(file.data() + 27, &plainSize, 4);
  FixHeader(file);
  return file;
}

std::string PlainPayload(const std::string& file) {
  uint32_t plainSize = 0;
  std::memcpy(&plainSize, file.data() + 27, 4);
  std::string plain(plainSize, '\0');
  uLongf size = plainSize;
  uncompress(reinterpret_cast<Bytef*>(plain.data()), &size,
             reinterpret_cast<const Bytef*>(file.data() + 31),
             static_cast<uLong>(file.size() - 31));
  plain.resize(size);
  return plain;
}

}  // namespace ra03v::test
