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

ComPtr<ISafeArray> DriverValueArray(ra03v_host::Driver& dll, HostTask& task, int rows,
                                    int columns) {
  using ra03v_host::Value;
  auto block = dll.Method(L"СоздатьПараметры", {Value::Int(rows), Value::Int(columns)}, &task);
  ComPtr<ISafeArray> table;
  const Value object = block->At(0);
  if (object.Type() == VT_DISPATCH)
    V_DISPATCH(&object.Get())->QueryInterface(RA03V_IID_ISafeArray, table.PutVoid());
  return table;
}

}  // namespace ra03v::test
