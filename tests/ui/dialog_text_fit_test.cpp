// Every text of the settings dialog fits its control at the font the dialog
// really got: each entry of each list in the list's field and in its dropped
// list, the check box caption beside its box, and every label on one line.
#include <gtest/gtest.h>

#include <string>

#include "dialog_driver.h"

namespace ra03v::test {
namespace {

// Pixels the owner-drawn port entries leave for the picture in front of the text.
constexpr int kPortPictureIndent = 18;
// Room a plain list's field keeps around its text (frame and focus margin).
constexpr int kFieldMargin = 4;

struct Extent {
  int text = 0;   // width of the text in the control's font
  int digit = 0;  // width of "0" in that font
};

Extent Measure(HWND control, const std::wstring& text) {
  HDC dc = GetDC(control);
  auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SIZE zero{};
  GetTextExtentPoint32W(dc, L"0", 1, &zero);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return {static_cast<int>(size.cx), static_cast<int>(zero.cx)};
}

int ClientWidth(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  return r.right - r.left;
}

// Every entry of a list, in its field (beside the drop button) and in the
// dropped list (beside its scroll bar, when it has one).
void ExpectEntriesFit(const DialogUser& user, int id, int indent) {
  HWND combo = user.Control(id);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo, &info)) << id;
  const int field = info.rcItem.right - info.rcItem.left;
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  const int dropped = ClientWidth(info.hwndList);
  SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
  ASSERT_GT(user.Count(id), 0) << id;
  for (int i = 0; i < user.Count(id); ++i) {
    const std::wstring text = user.EntryText(id, i);
    const int needed = indent + Measure(combo, text).text;
    EXPECT_LE(needed, field) << "list " << id << " clips " << text << " in its field";
    EXPECT_LE(needed, dropped) << "list " << id << " clips " << text << " when dropped";
  }
}

TEST(DialogTextFit, EveryEntryCaptionAndLabelFitsItsControl) {
  TComPortSennings record;
  record.portIndex = 19;  // the network printer: its label and field are shown
  std::string name = "Проксимити_Cчитыватель_1";
  PortSettingsDialogParams params;
  params.settings = &record;
  params.deviceName = &name;
  params.serialPortsUsable = true;
  params.templateBaud = "9600";
  params.prepare = [](TfmPortSettings2& form) { form.ShowExtraSettings(true); };
  RunDialogAsUser(params, [](DialogUser& user) {
    // The form keeps its size: 260 x 267 dialog units of client area.
    const RECT full = user.TemplatePixels(260, 267);
    EXPECT_EQ(user.ClientSize().cx, full.right);

    ExpectEntriesFit(user, IDC_CBPORT, kPortPictureIndent);
    for (int id : {IDC_CBBAUDRATE, IDC_CBDATABITS, IDC_CBSTOPBITS, IDC_CBPARITY, IDC_CBFLOWCONTROL,
                   IDC_CBCONTROLDTR, IDC_CBCONTROLRTS, IDC_CBSFOPTIONS})
      ExpectEntriesFit(user, id, kFieldMargin);

    // The check box draws its box, half a digit of space, then the caption.
    HWND lock = user.Control(IDC_CBPORTOPEN);
    const Extent caption = Measure(lock, user.Text(IDC_CBPORTOPEN));
    const int box = GetSystemMetrics(SM_CXMENUCHECK);
    EXPECT_LE(box + caption.digit / 2 + caption.text, ClientWidth(lock))
        << "caption " << caption.text << " px, box " << box << " px, control " << ClientWidth(lock)
        << " px";

    for (int id :
         {IDC_LABEL1, IDC_LABEL2, IDC_LABEL3, IDC_LABEL4, IDC_LABEL5, IDC_LABEL6, IDC_LABEL7,
          IDC_LABEL8, IDC_LABEL9, IDC_LBFLOWCONTROL, IDC_LBCONTROLDTR, IDC_LBCONTROLRTS,
          IDC_LBSFOPTIONS, IDC_LBXON, IDC_LBXOFF, IDC_LBTIMEOUTWRITE, IDC_LABEL15}) {
      HWND label = user.Control(id);
      EXPECT_LE(Measure(label, user.Text(id)).text, ClientWidth(label)) << "label " << id;
    }
    user.Click(IDCANCEL);
  });
}

}  // namespace
}  // namespace ra03v::test
