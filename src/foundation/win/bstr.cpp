#include "foundation/win/bstr.h"

#include <new>

#include "foundation/text_codec.h"

namespace ra03v {

Bstr Bstr::Copy(std::wstring_view text) {
  BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!value) throw std::bad_alloc();
  return Attach(value);
}

Bstr Bstr::From1251(std::string_view text) { return Copy(Text1251ToWide(text)); }

std::string Bstr::To1251() const { return WideTo1251(View()); }

}  // namespace ra03v
