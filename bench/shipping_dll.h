#pragma once
// Where the benchmarks that call through the entry find the shipping DLL:
// the build's bin folder, beside the bench folder that holds them.
#include <windows.h>

#include <string>

namespace ra03v::bench {

inline std::wstring ShippingDllPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return folder + L"..\\bin\\ra03v.dll";
}

}  // namespace ra03v::bench
