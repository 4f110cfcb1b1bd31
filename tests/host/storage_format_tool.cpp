// Helper for the independent storage format check (storage_format_check.py):
// "save FILE" has the driver DLL save a fixed table; "load FILE" has it load a
// file and prints every cell in a plain ASCII form the script compares.
#include <windows.h>

#include <cstdio>
#include <string>

#include "foundation/win/bstr.h"
#include "foundation/win/com_ptr.h"
#include "ra03v/value_array.h"
#include "support/dispatch_caller.h"
#include "support/dll_under_test.h"

namespace ra03v::test {
namespace {

ComPtr<ISafeArray> CreateThroughDll(DllUnderTest& dll) {
  HostBlock block;
  block.SetName("createvaluearray");
  block.Add(Variant().Get());
  block.Add(Variant::FromText(L"createvaluearray").Get());
  block.Add(Variant::FromInt(RA03V_KIND_METHOD).Get());
  dll.Entry()(block.Get(), nullptr);
  Variant object = Variant::Copy(block.At(0).Get());
  ComPtr<ISafeArray> table;
  if (object.Type() == VT_DISPATCH)
    V_DISPATCH(&object.Get())->QueryInterface(RA03V_IID_ISafeArray, table.PutVoid());
  return table;
}

VARIANT Typed(VARTYPE type, double number) {
  Variant source = Variant::FromDouble(number);
  VARIANT result;
  VariantInit(&result);
  VariantChangeType(&result, const_cast<VARIANT*>(&source.Get()), 0, type);
  return result;
}

// The table the script expects to decode (keep the two in step).
void FillFixedTable(DllUnderTest& dll, ISafeArray* table) {
  CallMethod(table, L"SetBounds", {I4(3), I4(4)});
  CallMethod(table, L"SetValue", {I4(0), I4(0), I4(42)});
  CallMethod(table, L"SetValue", {I4(0), I4(1), Variant::FromDouble(-1.5).Get()});
  CallMethod(table, L"SetValue", {I4(0), I4(2), Text(L"Привет, мир")});
  CallMethod(table, L"SetValue", {I4(0), I4(3), Typed(VT_DATE, 45292.75)});
  VARIANT null;
  V_VT(&null) = VT_NULL;
  CallMethod(table, L"SetValue", {I4(1), I4(1), null});
  CallMethod(table, L"SetValue", {I4(1), I4(2), Variant::FromBool(true).Get()});
  CallMethod(table, L"SetValue", {I4(1), I4(3), Typed(VT_I2, -300)});
  ComPtr<ISafeArray> inner = CreateThroughDll(dll);
  inner->SetBounds(2, 1);
  inner->SetValue(0, 0, Text(L"x"));
  inner->SetValue(1, 0, I4(7));
  VARIANT object;
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = inner.Get();
  CallMethod(table, L"SetValue", {I4(2), I4(0), object});
  SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 1, 3);
  for (LONG i = 1; i <= 3; ++i) {
    LONG value = i * 100;
    SafeArrayPutElement(numbers, &i, &value);
  }
  VARIANT vector;
  V_VT(&vector) = VT_ARRAY | VT_I4;
  V_ARRAY(&vector) = numbers;
  CallMethod(table, L"SetValue", {I4(2), I4(1), vector});
  SafeArrayDestroy(numbers);
  CallMethod(table, L"SetValue", {I4(2), I4(2), Typed(VT_CY, 12.3456)});
  // A host's own array whose one cell refers to a VARIANT of the host's.
  static VARIANT referenced;
  V_VT(&referenced) = VT_I4;
  V_I4(&referenced) = 7;
  SAFEARRAYBOUND one[2] = {{1, 0}, {1, 0}};
  SAFEARRAY* cells = SafeArrayCreate(VT_VARIANT, 2, one);
  LONG origin[2] = {0, 0};
  VARIANT* cell = nullptr;
  SafeArrayPtrOfIndex(cells, origin, reinterpret_cast<void**>(&cell));
  V_VT(cell) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(cell) = &referenced;
  ComPtr<ISafeArray> byReference = CreateThroughDll(dll);
  byReference->SetPSA(cells);
  V_DISPATCH(&object) = byReference.Get();
  CallMethod(table, L"SetValue", {I4(2), I4(3), object});
}

std::string Escape(const wchar_t* text, UINT length) {
  std::string out;
  char buffer[8];
  for (UINT i = 0; i < length; ++i) {
    if (text[i] >= 0x20 && text[i] < 0x7F && text[i] != '\\') {
      out += static_cast<char>(text[i]);
    } else {
      std::snprintf(buffer, sizeof(buffer), "\\u%04X", static_cast<unsigned>(text[i]));
      out += buffer;
    }
  }
  return out;
}

std::string Describe(const VARIANT& value) {
  char buffer[64];
  switch (V_VT(&value)) {
    case VT_EMPTY:
      return "empty";
    case VT_NULL:
      return "null";
    case VT_I2:
      return "i2:" + std::to_string(V_I2(&value));
    case VT_I4:
      return "i4:" + std::to_string(V_I4(&value));
    case VT_BOOL:
      return "bool:" + std::to_string(V_BOOL(&value));
    case VT_CY:
      return "cy:" + std::to_string(V_CY(&value).int64);
    case VT_R8:
    case VT_DATE:
      std::snprintf(buffer, sizeof(buffer), "%s:%.17g", V_VT(&value) == VT_R8 ? "r8" : "date",
                    V_R8(&value));
      return buffer;
    case VT_BSTR:
      return "str:" + Escape(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
    case VT_ARRAY | VT_I4: {
      LONG low = 0, high = -1;
      SafeArrayGetLBound(V_ARRAY(&value), 1, &low);
      SafeArrayGetUBound(V_ARRAY(&value), 1, &high);
      std::string out = "i4array:" + std::to_string(low) + ":";
      for (LONG i = low; i <= high; ++i) {
        LONG element = 0;
        SafeArrayGetElement(V_ARRAY(&value), &i, &element);
        out += (i > low ? "," : "") + std::to_string(element);
      }
      return out;
    }
    case VT_DISPATCH: {
      ComPtr<ISafeArray> table;
      if (FAILED(V_DISPATCH(&value)->QueryInterface(RA03V_IID_ISafeArray, table.PutVoid())))
        return "object";
      LONG x = 0, y = 0;
      table->GetBounds(&x, &y);
      std::string out = "table:" + std::to_string(x) + "x" + std::to_string(y) + "[";
      for (LONG i = 0; i < x; ++i)
        for (LONG j = 0; j < y; ++j) {
          Variant cell;
          table->GetValue(i, j, cell.Put());
          out += (i + j > 0 ? ";" : "") + Describe(cell.Get());
        }
      return out + "]";
    }
    default:
      return "vt" + std::to_string(V_VT(&value));
  }
}

int Run(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const std::wstring verb = argv[1];
  DllUnderTest dll(L"ra03v_probe.dll");
  ComPtr<ISafeArray> table = CreateThroughDll(dll);
  if (!table) return 3;
  if (verb == L"save") {
    FillFixedTable(dll, table.Get());
    DispatchOutcome saved = CallMethod(table.Get(), L"SaveToFile", {Text(argv[2])});
    return saved.hr == S_OK ? 0 : 4;
  }
  if (verb != L"load") return 2;
  DispatchOutcome loaded = CallMethod(table.Get(), L"LoadFromFile", {Text(argv[2])});
  if (loaded.hr != S_OK) {
    std::printf(
        "error:%s\n",
        Escape(loaded.description.c_str(), static_cast<UINT>(loaded.description.size())).c_str());
    return 0;
  }
  VARIANT whole;
  V_VT(&whole) = VT_DISPATCH;
  V_DISPATCH(&whole) = table.Get();
  std::printf("%s\n", Describe(whole).c_str());
  return 0;
}

}  // namespace
}  // namespace ra03v::test

int wmain(int argc, wchar_t** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int status = ra03v::test::Run(argc, argv);
  std::fflush(stdout);
  CoUninitialize();
  return status;
}
