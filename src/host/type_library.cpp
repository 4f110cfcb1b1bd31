#include "host/type_library.h"

#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace ra03v {

std::wstring OwnModulePath() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path.data(),
                                            static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return std::wstring(path.data(), length);
    path.resize(path.size() * 2);
  }
}

HRESULT LoadOwnTypeLibrary(ComPtr<ITypeLib>& library) noexcept {
  try {
    const std::wstring path = OwnModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    // REGKIND_NONE: nothing is written to the registry.
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace ra03v
