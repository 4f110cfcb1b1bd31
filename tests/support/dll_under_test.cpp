#include "support/dll_under_test.h"

#include <windows.h>

namespace ra03v::test {

std::wstring BesideTestProgram(const std::wstring& fileName) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return folder + fileName;
}

}  // namespace ra03v::test
