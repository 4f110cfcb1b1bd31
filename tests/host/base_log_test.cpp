// The log file name as two modules of the same kind in one process see it,
// and the version resource of the shipping DLL.
#include <gtest/gtest.h>

#include "foundation/base_log.h"
#include "foundation/system_info.h"
#include "foundation/text_codec.h"
#include "foundation/win/variant.h"
#include "support/dll_under_test.h"

namespace ra03v::test {
namespace {

struct LogAnswer {
  std::wstring path;
  bool owner = false;
};

LogAnswer AskLog(DllUnderTest& dll) {
  HostBlock block;
  block.SetName("logpath");
  for (int i = 0; i < 4; ++i) block.Add(Variant().Get());
  EXPECT_EQ(1, dll.Entry()(block.Get(), nullptr));
  return {block.At(0).ToText(), V_BOOL(&block.At(3).Get()) != VARIANT_FALSE};
}

std::wstring ExpectedLogName(const std::wstring& dllFile) {
  std::wstring path = BesideTestProgram(dllFile);
  path.resize(path.rfind(L'.'));
  return path + L"_" + Text1251ToWide(ComputerName()) + L"_" + std::to_wstring(SessionNumber()) +
         L".log";
}

std::wstring CopyBeside(const wchar_t* from, const wchar_t* to) {
  const std::wstring target = BesideTestProgram(to);
  EXPECT_TRUE(CopyFileW(BesideTestProgram(from).c_str(), target.c_str(), FALSE));
  return to;
}

TEST(BaseLog, FileNameAndMutexName) {
  EXPECT_EQ("C:\\Drivers\\reader_POS1_1.log", LogFileName("C:\\Drivers\\reader.dll", "POS1", 1));
  EXPECT_EQ("C:\\a.b\\noext_PC_9999.log", LogFileName("C:\\a.b\\noext", "PC", 9999));
  EXPECT_EQ("_com.velta.baselog.host_001A2B", LogMutexName(0x1A2B));
  EXPECT_EQ("_com.velta.baselog.host_12345678", LogMutexName(0x12345678));
}

TEST(BaseLog, FirstModuleChoosesAndSecondReadsTheName) {
  const std::wstring copy = CopyBeside(L"ra03v_probe.dll", L"ra03v_probe_copy.dll");
  {
    DllUnderTest first(L"ra03v_probe.dll");
    const LogAnswer a = AskLog(first);
    EXPECT_TRUE(a.owner);
    EXPECT_EQ(ExpectedLogName(L"ra03v_probe.dll"), a.path);
    // The mutex of this process exists while the owner is loaded.
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, LogMutexName(GetCurrentProcessId()).c_str());
    EXPECT_NE(nullptr, mutex);
    if (mutex) CloseHandle(mutex);

    DllUnderTest second(copy);
    const LogAnswer b = AskLog(second);
    EXPECT_FALSE(b.owner);
    EXPECT_EQ(a.path, b.path);
  }
  // With the owner gone, the next module to load owns the name again.
  DllUnderTest again(copy);
  const LogAnswer c = AskLog(again);
  EXPECT_TRUE(c.owner);
  EXPECT_EQ(ExpectedLogName(L"ra03v_probe_copy.dll"), c.path);
}

TEST(BaseLog, ClassThatCannotBeRegisteredLeavesTheHostAlive) {
  // Someone else already holds the global class name: the owner cannot
  // register it, keeps its own name and the process goes on.
  static char foreign[261] = "foreign";
  WNDCLASSA cls{};
  cls.style = CS_GLOBALCLASS;
  cls.lpszClassName = kLogClassName;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpfnWndProc = reinterpret_cast<WNDPROC>(reinterpret_cast<void*>(foreign));
  ASSERT_NE(0, RegisterClassA(&cls));
  {
    DllUnderTest dll(L"ra03v_probe.dll");
    const LogAnswer a = AskLog(dll);
    EXPECT_TRUE(a.owner);
    EXPECT_EQ(ExpectedLogName(L"ra03v_probe.dll"), a.path);
  }
  UnregisterClassA(kLogClassName, GetModuleHandleA(nullptr));
}

TEST(VersionResource, CarriesAFourNumberFileVersion) {
  const std::wstring path = BesideTestProgram(L"ra03v.dll");
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
  EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
  EXPECT_EQ(MAKELONG(1, 0), fixed->dwFileVersionLS);
}

}  // namespace
}  // namespace ra03v::test
