#include "foundation/win/win_error.h"

#include "foundation/text_codec.h"

namespace ra03v {

std::string SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) text = L"System error " + std::to_wstring(code);
  return WideTo1251(text);
}

void ThrowSystemError(const char* what, DWORD code) {
  throw SystemError(std::string(what) + "\r\n" + SystemErrorText(code), code);
}

void ThrowLastError(const char* what) { ThrowSystemError(what, GetLastError()); }

}  // namespace ra03v
