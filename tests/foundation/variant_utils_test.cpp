#include "foundation/variant_utils.h"

#include <gtest/gtest.h>

#include "foundation/win/safe_array.h"
#include "foundation/win/variant.h"

namespace ra03v {
namespace {

TEST(VariantKind, IntegralDoublesCountAsIntegers) {
  EXPECT_EQ(VT_I4, VariantKind(Variant::FromDouble(3.0).Get()));
  EXPECT_EQ(VT_R8, VariantKind(Variant::FromDouble(3.5).Get()));
  EXPECT_EQ(VT_I4, VariantKind(Variant::FromDouble(-2.0000000001).Get()));
  EXPECT_EQ(VT_R8, VariantKind(Variant::FromDouble(2.00001).Get()));
  VARIANT single;
  V_VT(&single) = VT_R4;
  V_R4(&single) = 3.0f;
  EXPECT_EQ(VT_R4, VariantKind(single));
  VARIANT currency;
  V_VT(&currency) = VT_CY;
  V_CY(&currency).int64 = 12345;  // 1.2345
  EXPECT_EQ(VT_R8, VariantKind(currency));
  V_CY(&currency).int64 = 70000;  // 7.0
  EXPECT_EQ(VT_I4, VariantKind(currency));
}

TEST(VariantKind, LooksThroughReferences) {
  double d = 4.0;
  VARIANT ref;
  V_VT(&ref) = VT_R8 | VT_BYREF;
  V_R8REF(&ref) = &d;
  EXPECT_EQ(VT_I4, VariantKind(ref));
  d = 4.25;
  EXPECT_EQ(VT_R8, VariantKind(ref));
  BSTR text = nullptr;
  V_VT(&ref) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&ref) = &text;
  EXPECT_EQ(VT_BSTR, VariantKind(ref));
  EXPECT_TRUE(VariantKindIn(ref, {VT_I4, VT_BSTR}));
  EXPECT_FALSE(VariantKindIn(ref, {VT_I4, VT_R8}));
}

TEST(ArgArrays, CopyElementsFromTheLowerBoundOn) {
  SafeArray array = SafeArray::Vector(VT_VARIANT, 1, 3);
  Variant sources[3] = {Variant::FromInt(10), Variant::FromText(L"two"), Variant::FromDouble(3.5)};
  VARIANT raw[3] = {sources[0].Get(), sources[1].Get(), sources[2].Get()};
  PutArgs(array.Get(), 2, raw);
  VARIANT targets[3];
  for (VARIANT& t : targets) VariantInit(&t);
  GetArgs(array.Get(), 2, targets);
  EXPECT_EQ(10, V_I4(&targets[0]));
  EXPECT_STREQ(L"two", V_BSTR(&targets[1]));
  EXPECT_EQ(3.5, V_R8(&targets[2]));
  for (VARIANT& t : targets) VariantClear(&t);
  EXPECT_THROW(GetArgs(array.Get(), 3, targets), std::invalid_argument);
}

}  // namespace
}  // namespace ra03v
