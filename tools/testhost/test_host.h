#pragma once
// A small host for tests and tools. It knows the driver only through the
// public contract (include/ra03v/host_contract.h): it loads the DLL, finds the
// entry through Query, builds chains of blocks of its own class, makes task
// objects, and receives events through an event sink of its own.
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ra03v/host_contract.h"

namespace ra03v_host {

// Owns one VARIANT.
class Value {
 public:
  Value() { VariantInit(&v_); }
  Value(const Value& other);
  Value& operator=(const Value& other);
  ~Value() { VariantClear(&v_); }
  static Value Int(int32_t i);
  static Value Double(double d);
  static Value Text(const std::wstring& s);
  static Value Object(IUnknown* object, VARTYPE type = VT_DISPATCH);
  // Copies (dereferencing a by-reference value).
  static Value Copy(const VARIANT& v);

  const VARIANT& Get() const { return v_; }
  VARIANT* Put() {
    VariantClear(&v_);
    return &v_;
  }
  VARTYPE Type() const { return V_VT(&v_); }
  std::wstring ToText() const;
  int32_t ToInt() const;

 private:
  VARIANT v_;
};

// A block of the host's own class ("THostParams") with an owned list.
class Block {
 public:
  Block();
  ~Block();
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  RA03V_PARAMS* Get() noexcept { return raw_; }
  RA03V_PARAMS* operator->() noexcept { return raw_; }
  // Name field (Windows-1251 text): a control command or any text.
  void SetName(const std::string& name);
  void Add(const VARIANT& value);
  int Count() const noexcept;
  Value At(int index) const;
  std::wstring ErrorSource() const;
  std::wstring ErrorDescription() const;
  // Appends a new block at the end of this block's chain; the chain owns it.
  RA03V_PARAMS* Append();

  // Host blocks destroyed through the host's class record since start.
  static int DestroyedCount() noexcept;
  // A new, unowned host block; destroy it through its ClassRef.
  static RA03V_PARAMS* NewRaw();

 private:
  RA03V_PARAMS* raw_;
};

// A task object: the host's own class record, then the fields at the
// contract's offsets.
class Task {
 public:
  explicit Task(const char* className = RA03V_TASK_CLASS_INTERNAL);
  void* Get() noexcept { return bytes_.data(); }
  void SetDevice(const GUID& id);
  void SetAbort(bool abort) noexcept;
  void* DriverSlot() const noexcept;

 private:
  RA03V_CLASS_RECORD record_;
  std::vector<unsigned char> bytes_;
};

struct ExternalEvent {
  std::wstring name;
  std::wstring deviceIdText;
  std::wstring data;
  GUID deviceId{};
  DWORD threadId = 0;
};

// The host's event interface: IDispatch plus the slots up to 24, of which the
// driver calls slot 8 (external events) and slot 24 (a new value array).
class EventSink {
 public:
  using ValueArrayFactory = std::function<HRESULT(VARIANT* out)>;
  using EventHandler = std::function<void(const ExternalEvent&)>;

  EventSink();
  ~EventSink();
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

  IDispatch* Interface() noexcept;
  // Runs on the thread that raises the event (the port's event thread).
  void SetEventHandler(EventHandler handler);
  void SetValueArrayFactory(ValueArrayFactory factory);
  std::vector<ExternalEvent> Events() const;
  size_t EventCount() const;
  LONG References() const noexcept;
  // Waits, pumping this thread's messages, until count events arrived or
  // timeoutMs passed. Returns whether they arrived.
  bool WaitForEvents(size_t count, DWORD timeoutMs) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// A loaded driver DLL and calls through its entry.
class Driver {
 public:
  // Loads the DLL at path (wide path); throws std::runtime_error on failure.
  explicit Driver(const std::wstring& path);
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  HMODULE Module() const noexcept { return module_; }
  RA03V_QUERY QueryFunction() const noexcept { return query_; }
  RA03V_ENTRY Entry() const noexcept { return entry_; }
  // Unloads now (the destructor does it otherwise).
  void Unload();

  // Calls the entry with a whole chain.
  bool Call(Block& block, Task* task);

  // One plug-in call: method (kind 1), get (kind 2) or set (kind 3). Returns
  // the block after the call, so the caller can read results and errors.
  std::unique_ptr<Block> Method(const std::wstring& name, const std::vector<Value>& args,
                                Task* task, bool* result = nullptr);
  std::unique_ptr<Block> GetProperty(const std::wstring& name, Task* task);
  std::unique_ptr<Block> SetProperty(const std::wstring& name, const Value& value, Task* task);
  // A control command block ("__@@EventSupport" also passes sink).
  std::unique_ptr<Block> Control(const std::string& command, IDispatch* sink = nullptr);
  // A call of any kind, also one that names a property as a method.
  std::unique_ptr<Block> Run(const std::wstring& name, int kind, const std::vector<Value>& args,
                             Task* task, bool* result = nullptr);

  // The system's error code of the last failed load in this thread's
  // constructor call (read it in the handler of the constructor's exception).
  static DWORD LastLoadError() noexcept { return loadError_; }

 private:
  static inline thread_local DWORD loadError_ = 0;
  HMODULE module_ = nullptr;
  RA03V_QUERY query_ = nullptr;
  RA03V_ENTRY entry_ = nullptr;
};

// Dispatches this thread's messages, sleeping in between, for milliseconds.
void PumpFor(DWORD milliseconds);

// A device code as the driver's documents write it: "{XXXXXXXX-...}".
std::wstring GuidText(const GUID& id);

// The RA-03V reader's model code, which a host names in its settings documents.
inline constexpr wchar_t kReaderModelCode[] = L"{C7C345A0-2C38-411D-AE5B-CEA387564725}";

// One reader of an equipment settings document ("НастроитьУстройства"): its
// port in "ComNumber", then any further "Параметр" elements as given.
std::wstring ReaderDeviceElement(const GUID& code, const std::wstring& name, int comNumber,
                                 const std::wstring& moreParameters = L"");
// The equipment document around device elements.
std::wstring EquipmentDocument(const std::wstring& devices);

}  // namespace ra03v_host
