#include "foundation/win/win_error.h"

#include "foundation/error_codes.h"
#include "foundation/text_codec.h"

namespace ra03v {

namespace {

struct OwnText {
  DWORD code;
  const char* russian;
  const char* english;
};

// Value conversion failures reach the host as messages; the system may not
// know them or answer in its own language rather than the user's.
constexpr OwnText kOwnTexts[] = {
    {static_cast<DWORD>(DISP_E_TYPEMISMATCH), "Несоответствие типов.", "Type mismatch."},
    {static_cast<DWORD>(DISP_E_OVERFLOW), "Переполнение: значение вне допустимого диапазона.",
     "Overflow: the value is out of range."},
    {static_cast<DWORD>(DISP_E_BADVARTYPE), "Недопустимый тип значения.", "Bad variable type."},
};

}  // namespace

std::string SystemErrorText(DWORD code) {
  const bool russian = CurrentMessageLanguage() == MessageLanguage::Russian;
  for (const OwnText& own : kOwnTexts)
    if (own.code == code) return russian ? own.russian : own.english;
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) return (russian ? "Системная ошибка " : "System error ") + std::to_string(code);
  return WideTo1251(text);
}

void ThrowSystemError(const char* what, DWORD code) {
  throw SystemError(std::string(what) + "\r\n" + SystemErrorText(code), code);
}

void ThrowLastError(const char* what) { ThrowSystemError(what, GetLastError()); }

}  // namespace ra03v
