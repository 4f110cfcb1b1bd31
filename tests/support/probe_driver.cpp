// Driver unit of the probe DLL: instead of a reader it runs small scenarios
// named by the block's Name, so that tests reach the real entry, the block
// operations and the start-up units across the DLL boundary.
#include <stdexcept>
#include <string>

#include "foundation/base_log.h"
#include "foundation/error_codes.h"
#include "foundation/protect_exception.h"
#include "host/class_factory.h"
#include "host/plugin_entry.h"
#include "host/safe_array_object.h"
#include "host/value_storage.h"
#include "module/module_startup.h"

namespace ra03v {

namespace {

// "name=N" gives N; anything else gives fallback.
int NumberAfterEquals(const std::string& name, int fallback) {
  const size_t eq = name.find('=');
  return eq == std::string::npos ? fallback : std::stoi(name.substr(eq + 1));
}

bool RunScenario(TParams& params, void*) {
  const std::string name = params.Name ? params.Name : "";
  const std::string verb = name.substr(0, name.find('='));
  if (verb == "raise") {
    const int code = params.Get(3).ToInt();
    if (params.Count() > 4) RaiseError(code, {params.Get(4).To1251()});
    RaiseError(code);
  }
  if (verb == "hardware")
    throw EHardwareEquipmentException(params.Get(3).ToInt(), params.Get(4).To1251());
  if (verb == "plain") throw std::runtime_error(params.Get(3).To1251());
  if (verb == "unknown") throw 42;
  if (verb == "echo") {
    params.Set(0, params.Get(3).Get());
    return true;
  }
  if (verb == "get") {
    params.Set(0, params.Get(NumberAfterEquals(name, 0)).Get());
    return true;
  }
  if (verb == "set") {
    params.Set(NumberAfterEquals(name, 0), params.Get(params.Count() - 1).Get());
    return true;
  }
  if (verb == "add") {
    params.Add(params.Get(params.Count() - 1).Get());
    return true;
  }
  if (verb == "logpath") {
    params.Set(0, Variant::From1251(LogPath()).Get());
    params.Set(3, Variant::FromBool(OwnsLog()).Get());
    return true;
  }
  if (verb == "chain") {
    int position = 0;
    for (TParams* p = &params; p; p = p->NextBlock()) p->Set(0, Variant::FromInt(position++).Get());
    return true;
  }
  if (verb == "createvaluearray") {
    ComPtr<ISafeArray> table = CreateValueArray();
    VARIANT object;
    V_VT(&object) = VT_DISPATCH;
    V_DISPATCH(&object) = table.Detach();
    params.Set(0, Variant::Attach(object).Get());
    return true;
  }
  if (verb == "loadstorage") {
    ComPtr<TSafeArray> table;
    params.Set(0, Variant::FromBool(LoadStorageFile(params.Get(3).ToText(), table)).Get());
    return true;
  }
  if (verb == "factories") {
    params.Set(0, Variant::FromInt(RegisteredFactoryCount()).Get());
    params.Set(3, Variant::FromText(ComServerName()).Get());
    return true;
  }
  if (verb == "clear") {
    params.Clear();
    return false;
  }
  return false;
}

}  // namespace

void CreateDriverObject() { InstallDispatch(&RunScenario); }
void FreeDriverObject(bool) noexcept {}

}  // namespace ra03v
