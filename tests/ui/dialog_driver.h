#pragma once
// Runs the settings dialog modally on the test's thread while a second thread
// acts as the user: it selects entries, types and presses buttons with window
// messages, and reads the controls back.
#include <windows.h>

#include <functional>
#include <string>

#include "ui/port_settings_dialog.h"

namespace ra03v::test {

// The user's side of an open dialog (used on the driving thread).
class DialogUser {
 public:
  DialogUser(HWND dialog, DWORD dialogThread) : dialog_(dialog), dialogThread_(dialogThread) {}

  HWND Dialog() const { return dialog_; }
  HWND Control(int id) const { return GetDlgItem(dialog_, id); }

  // Picks entry index of a list, as a click on it does (the list notifies its dialog).
  void Select(int id, int index);
  // Replaces an edit's text, as typing does.
  void Type(int id, const std::wstring& text);
  // Presses a button or toggles a check box.
  void Click(int id);

  int Position(int id) const;
  int Count(int id) const;
  std::wstring EntryText(int id, int index) const;
  // The picture number of a port list entry.
  int Picture(int index) const;
  std::wstring Text(int id) const;
  // The control's own visibility (as its form shows or hides it).
  bool Visible(int id) const { return (GetWindowLongW(Control(id), GWL_STYLE) & WS_VISIBLE) != 0; }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  bool Checked(int id) const;
  // The control that has the keyboard focus on the dialog's thread.
  HWND Focus() const;
  SIZE ClientSize() const;
  int Height(int id) const;
  // A size in the template's dialog units, in pixels.
  RECT TemplatePixels(int width, int height) const;

 private:
  HWND dialog_;
  DWORD dialogThread_;
};

// Runs the dialog with params; once it is shown, user runs on a second thread.
// The dialog is cancelled if user leaves it open. Returns the modal result.
int RunDialogAsUser(PortSettingsDialogParams& params, const std::function<void(DialogUser&)>& user);

// The visible dialog box of thread, waited for up to about 30 s; null if none came.
HWND WaitForThreadDialog(DWORD thread);

// GDI objects alive in this process. Wine has no GetGuiResources; there the
// process's GDI handle table (pointed to by the process environment block) is counted.
int CountGdiObjects();
// Windows (top-level and child) owned by this process.
int CountWindows();

}  // namespace ra03v::test
