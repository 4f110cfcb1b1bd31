#include "host/class_factory.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "host/safe_array_object.h"

namespace ra03v {

namespace {

// Serves one automation class; lives as long as the server keeps it.
class TAutoObjectFactory final : public IClassFactory {
 public:
  TAutoObjectFactory(const CLSID& clsid, Instancing instancing, ThreadingModel model) noexcept
      : clsid_(clsid), instancing_(instancing), model_(model) {}
  TAutoObjectFactory(const TAutoObjectFactory&) = delete;
  TAutoObjectFactory& operator=(const TAutoObjectFactory&) = delete;

  const CLSID& ClassId() const noexcept { return clsid_; }

  HRESULT __stdcall QueryInterface(REFIID iid, void** object) noexcept override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG __stdcall AddRef() noexcept override { return ++references_; }
  ULONG __stdcall Release() noexcept override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT __stdcall CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      ComPtr<TSafeArray> created = TBaseAutoObject::Make<TSafeArray>();
      return created->QueryInterface(iid, object);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT __stdcall LockServer(BOOL) noexcept override { return S_OK; }

 private:
  ~TAutoObjectFactory() = default;

  std::atomic<ULONG> references_{1};
  CLSID clsid_;
  [[maybe_unused]] Instancing instancing_;
  [[maybe_unused]] ThreadingModel model_;
};

struct ComServer {
  std::mutex lock;
  std::wstring name;
  std::vector<ComPtr<TAutoObjectFactory>> factories;
};

ComServer& Server() {
  // Exists from first use until the module is unloaded.
  static ComServer server;
  return server;
}

void RegisterValueArrayClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    ComServer& server = Server();
    std::lock_guard<std::mutex> guard(server.lock);
    server.name = L"AddIn";
    // The factory owns itself through its count; the server keeps that reference.
    server.factories.push_back(ComPtr<TAutoObjectFactory>::Attach(
        new TAutoObjectFactory(RA03V_CLSID_SafeArray, Instancing::Multiple, ThreadingModel::Free)));
  });
}

}  // namespace

std::wstring ComServerName() {
  ComServer& server = Server();
  std::lock_guard<std::mutex> guard(server.lock);
  return server.name;
}

ComPtr<IClassFactory> FindClassFactory(REFCLSID clsid) {
  ComServer& server = Server();
  std::lock_guard<std::mutex> guard(server.lock);
  for (const auto& factory : server.factories)
    if (IsEqualCLSID(factory->ClassId(), clsid)) return ComPtr<IClassFactory>::Copy(factory.Get());
  return {};
}

int RegisteredFactoryCount() noexcept {
  ComServer& server = Server();
  std::lock_guard<std::mutex> guard(server.lock);
  return static_cast<int>(server.factories.size());
}

ComPtr<TSafeArray> NewValueArrayObject() {
  RegisterValueArrayClass();
  return TBaseAutoObject::Make<TSafeArray>();
}

ComPtr<ISafeArray> CreateValueArray() {
  ComPtr<TSafeArray> object = NewValueArrayObject();
  return ComPtr<ISafeArray>::Copy(static_cast<ISafeArray*>(object.Get()));
}

}  // namespace ra03v
