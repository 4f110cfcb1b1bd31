#pragma once
// A minimal host for tests: loads a driver DLL beside the test program, finds
// its entry through Query, and builds blocks and task objects of its own class.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/win/unique_handle.h"
#include "foundation/win/variant.h"
#include "ra03v/host_contract.h"

namespace ra03v::test {

// Full path of a file beside the running test program.
std::wstring BesideTestProgram(const std::wstring& fileName);

class DllUnderTest {
 public:
  // Loads fileName from the test program's folder.
  explicit DllUnderTest(const std::wstring& fileName);
  HMODULE Module() const noexcept { return module_.Get(); }
  RA03V_QUERY QueryFunction() const noexcept { return query_; }
  RA03V_ENTRY Entry() const noexcept { return entry_; }

 private:
  ra03v::Module module_;
  RA03V_QUERY query_ = nullptr;
  RA03V_ENTRY entry_ = nullptr;
};

// Blocks made by the host: its own class record, an owned list of all slots.
class HostBlock {
 public:
  HostBlock();
  ~HostBlock();
  HostBlock(const HostBlock&) = delete;
  HostBlock& operator=(const HostBlock&) = delete;

  RA03V_PARAMS* Get() noexcept { return block_; }
  RA03V_PARAMS* operator->() noexcept { return block_; }
  void SetName(const char* name);
  void Add(const VARIANT& value);
  // The value at position index (a copy).
  Variant Value(int index) const;
  std::wstring ErrorSource() const;
  std::wstring ErrorDescription() const;
  // Appends a new host block to the end of the chain and returns it (owned by the chain).
  RA03V_PARAMS* AppendToChain();

  // Number of host blocks destroyed through the host's class record so far.
  static int Destroyed() noexcept;
  // Makes a stand-alone host block (for chains and for borrowed-list tests).
  static RA03V_PARAMS* NewRaw();

 private:
  RA03V_PARAMS* block_;
};

// A host task object of the given class name, large enough for every field.
class HostTask {
 public:
  explicit HostTask(const char* className);
  void* Get() noexcept { return bytes_.data(); }
  void SetDevice(const GUID& id);
  void SetAbort(bool abort) noexcept { bytes_[RA03V_TASK_ABORT_OFFSET] = abort ? 1 : 0; }
  void* DriverSlot() const noexcept;

 private:
  RA03V_CLASS_RECORD record_;
  std::vector<unsigned char> bytes_;
};

}  // namespace ra03v::test
