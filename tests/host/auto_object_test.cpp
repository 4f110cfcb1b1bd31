// The automation object base as a host reaches it: IDispatch by name, blocks
// packed and unpacked, out-arguments written back, errors in EXCEPINFO.
#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/protect_exception.h"
#include "foundation/text_codec.h"
#include "host/auto_object.h"
#include "support/dispatch_caller.h"

namespace ra03v::test {
namespace {

class TProbeObject : public TBaseAutoObject {
 public:
  // Members registered beyond the probe's own, to reach the table's limit.
  static inline int extraMembers = 0;
  int putCount = 0;
  const char* ClassName() const noexcept override { return "TProbeObject"; }

 protected:
  void RegisterNames() override {
    auto h = [](void (TProbeObject::*m)(TParams&, Variant&)) { return static_cast<Handler>(m); };
    AddMethod("Echo", 0, h(&TProbeObject::Echo));
    AddMethod("Bump", 1, h(&TProbeObject::Bump));
    AddProperty("WriteOnly", h(&TProbeObject::Put), nullptr);
    AddProperty("Counter", h(&TProbeObject::Put), h(&TProbeObject::Counter));
    AddProperty("Counter", h(&TProbeObject::Put), h(&TProbeObject::Counter));
    AddMethod("Raise", 0, h(&TProbeObject::Raise));
    AddMethod("RaisePlain", 0, h(&TProbeObject::RaisePlain));
    for (int i = 0; i < extraMembers; ++i) AddMethod("Extra", 0, h(&TProbeObject::Echo));
  }
  bool DispatchUnknown(TParams& block) override {
    return block.Name && std::string(block.Name) == "HANDLEDELSEWHERE";
  }

 private:
  // Result: the argument count; argument 0 becomes "changed".
  void Echo(TParams& block, Variant& result) {
    result = Variant::FromInt(block.Count());
    if (block.Count() > 0) block.Set(0, Variant::FromText(L"changed").Get());
  }
  // Argument 0 becomes argument 0 + 1 (as a double, to show the conversion).
  void Bump(TParams& block, Variant& result) {
    block.Set(0, Variant::FromDouble(block.Get(0).ToDouble() + 1.0).Get());
    result = Variant::FromText(L"bumped");
  }
  void Put(TParams& block, Variant&) { putCount = block.Get(0).ToInt(); }
  void Counter(TParams&, Variant& result) { result = Variant::FromInt(putCount); }
  void Raise(TParams&, Variant&) { throw EProtectException(5, "сбой устройства"); }
  void RaisePlain(TParams&, Variant&) { throw std::runtime_error("простая ошибка"); }
};

class AutoObject : public ::testing::Test {
 protected:
  ComPtr<TProbeObject> object = TBaseAutoObject::Make<TProbeObject>();
  IDispatch* dispatch() { return static_cast<IDispatch*>(object.Get()); }
};

TEST_F(AutoObject, NamesAreCaseInsensitiveAndUnknownNamesStillGetIdentifiers) {
  DISPID lower = -1, upper = -1, unknown = -1, again = -1;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(L"echo")};
  ASSERT_EQ(S_OK, dispatch()->GetIDsOfNames(IID_NULL, names, 1, 0, &lower));
  names[0] = const_cast<LPOLESTR>(L"ECHO");
  ASSERT_EQ(S_OK, dispatch()->GetIDsOfNames(IID_NULL, names, 1, 0, &upper));
  names[0] = const_cast<LPOLESTR>(L"NoSuchMember");
  ASSERT_EQ(S_OK, dispatch()->GetIDsOfNames(IID_NULL, names, 1, 0, &unknown));
  names[0] = const_cast<LPOLESTR>(L"nosuchmember");
  ASSERT_EQ(S_OK, dispatch()->GetIDsOfNames(IID_NULL, names, 1, 0, &again));
  EXPECT_EQ(lower, upper);
  EXPECT_NE(lower, unknown);
  EXPECT_EQ(unknown, again);

  DispatchOutcome call = CallMethod(dispatch(), L"NoSuchMember");
  EXPECT_EQ(DISP_E_EXCEPTION, call.hr);
  EXPECT_EQ(20000, call.scode);
  EXPECT_EQ(L"Метод/Свойство [NOSUCHMEMBER] не обнаружено. Флаг:1", call.description);
  EXPECT_EQ(L"TProbeObject", call.source);
  // A Cyrillic name is upper-cased in the message too.
  call = CallByName(dispatch(), L"строка", DISPATCH_PROPERTYGET);
  EXPECT_EQ(L"Метод/Свойство [СТРОКА] не обнаружено. Флаг:2", call.description);
}

TEST_F(AutoObject, ArgumentCountIsCheckedOnlyForFixedCounts) {
  for (int count = 0; count < 4; ++count) {
    VARIANT a = I4(1), b = I4(2), c = I4(3);
    DispatchOutcome call = count == 0   ? CallMethod(dispatch(), L"Echo")
                           : count == 1 ? CallMethod(dispatch(), L"Echo", {a})
                           : count == 2 ? CallMethod(dispatch(), L"Echo", {a, b})
                                        : CallMethod(dispatch(), L"Echo", {a, b, c});
    ASSERT_EQ(S_OK, call.hr) << count;
    EXPECT_EQ(count, call.result.ToInt());
  }
  DispatchOutcome call = CallMethod(dispatch(), L"bump", {I4(1), I4(2)});
  EXPECT_EQ(DISP_E_EXCEPTION, call.hr);
  EXPECT_EQ(0, call.scode);
  EXPECT_EQ(L"Неверное число параметров для [BUMP]", call.description);
  EXPECT_EQ(L"TProbeObject", call.source);
}

TEST_F(AutoObject, PropertiesByCallKind) {
  // Two members share the name: a put runs both setters, a get both getters.
  DispatchOutcome put = CallByName(dispatch(), L"Counter", DISPATCH_PROPERTYPUT, {I4(7)});
  ASSERT_EQ(S_OK, put.hr);
  EXPECT_EQ(7, object->putCount);
  DispatchOutcome get = CallByName(dispatch(), L"Counter", DISPATCH_PROPERTYGET);
  ASSERT_EQ(S_OK, get.hr);
  EXPECT_EQ(7, get.result.ToInt());
  // Some callers send method-or-get for a property.
  get = CallByName(dispatch(), L"counter", DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  ASSERT_EQ(S_OK, get.hr);
  EXPECT_EQ(7, get.result.ToInt());

  get = CallByName(dispatch(), L"WriteOnly", DISPATCH_PROPERTYGET);
  EXPECT_EQ(DISP_E_EXCEPTION, get.hr);
  EXPECT_EQ(0, get.scode);
  EXPECT_EQ(L"Свойство недоступно для чтения [WRITEONLY]", get.description);
  // A method is not a property: a get of it finds nothing.
  get = CallByName(dispatch(), L"Echo", DISPATCH_PROPERTYGET);
  EXPECT_EQ(20000, get.scode);
  // Flags that name no call kind match nothing.
  get = CallByName(dispatch(), L"Counter", 16);
  EXPECT_EQ(L"Метод/Свойство [COUNTER] не обнаружено. Флаг:16", get.description);
}

TEST_F(AutoObject, OutArgumentsReachByReferenceSlotsOnly) {
  VARIANT target = Variant::FromText(L"before").Release();
  DispatchOutcome call = CallMethod(dispatch(), L"Echo", {RefVariant(&target)});
  ASSERT_EQ(S_OK, call.hr);
  EXPECT_EQ(L"changed", Variant::Attach(target).ToText());

  LONG number = 41;
  call = CallMethod(dispatch(), L"Bump", {RefI4(&number)});
  ASSERT_EQ(S_OK, call.hr);
  EXPECT_EQ(42, number);
  EXPECT_EQ(L"bumped", call.result.ToText());

  VARIANT byValue = I4(41);
  call = CallMethod(dispatch(), L"Bump", {byValue});
  ASSERT_EQ(S_OK, call.hr);
  EXPECT_EQ(41, V_I4(&byValue));

  // A typed by-reference slot of a type that cannot be written back fails the call.
  DATE date = 45000;
  VARIANT dateRef;
  V_VT(&dateRef) = VT_BYREF | VT_DATE;
  V_DATEREF(&dateRef) = &date;
  call = CallMethod(dispatch(), L"Bump", {dateRef});
  EXPECT_EQ(DISP_E_EXCEPTION, call.hr);
  EXPECT_EQ(1000, call.scode);
  EXPECT_EQ(L"Неподдерживаемый тип параметра.", call.description);
}

TEST_F(AutoObject, HandlerExceptionsBecomeCode1000WithTheirClass) {
  DispatchOutcome call = CallMethod(dispatch(), L"Raise");
  EXPECT_EQ(DISP_E_EXCEPTION, call.hr);
  EXPECT_EQ(1000, call.scode);
  EXPECT_EQ(L"сбой устройства", call.description);
  EXPECT_EQ(L"EProtectException", call.source);
  call = CallMethod(dispatch(), L"RaisePlain");
  EXPECT_EQ(1000, call.scode);
  EXPECT_EQ(L"простая ошибка", call.description);
  EXPECT_EQ(L"Exception", call.source);
  // The object keeps serving after a failure.
  EXPECT_EQ(S_OK, CallMethod(dispatch(), L"Echo").hr);
}

TEST_F(AutoObject, BadCallsAreRefusedWithoutCrashing) {
  EXCEPINFO error{};
  VARIANT result;
  EXPECT_EQ(DISP_E_EXCEPTION, dispatch()->Invoke(12345, IID_NULL, 0, DISPATCH_METHOD, nullptr,
                                                 &result, &error, nullptr));
  EXPECT_EQ(1000, error.scode);
  SysFreeString(error.bstrDescription);
  SysFreeString(error.bstrSource);
  // No argument list and no result slot at all.
  DISPID id = -1;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(L"Echo")};
  ASSERT_EQ(S_OK, dispatch()->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  EXPECT_EQ(S_OK, dispatch()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr,
                                     nullptr));
  EXPECT_EQ(E_INVALIDARG, dispatch()->GetIDsOfNames(IID_NULL, names, 0, 0, &id));
  // A name the descendant handles itself.
  EXPECT_EQ(S_OK, CallMethod(dispatch(), L"HandledElsewhere").hr);
}

TEST(AutoObjectMembers, AtMostOneHundred) {
  TProbeObject::extraMembers = 100 - 7;
  auto full = TBaseAutoObject::Make<TProbeObject>();
  EXPECT_EQ(100, full->MemberCount());
  TProbeObject::extraMembers = 100 - 6;
  try {
    TBaseAutoObject::Make<TProbeObject>();
    ADD_FAILURE() << "the 101st member was accepted";
  } catch (const std::exception& e) {
    EXPECT_EQ("Массив имен заполнен.", std::string(e.what()));
  }
  TProbeObject::extraMembers = 0;
}

}  // namespace
}  // namespace ra03v::test
