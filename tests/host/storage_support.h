#pragma once
// Builds storage file images by hand for the storage tests: a payload written
// word by word, compressed and given a header.
#include <cstddef>
#include <cstdint>
#include <string>

namespace ra03v::test {

class PayloadWriter {
 public:
  PayloadWriter& Word(uint32_t value) { return Raw(&value, 4); }
  PayloadWriter& Int(int32_t value) { return Raw(&value, 4); }
  PayloadWriter& Double(double value) { return Raw(&value, 8); }
  PayloadWriter& Raw(const void* data, size_t size) {
    bytes_.append(static_cast<const char*>(data), size);
    return *this;
  }
  // A two-dimensional VARIANT array header of x by y cells (lower bounds 0).
  PayloadWriter& Table(int32_t x, int32_t y) {
    return Word(0x200C).Int(2).Int(0).Int(0).Int(x - 1).Int(y - 1);
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// The file's checksum, computed here from the format (table CRC of the
// reflected polynomial 0xEDB88320, register from 0, no final complement).
uint32_t FormatChecksum(const void* data, size_t size);
// A complete file: header with correct sizes and checksum, payload compressed.
std::string MakeStorageFile(const std::string& plain, uint8_t version = 1);
// Recomputes the checksum and the file size field after a change of the file.
void FixHeader(std::string& file);
// The decompressed payload of a valid file.
std::string PlainPayload(const std::string& file);

}  // namespace ra03v::test
