// The value array object as a host uses it: created by CreateValueArray,
// reached by name through IDispatch and through the ISafeArray slots.
#include <gtest/gtest.h>

#include "foundation/win/safe_array.h"
#include "host/class_factory.h"
#include "support/dispatch_caller.h"

namespace ra03v::test {
namespace {

class ValueArray : public ::testing::Test {
 protected:
  ComPtr<ISafeArray> table = CreateValueArray();
  IDispatch* dispatch() { return table.Get(); }

  int Property(const wchar_t* name) {
    DispatchOutcome get = CallByName(dispatch(), name, DISPATCH_PROPERTYGET);
    EXPECT_EQ(S_OK, get.hr) << name;
    return get.result.ToInt();
  }
  std::wstring CellText(LONG x, LONG y) {
    Variant value;
    EXPECT_EQ(S_OK, table->GetValue(x, y, value.Put()));
    return value.Type() == VT_EMPTY ? L"<empty>" : value.ToText();
  }
  static std::wstring LastErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK) return L"<none>";
    BSTR text = nullptr;
    info->GetDescription(&text);
    std::wstring result = text ? text : L"";
    SysFreeString(text);
    return result;
  }
};

TEST_F(ValueArray, ANewObjectIsEmptyThoughOneCellExists) {
  EXPECT_EQ(1, CallMethod(dispatch(), L"Empty").result.ToInt());
  EXPECT_EQ(0, Property(L"RowCount"));
  EXPECT_EQ(0, Property(L"ColCount"));
  DispatchOutcome get = CallMethod(dispatch(), L"GetValue", {I4(0), I4(0)});
  EXPECT_EQ(DISP_E_EXCEPTION, get.hr);
  EXPECT_EQ(1000, get.scode);
  EXPECT_EQ(L"Номер элемента массива за пределами границ.", get.description);
  EXPECT_EQ(L"Exception", get.source);
  SAFEARRAY* own = nullptr;
  ASSERT_EQ(S_OK, table->GetPSA(&own));
  EXPECT_EQ(2u, SafeArrayGetDim(own));
  LONG empty = 0;
  EXPECT_EQ(S_OK, table->IsEmpty(&empty));
  EXPECT_EQ(1, empty);
}

TEST_F(ValueArray, ResizingKeepsTheOverlapAndEmptiesNewCells) {
  ASSERT_EQ(S_OK, CallMethod(dispatch(), L"SetBounds", {I4(3), I4(2)}).hr);
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 2; ++y)
      ASSERT_EQ(S_OK, CallMethod(dispatch(), L"SetValue", {I4(x), I4(y), I4(10 * x + y)}).hr);
  ASSERT_EQ(S_OK, table->SetBounds(2, 4));
  LONG x = 0, y = 0;
  ASSERT_EQ(S_OK, table->GetBounds(&x, &y));
  EXPECT_EQ(2, x);
  EXPECT_EQ(4, y);
  EXPECT_EQ(L"0", CellText(0, 0));
  EXPECT_EQ(L"11", CellText(1, 1));
  EXPECT_EQ(L"<empty>", CellText(1, 3));
  EXPECT_EQ(L"<empty>", CellText(0, 2));
  Variant gone;
  EXPECT_EQ(E_FAIL, table->GetValue(2, 0, gone.Put()));
  // Negative counts change nothing; 0 keeps a physical cell but empties the table.
  ASSERT_EQ(S_OK, table->SetBounds(-1, 5));
  EXPECT_EQ(2, Property(L"RowCount"));
  ASSERT_EQ(S_OK, table->SetBounds(0, 4));
  EXPECT_EQ(1, CallMethod(dispatch(), L"Empty").result.ToInt());
  // A table too large to address fails and keeps the old one.
  DispatchOutcome huge = CallMethod(dispatch(), L"SetBounds", {I4(100000), I4(100000)});
  EXPECT_EQ(DISP_E_EXCEPTION, huge.hr);
  EXPECT_EQ(L"EOutOfMemory", huge.source);
  EXPECT_EQ(0, Property(L"RowCount"));
  EXPECT_EQ(4, Property(L"ColCount"));
}

TEST_F(ValueArray, OutArgumentsAndRowValues) {
  ASSERT_EQ(S_OK, table->SetBounds(3, 2));
  VARIANT rows;
  VariantInit(&rows);
  LONG cols = 0;
  ASSERT_EQ(S_OK, CallMethod(dispatch(), L"getbounds", {RefVariant(&rows), RefI4(&cols)}).hr);
  EXPECT_EQ(VT_I4, V_VT(&rows));
  EXPECT_EQ(3, V_I4(&rows));
  EXPECT_EQ(2, cols);

  ASSERT_EQ(S_OK, CallMethod(dispatch(), L"SetRowValues", {I4(1), Text(L"a"), Text(L"b")}).hr);
  EXPECT_EQ(L"a", CellText(1, 0));
  EXPECT_EQ(L"b", CellText(1, 1));
  EXPECT_EQ(L"<empty>", CellText(0, 0));
  DispatchOutcome tooMany =
      CallMethod(dispatch(), L"SetRowValues", {I4(0), Text(L"a"), Text(L"b"), Text(L"c")});
  EXPECT_EQ(L"Номер элемента массива за пределами границ. X:0 Y:2 CountX:3 CountY:2\r\nc",
            tooMany.description);

  DispatchOutcome put = CallByName(dispatch(), L"RowCount", DISPATCH_PROPERTYPUT, {I4(5)});
  EXPECT_EQ(DISP_E_EXCEPTION, put.hr);
  EXPECT_EQ(0, put.scode);
  EXPECT_EQ(L"Свойство недоступно для записи [ROWCOUNT]", put.description);
  EXPECT_EQ(L"TSafeArray", put.source);
  DispatchOutcome wrongCount = CallMethod(dispatch(), L"GetValue", {I4(0)});
  EXPECT_EQ(L"Неверное число параметров для [GETVALUE]", wrongCount.description);
}

TEST_F(ValueArray, ByReferenceValuesAreStoredDereferencedOrRefused) {
  ASSERT_EQ(S_OK, table->SetBounds(1, 2));
  LONG number = 17;
  ASSERT_EQ(S_OK, table->SetValue(0, 0, RefI4(&number)));
  number = 18;
  Variant stored;
  ASSERT_EQ(S_OK, table->GetValue(0, 0, stored.Put()));
  EXPECT_EQ(VT_I4, stored.Type());
  EXPECT_EQ(17, stored.ToInt());

  BYTE small = 3;
  VARIANT byteRef;
  V_VT(&byteRef) = VT_BYREF | VT_UI1;
  V_UI1REF(&byteRef) = &small;
  EXPECT_EQ(E_FAIL, table->SetValue(0, 1, byteRef));
  EXPECT_EQ(L"Ошибка типа параметра. 16401", LastErrorDescription());
  EXPECT_EQ(E_FAIL, table->SetValue(5, 0, I4(1)));
  EXPECT_EQ(L"Номер элемента массива за пределами границ. X:5 Y:0 CountX:1 CountY:2\r\n1",
            LastErrorDescription());
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(S_OK, table->QueryInterface(IID_ISupportErrorInfo, support.PutVoid()));
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(RA03V_IID_ISafeArray));
}

TEST_F(ValueArray, TakingOverArrays) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 0}};
  SAFEARRAY* given = SafeArrayCreate(VT_VARIANT, 2, bounds);
  LONG index[2] = {1, 2};
  VARIANT seven = I4(7);
  ASSERT_EQ(S_OK, SafeArrayPutElement(given, index, &seven));
  ASSERT_EQ(S_OK, table->SetPSA(given));
  EXPECT_EQ(2, Property(L"RowCount"));
  EXPECT_EQ(3, Property(L"ColCount"));
  EXPECT_EQ(L"7", CellText(1, 2));
  SAFEARRAY* own = nullptr;
  ASSERT_EQ(S_OK, table->GetPSA(&own));
  EXPECT_EQ(given, own);
  // "__PSA" hands out the same address; giving our own table back keeps it alive.
  DispatchOutcome address = CallMethod(dispatch(), L"__PSA");
  ASSERT_EQ(S_OK, address.hr);
  // A pointer-sized integer, so a 64-bit address is not cut.
#if defined(_WIN64)
  ASSERT_EQ(VT_I8, address.result.Type());
  EXPECT_EQ(reinterpret_cast<LONGLONG>(own), V_I8(&address.result.Get()));
#else
  ASSERT_EQ(VT_I4, address.result.Type());
  EXPECT_EQ(reinterpret_cast<LONG>(own), V_I4(&address.result.Get()));
#endif
  ASSERT_EQ(S_OK, CallMethod(dispatch(), L"__SetPSA", {address.result.Get()}).hr);
  EXPECT_EQ(L"7", CellText(1, 2));
  ASSERT_EQ(S_OK, table->SetPSA(own));
  EXPECT_EQ(L"7", CellText(1, 2));

  // A one-dimensional array, or one whose elements are not of the named type, is refused.
  SafeArray vector = SafeArray::Vector(VT_VARIANT, 0, 4);
  EXPECT_EQ(E_FAIL, table->SetPSA(vector.Get()));
  SafeArray bytes = SafeArray::Attach(SafeArrayCreate(VT_UI1, 2, bounds));
  EXPECT_EQ(E_FAIL, table->SetPSA(bytes.Get()));
  EXPECT_EQ(L"7", CellText(1, 2));
  ASSERT_EQ(S_OK, table->SetPSAWithType(bytes.Release(), VT_UI1));
  VARTYPE type = 0;
  ASSERT_EQ(S_OK, table->GetElementType(&type));
  EXPECT_EQ(VT_UI1, type);
  ASSERT_EQ(S_OK, table->SetValue(1, 1, I4(200)));
  Variant cell;
  ASSERT_EQ(S_OK, table->GetValue(1, 1, cell.Put()));
  EXPECT_EQ(VT_UI1, cell.Type());
  EXPECT_EQ(200, cell.ToInt());
  EXPECT_EQ(E_FAIL, table->SetValue(1, 1, Text(L"not a number")));
  EXPECT_EQ(S_OK, table->SetPSA(nullptr));
}

TEST_F(ValueArray, ObjectsAreIndependentAndTheFactoryIsRegisteredOnce) {
  ComPtr<ISafeArray> other = CreateValueArray();
  ASSERT_EQ(S_OK, table->SetBounds(1, 1));
  EXPECT_EQ(S_OK, other->SetBounds(4, 4));
  LONG x = 0, y = 0;
  table->GetBounds(&x, &y);
  EXPECT_EQ(1, x);
  EXPECT_EQ(1, RegisteredFactoryCount());
  EXPECT_EQ(L"AddIn", ComServerName());
  ComPtr<IClassFactory> factory = FindClassFactory(RA03V_CLSID_SafeArray);
  ASSERT_TRUE(factory);
  ComPtr<ISafeArray> made;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, RA03V_IID_ISafeArray, made.PutVoid()));
  LONG empty = 0;
  made->IsEmpty(&empty);
  EXPECT_EQ(1, empty);
  EXPECT_FALSE(FindClassFactory(RA03V_IID_ISafeArray));
}

}  // namespace
}  // namespace ra03v::test
