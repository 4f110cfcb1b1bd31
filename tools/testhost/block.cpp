#include <cstdlib>
#include <cstring>

#include "test_host.h"

namespace ra03v_host {

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

}  // namespace

RA03V_PARAMS* Block::NewRaw() {
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

Block::Block() : raw_(NewRaw()) {}

Block::~Block() { raw_->ClassRef->Destroy(raw_); }

int Block::DestroyedCount() noexcept { return g_destroyed; }

void Block::SetName(const std::string& name) {
  std::free(raw_->Name);
  raw_->Name = static_cast<char*>(std::malloc(name.size() + 1));
  std::memcpy(raw_->Name, name.c_str(), name.size() + 1);
}

void Block::Add(const VARIANT& value) {
  VARIANT& slot = raw_->Values->rgvarg[raw_->Values->cArgs++];
  VariantInit(&slot);
  VariantCopy(&slot, const_cast<VARIANT*>(&value));
}

int Block::Count() const noexcept {
  return raw_->Values ? static_cast<int>(raw_->Values->cArgs) : 0;
}

Value Block::At(int index) const { return Value::Copy(raw_->Values->rgvarg[index]); }

std::wstring Block::ErrorSource() const { return Value::Copy(raw_->ErrorSource).ToText(); }

std::wstring Block::ErrorDescription() const {
  return Value::Copy(raw_->ErrorDescription).ToText();
}

RA03V_PARAMS* Block::Append() {
  RA03V_PARAMS* last = raw_;
  while (last->Next) last = last->Next;
  last->Next = NewRaw();
  return last->Next;
}

Task::Task(const char* className)
    : record_{className, nullptr}, bytes_(RA03V_TASK_MIN_SIZE + 16, 0) {
  const RA03V_CLASS_RECORD* ref = &record_;
  std::memcpy(bytes_.data(), &ref, sizeof ref);
}

void Task::SetDevice(const GUID& id) {
  std::memcpy(bytes_.data() + RA03V_TASK_DEVICE_OFFSET, &id, sizeof id);
}

void Task::SetAbort(bool abort) noexcept { bytes_[RA03V_TASK_ABORT_OFFSET] = abort ? 1 : 0; }

void* Task::DriverSlot() const noexcept {
  void* slot = nullptr;
  std::memcpy(&slot, bytes_.data() + RA03V_TASK_DRIVER_OFFSET, sizeof slot);
  return slot;
}

}  // namespace ra03v_host
