#pragma once
// TfmPortSettings2: the modal "Свойства подключения" window in which a user
// edits one device's connection settings. It works on the port manager's
// settings record directly: loaded into the controls at creation, written back
// on OK. Whether the record then reaches the device's properties, or is
// restored after Cancel, is up to the device that opened it.
#include <windows.h>

#include <exception>
#include <functional>
#include <string>

#include "portmanager/port_settings.h"
#include "serial/com_port.h"
#include "ui/gdi_handles.h"
#include "ui/port_settings_ids.h"

namespace ra03v {

class TfmPortSettings2;

// What the dialog needs of the device it edits.
struct PortSettingsDialogParams {
  // The port manager's settings record; edited in place on OK.
  TComPortSennings* settings = nullptr;
  // The device's own name; OK sets it to the identifier edit's text.
  std::string* deviceName = nullptr;
  // The device's FCheckPorts: test which ports can be opened.
  bool checkPorts = false;
  // The device list's FUsePortProps or FUseFlowProps.
  bool serialPortsUsable = false;
  // The device list's FUsePrinterProp.
  bool printerPortsUsable = false;
  // The value of the list's property template "Baud" (used by Default).
  std::string templateBaud;
  // The list's UniqueDeviceName with an empty exclusion (used by Default when
  // the record has no name); may be empty.
  std::function<std::string()> uniqueDeviceName;
  // The device's PrepareSettingsDialog: runs after creation, before showing.
  std::function<void(TfmPortSettings2&)> prepare;
  // Owner window, disabled while the dialog runs; none by default.
  HWND owner = nullptr;
};

// Creates the dialog for the device, runs prepare, shows it modally on the
// calling thread and destroys it: 1 after OK, 2 after Cancel. A failure inside
// the dialog closes it and is thrown from here.
int RunPortSettingsDialog(PortSettingsDialogParams& params);

class TfmPortSettings2 {
 public:
  explicit TfmPortSettings2(PortSettingsDialogParams& params);
  TfmPortSettings2(const TfmPortSettings2&) = delete;
  TfmPortSettings2& operator=(const TfmPortSettings2&) = delete;

  // Runs the modal loop; see RunPortSettingsDialog.
  int ShowModal();

  HWND Handle() const noexcept { return window_; }
  HWND Control(int id) const noexcept { return GetDlgItem(window_, id); }
  void SetControlEnabled(int id, bool enabled) noexcept;
  void SetChecked(int id, bool checked) noexcept;

  // Disables the line parameters, the port, the identifier, the port-locking
  // box and the printer name.
  void DisableFixedSettings() noexcept;
  // Shows or hides the extra group; a change of visibility grows or shrinks
  // the window by the group's height plus 12 pixels.
  void ShowExtraSettings(bool visible);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInit();

  void Create();
  void FitLayout();
  void CentreOnDesktop() noexcept;
  RECT ChildRect(int id) const noexcept;
  std::wstring ItemText(int id, int index) const;
  void FillLists();
  void RecordToControls(const TComPortSennings& record);
  void ControlsToRecord();
  void LoadDefaults();
  void btnOkClick();
  void cbPort1SelectionChange();
  void cbPort1DrawItem(const DRAWITEMSTRUCT& item);
  void cbFlowControlChange(int sender);
  void MarkPortAvailability();

  int Position(int id) const noexcept;
  void SetPosition(int id, int position) noexcept;
  std::wstring Text(int id) const;
  void SetText(int id, const std::wstring& text) noexcept;
  void ShowControl(int id, bool visible) noexcept;
  bool Enabled(int id) const noexcept;

  PortSettingsDialogParams& params_;
  HWND window_ = nullptr;
  TComPort comPortTmp_;  // flow-control calculator, never opened
  ImageList imageList2_;
  bool extraVisible_ = true;  // the template shows the extra group
  std::exception_ptr failure_;
};

}  // namespace ra03v
