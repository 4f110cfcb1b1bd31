#include "host/plugin_entry.h"

#include <atomic>
#include <exception>

#include "foundation/error_codes.h"
#include "foundation/protect_exception.h"
#include "foundation/win/bstr.h"

namespace ra03v {

namespace {

std::atomic<DispatchRoutine> g_dispatch{nullptr};

// Value 1 as text for ErrorSource; empty when there is none or it is no text.
Variant ErrorSourceOf(const TParams& params) noexcept {
  try {
    if (params.Count() >= 2) {
      Variant name = params.Get(RA03V_VALUE_NAME);
      if (name.Type() == VT_BSTR) return name;
      if (name.Type() != VT_EMPTY) return Variant::FromText(name.ToText());
    }
  } catch (...) {
    // Not text: the source stays empty, the message still lands.
  }
  try {
    return Variant::FromText(L"");
  } catch (...) {
    return Variant();
  }
}

// The code always lands; each text lands on its own, so a name that cannot
// be turned into text still leaves the message.
void StoreError(TParams& params, int32_t code, const std::string& message) noexcept {
  params.SetError(code);
  Variant source = ErrorSourceOf(params);
  if (source.Type() == VT_BSTR) {
    VariantClear(&params.ErrorSource);
    params.ErrorSource = source.Release();
  }
  try {
    Variant description = Variant::From1251(message);
    VariantClear(&params.ErrorDescription);
    params.ErrorDescription = description.Release();
  } catch (...) {
    // Out of memory for the text: the code still tells the failure.
  }
}

}  // namespace

void InstallDispatch(DispatchRoutine routine) noexcept { g_dispatch.store(routine); }

DispatchRoutine InstalledDispatch() noexcept { return g_dispatch.load(); }

void StoreCurrentException(TParams& params) noexcept {
  try {
    throw;
  } catch (const EProtectException& e) {
    StoreError(params, e.Code(), e.what());
  } catch (const std::exception& e) {
    StoreError(params, kErrorText, e.what());
  } catch (...) {
    StoreError(params, kErrorText, "Unknown exception");
  }
}

}  // namespace ra03v

using ra03v::TParams;

extern "C" uint32_t __stdcall Query(void) {
  const auto query = reinterpret_cast<uintptr_t>(&Query);
  const auto entry = reinterpret_cast<uintptr_t>(&PluginEntry);
  return static_cast<uint32_t>(query - entry) ^ RA03V_QUERY_KEY;
}

extern "C" uint8_t __stdcall PluginEntry(RA03V_PARAMS* block, void* task) {
  if (!block) return 0;
  TParams& params = *TParams::From(block);
  params.HasError = 0;
  try {
    const ra03v::DispatchRoutine dispatch = ra03v::InstalledDispatch();
    // Without a driver object every call still ends as an error in the block.
    if (!dispatch) ra03v::RaiseText(ra03v::ErrorText(20004));
    return dispatch(params, task) ? 1 : 0;
  } catch (...) {
    ra03v::StoreCurrentException(params);
    return 0;
  }
}
