#include "support/process_handles.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace ra03v::test {

namespace {

// The layout of SystemExtendedHandleInformation (class 64) of NtQuerySystemInformation.
constexpr ULONG kExtendedHandleInformation = 64;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct HandleEntry {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG attributes;
  ULONG reserved;
};

struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};

}  // namespace

long long CountProcessHandles() {
  using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  std::vector<ULONG_PTR> buffer(1 << 14);  // aligned for the entries' pointers
  LONG status;
  for (;;) {
    const auto bytes = static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR));
    ULONG needed = 0;
    status = query(kExtendedHandleInformation, buffer.data(), bytes, &needed);
    if (status != kInfoLengthMismatch || buffer.size() >= (size_t{1} << 24)) break;
    buffer.resize(buffer.size() * 2);  // the table may grow between two calls
  }
  if (status < 0) return -1;
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  const size_t room =
      (buffer.size() * sizeof(ULONG_PTR) - offsetof(HandleTable, entries)) / sizeof(HandleEntry);
  const size_t count = std::min<size_t>(table->count, room);
  const ULONG_PTR self = GetCurrentProcessId();
  long long mine = 0;
  for (size_t i = 0; i < count; ++i)
    if (table->entries[i].processId == self) ++mine;
  return mine;
}


bool HandleCountingWorks() {
  const long long before = CountProcessHandles();
  const HANDLE extra = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const long long with = CountProcessHandles();
  CloseHandle(extra);
  const long long after = CountProcessHandles();
  return before >= 0 && with == before + 1 && after == before;
}

}  // namespace ra03v::test
