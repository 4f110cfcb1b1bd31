#include "dialog_driver.h"

#include <winternl.h>

#include <exception>
#include <thread>

#include "foundation/win/event.h"
#include "support/serial_rig.h"

namespace ra03v::test {

void DialogUser::Select(int id, int index) {
  SendMessageW(Control(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(Control(id)));
}

void DialogUser::Type(int id, const std::wstring& text) {
  SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void DialogUser::Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }

int DialogUser::Position(int id) const {
  return static_cast<int>(SendMessageW(Control(id), CB_GETCURSEL, 0, 0));
}

int DialogUser::Count(int id) const {
  return static_cast<int>(SendMessageW(Control(id), CB_GETCOUNT, 0, 0));
}

std::wstring DialogUser::EntryText(int id, int index) const {
  const LRESULT length = SendMessageW(Control(id), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return L"<none>";
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(Control(id), CB_GETLBTEXT, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

int DialogUser::Picture(int index) const {
  return static_cast<int>(
      SendMessageW(Control(IDC_CBPORT), CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

std::wstring DialogUser::Text(int id) const {
  wchar_t buffer[512] = {};
  GetWindowTextW(Control(id), buffer, 512);
  return buffer;
}

bool DialogUser::Checked(int id) const {
  return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND DialogUser::Focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(dialogThread_, &info) ? info.hwndFocus : nullptr;
}

SIZE DialogUser::ClientSize() const {
  RECT r{};
  GetClientRect(dialog_, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

int DialogUser::Height(int id) const {
  RECT r{};
  GetWindowRect(Control(id), &r);
  return r.bottom - r.top;
}

RECT DialogUser::TemplatePixels(int width, int height) const {
  RECT r{0, 0, width, height};
  MapDialogRect(dialog_, &r);
  return r;
}

int RunDialogAsUser(PortSettingsDialogParams& params,
                    const std::function<void(DialogUser&)>& user) {
  Event ready = Event::ManualReset();
  HWND dialog = nullptr;
  auto prepare = params.prepare;
  params.prepare = [&](TfmPortSettings2& form) {
    if (prepare) prepare(form);
    dialog = form.Handle();
    ready.Set();
  };
  const DWORD dialogThread = GetCurrentThreadId();
  std::exception_ptr userFailure;
  std::thread userThread([&] {
    ready.Wait();
    if (!dialog) return;  // the dialog failed before it was shown
    // The user acts on the window once it is on the screen.
    WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; });
    DialogUser acting(dialog, dialogThread);
    try {
      user(acting);
    } catch (...) {
      userFailure = std::current_exception();
    }
    // Whatever the script did, the dialog must not stay open.
    // (EndDialog hides it at once, so a closed one is left alone.)
    if (IsWindow(dialog) && IsWindowVisible(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  // Lets the user's thread go in every case, and puts the caller's hook back.
  auto finish = [&] {
    ready.Set();
    userThread.join();
    params.prepare = prepare;
  };
  int result = 0;
  try {
    result = RunPortSettingsDialog(params);
  } catch (...) {
    finish();
    throw;
  }
  finish();
  if (userFailure) std::rethrow_exception(userFailure);
  return result;
}

// The process environment block is read through the thread's segment, which
// the compiler takes for an empty array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
int CountGdiObjects() {
  SetLastError(0);
  const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (reported != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
    return static_cast<int>(reported);
  // Wine: 65536 entries of 24 bytes; byte 14 of an entry is its object type, 0 when free.
  const auto* peb = reinterpret_cast<const unsigned char*>(NtCurrentTeb()->ProcessEnvironmentBlock);
  // GdiSharedHandleTable: at 0xF8 in a 64-bit environment block, 0x94 in a 32-bit one.
  constexpr size_t kHandleTableAt = sizeof(void*) == 8 ? 0xF8 : 0x94;
  const auto* table = *reinterpret_cast<const unsigned char* const*>(peb + kHandleTableAt);
  if (!table && sizeof(void*) == 4) {
    // A 32-bit process in a 64-bit Wine prefix has the table only in its 64-bit
    // environment block, reached through the 64-bit thread block whose address
    // Wine keeps in GdiBatchCount (0xF70).
    const auto* teb = reinterpret_cast<const unsigned char*>(NtCurrentTeb());
    const auto teb64 = static_cast<uintptr_t>(*reinterpret_cast<const ULONG*>(teb + 0xF70));
    if (teb64) {
      const auto peb64 = static_cast<uintptr_t>(*reinterpret_cast<const ULONG64*>(teb64 + 0x60));
      if (peb64)
        table = reinterpret_cast<const unsigned char*>(
            static_cast<uintptr_t>(*reinterpret_cast<const ULONG64*>(peb64 + 0xF8)));
    }
  }
  if (!table) return -1;
  int count = 0;
  for (int i = 0; i < 0x10000; ++i)
    if (table[i * 24 + 14] != 0) ++count;
  return count;
}
#pragma GCC diagnostic pop

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM count) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return TRUE;
  ++*reinterpret_cast<int*>(count);
  EnumChildWindows(window, CountChild, count);
  return TRUE;
}

}  // namespace

int CountWindows() {
  int count = 0;
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
  return count;
}

// A stdcall callback on 32 bits, which a lambda cannot convert to.
BOOL CALLBACK TakeVisibleDialog(HWND window, LPARAM found) {
  wchar_t cls[16] = {};
  GetClassNameW(window, cls, 16);
  if (std::wstring(cls) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND WaitForThreadDialog(DWORD thread) {
  HWND dialog = nullptr;
  for (int i = 0; i < 1500 && !dialog; ++i) {
    EnumThreadWindows(thread, TakeVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) Sleep(20);
  }
  return dialog;
}

}  // namespace ra03v::test
