#include "host/plugin_entry.h"

#include <atomic>
#include <exception>

#include "foundation/error_codes.h"
#include "foundation/protect_exception.h"
#include "foundation/win/bstr.h"

namespace ra03v {

namespace {

std::atomic<DispatchRoutine> g_dispatch{nullptr};

void StoreError(TParams& params, int32_t code, const std::string& message) noexcept {
  try {
    params.SetError(code);
    Variant source = params.Count() >= 2 ? params.Get(RA03V_VALUE_NAME) : Variant();
    if (source.Type() != VT_BSTR) {
      VARIANT text = source.Type() == VT_EMPTY ? Variant::FromText(L"").Release()
                                               : Variant::FromText(source.ToText()).Release();
      source.Reset(text);
    }
    Variant description = Variant::From1251(message);
    VariantClear(&params.ErrorSource);
    params.ErrorSource = source.Release();
    VariantClear(&params.ErrorDescription);
    params.ErrorDescription = description.Release();
  } catch (...) {
    // The code is set; the texts stay as they were.
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
