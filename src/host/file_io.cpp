#include "host/file_io.h"

#include <windows.h>

#include <limits>

#include "foundation/win/unique_handle.h"
#include "foundation/win/win_error.h"

namespace ra03v {

bool ReadWholeFile(const std::wstring& name, std::string& bytes) {
  FileHandle file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    ThrowSystemError("CreateFile", error);
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) ThrowLastError("GetFileSizeEx");
  if (size.QuadPart >= std::numeric_limits<int32_t>::max())
    ThrowSystemError("ReadFile", ERROR_FILE_TOO_LARGE);
  bytes.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                  nullptr))
      ThrowLastError("ReadFile");
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return true;
}

void WriteWholeFile(const std::wstring& name, const void* data, size_t size) {
  FileHandle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowLastError("CreateFile");
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(size > (1u << 30) ? (1u << 30) : size);
    if (!WriteFile(file.Get(), bytes, chunk, &written, nullptr)) ThrowLastError("WriteFile");
    bytes += written;
    size -= written;
  }
}

}  // namespace ra03v
