// The window side of the settings dialog: the modal run, the message routing,
// the layout and the small control helpers.
#include "ui/port_settings_dialog.h"

#include <stdexcept>

#include "foundation/system_info.h"
#include "foundation/win/win_error.h"
#include "ui/port_pictures.h"

namespace ra03v {
namespace {

// The window grows or shrinks by the extra group's height and this margin.
constexpr int kExtraGroupMargin = 12;
constexpr int kPortEntryHeight = 15;
constexpr int kPortRowsDropped = 10;

// The controls that sit on the extra group and go with it.
constexpr int kExtraGroupControls[] = {
    IDC_LBFLOWCONTROL, IDC_CBFLOWCONTROL, IDC_LBCONTROLDTR,   IDC_CBCONTROLDTR,   IDC_LBCONTROLRTS,
    IDC_CBCONTROLRTS,  IDC_LBSFOPTIONS,   IDC_CBSFOPTIONS,    IDC_LBXON,          IDC_EDXON,
    IDC_LBXOFF,        IDC_EDXOFF,        IDC_LBTIMEOUTWRITE, IDC_EDTIMEOUTWRITE, IDC_LABEL15};

}  // namespace

int RunPortSettingsDialog(PortSettingsDialogParams& params) {
  if (!params.settings) throw std::invalid_argument("the settings dialog needs a settings record");
  TfmPortSettings2 dialog(params);
  return dialog.ShowModal();
}

TfmPortSettings2::TfmPortSettings2(PortSettingsDialogParams& params) : params_(params) {}

int TfmPortSettings2::ShowModal() {
  const INT_PTR result =
      DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(IDD_PORTSETTINGS), params_.owner,
                      &TfmPortSettings2::DialogProc, reinterpret_cast<LPARAM>(this));
  window_ = nullptr;
  if (failure_) std::rethrow_exception(failure_);
  if (result == -1 || result == 0) ThrowLastError("DialogBoxParamW");
  return static_cast<int>(result);
}

INT_PTR CALLBACK TfmPortSettings2::DialogProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) noexcept {
  // The port list asks for its entry height while the controls are being
  // created, before the dialog knows its object.
  if (message == WM_MEASUREITEM) {
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (measure->CtlType != ODT_COMBOBOX || measure->CtlID != IDC_CBPORT) return FALSE;
    measure->itemHeight = kPortEntryHeight;
    return TRUE;
  }
  TfmPortSettings2* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<TfmPortSettings2*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->window_ = window;
  } else {
    self = reinterpret_cast<TfmPortSettings2*>(GetWindowLongPtrW(window, DWLP_USER));
  }
  if (!self) return FALSE;
  try {
    if (message == WM_INITDIALOG) {
      self->OnInit();
      return FALSE;  // the focus is set
    }
    return self->OnMessage(message, wParam, lParam) ? TRUE : FALSE;
  } catch (...) {
    // Nothing may leave a window procedure: close, and let ShowModal throw it.
    if (!self->failure_) self->failure_ = std::current_exception();
    EndDialog(window, -1);
    return TRUE;
  }
}

void TfmPortSettings2::OnInit() {
  Create();
  if (params_.prepare) params_.prepare(*this);
  SetFocus(Control(IDCANCEL));
}

bool TfmPortSettings2::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      switch (id) {
        case IDOK:
          if (code == BN_CLICKED) btnOkClick();
          return true;
        case IDCANCEL:
          EndDialog(window_, IDCANCEL);
          return true;
        case IDC_BTNDEFAULT:
          if (code == BN_CLICKED) LoadDefaults();
          return true;
        case IDC_CBPORT:
          if (code == CBN_SELCHANGE) cbPort1SelectionChange();
          return true;
        case IDC_CBFLOWCONTROL:
        case IDC_CBCONTROLDTR:
        case IDC_CBCONTROLRTS:
        case IDC_CBSFOPTIONS:
          if (code == CBN_SELCHANGE) cbFlowControlChange(id);
          return true;
        default:
          return false;  // edXOn's changes among them: nothing to do
      }
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (wParam != IDC_CBPORT || item->CtlType != ODT_COMBOBOX) return false;
      cbPort1DrawItem(*item);
      return true;
    }
    default:
      return false;
  }
}

void TfmPortSettings2::FitLayout() {
  // The port list drops down ten entries.
  const RECT port = ChildRect(IDC_CBPORT);
  const int field = port.bottom - port.top;
  SetWindowPos(Control(IDC_CBPORT), nullptr, 0, 0, port.right - port.left,
               field + kPortRowsDropped * kPortEntryHeight + 2,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfmPortSettings2::CentreOnDesktop() noexcept {
  RECT desktop{}, own{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(window_, &own);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  SetWindowPos(window_, nullptr, desktop.left + (desktop.right - desktop.left - width) / 2,
               desktop.top + (desktop.bottom - desktop.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfmPortSettings2::ShowExtraSettings(bool visible) {
  if (visible == extraVisible_) return;
  const RECT group = ChildRect(IDC_GBEX);
  const int change = (group.bottom - group.top) + kExtraGroupMargin;
  ShowControl(IDC_GBEX, visible);
  for (int id : kExtraGroupControls) ShowControl(id, visible);
  RECT own{};
  GetWindowRect(window_, &own);
  SetWindowPos(window_, nullptr, 0, 0, own.right - own.left,
               own.bottom - own.top + (visible ? change : -change),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  extraVisible_ = visible;
}

void TfmPortSettings2::DisableFixedSettings() noexcept {
  for (int id : {IDC_CBBAUDRATE, IDC_CBDATABITS, IDC_CBSTOPBITS, IDC_CBPARITY, IDC_CBPORT,
                 IDC_EDIDENTIF, IDC_CBPORTOPEN, IDC_EDNETWORKPRINTERNAME})
    SetControlEnabled(id, false);
}

void TfmPortSettings2::SetControlEnabled(int id, bool enabled) noexcept {
  EnableWindow(Control(id), enabled ? TRUE : FALSE);
}

void TfmPortSettings2::SetChecked(int id, bool checked) noexcept {
  CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

RECT TfmPortSettings2::ChildRect(int id) const noexcept {
  RECT r{};
  GetWindowRect(Control(id), &r);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int TfmPortSettings2::Position(int id) const noexcept {
  const LRESULT position = SendDlgItemMessageW(window_, id, CB_GETCURSEL, 0, 0);
  return position == CB_ERR ? -1 : static_cast<int>(position);
}

void TfmPortSettings2::SetPosition(int id, int position) noexcept {
  const LRESULT count = SendDlgItemMessageW(window_, id, CB_GETCOUNT, 0, 0);
  // A position outside the list leaves it without a selection.
  const WPARAM index =
      position >= 0 && position < count ? static_cast<WPARAM>(position) : static_cast<WPARAM>(-1);
  SendDlgItemMessageW(window_, id, CB_SETCURSEL, index, 0);
}

std::wstring TfmPortSettings2::Text(int id) const {
  HWND control = Control(id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

void TfmPortSettings2::SetText(int id, const std::wstring& text) noexcept {
  SetDlgItemTextW(window_, id, text.c_str());
}

std::wstring TfmPortSettings2::ItemText(int id, int index) const {
  const LRESULT length = SendDlgItemMessageW(window_, id, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendDlgItemMessageW(window_, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
  return text;
}

void TfmPortSettings2::ShowControl(int id, bool visible) noexcept {
  ShowWindow(Control(id), visible ? SW_SHOW : SW_HIDE);
}

bool TfmPortSettings2::Enabled(int id) const noexcept { return IsWindowEnabled(Control(id)); }

}  // namespace ra03v
