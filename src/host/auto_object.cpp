#include "host/auto_object.h"

#include <cstring>
#include <stdexcept>

#include "foundation/error_codes.h"
#include "foundation/text_codec.h"
#include "foundation/text_format.h"
#include "foundation/win/bstr.h"
#include "host/exception_info.h"
#include "host/type_library.h"

namespace ra03v {

namespace {

constexpr SCODE kHandlerFailure = 1000;

bool SameNameIgnoringCase(std::wstring_view a, std::wstring_view b) noexcept {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

void FillError(EXCEPINFO* error, SCODE code, const std::string& description,
               const std::string& source) noexcept {
  if (!error) return;
  std::memset(error, 0, sizeof(*error));
  error->scode = code;
  try {
    error->bstrDescription = Bstr::From1251(description).Release();
    error->bstrSource = Bstr::From1251(source).Release();
  } catch (...) {
    // The code alone still tells the caller that the call failed.
  }
}

std::string BlockText(const VARIANT& text) {
  return V_VT(&text) == VT_BSTR ? WideTo1251(V_BSTR(&text) ? V_BSTR(&text) : L"") : std::string();
}

void SetBlockText(VARIANT& target, const std::string& text) {
  Variant value = Variant::From1251(text);
  VariantClear(&target);
  target = value.Release();
}

void CopyResult(TParams& block, const Variant& result) {
  if (!block.ResultRef) return;
  Variant copy = Variant::Copy(result.Get());
  VariantClear(block.ResultRef);
  *block.ResultRef = copy.Release();
}

void Fail(TParams& block, const char* className, const std::string& text) {
  block.HasError = 1;
  SetBlockText(block.ErrorSource, className);
  SetBlockText(block.ErrorDescription, text);
}

}  // namespace

std::string UpperMemberName(std::wstring_view name) {
  if (name.empty()) return {};
  std::wstring upper(name);
  LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, name.data(), static_cast<int>(name.size()),
               upper.data(), static_cast<int>(upper.size()));
  return WideTo1251(upper);
}

void TBaseAutoObject::Initialize() {
  RegisterNames();
  callBlock_ = TParams::Create();
  workBlock_ = TParams::Create();
}

void TBaseAutoObject::AddMember(Member member) {
  if (members_.size() >= kMaxMembers) throw std::runtime_error("Массив имен заполнен.");
  members_.push_back(std::move(member));
}

void TBaseAutoObject::AddMethod(const char* name, int16_t paramCount, Handler handler) {
  AddMember({UpperMemberName(Text1251ToWide(name)), paramCount, true, handler, nullptr});
}

void TBaseAutoObject::AddProperty(const char* name, Handler setter, Handler getter) {
  AddMember({UpperMemberName(Text1251ToWide(name)), 0, false, getter, setter});
}

void* TBaseAutoObject::FindInterface(REFIID) noexcept { return nullptr; }

HRESULT TBaseAutoObject::QueryInterface(REFIID iid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch))
    *object = static_cast<IDispatch*>(this);
  else
    *object = FindInterface(iid);
  if (!*object) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG TBaseAutoObject::AddRef() noexcept { return ++references_; }

ULONG TBaseAutoObject::Release() noexcept {
  const ULONG left = --references_;
  // The object owns itself from creation to its last release.
  if (left == 0) delete this;
  return left;
}

HRESULT TBaseAutoObject::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TBaseAutoObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadOwnTypeLibrary(library);
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(TypeInfoInterface(), info);
}

HRESULT TBaseAutoObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                       DISPID* ids) noexcept {
  if (!names || !ids || count == 0 || !names[0]) return E_INVALIDARG;
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  try {
    const std::wstring_view name(names[0]);
    for (size_t i = 0; i < dispNames_.size(); ++i) {
      if (SameNameIgnoringCase(dispNames_[i], name)) {
        ids[0] = static_cast<DISPID>(i);
        return S_OK;
      }
    }
    dispNames_.emplace_back(name);
    ids[0] = static_cast<DISPID>(dispNames_.size() - 1);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT TBaseAutoObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* args,
                                VARIANT* result, EXCEPINFO* error, UINT*) noexcept {
  // The result is an out-value: whatever the caller left there is not ours to free.
  if (result) VariantInit(result);
  DISPPARAMS none{};
  bool failed = false;
  try {
    RunInvoke(id, flags, args ? *args : none, result, error, failed);
  } catch (...) {
    const ExceptionInfo info = CurrentExceptionInfo();
    FillError(error, kHandlerFailure, info.message, info.className);
    failed = true;
  }
  if (callBlock_) callBlock_->AttachValues(nullptr);
  if (workBlock_) workBlock_->Destroy();
  return failed ? DISP_E_EXCEPTION : S_OK;
}

void TBaseAutoObject::RunInvoke(DISPID id, WORD flags, DISPPARAMS& args, VARIANT* result,
                                EXCEPINFO* error, bool& failed) {
  if (id < 0 || static_cast<size_t>(id) >= dispNames_.size())
    throw std::runtime_error(FormatTemplate("Неизвестный идентификатор члена: %d", {int64_t{id}}));
  const std::string name = UpperMemberName(dispNames_[static_cast<size_t>(id)]);
  if (args.cArgs > 0 && !args.rgvarg) throw std::runtime_error("Неверный список параметров.");

  TParams& call = *callBlock_;
  call.Clear();
  call.AttachValues(&args);
  call.SetName(name.c_str());
  call.CallFlags = flags;
  call.ResultRef = result;

  TParams& work = *workBlock_;
  work.Clear();
  work.AllocValues();
  const int count = call.Count();
  // A borrowed list holds the values in reverse order.
  auto callSlot = [&](int i) -> VARIANT& { return args.rgvarg[count - 1 - i]; };
  for (int i = 0; i < count; ++i) {
    const VARIANT& slot = callSlot(i);
    if (V_VT(&slot) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&slot))
      work.Add(*V_VARIANTREF(&slot));
    else
      work.Add(slot);
  }
  work.SetName(name.c_str());
  work.CallFlags = flags;
  work.ResultRef = result;

  DispatchByName(work);

  VariantClear(&call.ErrorDescription);
  VariantCopy(&call.ErrorDescription, &work.ErrorDescription);
  VariantClear(&call.ErrorSource);
  VariantCopy(&call.ErrorSource, &work.ErrorSource);
  call.SetError(work.ErrorCode);
  call.HasError = (work.HasError || work.ErrorCode != 0) ? 1 : 0;

  for (int i = 0; i < count && i < work.Count(); ++i) {
    VARIANT& slot = callSlot(i);
    if (V_VT(&slot) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&slot)) {
      Variant copy = work.Get(i);
      VariantClear(V_VARIANTREF(&slot));
      *V_VARIANTREF(&slot) = copy.Release();
    } else {
      call.Set(i, work.Get(i).Get());
    }
  }

  if (call.HasError) {
    FillError(error, call.ErrorCode, BlockText(call.ErrorDescription), BlockText(call.ErrorSource));
    failed = true;
  }
}

void TBaseAutoObject::Run(Handler handler, TParams& block) {
  Variant value;
  (this->*handler)(block, value);
  CopyResult(block, value);
}

void TBaseAutoObject::DispatchByName(TParams& block) {
  const std::string name = block.Name ? block.Name : "";
  const unsigned flags = block.CallFlags;
  bool matched = false;
  for (const Member& member : members_) {
    if (member.name != name) continue;
    if (flags == DISPATCH_METHOD || flags == (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) {
      if (member.isMethod && member.paramCount > 0 && block.Count() != member.paramCount) {
        Fail(block, ClassName(), "Неверное число параметров для [" + QuoteHostText(name) + "]");
        return;
      }
      if (!member.handler) {
        Fail(block, ClassName(), "Свойство недоступно для чтения [" + QuoteHostText(name) + "]");
        return;
      }
      Run(member.handler, block);
      return;
    }
    if (flags == DISPATCH_PROPERTYGET) {
      if (member.isMethod) continue;
      matched = true;
      if (!member.handler) {
        Fail(block, ClassName(), "Свойство недоступно для чтения [" + QuoteHostText(name) + "]");
        return;
      }
      Run(member.handler, block);
    } else if (flags == DISPATCH_PROPERTYPUT || flags == DISPATCH_PROPERTYPUTREF ||
               flags == (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      if (member.isMethod) continue;
      matched = true;
      if (!member.setter) {
        Fail(block, ClassName(), "Свойство недоступно для записи [" + QuoteHostText(name) + "]");
        return;
      }
      Run(member.setter, block);
    }
  }
  if (matched || DispatchUnknown(block)) return;
  Fail(block, ClassName(), "");
  block.SetError(kErrorText);
  SetBlockText(block.ErrorDescription,
               "Метод/Свойство [" + QuoteHostText(name) + "] не обнаружено. Флаг:" + std::to_string(flags));
}

bool TBaseAutoObject::DispatchUnknown(TParams&) { return false; }

}  // namespace ra03v
