// A device's settings dialog as a host opens it: "ИзменитьУстройствоРасш"
// through the shipping DLL's entry, with a second thread acting as the user.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/dll_under_test.h"
#include "ui/dialog_driver.h"
#include "ui/port_settings_ids.h"

namespace ra03v::test {
namespace {

using ra03v_host::Value;

using ra03v_host::GuidText;
class DeviceDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    CoCreateGuid(&code);
    const std::wstring document =
        L"<Оборудование><Устройство Код=\"" + GuidText(code) +
        L"\" КодМодели=\"" + ra03v_host::kReaderModelCode + L"\" Наименование=\"Первый\">"
        L"<Параметры/></Устройство></Оборудование>";
    auto block = dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &task);
    ASSERT_FALSE(block->Get()->HasError) << block->ErrorDescription();
  }
  void TearDown() override { dll.Control("__FRee"); }

  // Opens the device's dialog; user acts on it from another thread. Returns
  // the settings document the method hands back.
  std::wstring Edit(const std::function<void(DialogUser&)>& user) {
    const DWORD self = GetCurrentThreadId();
    std::thread acting([&] {
      // The dialog is the calling thread's only dialog window.
      const HWND dialog = WaitForThreadDialog(self);
      ASSERT_NE(nullptr, dialog) << "the settings dialog did not appear";
      wchar_t caption[64] = {};
      GetWindowTextW(dialog, caption, 64);
      EXPECT_STREQ(L"Свойства подключения", caption);
      DialogUser driver(dialog, self);
      user(driver);
    });
    auto block =
        dll.Method(L"ИзменитьУстройствоРасш", {Value::Text(GuidText(code)), Value()}, &task);
    acting.join();
    EXPECT_FALSE(block->Get()->HasError) << block->ErrorDescription();
    return block->At(4).ToText();
  }

  DllUnderTest dll{L"ra03v.dll"};
  HostTask task{RA03V_TASK_CLASS_INTERNAL};
  GUID code{};
};

// The reader keeps the dialog's port settings in its port record only: what
// OK stores that a host can see is the device's name.
TEST_F(DeviceDialog, OkStoresTheNameIntoTheDevicesSettings) {
  const std::wstring document = Edit([](DialogUser& user) {
    user.Type(IDC_EDIDENTIF, L"Второй");
    user.Select(IDC_CBPORT, 4);
    user.Click(IDOK);
  });
  EXPECT_NE(std::wstring::npos, document.find(L"Наименование=\"Второй\"")) << document;
}

TEST_F(DeviceDialog, CancelLeavesTheSettingsAsTheyWere) {
  const std::wstring before = Edit([](DialogUser& user) { user.Click(IDCANCEL); });
  const std::wstring after = Edit([](DialogUser& user) {
    user.Type(IDC_EDIDENTIF, L"Другой");
    user.Select(IDC_CBPORT, 6);
    user.Click(IDCANCEL);
  });
  EXPECT_EQ(before, after);
  EXPECT_NE(std::wstring::npos, after.find(L"Наименование=\"Первый\""));
}

}  // namespace
}  // namespace ra03v::test
