#include "host/params.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/error_codes.h"
#include "foundation/win/bstr.h"

namespace ra03v {

namespace {

constexpr size_t kSlotBytes = RA03V_OWNED_SLOTS * sizeof(VARIANT);
constexpr size_t kCommitStep = 64 * 1024;

// An owned list reserves room for every slot but commits pages only as values
// are added, so an idle block costs little memory.
struct OwnedList {
  DISPPARAMS params{};
  size_t committed = 0;
};

void ResetErrorTexts(RA03V_PARAMS& p) {
  VariantClear(&p.ErrorSource);
  VariantClear(&p.ErrorDescription);
  V_VT(&p.ErrorSource) = VT_BSTR;
  V_BSTR(&p.ErrorSource) = Bstr::Copy(L"").Release();
  V_VT(&p.ErrorDescription) = VT_BSTR;
  V_BSTR(&p.ErrorDescription) = Bstr::Copy(L"").Release();
}

OwnedList* OwnedListOf(RA03V_PARAMS& p) { return reinterpret_cast<OwnedList*>(p.Values); }

void CommitSlots(OwnedList& list, size_t slots) {
  const size_t needed = slots * sizeof(VARIANT);
  if (needed <= list.committed) return;
  size_t target = (needed + kCommitStep - 1) / kCommitStep * kCommitStep;
  if (target > kSlotBytes) target = kSlotBytes;
  auto* base = reinterpret_cast<char*>(list.params.rgvarg);
  if (!VirtualAlloc(base + list.committed, target - list.committed, MEM_COMMIT, PAGE_READWRITE))
    throw std::bad_alloc();
  list.committed = target;
}

// Writes value through a borrowed by-reference slot.
void WriteThrough(VARIANT& slot, const VARIANT& value) {
  switch (V_VT(&slot) & ~VT_BYREF) {
    case VT_I4:
      *V_I4REF(&slot) = Variant::Copy(value).ToInt();
      break;
    case VT_R8:
      *V_R8REF(&slot) = Variant::Copy(value).ToDouble();
      break;
    case VT_BSTR: {
      Bstr text = Bstr::Copy(Variant::Copy(value).ToText());
      SysFreeString(*V_BSTRREF(&slot));
      *V_BSTRREF(&slot) = text.Release();
      break;
    }
    default:
      RaiseText("Неподдерживаемый тип параметра.");
  }
}

}  // namespace

const RA03V_CLASS_RECORD& TParams::ClassRecord() noexcept {
  static const RA03V_CLASS_RECORD record = {"TParams", &TParams::DestroyOwn};
  return record;
}

TParams::Owned TParams::Create() {
  Owned block(new TParams());
  std::memset(static_cast<RA03V_PARAMS*>(block.get()), 0, sizeof(RA03V_PARAMS));
  block->ClassRef = &ClassRecord();
  ResetErrorTexts(*block);
  return block;
}

void __stdcall TParams::DestroyOwn(void* self) {
  auto* block = static_cast<TParams*>(self);
  block->Destroy();
  VariantClear(&block->ErrorSource);
  VariantClear(&block->ErrorDescription);
  delete[] block->Name;
  delete block;
}

void TParams::DestroyBlock(RA03V_PARAMS* block) noexcept {
  if (block && block->ClassRef && block->ClassRef->Destroy) block->ClassRef->Destroy(block);
}

void TParams::AllocValues() {
  if (Values) return;
  auto list = std::make_unique<OwnedList>();
  void* slots = VirtualAlloc(nullptr, kSlotBytes, MEM_RESERVE, PAGE_READWRITE);
  if (!slots) throw std::bad_alloc();
  list->params.rgvarg = static_cast<VARIANT*>(slots);
  list->params.cArgs = 0;
  static_assert(offsetof(OwnedList, params) == 0, "the list is reached through its DISPPARAMS");
  Values = &list.release()->params;
  OwnsValues = 1;
}

VARIANT& TParams::Slot(int index, const char* operation) const {
  const int count = Count();
  // An owned list never holds more than its slot area; a count beyond it or a
  // missing area is treated like a bad index rather than read past.
  const bool inArea = HasSlots() && (!OwnsValues || index < RA03V_OWNED_SLOTS);
  if (index < 0 || index >= count || !inArea)
    RaiseError(kErrorText,
               {FormatTemplate(std::string("Неверный индекс (") + operation + ") Index=%d Count=%d",
                               {int64_t{index}, int64_t{count}})});
  const int slot = OwnsValues ? index : count - 1 - index;
  return Values->rgvarg[slot];
}

Variant TParams::Get(int index) const { return Variant::Copy(Slot(index, "Get")); }

void TParams::Set(int index, const VARIANT& value) {
  VARIANT& slot = Slot(index, "Set");
  if (OwnsValues) {
    Variant copy = Variant::Copy(value);
    VariantClear(&slot);
    slot = copy.Release();
  } else if (V_VT(&slot) & VT_BYREF) {
    WriteThrough(slot, value);
  }
}

void TParams::RequireValueList() const {
  // A host's block is destroyed by the host's own class, which cannot free a
  // list allocated here: such a block must bring its own.
  if (IsOwnBlock() || (OwnsValues && HasSlots())) return;
  RaiseText(CurrentMessageLanguage() == MessageLanguage::Russian
                ? "Блок параметров не содержит собственного списка значений: в него нельзя "
                  "добавить значение."
                : "The parameter block has no value list of its own: no value can be added to it.");
}

void TParams::Add(const VARIANT& value) {
  RequireValueList();
  AllocValues();
  const int count = Count();
  if (!OwnsValues || count >= RA03V_OWNED_SLOTS)
    RaiseError(kErrorText, {FormatTemplate("Неверный индекс (Add) Index=%d Count=%d",
                                           {int64_t{count}, int64_t{count}})});
  Variant copy = Variant::Copy(value);
  // Only this library's own lists commit their slots as they fill; a host's
  // owned list is its own, with every slot already there.
  if (IsOwnBlock()) CommitSlots(*OwnedListOf(*this), static_cast<size_t>(count) + 1);
  Values->rgvarg[count] = copy.Release();
  Values->cArgs = static_cast<UINT>(count + 1);
}

void TParams::Truncate(int count) noexcept {
  if (!HasSlots() || !OwnsValues || count < 0) return;
  const int filled = std::min(Count(), RA03V_OWNED_SLOTS);
  for (int i = count; i < filled; ++i) VariantClear(&Values->rgvarg[i]);
  if (count < Count()) Values->cArgs = static_cast<UINT>(count);
}

void TParams::SetName(const char* name) {
  const size_t length = std::strlen(name);
  char* copy = new char[length + 1];
  std::memcpy(copy, name, length + 1);
  delete[] Name;
  Name = copy;
}

void TParams::Clear() noexcept {
  ResultRef = nullptr;
  HasError = 0;
  ResetErrorTexts(*this);
  SetError(0);
  if (Values && OwnsValues) {
    const UINT filled = HasSlots() ? std::min<UINT>(Values->cArgs, RA03V_OWNED_SLOTS) : 0;
    for (UINT i = 0; i < filled; ++i) VariantClear(&Values->rgvarg[i]);
    Values->cArgs = 0;
  } else {
    // A borrowed list holds the caller's own arguments: forget it, never clear it.
    Values = nullptr;
  }
  DestroyBlock(Next);
  Next = nullptr;
}

void TParams::Destroy() noexcept {
  DestroyBlock(Next);
  Next = nullptr;
  if (!OwnsValues || !Values) return;
  Clear();
  OwnedList* list = OwnedListOf(*this);
  VirtualFree(list->params.rgvarg, 0, MEM_RELEASE);
  delete list;
  Values = nullptr;
  OwnsValues = 0;
}

}  // namespace ra03v
