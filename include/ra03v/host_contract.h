/*
 * RA-03V card reader driver: the binary contract between the driver DLL and
 * the equipment-server host that loads it.
 *
 * Plain C, usable from C and from C++ of any compiler. No C++ vtable layout is
 * part of the contract: every object that crosses the boundary starts with a
 * pointer to its creator's class record, and is destroyed only through it.
 *
 * Calling sequence:
 *   1. Load the DLL and call Query (its only export).
 *   2. Recover the entry: entry = address of Query - (R XOR RA03V_QUERY_KEY),
 *      on 64-bit builds with R XOR RA03V_QUERY_KEY sign-extended first
 *      (RA03V_EntryFromQuery does this).
 *   3. Call the entry with a chain of RA03V_PARAMS blocks and a task object.
 *      Results and errors come back inside the blocks; the entry returns a
 *      one-byte boolean (true: the last block ran a method or property).
 *
 * Texts stored as char are Windows-1251, zero-terminated. Texts in VARIANTs
 * and BSTRs are UTF-16.
 *
 * Freeing and unloading:
 *   A host that may load the driver again sends the control command "__FRee"
 *   before it unloads the DLL. "__FRee" switches every reader off, closes its
 *   port, frees every device and releases the host's event interface; it may
 *   also be sent from inside the host's event handler (the port's event
 *   thread), where the reader being handled goes as soon as the handler
 *   returns and no event follows. After it the DLL unloads completely.
 *   A host that unloads without "__FRee" while a reader is switched on does
 *   not crash or hang, but the library stays mapped: each open port's event
 *   thread holds it, the reader keeps polling and its port stays open, and
 *   the driver keeps the host's event interface. Loading the DLL again then
 *   returns that same still-mapped instance with the old devices still on;
 *   a new device on one of their ports fails to switch on with result 3
 *   ("Устройство не обнаружено") until the process ends.
 */
#ifndef RA03V_HOST_CONTRACT_H
#define RA03V_HOST_CONTRACT_H

#include <stddef.h>
#include <stdint.h>
#include <windows.h>
#include <oaidl.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Class records ------------------------------------------------------ */

/* Offset 0 of every block and task object points to the creating side's class
 * record. Destroy frees the object and everything it owns: for a block, its
 * value list when owned, its name and its successor chain. Each side destroys
 * the other side's objects only through this routine. */
typedef struct RA03V_CLASS_RECORD {
  const char* ClassName;
  void(__stdcall* Destroy)(void* self);
} RA03V_CLASS_RECORD;

/* ---- Call parameter block ----------------------------------------------- */

/* Automation call kinds in CallFlags (the plug-in path leaves them 0). */
#define RA03V_CALL_METHOD 1
#define RA03V_CALL_PROPGET 2
#define RA03V_CALL_PROPPUT 4
#define RA03V_CALL_PROPPUTREF 8

/* Positions of the values of a plug-in call. */
#define RA03V_VALUE_RESULT 0
#define RA03V_VALUE_NAME 1
#define RA03V_VALUE_KIND 2
#define RA03V_VALUE_FIRST_ARGUMENT 3

/* Call kinds in value 2. */
#define RA03V_KIND_METHOD 1
#define RA03V_KIND_GET 2
#define RA03V_KIND_SET 3

/* An owned value list: a DISPPARAMS whose rgvarg area holds this many slots
 * (1 MiB on 32-bit), value i in slot i. A borrowed list (OwnsValues 0) holds
 * the values in reverse order, value i in slot cArgs - 1 - i.
 *
 * The driver never gives a host's block a list of its own: the host destroys
 * its blocks through its own class record and could not free one. A block
 * that must receive values ("__@@EventSupport" answers in value 0) brings an
 * owned list (OwnsValues 1, Values and its rgvarg area present); one without
 * it, or with a borrowed list, fails with ErrorCode 20000 and leaves the
 * block and the driver as they were. */
#define RA03V_OWNED_SLOTS 65536

/* 72 bytes on 32-bit; the same fields at their natural offsets on 64-bit. */
typedef struct RA03V_PARAMS {
  const RA03V_CLASS_RECORD* ClassRef; /* 0 */
  DISPPARAMS* Values;                 /* 4: null when the block holds no values */
  int32_t ErrorCode;                  /* 8: 0 = no error */
  char* Name; /* 12: control command, or any text for an ordinary call; owned by the block */
  uint16_t CallFlags;        /* 16 */
  uint8_t HasError;          /* 18: ErrorCode is not 0 */
  VARIANT ErrorSource;       /* 24: where the error arose (VT_BSTR) */
  VARIANT ErrorDescription;  /* 40: the error message (VT_BSTR) */
  VARIANT* ResultRef;        /* 56: automation path only */
  IDispatch* EventSink;      /* 60: the host's event interface ("__@@EventSupport") */
  struct RA03V_PARAMS* Next; /* 64: successor, owned by this block */
  uint8_t OwnsValues;        /* 68 */
} RA03V_PARAMS;

/* ---- Task object -------------------------------------------------------- */

/* The host's task object is its own; the driver reads and writes only these
 * offsets, and reads the abort byte and device identifier only from tasks
 * whose class record names one of the two class names below. */
#define RA03V_TASK_CLASS_INTERNAL "TInternalTask"
#define RA03V_TASK_CLASS_THREAD "TTaskThread"
#define RA03V_TASK_ABORT_OFFSET 88
#define RA03V_TASK_DEVICE_OFFSET 124
#if defined(_WIN64)
#define RA03V_TASK_DRIVER_OFFSET 144
#else
#define RA03V_TASK_DRIVER_OFFSET 140
#endif
#define RA03V_TASK_MIN_SIZE (RA03V_TASK_DRIVER_OFFSET + sizeof(void*))

/* ---- Exports -------------------------------------------------------------- */

#define RA03V_QUERY_KEY 0x5E17A2C9u

typedef uint32_t(__stdcall* RA03V_QUERY)(void);
typedef uint8_t(__stdcall* RA03V_ENTRY)(RA03V_PARAMS* params, void* task);

/* Works out the entry's address from Query's address and its result. */
static inline RA03V_ENTRY RA03V_EntryFromQuery(RA03V_QUERY query, uint32_t result) {
  int32_t distance = (int32_t)(result ^ RA03V_QUERY_KEY);
  return (RA03V_ENTRY)(void*)((intptr_t)(void*)query - (intptr_t)distance);
}

/* ---- The host's event interface ------------------------------------------ */

/* IDispatch-derived; the driver calls only two slots, the others are the host's.
 * Slot 8 (vtable index 7): an external event, e.g. a card read.
 * Slot 24 (vtable index 23): hands out a new value array object. */
#define RA03V_EVENT_SLOT_EXTERNAL_EVENT 7
#define RA03V_EVENT_SLOT_CREATE_VALUE_ARRAY 23
typedef HRESULT(__stdcall* RA03V_EXTERNAL_EVENT)(void* self, BSTR eventName, BSTR deviceIdText,
                                                 BSTR data, const GUID* deviceId);
typedef HRESULT(__stdcall* RA03V_CREATE_VALUE_ARRAY)(void* self, VARIANT* valueArray);

/* ---- Driver names interface --------------------------------------------- */

/* Handed to the host in value 0 of "__@@EventSupport". After the three IUnknown
 * slots come five operations, in this order, each taking a BSTR and returning
 * a one-byte boolean. */
/* {BAB8C117-CADF-4C73-9B2D-B042D637A748} */
#define RA03V_IID_DRIVER_NAMES_INIT                                                \
  {                                                                                \
    0xBAB8C117, 0xCADF, 0x4C73, { 0x9B, 0x2D, 0xB0, 0x42, 0xD6, 0x37, 0xA7, 0x48 } \
  }

/* The interface as a C vtable. Each operation answers whether name is, in
 * order: a property (also one known only as a device property template), a
 * method, a built-in method, the switch-on method, the switch-off method. The
 * host releases its reference when done; it never destroys the driver
 * through it. */
typedef struct RA03V_DRIVER_NAMES RA03V_DRIVER_NAMES;
typedef struct RA03V_DRIVER_NAMES_VTBL {
  HRESULT(__stdcall* QueryInterface)(RA03V_DRIVER_NAMES* self, REFIID iid, void** object);
  ULONG(__stdcall* AddRef)(RA03V_DRIVER_NAMES* self);
  ULONG(__stdcall* Release)(RA03V_DRIVER_NAMES* self);
  uint8_t(__stdcall* IsProperty)(RA03V_DRIVER_NAMES* self, BSTR name);
  uint8_t(__stdcall* IsMethod)(RA03V_DRIVER_NAMES* self, BSTR name);
  uint8_t(__stdcall* IsBuiltInMethod)(RA03V_DRIVER_NAMES* self, BSTR name);
  uint8_t(__stdcall* IsSwitchOn)(RA03V_DRIVER_NAMES* self, BSTR name);
  uint8_t(__stdcall* IsSwitchOff)(RA03V_DRIVER_NAMES* self, BSTR name);
} RA03V_DRIVER_NAMES_VTBL;
struct RA03V_DRIVER_NAMES {
  const RA03V_DRIVER_NAMES_VTBL* lpVtbl;
};

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Layout checks: the host and the driver must agree byte for byte. */
#if defined(__cplusplus)
#define RA03V_STATIC_ASSERT static_assert
#else
#define RA03V_STATIC_ASSERT _Static_assert
#endif
#if defined(_WIN64)
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, Values) == 8, "Values");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, ErrorCode) == 16, "ErrorCode");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, Name) == 24, "Name");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, CallFlags) == 32, "CallFlags");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, HasError) == 34, "HasError");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, ErrorSource) == 40, "ErrorSource");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, ErrorDescription) == 64, "ErrorDescription");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, ResultRef) == 88, "ResultRef");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, EventSink) == 96, "EventSink");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, Next) == 104, "Next");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, OwnsValues) == 112, "OwnsValues");
RA03V_STATIC_ASSERT(sizeof(RA03V_PARAMS) == 120, "RA03V_PARAMS size");
#else
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, Values) == 4, "Values");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, ErrorCode) == 8, "ErrorCode");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, Name) == 12, "Name");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, CallFlags) == 16, "CallFlags");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, HasError) == 18, "HasError");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, ErrorSource) == 24, "ErrorSource");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, ErrorDescription) == 40, "ErrorDescription");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, ResultRef) == 56, "ResultRef");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, EventSink) == 60, "EventSink");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, Next) == 64, "Next");
RA03V_STATIC_ASSERT(offsetof(RA03V_PARAMS, OwnsValues) == 68, "OwnsValues");
RA03V_STATIC_ASSERT(sizeof(RA03V_PARAMS) == 72, "RA03V_PARAMS size");
#endif
RA03V_STATIC_ASSERT(sizeof(DISPPARAMS) == 2 * sizeof(void*) + 8, "DISPPARAMS size");

#endif /* RA03V_HOST_CONTRACT_H */
