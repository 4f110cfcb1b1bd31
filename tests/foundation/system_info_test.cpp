#include "foundation/system_info.h"

#include <gtest/gtest.h>

#include <functional>

#include "foundation/text_codec.h"
#include "foundation/win/variant.h"

namespace ra03v {
namespace {

std::wstring MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return Text1251ToWide(e.what());
  }
  return L"<no exception>";
}

TEST(Guid, TextFormRoundTrips) {
  EXPECT_EQ("{00000000-0000-0000-0000-000000000000}", GuidToText(GUID{}));
  const GUID id = {0xBAB8C117, 0xCADF, 0x4C73, {0x9B, 0x2D, 0xB0, 0x42, 0xD6, 0x37, 0xA7, 0x48}};
  EXPECT_EQ("{BAB8C117-CADF-4C73-9B2D-B042D637A748}", GuidToText(id));
  EXPECT_TRUE(SameGuid(id, TextToGuid("{BAB8C117-CADF-4C73-9B2D-B042D637A748}")));
  EXPECT_TRUE(SameGuid(id, TextToGuid("{bab8c117-cadf-4c73-9b2d-b042d637a748}")));
  const GUID fresh = NewGuid();
  EXPECT_FALSE(SameGuid(fresh, GUID{}));
  EXPECT_FALSE(SameGuid(fresh, NewGuid()));
  EXPECT_TRUE(SameGuid(fresh, TextToGuid(GuidToText(fresh))));
}

TEST(Guid, EmptyTextIsTheNullIdentifier) { EXPECT_TRUE(SameGuid(GUID{}, TextToGuid(""))); }

TEST(Guid, BadTextIsRefused) {
  const std::wstring expected = L"Значение не является идентификатором объекта.";
  for (const char* bad :
       {"abc", "{BAB8C117-CADF-4C73-9B2D-B042D637A74}", "{BAB8C117-CADF-4C73-9B2D-B042D637A7480}",
        "BAB8C117-CADF-4C73-9B2D-B042D637A748XX", "{BAB8C117+CADF-4C73-9B2D-B042D637A748}",
        "{BAB8C117-CADF-4C73-9B2D-B042D637A74G}", "{ AB8C117-CADF-4C73-9B2D-B042D637A748}",
        "Msxml2.DOMDocument"})
    EXPECT_EQ(expected, MessageOf([&] { TextToGuid(bad); })) << bad;
}

TEST(Guid, ValueToGuidTakesOnlyText) {
  GUID id{};
  EXPECT_TRUE(ValueToGuid(Variant::FromText(L"{BAB8C117-CADF-4C73-9B2D-B042D637A748}").Get(), id));
  EXPECT_EQ(0xBAB8C117u, id.Data1);
  EXPECT_FALSE(ValueToGuid(Variant::FromInt(5).Get(), id));
  EXPECT_FALSE(ValueToGuid(Variant::FromText(L"abc").Get(), id));
  EXPECT_TRUE(ValueToGuid(Variant::FromText(L"").Get(), id));
  EXPECT_TRUE(SameGuid(GUID{}, id));
}

TEST(LoadProc, FindsLooksUpOnceAndNamesWhatIsMissing) {
  const FARPROC expected = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount");
  FARPROC proc = nullptr;
  LoadProc(&proc, "kernel32.dll", "GetTickCount");
  EXPECT_EQ(expected, proc);
  // An address already set is left alone, even for a name that does not exist.
  LoadProc(&proc, "kernel32.dll", "NoSuchFunction");
  EXPECT_EQ(expected, proc);

  FARPROC missing = nullptr;
  EXPECT_EQ(L"Function not found: kernel32.dll.NoSuchFunction",
            MessageOf([&] { LoadProc(&missing, "kernel32.dll", "NoSuchFunction"); }));
  EXPECT_EQ(nullptr, missing);
  EXPECT_EQ(L"Library not found: no_such_library_ra03v.dll",
            MessageOf([&] { LoadProc(&missing, "no_such_library_ra03v.dll", "x"); }));
}

TEST(SystemInfo, NamesAndNumbers) {
  EXPECT_TRUE(IsWindowsNT());
  EXPECT_FALSE(ComputerName().empty());
  DWORD expected = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &expected));
  EXPECT_EQ(expected, SessionNumber());
  // Linked into this test program, the module is the program itself.
  EXPECT_EQ(HostProgramPath(), ModulePath());
  EXPECT_NE(std::string::npos, ModulePath().find("foundation_tests.exe"));
}

}  // namespace
}  // namespace ra03v
