#include "host/safe_array_object.h"

#include <algorithm>
#include <cstring>
#include <climits>
#include <stdexcept>
#include <vector>

#include "foundation/text_codec.h"
#include "foundation/text_format.h"
#include "foundation/win/safe_array.h"
#include "foundation/win/bstr.h"
#include "host/exception_info.h"
#include "host/file_io.h"
#include "host/table_cells.h"
#include "host/value_storage.h"

namespace ra03v {

namespace {

// Reports a failure of an ISafeArray operation through COM error information.
HRESULT ReportCurrentException() noexcept {
  const ExceptionInfo info = CurrentExceptionInfo();
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.Put()))) {
    try {
      Bstr description = Bstr::From1251(info.message);
      Bstr source = Bstr::From1251(info.className);
      create->SetDescription(description.Get());
      create->SetSource(source.Get());
      create->SetGUID(RA03V_IID_ISafeArray);
      ComPtr<IErrorInfo> error;
      if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, error.PutVoid())))
        SetErrorInfo(0, error.Get());
    } catch (...) {
      // The failure code below still reaches the caller.
    }
  }
  return E_FAIL;
}

std::wstring TextArgument(const TParams& block, int index) { return block.Get(index).ToText(); }

VARIANT_BOOL Flag(bool value) noexcept { return value ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

TSafeArray::TSafeArray() {
  SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  if (!array) throw std::bad_alloc();
  VARIANT table;
  V_VT(&table) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&table) = array;
  data_.Reset(table);
}

template <typename F>
HRESULT TSafeArray::Guarded(F&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (...) {
    return ReportCurrentException();
  }
}

void* TSafeArray::FindInterface(REFIID iid) noexcept {
  if (IsEqualIID(iid, RA03V_IID_ISafeArray)) return static_cast<ISafeArray*>(this);
  if (IsEqualIID(iid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  return nullptr;
}

HRESULT TSafeArray::InterfaceSupportsErrorInfo(REFIID iid) noexcept {
  return IsEqualIID(iid, RA03V_IID_ISafeArray) ? S_OK : S_FALSE;
}

void TSafeArray::RegisterNames() {
  auto handler = [](void (TSafeArray::*h)(TParams&, Variant&)) { return static_cast<Handler>(h); };
  AddMethod("GetBounds", 2, handler(&TSafeArray::DoGetBounds));
  AddMethod("SetBounds", 2, handler(&TSafeArray::DoSetBounds));
  AddMethod("GetValue", 2, handler(&TSafeArray::DoGetValue));
  AddMethod("SetValue", 3, handler(&TSafeArray::DoSetValue));
  AddMethod("Empty", 0, handler(&TSafeArray::DoEmpty));
  AddMethod("__PSA", 0, handler(&TSafeArray::DoPsa));
  AddMethod("SetRowValues", 0, handler(&TSafeArray::DoSetRowValues));
  AddMethod("__SetPSA", 1, handler(&TSafeArray::DoSetPsa));
  AddMethod("LoadFromFile", 1, handler(&TSafeArray::DoLoadFromFile));
  AddMethod("SaveToFile", 1, handler(&TSafeArray::DoSaveToFile));
  AddMethod("SaveToFileAsStream", 1, handler(&TSafeArray::DoSaveToFileAsStream));
  AddMethod("LoadFromFileAsStream", 1, handler(&TSafeArray::DoLoadFromFileAsStream));
  AddProperty("RowCount", nullptr, handler(&TSafeArray::DoRowCount));
  AddProperty("ColCount", nullptr, handler(&TSafeArray::DoColCount));
}

SAFEARRAY* TSafeArray::Table() const noexcept {
  return (data_.Type() & VT_ARRAY) ? V_ARRAY(&data_.Get()) : nullptr;
}

SafeArray TSafeArray::DetachTable(VARTYPE& type) noexcept {
  type = ElementType();
  SAFEARRAY* array = Table();
  if (array) {
    VARIANT given = data_.Release();  // the array now belongs to the caller
    (void)given;
  }
  countX_ = countY_ = 0;
  return SafeArray::Attach(array);
}

VARTYPE TSafeArray::ElementType() const noexcept {
  return static_cast<VARTYPE>(data_.Type() & ~VT_ARRAY);
}

void TSafeArray::ResizeTable(int32_t x, int32_t y) {
  if (x < 0 || y < 0 || (x == countX_ && y == countY_)) return;
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(x > 0 ? x : 1), 0},
                              {static_cast<ULONG>(y > 0 ? y : 1), 0}};
  if (!Table()) {
    bounds[0].cElements = static_cast<ULONG>(x);
    bounds[1].cElements = static_cast<ULONG>(y);
  }
  // The array's byte size must not wrap around in the automation runtime's
  // 32-bit arithmetic.
  if (uint64_t{bounds[0].cElements} * bounds[1].cElements * sizeof(VARIANT) > INT32_MAX)
    throw std::bad_alloc();
  SafeArray fresh = SafeArray::Attach(SafeArrayCreate(VT_VARIANT, 2, bounds));
  if (!fresh.Get()) throw std::bad_alloc();
  if (Table()) {
    const int32_t keepX = std::min(x, countX_);
    const int32_t keepY = std::min(y, countY_);
    for (int32_t i = 0; i < keepX; ++i)
      for (int32_t j = 0; j < keepY; ++j) PutCell(fresh.Get(), VT_VARIANT, i, j, Cell(i, j).Get());
  }
  VARIANT table;
  V_VT(&table) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&table) = fresh.Release();
  data_.Reset(table);
  countX_ = x;
  countY_ = y;
}

Variant TSafeArray::Cell(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= countX_ || y >= countY_ || !Table())
    throw std::runtime_error("Номер элемента массива за пределами границ.");
  return GetCell(Table(), ElementType(), x, y);
}

namespace {

// A value passed by reference is stored dereferenced only for these types.
void CheckStoredType(const VARIANT& value) {
  if (!(V_VT(&value) & VT_BYREF)) return;
  switch (V_VT(&value) & ~VT_BYREF) {
    case VT_I4:
    case VT_R8:
    case VT_DATE:
    case VT_BSTR:
    case VT_VARIANT:
      return;
    default:
      throw std::runtime_error("Ошибка типа параметра. " + std::to_string(V_VT(&value)));
  }
}

}  // namespace

bool TSafeArray::IsMember(DISPID id, const wchar_t* member) noexcept {
  std::wstring name = member;
  LPOLESTR names[1] = {name.data()};
  DISPID found = DISPID_UNKNOWN;
  return SUCCEEDED(GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &found)) && found == id;
}

HRESULT TSafeArray::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* args,
                           VARIANT* result, EXCEPINFO* error, UINT* argError) noexcept {
  const UINT count = args && args->rgvarg ? args->cArgs : 0;
  bool byReference = false;
  for (UINT i = 0; i < count; ++i) byReference |= (V_VT(&args->rgvarg[i]) & VT_BYREF) != 0;
  // By name, arguments reach the handlers as copies, and by-reference ones are
  // written back afterwards: a cell would be stored before a type that cannot be
  // written back fails. These two members change no argument, so the values are
  // checked here and the call runs on dereferenced copies.
  if (!byReference || !(flags & DISPATCH_METHOD) ||
      !(IsMember(id, L"SetValue") || IsMember(id, L"SetRowValues")))
    return TBaseAutoObject::Invoke(id, iid, locale, flags, args, result, error, argError);
  if (result) VariantInit(result);
  try {
    // The list holds the arguments in reverse order: argument i is at count - 1 - i.
    // SetValue stores argument 2 (a wrong count is the base's error), SetRowValues 1 to n-1.
    if (IsMember(id, L"SetRowValues")) {
      for (UINT i = 1; i < count; ++i) CheckStoredType(args->rgvarg[count - 1 - i]);
    } else if (count == 3) {
      CheckStoredType(args->rgvarg[0]);
    }
    std::vector<Variant> copies;
    copies.reserve(count);
    for (UINT i = 0; i < count; ++i) copies.push_back(Variant::Copy(args->rgvarg[i]));
    std::vector<VARIANT> plain;
    plain.reserve(count);
    for (const Variant& copy : copies) plain.push_back(copy.Get());
    DISPPARAMS byValue{plain.data(), nullptr, count, 0};
    return TBaseAutoObject::Invoke(id, iid, locale, flags, &byValue, result, error, argError);
  } catch (...) {
    const ExceptionInfo info = CurrentExceptionInfo();
    if (error) {
      std::memset(error, 0, sizeof(*error));
      error->scode = 1000;
      try {
        error->bstrDescription = Bstr::From1251(info.message).Release();
        error->bstrSource = Bstr::From1251(info.className).Release();
      } catch (...) {
        // The code alone still tells the caller that the call failed.
      }
    }
    return DISP_E_EXCEPTION;
  }
}

void TSafeArray::StoreCell(int32_t x, int32_t y, const VARIANT& value) {
  if (x < 0 || y < 0 || x >= countX_ || y >= countY_ || !Table()) {
    std::string text;
    try {
      text = Variant::Copy(value).To1251();
    } catch (...) {
      // A value without a text form is shown empty.
    }
    throw std::runtime_error(FormatTemplate(
        "Номер элемента массива за пределами границ. X:%d Y:%d CountX:%d CountY:%d\r\n%s",
        {int64_t{x}, int64_t{y}, int64_t{countX_}, int64_t{countY_}, QuoteHostText(text)}));
  }
  CheckStoredType(value);
  if (V_VT(&value) & VT_BYREF) {
    PutCell(Table(), ElementType(), x, y, Variant::Copy(value).Get());
    return;
  }
  PutCell(Table(), ElementType(), x, y, value);
}

void TSafeArray::TakeOver(SAFEARRAY* array, VARTYPE type) {
  if (!array) return;
  CheckTableShape(array, type);
  LONG upperX = 0, upperY = 0;
  CheckHResult(SafeArrayGetUBound(array, 1, &upperX), "SafeArrayGetUBound");
  CheckHResult(SafeArrayGetUBound(array, 2, &upperY), "SafeArrayGetUBound");
  VARIANT table;
  V_VT(&table) = static_cast<VARTYPE>(VT_ARRAY | type);
  V_ARRAY(&table) = array;
  if (array == Table()) {
    // Our own table handed back: keep it, only the type and counts change.
    [[maybe_unused]] VARIANT same = data_.Release();
  }
  data_.Reset(table);
  countX_ = upperX + 1;
  countY_ = upperY + 1;
}

void TSafeArray::SaveTable(const std::wstring& fileName) const {
  VARIANT table;
  V_VT(&table) = static_cast<VARTYPE>(VT_ARRAY | ElementType());
  V_ARRAY(&table) = Table();
  SaveStorageFile(fileName, table);
}

bool TSafeArray::LoadTable(const std::wstring& fileName) {
  ComPtr<TSafeArray> loaded;
  if (!LoadStorageFile(fileName, loaded)) return false;
  // The object read is new and nobody else holds it: its table is taken over
  // rather than copied.
  VARTYPE type = VT_EMPTY;
  SafeArray array = loaded->DetachTable(type);
  TakeOver(array.Get(), type);
  (void)array.Release();
  return true;
}

bool TSafeArray::LoadTableAsStream(const std::wstring& fileName) {
  std::string bytes;
  if (!ReadWholeFile(fileName, bytes)) return false;
  SAFEARRAYBOUND bounds[2] = {{1, 0}, {static_cast<ULONG>(bytes.size()), 0}};
  SafeArray array = SafeArray::Attach(SafeArrayCreate(VT_UI1, 2, bounds));
  if (!array.Get()) throw std::bad_alloc();
  if (!bytes.empty()) {
    void* data = nullptr;
    CheckHResult(SafeArrayAccessData(array.Get(), &data), "SafeArrayAccessData");
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array.Get());
  }
  TakeOver(array.Get(), VT_UI1);
  (void)array.Release();
  return true;
}

bool TSafeArray::SaveTableAsStream(const std::wstring& fileName) const {
  // Only a byte table: any wider element would be cut to its first bytes.
  if (ElementType() != VT_UI1 || !Table()) return false;
  SAFEARRAY* array = Table();
  const size_t count = static_cast<size_t>(ArrayElementCount(array));
  void* data = nullptr;
  CheckHResult(SafeArrayAccessData(array, &data), "SafeArrayAccessData");
  struct Unaccess {
    SAFEARRAY* a;
    ~Unaccess() { SafeArrayUnaccessData(a); }
  } unaccess{array};
  WriteWholeFile(fileName, data, count);
  return true;
}

// ---- Automation members ----------------------------------------------------

void TSafeArray::DoGetBounds(TParams& block, Variant&) {
  block.Set(0, Variant::FromInt(countX_).Get());
  block.Set(1, Variant::FromInt(countY_).Get());
}

void TSafeArray::DoSetBounds(TParams& block, Variant&) {
  ResizeTable(block.Get(0).ToInt(), block.Get(1).ToInt());
}

void TSafeArray::DoGetValue(TParams& block, Variant& result) {
  result = Cell(block.Get(0).ToInt(), block.Get(1).ToInt());
}

void TSafeArray::DoSetValue(TParams& block, Variant&) {
  StoreCell(block.Get(0).ToInt(), block.Get(1).ToInt(), block.Get(2).Get());
}

void TSafeArray::DoEmpty(TParams&, Variant& result) { result = Variant::FromInt(Empty() ? 1 : 0); }

void TSafeArray::DoPsa(TParams&, Variant& result) {
  // The address as a pointer-sized integer, so that 64-bit builds do not cut it.
  VARIANT address;
#if defined(_WIN64)
  V_VT(&address) = VT_I8;
  V_I8(&address) = reinterpret_cast<LONGLONG>(Table());
#else
  V_VT(&address) = VT_I4;
  V_I4(&address) = reinterpret_cast<LONG>(Table());
#endif
  result.Reset(address);
}

void TSafeArray::DoSetRowValues(TParams& block, Variant&) {
  if (block.Count() < 1) return;
  const int32_t x = block.Get(0).ToInt();
  for (int i = 1; i < block.Count(); ++i) StoreCell(x, i - 1, block.Get(i).Get());
}

void TSafeArray::DoSetPsa(TParams& block, Variant&) {
  Variant source = block.Get(0);
  Variant address;
  CheckHResult(VariantChangeType(address.Put(), &const_cast<VARIANT&>(source.Get()), 0, VT_I8),
               "VariantChangeType");
  TakeOver(reinterpret_cast<SAFEARRAY*>(static_cast<intptr_t>(V_I8(&address.Get()))), VT_VARIANT);
}

void TSafeArray::DoLoadFromFile(TParams& block, Variant&) { LoadTable(TextArgument(block, 0)); }

void TSafeArray::DoSaveToFile(TParams& block, Variant&) { SaveTable(TextArgument(block, 0)); }

void TSafeArray::DoSaveToFileAsStream(TParams& block, Variant&) {
  SaveTableAsStream(TextArgument(block, 0));
}

void TSafeArray::DoLoadFromFileAsStream(TParams& block, Variant&) {
  LoadTableAsStream(TextArgument(block, 0));
}

void TSafeArray::DoRowCount(TParams&, Variant& result) { result = Variant::FromInt(countX_); }

void TSafeArray::DoColCount(TParams&, Variant& result) { result = Variant::FromInt(countY_); }

// ---- ISafeArray ------------------------------------------------------------

HRESULT TSafeArray::SetBounds(LONG x, LONG y) noexcept {
  return Guarded([&] { ResizeTable(x, y); });
}

HRESULT TSafeArray::SetValue(LONG x, LONG y, VARIANT value) noexcept {
  return Guarded([&] { StoreCell(x, y, value); });
}

HRESULT TSafeArray::GetPSA(SAFEARRAY** array) noexcept {
  if (!array) return E_POINTER;
  *array = Table();
  return S_OK;
}

HRESULT TSafeArray::GetElementType(VARTYPE* type) noexcept {
  if (!type) return E_POINTER;
  *type = ElementType();
  return S_OK;
}

HRESULT TSafeArray::IsEmpty(LONG* empty) noexcept {
  if (!empty) return E_POINTER;
  *empty = Empty() ? 1 : 0;
  return S_OK;
}

HRESULT TSafeArray::SetPSA(SAFEARRAY* array) noexcept {
  return Guarded([&] { TakeOver(array, VT_VARIANT); });
}

HRESULT TSafeArray::SetPSAWithType(SAFEARRAY* array, VARTYPE type) noexcept {
  return Guarded([&] { TakeOver(array, type); });
}

HRESULT TSafeArray::GetBounds(LONG* x, LONG* y) noexcept {
  if (!x || !y) return E_POINTER;
  *x = countX_;
  *y = countY_;
  return S_OK;
}

HRESULT TSafeArray::SaveToFile(BSTR fileName, VARIANT_BOOL* success) noexcept {
  if (success) *success = VARIANT_FALSE;
  return Guarded([&] {
    SaveTable(fileName ? fileName : L"");
    if (success) *success = VARIANT_TRUE;
  });
}

HRESULT TSafeArray::LoadFromFile(BSTR fileName, VARIANT_BOOL* success) noexcept {
  if (success) *success = VARIANT_FALSE;
  return Guarded([&] {
    const bool loaded = LoadTable(fileName ? fileName : L"");
    if (success) *success = Flag(loaded);
  });
}

HRESULT TSafeArray::LoadFromFileAsStream(BSTR fileName, VARIANT_BOOL* success) noexcept {
  if (success) *success = VARIANT_FALSE;
  return Guarded([&] {
    const bool loaded = LoadTableAsStream(fileName ? fileName : L"");
    if (success) *success = Flag(loaded);
  });
}

HRESULT TSafeArray::SaveToFileAsStream(BSTR fileName, VARIANT_BOOL* success) noexcept {
  if (success) *success = VARIANT_FALSE;
  return Guarded([&] {
    const bool saved = SaveTableAsStream(fileName ? fileName : L"");
    if (success) *success = Flag(saved);
  });
}

HRESULT TSafeArray::GetValue(LONG x, LONG y, VARIANT* value) noexcept {
  if (!value) return E_POINTER;
  VariantInit(value);
  return Guarded([&] { *value = Cell(x, y).Release(); });
}

}  // namespace ra03v
