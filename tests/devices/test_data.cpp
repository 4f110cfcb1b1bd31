#include "test_data.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/dll_under_test.h"

namespace ra03v::test {

std::wstring ReadDataFile(const std::wstring& name) {
  std::ifstream file(std::filesystem::path(BesideTestProgram(L"data\\" + name)), std::ios::binary);
  if (!file) throw std::runtime_error("test data file missing");
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                      length);
  return text;
}

Variant DataFileValue(const std::wstring& name) { return Variant::FromText(ReadDataFile(name)); }

}  // namespace ra03v::test
