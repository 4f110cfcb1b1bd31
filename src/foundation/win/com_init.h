#pragma once
// Initialises COM on the calling thread for a scope when it is not initialised
// yet, and undoes only its own initialisation; never after RPC_E_CHANGED_MODE.
#include <objbase.h>

namespace ra03v {

class ComInit {
 public:
  explicit ComInit(DWORD model = COINIT_APARTMENTTHREADED) noexcept {
    const HRESULT hr = CoInitializeEx(nullptr, model);
    owned_ = SUCCEEDED(hr);  // S_FALSE also counts one initialisation to undo
  }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
  ~ComInit() {
    if (owned_) CoUninitialize();
  }

 private:
  bool owned_ = false;
};

}  // namespace ra03v
