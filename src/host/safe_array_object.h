#pragma once
// The value array object: a two-dimensional table of VARIANT values served by
// name (IDispatch) and through its own interface ISafeArray.
#include <cstdint>
#include <string>

#include "foundation/win/safe_array.h"
#include "host/auto_object.h"
#include "ra03v/value_array.h"

namespace ra03v {

class TSafeArray final : public TBaseAutoObject, public ISafeArray, public ISupportErrorInfo {
 public:
  // IUnknown and IDispatch are the base's, reached through every interface.
  HRESULT __stdcall QueryInterface(REFIID iid, void** object) noexcept override {
    return TBaseAutoObject::QueryInterface(iid, object);
  }
  ULONG __stdcall AddRef() noexcept override { return TBaseAutoObject::AddRef(); }
  ULONG __stdcall Release() noexcept override { return TBaseAutoObject::Release(); }
  HRESULT __stdcall GetTypeInfoCount(UINT* count) noexcept override {
    return TBaseAutoObject::GetTypeInfoCount(count);
  }
  HRESULT __stdcall GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) noexcept override {
    return TBaseAutoObject::GetTypeInfo(index, locale, info);
  }
  HRESULT __stdcall GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                  DISPID* ids) noexcept override {
    return TBaseAutoObject::GetIDsOfNames(iid, names, count, locale, ids);
  }
  // The base's, except that the values "SetValue" and "SetRowValues" store are
  // checked as they arrive, by reference or not, before anything is stored.
  HRESULT __stdcall Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* args,
                           VARIANT* result, EXCEPINFO* error, UINT* argError) noexcept override;

  // ISafeArray: failures become an HRESULT with COM error information.
  HRESULT __stdcall SetBounds(LONG countX, LONG countY) noexcept override;
  HRESULT __stdcall SetValue(LONG x, LONG y, VARIANT value) noexcept override;
  HRESULT __stdcall GetPSA(SAFEARRAY** array) noexcept override;
  HRESULT __stdcall GetElementType(VARTYPE* type) noexcept override;
  HRESULT __stdcall IsEmpty(LONG* empty) noexcept override;
  HRESULT __stdcall SetPSA(SAFEARRAY* array) noexcept override;
  HRESULT __stdcall SetPSAWithType(SAFEARRAY* array, VARTYPE type) noexcept override;
  HRESULT __stdcall GetBounds(LONG* countX, LONG* countY) noexcept override;
  HRESULT __stdcall SaveToFile(BSTR fileName, VARIANT_BOOL* success) noexcept override;
  HRESULT __stdcall LoadFromFile(BSTR fileName, VARIANT_BOOL* success) noexcept override;
  HRESULT __stdcall LoadFromFileAsStream(BSTR fileName, VARIANT_BOOL* success) noexcept override;
  HRESULT __stdcall SaveToFileAsStream(BSTR fileName, VARIANT_BOOL* success) noexcept override;
  HRESULT __stdcall GetValue(LONG x, LONG y, VARIANT* value) noexcept override;
  // ISupportErrorInfo
  HRESULT __stdcall InterfaceSupportsErrorInfo(REFIID iid) noexcept override;

  const char* ClassName() const noexcept override { return "TSafeArray"; }

  // The library's own operations; they raise on failure.
  void ResizeTable(int32_t countX, int32_t countY);
  Variant Cell(int32_t x, int32_t y) const;
  void StoreCell(int32_t x, int32_t y, const VARIANT& value);
  // Takes array over as the table (null is ignored); it must be two-dimensional
  // with elements of type.
  void TakeOver(SAFEARRAY* array, VARTYPE type);
  SAFEARRAY* Table() const noexcept;
  // Gives the table away (with its element type); the object is left without one.
  SafeArray DetachTable(VARTYPE& type) noexcept;
  VARTYPE ElementType() const noexcept;
  int32_t CountX() const noexcept { return countX_; }
  int32_t CountY() const noexcept { return countY_; }
  bool Empty() const noexcept { return countX_ <= 0 || countY_ <= 0; }
  void SaveTable(const std::wstring& fileName) const;
  // False when the file does not exist; a failed load leaves the table unchanged.
  bool LoadTable(const std::wstring& fileName);
  bool LoadTableAsStream(const std::wstring& fileName);
  // False (nothing written) unless the table holds bytes.
  bool SaveTableAsStream(const std::wstring& fileName) const;

 protected:
  void RegisterNames() override;
  void* FindInterface(REFIID iid) noexcept override;
  const IID& TypeInfoInterface() const noexcept override { return RA03V_IID_ISafeArray; }

 private:
  friend class TBaseAutoObject;
  TSafeArray();
  ~TSafeArray() override = default;

  template <typename F>
  HRESULT Guarded(F&& body) noexcept;
  // True when id names member (looked up as a host would).
  bool IsMember(DISPID id, const wchar_t* member) noexcept;

  // Automation members.
  void DoGetBounds(TParams& block, Variant& result);
  void DoSetBounds(TParams& block, Variant& result);
  void DoGetValue(TParams& block, Variant& result);
  void DoSetValue(TParams& block, Variant& result);
  void DoEmpty(TParams& block, Variant& result);
  void DoPsa(TParams& block, Variant& result);
  void DoSetRowValues(TParams& block, Variant& result);
  void DoSetPsa(TParams& block, Variant& result);
  void DoLoadFromFile(TParams& block, Variant& result);
  void DoSaveToFile(TParams& block, Variant& result);
  void DoSaveToFileAsStream(TParams& block, Variant& result);
  void DoLoadFromFileAsStream(TParams& block, Variant& result);
  void DoRowCount(TParams& block, Variant& result);
  void DoColCount(TParams& block, Variant& result);

  Variant data_;  // VT_ARRAY | element type, owning the table's SAFEARRAY
  int32_t countX_ = 0;
  int32_t countY_ = 0;
};

}  // namespace ra03v
