/*
 * RA-03V card reader driver: the value array object's own interface, for hosts
 * written in C++. The object also answers IDispatch by name ("GetBounds",
 * "SetValue", "SaveToFile", ...). Every operation returns an HRESULT; failures
 * carry their message as COM error information (GetErrorInfo).
 */
#ifndef RA03V_VALUE_ARRAY_H
#define RA03V_VALUE_ARRAY_H

#include <windows.h>
#include <oaidl.h>

#ifdef __cplusplus

/* {C71ED758-08C7-4ACB-9497-120FDBCFDD21} */
inline constexpr IID RA03V_IID_ISafeArray = {
    0xC71ED758, 0x08C7, 0x4ACB, {0x94, 0x97, 0x12, 0x0F, 0xDB, 0xCF, 0xDD, 0x21}};
/* {67ACED41-31C6-434E-9632-96018EB2B4EB}: the class SafeArray */
inline constexpr CLSID RA03V_CLSID_SafeArray = {
    0x67ACED41, 0x31C6, 0x434E, {0x96, 0x32, 0x96, 0x01, 0x8E, 0xB2, 0xB4, 0xEB}};
/* {B0A3CC0F-02F3-4065-A166-0F06346DFD02}: the type library "exAddIn" */
inline constexpr GUID RA03V_LIBID_exAddIn = {
    0xB0A3CC0F, 0x02F3, 0x4065, {0xA1, 0x66, 0x0F, 0x06, 0x34, 0x6D, 0xFD, 0x02}};

/* Slots in this order after the seven of IDispatch. */
struct ISafeArray : public IDispatch {
  virtual HRESULT __stdcall SetBounds(LONG countX, LONG countY) = 0;
  virtual HRESULT __stdcall SetValue(LONG x, LONG y, VARIANT value) = 0;
  /* The table's own array: still owned by the object. */
  virtual HRESULT __stdcall GetPSA(SAFEARRAY** array) = 0;
  virtual HRESULT __stdcall GetElementType(VARTYPE* type) = 0;
  virtual HRESULT __stdcall IsEmpty(LONG* empty) = 0;
  /* The object takes the array over (element type VT_VARIANT). */
  virtual HRESULT __stdcall SetPSA(SAFEARRAY* array) = 0;
  virtual HRESULT __stdcall SetPSAWithType(SAFEARRAY* array, VARTYPE type) = 0;
  virtual HRESULT __stdcall GetBounds(LONG* countX, LONG* countY) = 0;
  virtual HRESULT __stdcall SaveToFile(BSTR fileName, VARIANT_BOOL* success) = 0;
  virtual HRESULT __stdcall LoadFromFile(BSTR fileName, VARIANT_BOOL* success) = 0;
  virtual HRESULT __stdcall LoadFromFileAsStream(BSTR fileName, VARIANT_BOOL* success) = 0;
  virtual HRESULT __stdcall SaveToFileAsStream(BSTR fileName, VARIANT_BOOL* success) = 0;
  virtual HRESULT __stdcall GetValue(LONG x, LONG y, VARIANT* value) = 0;
};

#endif /* __cplusplus */
#endif /* RA03V_VALUE_ARRAY_H */
