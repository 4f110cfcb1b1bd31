#include "foundation/root_objects.h"

#include <gtest/gtest.h>

#include "foundation/protect_exception.h"

namespace ra03v {
namespace {

class ProbeRoot : public TRootObject {
 public:
  void SetUpAs(bool isNT) { SetUpSecurity(isNT); }
};

class Item : public TRootCollectionItem {
 public:
  explicit Item(int* destroyed) : destroyed_(destroyed) {}
  ~Item() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

TEST(TRootObject, SecurityAllowsEverybodyOnNTAndStaysZeroElsewhere) {
  ProbeRoot root;
  const SECURITY_ATTRIBUTES& sa = root.SecurityAttributes();
  EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), sa.nLength);
  EXPECT_FALSE(sa.bInheritHandle);
  ASSERT_NE(nullptr, sa.lpSecurityDescriptor);
  BOOL present = FALSE, defaulted = TRUE;
  PACL acl = reinterpret_cast<PACL>(1);
  ASSERT_TRUE(GetSecurityDescriptorDacl(sa.lpSecurityDescriptor, &present, &acl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(nullptr, acl);
  // Named objects made with it work.
  HANDLE mutex = CreateMutexA(const_cast<SECURITY_ATTRIBUTES*>(&sa), FALSE, "ra03v_root_test");
  EXPECT_NE(nullptr, mutex);
  CloseHandle(mutex);

  root.SetUpAs(false);
  EXPECT_EQ(0u, root.SecurityAttributes().nLength);
  EXPECT_EQ(nullptr, root.SecurityAttributes().lpSecurityDescriptor);
}

TEST(TRootObject, WindowNeverHasAParent) {
  EXPECT_EQ(static_cast<DWORD>(WS_VISIBLE), TRootObject::WindowStyle(WS_CHILD | WS_VISIBLE));
}

TEST(TRootObject, RaisesFrameworkErrors) {
  ProbeRoot root;
  try {
    root.RaiseText("own text");
  } catch (const EProtectException& e) {
    EXPECT_EQ(20000, e.Code());
    EXPECT_STREQ("own text", e.what());
  }
}

TEST(TRootCollection, OwnsAndIndexesItsItems) {
  int destroyed = 0;
  {
    TRootCollection list;
    auto& first = list.Append(std::make_unique<Item>(&destroyed));
    auto& second = list.Append(std::make_unique<Item>(&destroyed));
    EXPECT_EQ(2, list.Count());
    EXPECT_EQ(&list, first.Collection());
    EXPECT_EQ(1, second.Index());
    list.Delete(0);
    EXPECT_EQ(1, destroyed);
    EXPECT_EQ(0, second.Index());
    try {
      list.ItemAt(1);
      FAIL() << "index past the end must raise";
    } catch (const EProtectException& e) {
      EXPECT_EQ(20002, e.Code());
    }
    EXPECT_THROW(list.Delete(-1), EProtectException);
  }
  EXPECT_EQ(2, destroyed);
}

}  // namespace
}  // namespace ra03v
