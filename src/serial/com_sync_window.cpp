#include "serial/com_sync_window.h"

#include "foundation/error_codes.h"
#include "serial/com_port.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace ra03v {
namespace {

constexpr UINT kEventMessage = WM_USER + 1;  // one event: wParam is its mask bit
constexpr UINT kSyncMessage = WM_USER + 2;   // a whole delivery: wParam is the event set
constexpr wchar_t kClassName[] = L"RA03V.ComPortSync";

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

}  // namespace

TComSyncWindow::TComSyncWindow(TCustomComPort& port) : port_(port) {
  WNDCLASSW cls{};
  if (!GetClassInfoW(ThisModule(), kClassName, &cls)) {
    cls = {};
    cls.lpfnWndProc = &Proc;
    cls.hInstance = ThisModule();
    cls.lpszClassName = kClassName;
    RegisterClassW(&cls);
  }
  window_.Reset(CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ThisModule(), nullptr));
  if (!window_) RaiseComPortLastError(CError_WaitFailed);
  SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TComSyncWindow::~TComSyncWindow() {
  window_.Reset();
  // The class stays registered while another port still has a window.
  UnregisterClassW(kClassName, ThisModule());
}

void TComSyncWindow::Synchronize(TComEvents events) {
  if (SendMessageW(window_.Get(), kSyncMessage, events.Bits(), 0) != 0)
    RaiseText("Event delivery failed");
}

void TComSyncWindow::PostEvents(TComEvents events) {
  static constexpr TComEvent kOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                         evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
  for (TComEvent e : kOrder)
    if (events.Has(e)) SendMessageW(window_.Get(), kEventMessage, kComEventMaskBits[e], 0);
}

LRESULT CALLBACK TComSyncWindow::Proc(HWND window, UINT message, WPARAM wp, LPARAM lp) noexcept {
  auto* self = reinterpret_cast<TComSyncWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == kSyncMessage) {
    try {
      self->port_.DeliverEvents(TComEvents::FromBits(static_cast<uint32_t>(wp)));
      return 0;
    } catch (...) {
      return 1;
    }
  }
  if (self && message == kEventMessage) {
    if (InSendMessage()) ReplyMessage(0);
    try {
      const TComEvents events = MaskToEvents(static_cast<DWORD>(wp));
      if (self->port_.Connected())
        for (unsigned e = 0; e <= evRx80Full; ++e)
          if (events.Has(static_cast<TComEvent>(e)))
            self->port_.DeliverEvent(static_cast<TComEvent>(e));
    } catch (...) {
      // The application's handler would show it; a window procedure cannot pass it on.
    }
    return 0;
  }
  return DefWindowProcW(window, message, wp, lp);
}

}  // namespace ra03v
