#pragma once
// The call parameter block shared byte for byte with the host.
#include <memory>

#include "foundation/win/variant.h"
#include "ra03v/host_contract.h"

namespace ra03v {

// Adds the block operations to the host's layout; no fields and no virtuals of
// its own, so a host-made RA03V_PARAMS can be used through it in place.
class TParams : public RA03V_PARAMS {
 public:
  struct Destroyer {
    void operator()(TParams* p) const noexcept { DestroyBlock(p); }
  };
  using Owned = std::unique_ptr<TParams, Destroyer>;

  // A new block of this library's own class: everything zero except the two
  // error texts, which are empty VT_BSTR.
  static Owned Create();
  // Views a block made by either side.
  static TParams* From(RA03V_PARAMS* block) noexcept { return static_cast<TParams*>(block); }
  // Destroys any block through its own class record (null is ignored).
  static void DestroyBlock(RA03V_PARAMS* block) noexcept;
  // The class record of this library's blocks.
  static const RA03V_CLASS_RECORD& ClassRecord() noexcept;

  TParams(const TParams&) = delete;
  TParams& operator=(const TParams&) = delete;

  // Allocates the owned list of RA03V_OWNED_SLOTS slots unless a list is present.
  void AllocValues();
  // Borrows list; values then lie in reverse order.
  void AttachValues(DISPPARAMS* list) noexcept { Values = list; }
  int Count() const noexcept { return Values ? static_cast<int>(Values->cArgs) : 0; }

  // Copies value index (dereferenced) into a new Variant. Raises 20000 for a bad index.
  Variant Get(int index) const;
  // Stores value index: copies on an owned list, writes through a by-reference
  // slot on a borrowed one.
  void Set(int index, const VARIANT& value);
  // Appends a value. This library's blocks get a list when they have none; a
  // host's block must bring an owned list, else 20000 is raised.
  void Add(const VARIANT& value);
  // Raises 20000 unless Add can succeed even after Clear: only an owned list
  // survives Clear, and only this library's blocks can be given a list.
  void RequireValueList() const;
  // Clears the values from position count on (owned lists only).
  void Truncate(int count) noexcept;
  bool SetError(int32_t code) noexcept {
    ErrorCode = code;
    HasError = code != 0;
    return HasError;
  }
  void SetName(const char* name);
  // Resets the result, errors and values, and destroys the successor chain.
  void Clear() noexcept;
  // Destroys the successor chain and, when owned, the value list.
  void Destroy() noexcept;

  TParams* NextBlock() const noexcept { return From(Next); }

 private:
  TParams() = default;
  ~TParams() = default;
  VARIANT& Slot(int index, const char* operation) const;
  bool IsOwnBlock() const noexcept { return ClassRef == &ClassRecord(); }
  // A list whose slot area exists (a host may hand in a record without one).
  bool HasSlots() const noexcept { return Values && Values->rgvarg; }
  static void __stdcall DestroyOwn(void* self);
};

static_assert(sizeof(TParams) == sizeof(RA03V_PARAMS), "TParams adds no fields");

}  // namespace ra03v
