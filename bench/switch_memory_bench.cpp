// Private memory per switch-on/switch-off cycle of one RA-03V reader on a
// virtual port, through one or more driver DLLs, beside a driver-free control
// that makes the same Win32 port steps itself: open the port overlapped, set
// its buffers, line settings, time-outs and event mask, start an event thread
// that waits for the port's events and reads what comes, write the reader's
// commands "n", "k" and "f" and wait for their answers, stop the thread and
// close the port.
//
//   switch_memory_bench.exe [--cycles N] [--blocks] [DLL ...]
//
// Each DLL given is measured in turn in this one run (default: the DLL built
// beside this program), so an older build can be put beside a newer one. Two
// figures per cycle: the commit charge (PagefileUsage; Wine 8 leaves
// PrivateUsage at 0), which Wine's heaps grow in steps of about 1 MB, and the
// bytes in use in all heaps of the process (HeapWalk), which is exact; with
// --blocks also the heap blocks that appeared during the cycles and stayed,
// counted by size with their first bytes. Run it
// through tools/run-with-sim.sh --modem-lines.
#include <windows.h>
#include <malloc.h>
#include <psapi.h>

#include <chrono>
#include <map>
#include <memory>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "shipping_dll.h"
#include "support/sim_client.h"
#include "test_host.h"

namespace {

using ra03v::test::SimClient;
using ra03v_host::Value;

constexpr int kPort = 11;
constexpr int kWarmUpCycles = 30;

struct Memory {
  double commitKiB = 0;
  double heapKiB = 0;
  size_t heapBlocks = 0;
  // Bytes in use per heap, so that growth can be told apart: the C runtime's
  // heap (every new and malloc of the driver and of this host) from the
  // process heap and the system's own heaps.
  std::map<HANDLE, size_t> perHeap;
};

const char* HeapLabel(HANDLE heap) {
  if (heap == reinterpret_cast<HANDLE>(_get_heap_handle())) return "C runtime heap (new/malloc)";
  if (heap == GetProcessHeap()) return "process heap (system DLLs)";
  return "other system heap";
}

Memory MeasureMemory() {
  Memory m;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
    m.commitKiB = static_cast<double>(counters.PagefileUsage) / 1024;
  std::vector<HANDLE> heaps(64);
  DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  if (count > heaps.size()) {
    heaps.resize(count);
    count = GetProcessHeaps(count, heaps.data());
  }
  size_t bytes = 0;
  for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    size_t inHeap = 0;
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
        inHeap += entry.cbData;
        ++m.heapBlocks;
      }
    }
    HeapUnlock(heaps[i]);
    bytes += inHeap;
    m.perHeap[heaps[i]] = inHeap;
  }
  m.heapKiB = static_cast<double>(bytes) / 1024;
  return m;
}

// Busy heap blocks of every heap of the process, by address.
std::map<const void*, size_t> HeapBlocks() {
  // Nothing is allocated while a heap is being walked.
  std::vector<std::pair<const void*, size_t>> found;
  found.reserve(1 << 18);
  std::vector<HANDLE> heaps(64);
  const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry))
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && found.size() < found.capacity())
        found.emplace_back(entry.lpData, entry.cbData);
    HeapUnlock(heaps[i]);
  }
  return std::map<const void*, size_t>(found.begin(), found.end());
}

// What stayed of the blocks made during the cycles: count by size, and the
// first bytes of a few, so that the code that made them can be told.
void PrintRemainingBlocks(const std::map<const void*, size_t>& before,
                          const std::map<const void*, size_t>& after, int cycles) {
  std::map<size_t, int> bySize;
  std::map<size_t, const void*> example;
  for (const auto& [address, size] : after) {
    const auto it = before.find(address);
    if (it != before.end() && it->second == size) continue;
    ++bySize[size];
    example.emplace(size, address);
  }
  std::printf("  blocks that appeared and stayed, by size (only sizes seen at least %d times):\n",
              cycles / 2);
  for (const auto& [size, count] : bySize) {
    if (count < cycles / 2) continue;
    std::printf("    %6zu bytes x %5d:", size, count);
    const auto* bytes = static_cast<const unsigned char*>(example[size]);
    for (size_t i = 0; i < size && i < 32; ++i) std::printf(" %02X", bytes[i]);
    std::printf("  |");
    for (size_t i = 0; i < size && i < 32; ++i)
      std::printf("%c", bytes[i] >= 32 && bytes[i] < 127 ? bytes[i] : '.');
    std::printf("|\n");
  }
}

bool g_showBlocks = false;

// Dispatches this thread's messages for a moment, as a host's loop would.
void Pump() { ra03v_host::PumpFor(0); }

void Report(const char* what, int cycles, const Memory& before, const Memory& after,
            double seconds, int failed) {
  std::printf(
      "%-34s %5d cycles in %6.1f s (%d failed): commit charge %+8.1f KiB = %6.3f KiB/cycle; "
      "heap bytes in use %+8.1f KiB = %6.3f KiB/cycle (%+lld blocks)\n",
      what, cycles, seconds, failed, after.commitKiB - before.commitKiB,
      (after.commitKiB - before.commitKiB) / cycles, after.heapKiB - before.heapKiB,
      (after.heapKiB - before.heapKiB) / cycles,
      static_cast<long long>(after.heapBlocks) - static_cast<long long>(before.heapBlocks));
  for (const auto& [heap, bytes] : after.perHeap) {
    const auto it = before.perHeap.find(heap);
    const double delta =
        (static_cast<double>(bytes) - (it == before.perHeap.end() ? 0.0 : it->second)) / 1024;
    if (delta > 1 || delta < -1)
      std::printf("    %-30s %p: %+8.1f KiB = %6.3f KiB/cycle\n", HeapLabel(heap), heap, delta,
                  delta / cycles);
  }
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ---- the driver-free control -------------------------------------------------

class BarePort {
 public:
  explicit BarePort(int number) {
    const std::string name = "\\\\.\\COM" + std::to_string(number);
    port_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
    if (port_ == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFile failed");
    SetupComm(port_, 8192, 8192);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port_, &dcb);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    SetCommState(port_, &dcb);
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 20, 5000};
    SetCommTimeouts(port_, &timeouts);
    SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY | EV_BREAK | EV_RING | EV_CTS | EV_DSR | EV_RLSD |
                           EV_ERR | EV_RXFLAG | EV_RX80FULL);
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    lineReady_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &Body, this, 0, nullptr);
  }

  ~BarePort() {
    SetEvent(stop_);
    SetCommMask(port_, 0);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(stop_);
    CloseHandle(lineReady_);
    PurgeComm(port_, PURGE_TXCLEAR | PURGE_RXCLEAR);
    CloseHandle(port_);
  }

  // Writes one command and waits (pumping) for a line in answer.
  bool Command(char c) {
    OVERLAPPED o{};
    o.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    if (!WriteFile(port_, &c, 1, &written, &o) && GetLastError() == ERROR_IO_PENDING)
      GetOverlappedResult(port_, &o, &written, TRUE);
    CloseHandle(o.hEvent);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 1000) {
      const DWORD woke =
          MsgWaitForMultipleObjects(1, &lineReady_, FALSE, 100, QS_ALLINPUT);
      if (woke == WAIT_OBJECT_0) return true;
      Pump();
    }
    return false;
  }

 private:
  static DWORD WINAPI Body(void* self) { static_cast<BarePort*>(self)->Run(); return 0; }

  void Run() {
    HANDLE signal = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE waits[] = {stop_, signal};
    std::string buffer;
    for (;;) {
      OVERLAPPED o{};
      o.hEvent = signal;
      ResetEvent(signal);
      DWORD occurred = 0, transferred = 0;
      if (!WaitCommEvent(port_, &occurred, &o)) {
        if (GetLastError() != ERROR_IO_PENDING) break;
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
          SetCommMask(port_, 0);
          CancelIo(port_);
          GetOverlappedResult(port_, &o, &transferred, TRUE);
          break;
        }
        if (!GetOverlappedResult(port_, &o, &transferred, FALSE)) continue;
      }
      if (!(occurred & EV_RXCHAR)) continue;
      DWORD errors = 0;
      COMSTAT stat{};
      ClearCommError(port_, &errors, &stat);
      if (stat.cbInQue == 0) continue;
      std::string bytes(stat.cbInQue, '\0');
      OVERLAPPED r{};
      r.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      DWORD read = 0;
      if (!ReadFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &read, &r) &&
          GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(port_, &r, &read, TRUE);
      CloseHandle(r.hEvent);
      buffer.append(bytes.data(), read);
      size_t end;
      while ((end = buffer.find("\r\n")) != std::string::npos) {
        buffer.erase(0, end + 2);
        SetEvent(lineReady_);
      }
    }
    CloseHandle(signal);
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE stop_ = nullptr;
  HANDLE lineReady_ = nullptr;
  HANDLE thread_ = nullptr;
};

bool ControlCycle() {
  BarePort port(kPort);
  Sleep(30);  // the driver settles 30 ms after opening
  const bool ok = port.Command('n') && port.Command('k') && port.Command('f');
  return ok;
}

bool MeasureControl(int cycles) {
  int failed = 0;
  for (int i = 0; i < kWarmUpCycles; ++i)
    if (!ControlCycle()) ++failed;
  const auto blocksBefore = g_showBlocks ? HeapBlocks() : std::map<const void*, size_t>();
  const Memory before = MeasureMemory();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < cycles; ++i) {
    if (!ControlCycle()) ++failed;
    Pump();
  }
  const double seconds = SecondsSince(start);
  Report("driver-free control (same steps)", cycles, before, MeasureMemory(), seconds, failed);
  if (g_showBlocks) PrintRemainingBlocks(blocksBefore, HeapBlocks(), cycles);
  return failed == 0;
}

// ---- through a driver DLL ----------------------------------------------------

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

bool MeasureDriver(ra03v_host::Driver& driver, const std::wstring& path, int cycles) {
  ra03v_host::EventSink sink;
  bool ok = true;
  {
    driver.Control("__@@EventSupport", sink.Interface());
    GUID code;
    CoCreateGuid(&code);
    const std::wstring document = ra03v_host::EquipmentDocument(
        ra03v_host::ReaderDeviceElement(code, L"Считыватель", kPort));
    ra03v_host::Task list(RA03V_TASK_CLASS_INTERNAL);
    driver.Method(L"НастроитьУстройства", {Value::Text(document)}, &list);
    ra03v_host::Task task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(code);
    int failed = 0;
    auto cycle = [&] {
      const bool on = !driver.Method(L"Включить", {Value()}, &task)->Get()->HasError;
      const bool off = !driver.Method(L"Выключить", {Value()}, &task)->Get()->HasError;
      Pump();
      if (!on || !off) ++failed;
    };
    for (int i = 0; i < kWarmUpCycles; ++i) cycle();
    const int warmUpFailures = failed;
    failed = 0;
    const auto blocksBefore = g_showBlocks ? HeapBlocks() : std::map<const void*, size_t>();
    const Memory before = MeasureMemory();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < cycles; ++i) cycle();
    const double seconds = SecondsSince(start);
    const Memory after = MeasureMemory();
    std::printf("%s\n", Narrow(path).c_str());
    Report("  through the driver", cycles, before, after, seconds, failed);
    if (g_showBlocks) PrintRemainingBlocks(blocksBefore, HeapBlocks(), cycles);
    ok = failed == 0 && warmUpFailures == 0;
    driver.Control("__FRee");
  }
  return ok;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  SimClient sim;
  if (!sim.Connected()) {
    std::printf("switch_memory_bench: no simulator (run it through tools/run-with-sim.sh)\n");
    return 0;
  }
  sim.CreatePort(kPort);
  int cycles = 1000;
  std::vector<std::wstring> paths;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv && i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--cycles" && i + 1 < argc)
      cycles = _wtoi(argv[++i]);
    else if (arg == L"--blocks")
      g_showBlocks = true;
    else
      paths.push_back(arg);
  }
  if (argv) LocalFree(argv);
  if (paths.empty()) paths.push_back(ra03v::bench::ShippingDllPath());
  if (cycles < 1) cycles = 1;
  std::printf("switch_memory_bench: one reader on COM%d, %d cycles after %d to warm up\n", kPort,
              cycles, kWarmUpCycles);
  bool ok = true;
  try {
    // Every DLL is loaded before the first port thread starts: Wine 8 (32-bit)
    // faults while loading a library with thread-local storage after many
    // threads have come and gone in the process.
    std::vector<std::unique_ptr<ra03v_host::Driver>> drivers;
    for (const std::wstring& path : paths)
      drivers.push_back(std::make_unique<ra03v_host::Driver>(path));
    ok = MeasureControl(cycles) && ok;
    for (size_t i = 0; i < paths.size(); ++i) ok = MeasureDriver(*drivers[i], paths[i], cycles) && ok;
    ok = MeasureControl(cycles) && ok;
  } catch (const std::exception& e) {
    std::printf("switch_memory_bench failed: %s\n", e.what());
    return 1;
  }
  return ok ? 0 : 1;
}
