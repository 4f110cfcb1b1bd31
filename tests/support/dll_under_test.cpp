#include "support/dll_under_test.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "foundation/win/bstr.h"

namespace ra03v::test {

namespace {

int g_destroyed = 0;

void __stdcall DestroyHostBlock(void* self) {
  auto* block = static_cast<RA03V_PARAMS*>(self);
  if (block->Next) block->Next->ClassRef->Destroy(block->Next);
  if (block->Values && block->OwnsValues) {
    for (UINT i = 0; i < block->Values->cArgs; ++i) VariantClear(&block->Values->rgvarg[i]);
    std::free(block->Values->rgvarg);
    std::free(block->Values);
  }
  VariantClear(&block->ErrorSource);
  VariantClear(&block->ErrorDescription);
  std::free(block->Name);
  std::free(block);
  ++g_destroyed;
}

const RA03V_CLASS_RECORD kHostBlockClass = {"THostParams", &DestroyHostBlock};

std::wstring TextOf(const VARIANT& v) { return Variant::Copy(v).ToText(); }

}  // namespace

std::wstring BesideTestProgram(const std::wstring& fileName) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return folder + fileName;
}

DllUnderTest::DllUnderTest(const std::wstring& fileName)
    : module_(LoadLibraryW(BesideTestProgram(fileName).c_str())) {
  if (!module_) throw std::runtime_error("cannot load the DLL under test");
  query_ = reinterpret_cast<RA03V_QUERY>(
      reinterpret_cast<void*>(GetProcAddress(module_.Get(), "Query")));
  if (!query_) throw std::runtime_error("the DLL has no Query export");
  entry_ = RA03V_EntryFromQuery(query_, query_());
}

RA03V_PARAMS* HostBlock::NewRaw() {
  auto* block = static_cast<RA03V_PARAMS*>(std::calloc(1, sizeof(RA03V_PARAMS)));
  block->ClassRef = &kHostBlockClass;
  block->Values = static_cast<DISPPARAMS*>(std::calloc(1, sizeof(DISPPARAMS)));
  block->Values->rgvarg = static_cast<VARIANT*>(std::calloc(RA03V_OWNED_SLOTS, sizeof(VARIANT)));
  block->OwnsValues = 1;
  V_VT(&block->ErrorSource) = VT_BSTR;
  V_BSTR(&block->ErrorSource) = SysAllocString(L"");
  V_VT(&block->ErrorDescription) = VT_BSTR;
  V_BSTR(&block->ErrorDescription) = SysAllocString(L"");
  return block;
}

HostBlock::HostBlock() : block_(NewRaw()) {}

HostBlock::~HostBlock() { block_->ClassRef->Destroy(block_); }

void HostBlock::SetName(const char* name) {
  std::free(block_->Name);
  block_->Name = static_cast<char*>(std::malloc(std::strlen(name) + 1));
  std::strcpy(block_->Name, name);
}

void HostBlock::Add(const VARIANT& value) {
  VARIANT& slot = block_->Values->rgvarg[block_->Values->cArgs++];
  VariantCopy(&slot, const_cast<VARIANT*>(&value));
}

Variant HostBlock::Value(int index) const {
  return Variant::Copy(block_->Values->rgvarg[index]);
}

std::wstring HostBlock::ErrorSource() const { return TextOf(block_->ErrorSource); }
std::wstring HostBlock::ErrorDescription() const { return TextOf(block_->ErrorDescription); }

RA03V_PARAMS* HostBlock::AppendToChain() {
  RA03V_PARAMS* last = block_;
  while (last->Next) last = last->Next;
  last->Next = NewRaw();
  return last->Next;
}

int HostBlock::Destroyed() noexcept { return g_destroyed; }

HostTask::HostTask(const char* className)
    : record_{className, nullptr}, bytes_(RA03V_TASK_MIN_SIZE + 16, 0) {
  const RA03V_CLASS_RECORD* ref = &record_;
  std::memcpy(bytes_.data(), &ref, sizeof ref);
}

void HostTask::SetDevice(const GUID& id) {
  std::memcpy(bytes_.data() + RA03V_TASK_DEVICE_OFFSET, &id, sizeof id);
}

void* HostTask::DriverSlot() const noexcept {
  void* slot = nullptr;
  std::memcpy(&slot, bytes_.data() + RA03V_TASK_DRIVER_OFFSET, sizeof slot);
  return slot;
}

}  // namespace ra03v::test
