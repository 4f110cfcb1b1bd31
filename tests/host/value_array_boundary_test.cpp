// The value array object and the type library as a host meets them in the
// driver DLL: the object handed out through the real entry, used by name and
// through its slots, and the type library read back from the DLL file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/win/bstr.h"
#include "foundation/win/com_ptr.h"
#include "host/class_factory.h"
#include "ra03v/value_array.h"
#include "support/dispatch_caller.h"
#include "support/dll_under_test.h"

namespace ra03v::test {
namespace {

class ProbeValueArray : public ::testing::Test {
 protected:
  // Declared first so that it outlives every object the DLL hands out.
  DllUnderTest dll{L"ra03v_probe.dll"};

  // Runs a probe scenario; gives back value index of the block.
  Variant Run(const char* scenario, const VARIANT& argument = Variant().Get(), int index = 0) {
    HostBlock block;
    block.SetName(scenario);
    block.Add(Variant().Get());
    block.Add(Variant::From1251(scenario).Get());
    block.Add(Variant::FromInt(RA03V_KIND_METHOD).Get());
    block.Add(argument);
    EXPECT_EQ(1, dll.Entry()(block.Get(), nullptr)) << scenario;
    return Variant::Copy(block.At(index).Get());
  }
  ComPtr<ISafeArray> Create() {
    Variant object = Run("createvaluearray");
    EXPECT_EQ(VT_DISPATCH, object.Type());
    ComPtr<ISafeArray> table;
    if (object.Type() == VT_DISPATCH)
      V_DISPATCH(&object.Get())->QueryInterface(RA03V_IID_ISafeArray, table.PutVoid());
    return table;
  }
};

TEST_F(ProbeValueArray, ObjectsFromTheDllWorkByNameAndBySlot) {
  ComPtr<ISafeArray> first = Create();
  ComPtr<ISafeArray> second = Create();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.Get(), second.Get());
  // Two objects, one factory, and the server named on first use.
  EXPECT_EQ(1, Run("factories").ToInt());

  ASSERT_EQ(S_OK, CallMethod(first.Get(), L"SetBounds", {I4(2), I4(2)}).hr);
  ASSERT_EQ(S_OK, CallMethod(first.Get(), L"SetValue", {I4(1), I4(1), Text(L"ячейка")}).hr);
  LONG x = 0, y = 0;
  second->GetBounds(&x, &y);
  EXPECT_EQ(0, x);

  const std::wstring path = TempFileName(L"boundary");
  ASSERT_EQ(S_OK, CallMethod(first.Get(), L"SaveToFile", {Text(path.c_str())}).hr);
  Bstr name = Bstr::Copy(path);
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(S_OK, second->LoadFromFile(name.Get(), &ok));
  EXPECT_EQ(VARIANT_TRUE, ok);
  DispatchOutcome cell = CallMethod(second.Get(), L"GetValue", {I4(1), I4(1)});
  ASSERT_EQ(S_OK, cell.hr);
  EXPECT_EQ(L"ячейка", cell.result.ToText());
  DeleteFileW(path.c_str());

  // The object describes itself from the type library inside the DLL.
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, first->GetTypeInfo(0, 0, info.Put()));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(RA03V_IID_ISafeArray, attributes->guid));
  info->ReleaseTypeAttr(attributes);
}

// The fixture loads the DLL afresh, so nothing has registered the factory yet.
TEST_F(ProbeValueArray, ReadingAStorageFileFirstRegistersTheFactoryItself) {
  const std::wstring path = TempFileName(L"first_use");
  {
    // Saved by this program's own copy of the library.
    ComPtr<ISafeArray> table = CreateValueArray();
    table->SetBounds(1, 1);
    Bstr name = Bstr::Copy(path);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, table->SaveToFile(name.Get(), &ok));
  }
  EXPECT_EQ(0, Run("factories").ToInt());
  EXPECT_EQ(L"", Run("factories", Variant().Get(), 3).ToText());
  EXPECT_TRUE(Run("loadstorage", Variant::FromText(path).Get()).ToInt() != 0);
  EXPECT_EQ(1, Run("factories").ToInt());
  EXPECT_EQ(L"AddIn", Run("factories", Variant().Get(), 3).ToText());
  DeleteFileW(path.c_str());
}

std::wstring Documentation(ITypeLib* library, int index, BSTR* helpOut = nullptr) {
  BSTR name = nullptr, help = nullptr;
  library->GetDocumentation(index, &name, &help, nullptr, nullptr);
  std::wstring result = name ? name : L"";
  SysFreeString(name);
  if (helpOut)
    *helpOut = help;
  else
    SysFreeString(help);
  return result;
}

// Functions beyond those of IUnknown and IDispatch, as "Name(Param,...)".
std::vector<std::wstring> OwnMemberNames(ITypeInfo* info) {
  static const std::wstring inherited =
      L"|QueryInterface|AddRef|Release|GetTypeInfoCount|GetTypeInfo|GetIDsOfNames|Invoke|";
  std::vector<std::wstring> result;
  TYPEATTR* attributes = nullptr;
  if (FAILED(info->GetTypeAttr(&attributes))) return result;
  for (WORD i = 0; i < attributes->cFuncs; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(i, &function))) continue;
    BSTR names[8] = {};
    UINT count = 0;
    info->GetNames(function->memid, names, 8, &count);
    std::wstring text = count > 0 && names[0] ? names[0] : L"";
    if (inherited.find(L"|" + text + L"|") == std::wstring::npos) {
      for (UINT n = 1; n < count; ++n) text += (n == 1 ? L"(" : L",") + std::wstring(names[n]);
      result.push_back(count > 1 ? text + L")" : text);
    }
    for (BSTR n : names) SysFreeString(n);
    info->ReleaseFuncDesc(function);
  }
  info->ReleaseTypeAttr(attributes);
  return result;
}

TEST(TypeLibrary, IsEmbeddedInBothDriverDlls) {
  for (const wchar_t* dll : {L"ra03v.dll", L"ra03v_probe.dll"}) {
    ComPtr<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadTypeLibEx(BesideTestProgram(dll).c_str(), REGKIND_NONE, library.Put()))
        << dll;
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(RA03V_LIBID_exAddIn, attributes->guid));
    EXPECT_EQ(1, attributes->wMajorVerNum);
    EXPECT_EQ(0, attributes->wMinorVerNum);
    EXPECT_EQ(0x409u, attributes->lcid);
    library->ReleaseTLibAttr(attributes);
    BSTR help = nullptr;
    EXPECT_EQ(L"exAddIn", Documentation(library.Get(), -1, &help));
    EXPECT_EQ(std::wstring(L"IPCTest Library"), help ? help : L"");
    SysFreeString(help);

    // ICaller with its one method and three named parameters.
    const GUID iidCaller = {
        0x9D067802, 0x5F0B, 0x4847, {0xBD, 0x64, 0x2F, 0xB3, 0xF5, 0x51, 0xD8, 0x30}};
    ComPtr<ITypeInfo> caller;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(iidCaller, caller.Put()));
    const std::vector<std::wstring> callerNames = OwnMemberNames(caller.Get());
    ASSERT_EQ(1u, callerNames.size());
    EXPECT_EQ(L"Test(Param1,Param2,Param3)", callerNames[0]);

    // The classes, and ISafeArray without members of its own.
    const GUID clsidCaller = {
        0xFF5D8896, 0x95BB, 0x4826, {0xA1, 0xA5, 0x79, 0xA3, 0x2B, 0x16, 0x53, 0xAE}};
    ComPtr<ITypeInfo> callerClass;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(clsidCaller, callerClass.Put()));
    BSTR classHelp = nullptr;
    callerClass->GetDocumentation(MEMBERID_NIL, nullptr, &classHelp, nullptr, nullptr);
    EXPECT_EQ(std::wstring(L"Caller Object"), classHelp ? classHelp : L"");
    SysFreeString(classHelp);
    ComPtr<ITypeInfo> safeArrayClass, safeArrayInterface;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(RA03V_CLSID_SafeArray, safeArrayClass.Put()));
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(RA03V_IID_ISafeArray, safeArrayInterface.Put()));
    EXPECT_TRUE(OwnMemberNames(safeArrayInterface.Get()).empty());
  }
}

}  // namespace
}  // namespace ra03v::test
