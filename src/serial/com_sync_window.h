#pragma once
// The hidden window through which the event thread hands events to the thread
// that opened the port, in the smThreadSync and smWindowSync modes.
#include <windows.h>

#include "foundation/win/unique_handle.h"
#include "serial/com_types.h"

namespace ra03v {

class TCustomComPort;

class TComSyncWindow {
 public:
  // Creates the window on the calling thread (the port's thread).
  explicit TComSyncWindow(TCustomComPort& port);
  ~TComSyncWindow();
  TComSyncWindow(const TComSyncWindow&) = delete;
  TComSyncWindow& operator=(const TComSyncWindow&) = delete;

  HWND Get() const noexcept { return window_.Get(); }
  // smThreadSync (event thread): runs the whole delivery on the port's thread
  // and waits for it; an error there is raised again on the event thread.
  void Synchronize(TComEvents events);
  // smWindowSync (event thread): sends message WM_USER + 1 per event, in the
  // delivery order, with the event's mask bit.
  void PostEvents(TComEvents events);

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wp, LPARAM lp) noexcept;
  TCustomComPort& port_;
  Window window_;
};

}  // namespace ra03v
