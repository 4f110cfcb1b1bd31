// The reader as a host that reacts to its cards sees it: switching from inside
// the event handler, card bytes in the system's code page, and a flood of card
// lines while the reader polls. The shipping DLL through the test host, the
// simulated reader on virtual COM ports.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/dll_under_test.h"
#include "support/process_handles.h"
#include "support/sim_client.h"
#include "support/test_language.h"

namespace ra03v::test {
namespace {

using ra03v_host::Value;

constexpr int kPort = 15;
constexpr int kSecondPort = 16;
constexpr DWORD kEventWaitMs = 10000;

// Threads of this process that started in module's code: the driver's own
// (Wine's worker threads come and go by themselves).
int CountThreadsIn(HMODULE module) {
  using Query = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  constexpr ULONG kStartAddress = 9;  // ThreadQuerySetWin32StartAddress
  const auto* image = reinterpret_cast<const BYTE*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
  const BYTE* end = image + nt->OptionalHeader.SizeOfImage;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (!query || snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
    const HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    const BYTE* start = nullptr;
    if (query(thread, kStartAddress, &start, sizeof start, nullptr) >= 0 && start >= image &&
        start < end)
      ++count;
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return count;
}

// Pumps until at most limit threads run module's code; the count reached.
int WaitForThreadsInAtMost(HMODULE module, int limit, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  int count = CountThreadsIn(module);
  while (count > limit && GetTickCount() - start < timeoutMs) {
    ra03v_host::PumpFor(20);
    count = CountThreadsIn(module);
  }
  return count;
}

std::string Describe(const std::vector<ra03v_host::ExternalEvent>& events) {
  std::string out;
  for (const auto& e : events) out += " [" + std::string(e.data.begin(), e.data.end()) + "]";
  return out;
}

DllUnderTest& SharedDll() {
  static DllUnderTest dll(L"ra03v.dll");
  return dll;
}

// What the host's handler saw of one call it made from inside the handler.
struct HandlerCall {
  bool failed = false;
  int32_t code = 0;
  std::wstring description;
};

class ReaderHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Connected()) << "the simulated reader is not running";
    sim.CreatePort(kPort);
    auto block = dll.Control("__@@EventSupport", sink.Interface());
    ASSERT_FALSE(block->Get()->HasError) << block->ErrorDescription();
    CoCreateGuid(&code);
    const std::wstring document =
        ra03v_host::EquipmentDocument(ra03v_host::ReaderDeviceElement(code, L"Считыватель1", kPort));
    HostTask task(RA03V_TASK_CLASS_INTERNAL);
    auto configured = dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &task);
    ASSERT_FALSE(configured->Get()->HasError) << configured->ErrorDescription();
  }

  void TearDown() override {
    sink.SetEventHandler({});
    dll.Control("__FRee");
  }

  HandlerCall Call(const wchar_t* method) {
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(code);
    auto block = dll.Method(method, {Value()}, &task);
    return {block->Get()->HasError != 0, block->Get()->ErrorCode, block->ErrorDescription()};
  }

  int IsOn() {
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(code);
    return dll.GetProperty(L"УстройствоВключено", &task)->At(0).ToInt();
  }

  int Stat(const std::string& key) {
    const std::string value = SettingOf(sim.Command("stats " + std::to_string(kPort)), key);
    return value.empty() ? -1 : std::stoi(value);
  }

  int DeviceCount() {
    HostTask task(RA03V_TASK_CLASS_INTERNAL);
    auto block = dll.GetProperty(L"КоличествоУстройств", &task);
    return block->Get()->HasError ? -1 : block->At(0).ToInt();
  }

  // Waits until the simulator has seen one more poll than now; false after 3 s.
  bool WaitForPoll() {
    const int before = Stat("k");
    for (int i = 0; i < 150; ++i) {
      ra03v_host::PumpFor(20);
      if (Stat("k") > before) return true;
    }
    return false;
  }

  // At the first event only, runs calls (on the event thread) and keeps what
  // each gave.
  void OnFirstEventRun(std::function<std::vector<HandlerCall>()> calls) {
    sink.SetEventHandler([this, calls](const ra03v_host::ExternalEvent&) {
      if (handled.exchange(true)) return;
      std::vector<HandlerCall> results = calls();
      std::lock_guard<std::mutex> guard(lock);
      this->calls = results;
      finished = true;
    });
  }

  static HandlerCall Outcome(HostBlock& block) {
    return {block.Get()->HasError != 0, block.Get()->ErrorCode, block.ErrorDescription()};
  }

  // Sets a handler that, at the first event only, makes the given calls.
  void OnFirstEvent(std::vector<const wchar_t*> methods) {
    sink.SetEventHandler([this, methods](const ra03v_host::ExternalEvent&) {
      if (handled.exchange(true)) return;
      std::vector<HandlerCall> results;
      for (const wchar_t* m : methods) results.push_back(Call(m));
      std::lock_guard<std::mutex> guard(lock);
      calls = results;
      finished = true;
    });
  }

  // After a handler's call: the reader still turns a line into the second event.
  ::testing::AssertionResult StillReads() {
    sim.Send(kPort, "BBBB2222\\r\\n");
    if (!sink.WaitForEvents(2, kEventWaitMs)) return ::testing::AssertionFailure() << "no event";
    if (sink.Events()[1].data != L"BBBB2222") return ::testing::AssertionFailure() << "wrong card";
    return ::testing::AssertionSuccess();
  }

  bool WaitForHandler() {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard<std::mutex> guard(lock);
        if (finished) return true;
      }
      ra03v_host::PumpFor(20);
    }
    return false;
  }

  std::vector<HandlerCall> Calls() {
    std::lock_guard<std::mutex> guard(lock);
    return calls;
  }

  SimClient sim;
  ra03v_host::EventSink sink;
  DllUnderTest& dll = SharedDll();
  GUID code{};
  std::atomic<bool> handled{false};
  std::mutex lock;
  bool finished = false;
  std::vector<HandlerCall> calls;
};

void ExpectSucceeded(const HandlerCall& call, const char* what) {
  EXPECT_FALSE(call.failed) << what << " failed from the handler: " << call.code << " "
                            << std::string(call.description.begin(), call.description.end());
}

// A host that frees the driver from its handler and then unloads it: the
// library goes (nothing of it stays mapped), its threads with it, and a
// driver loaded again switches a reader on that port at once. First in the
// program, with its own loads of the DLL, before the other tests share one.
TEST(ReaderHostUnload, FreeingFromTheHandlerThenUnloadingLetsTheLibraryGo) {
  SimClient sim;
  ASSERT_TRUE(sim.Connected());
  constexpr int kUnloadPort = 14;  // in the port table (1 to 16, 101 to 103, 901)
  sim.CreatePort(kUnloadPort);
  const std::wstring path = BesideTestProgram(L"ra03v.dll");
  static ra03v_host::EventSink sink;  // released by the driver at "__FRee"
  auto configure = [&](ra03v_host::Driver& dll, HostTask& task) {
    GUID code;
    CoCreateGuid(&code);
    task.SetDevice(code);
    HostTask list(RA03V_TASK_CLASS_INTERNAL);
    const std::wstring document = ra03v_host::EquipmentDocument(
        ra03v_host::ReaderDeviceElement(code, L"Считыватель", kUnloadPort));
    return !dll.Control("__@@EventSupport", sink.Interface())->Get()->HasError &&
           !dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &list)->Get()->HasError;
  };

  auto loaded = std::make_unique<ra03v_host::Driver>(path);
  ra03v_host::Driver& dll = *loaded;
  HostTask task(RA03V_TASK_CLASS_THREAD);
  ASSERT_TRUE(configure(dll, task));
  ASSERT_FALSE(dll.Method(L"Включить", {Value()}, &task)->Get()->HasError);
  std::atomic<int> freed{-1};
  sink.SetEventHandler([&](const ra03v_host::ExternalEvent&) {
    if (freed.load() >= 0) return;
    freed = dll.Control("__FRee")->Get()->HasError ? 0 : 1;
  });
  sim.Send(kUnloadPort, "AAAA1111\\r\\n");
  ASSERT_TRUE(sink.WaitForEvents(1, kEventWaitMs));
  for (int i = 0; i < 100 && freed.load() < 0; ++i) ra03v_host::PumpFor(20);
  EXPECT_EQ(1, freed.load()) << "\"__FRee\" from the handler failed";
  sink.SetEventHandler({});
  EXPECT_EQ(0, WaitForThreadsInAtMost(dll.Module(), 0, 3000)) << "the event thread ended";
  ra03v_host::PumpFor(100);
  loaded.reset();  // FreeLibrary
  HMODULE still = GetModuleHandleW(path.c_str());
  for (int i = 0; i < 150 && still; ++i) {
    ra03v_host::PumpFor(20);
    still = GetModuleHandleW(path.c_str());
  }
  EXPECT_EQ(nullptr, still) << "the library stays mapped after \"__FRee\" and FreeLibrary";
  ra03v_host::PumpFor(300);  // messages for the freed reader's windows: nothing of the DLL runs
  EXPECT_EQ(1u, sink.EventCount());

  // Loaded again (as the DLL the other tests share): a new reader on the same
  // port switches on and reads.
  DllUnderTest& again = SharedDll();
  HostTask next(RA03V_TASK_CLASS_THREAD);
  ASSERT_TRUE(configure(again, next));
  auto on = again.Method(L"Включить", {Value()}, &next);
  EXPECT_FALSE(on->Get()->HasError) << on->Get()->ErrorCode;
  sim.Send(kUnloadPort, "BBBB2222\\r\\n");
  EXPECT_TRUE(sink.WaitForEvents(2, kEventWaitMs));
  again.Control("__FRee");
}

TEST_F(ReaderHost, SwitchingOffFromTheEventHandlerClosesThePortAndStopsEvents) {
  OnFirstEvent({L"Выключить"});
  ASSERT_FALSE(Call(L"Включить").failed);
  // Two card lines in one write: the second is read together with the first
  // and must not become an event once the handler has switched off.
  sim.Send(kPort, "AAAA1111\\r\\nBBBB2222\\r\\n");
  ASSERT_TRUE(WaitForHandler());
  ASSERT_EQ(1u, Calls().size());
  ExpectSucceeded(Calls()[0], "Выключить");
  EXPECT_EQ(0, IsOn());
  EXPECT_EQ(1, Stat("f")) << "the stop command is sent";

  // Nothing follows: the port is closed, so a later line is not delivered.
  sim.Command("later " + std::to_string(kPort) + " 300 CCCC3333\\r\\n");
  ra03v_host::PumpFor(1500);
  const auto events = sink.Events();
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(L"AAAA1111", events[0].data);
  sim.Received(kPort);
  ra03v_host::PumpFor(1200);
  EXPECT_EQ("", sim.Received(kPort)) << "no polls after the switch-off";

  // The host switches it on again: the port opens anew and cards come.
  ASSERT_FALSE(Call(L"Включить").failed);
  EXPECT_EQ(1, IsOn());
  sim.Send(kPort, "DDDD4444\\r\\n");
  ASSERT_TRUE(sink.WaitForEvents(2, kEventWaitMs));
  EXPECT_EQ(L"DDDD4444", sink.Events()[1].data);
  EXPECT_FALSE(Call(L"Выключить").failed);
}

TEST_F(ReaderHost, SwitchingOffAndOnAgainFromTheHandlerKeepsTheReaderWorking) {
  OnFirstEvent({L"Выключить", L"Включить"});
  ASSERT_FALSE(Call(L"Включить").failed);
  sim.Send(kPort, "AAAA1111\\r\\n");
  ASSERT_TRUE(WaitForHandler());
  const auto results = Calls();
  ASSERT_EQ(2u, results.size());
  ExpectSucceeded(results[0], "Выключить");
  ExpectSucceeded(results[1], "Включить");
  EXPECT_EQ(1, IsOn());
  EXPECT_EQ(2, Stat("n")) << "switched on twice: two init sequences";
  sim.Send(kPort, "BBBB2222\\r\\n");
  ASSERT_TRUE(sink.WaitForEvents(2, kEventWaitMs));
  ra03v_host::PumpFor(300);
  const auto events = sink.Events();
  ASSERT_EQ(2u, events.size()) << "each line once, through the reopened port";
  EXPECT_EQ(L"BBBB2222", events[1].data);
  EXPECT_FALSE(Call(L"Выключить").failed);
  EXPECT_EQ(0, IsOn());
}

TEST_F(ReaderHost, RepeatedSwitchOffsFromTheHandlerLeaveNoThreadsOrHandlesBehind) {
  ASSERT_TRUE(HandleCountingWorks());
  std::atomic<int> offFailures{0};
  sink.SetEventHandler([&](const ra03v_host::ExternalEvent&) {
    if (Call(L"Выключить").failed) ++offFailures;
  });
  auto cycle = [&](size_t n) {
    if (Call(L"Включить").failed) return false;
    sim.Send(kPort, "AAAA1111\\r\\n");
    if (!sink.WaitForEvents(n, kEventWaitMs)) return false;
    for (int i = 0; i < 250 && IsOn() != 0; ++i) ra03v_host::PumpFor(20);
    return IsOn() == 0;
  };
  ASSERT_TRUE(cycle(1));
  ASSERT_TRUE(cycle(2));  // settles what the first uses create
  const long long before = CountProcessHandles();
  for (size_t n = 3; n <= 32; ++n) ASSERT_TRUE(cycle(n)) << "cycle " << n;
  ra03v_host::PumpFor(300);
  ASSERT_TRUE(Call(L"Включить").failed == false);  // reaps the threads that ended
  ASSERT_FALSE(Call(L"Выключить").failed);
  const long long after = CountProcessHandles();
  EXPECT_EQ(0, offFailures.load());
  EXPECT_EQ(32u, sink.EventCount());
  EXPECT_LE(after, before + 5) << "handles before " << before << ", after " << after;
}

// Each byte converted in the system's code page: 1251 in a Russian session,
// 1252 in an English one.
TEST_F(ReaderHost, CardBytesAreReadInTheSystemCodePage) {
  ASSERT_FALSE(Call(L"Включить").failed);
  sim.Send(kPort, "\\xC0\\xC1\\xE0\\xFF\\x80\\r\\n");
  ASSERT_TRUE(sink.WaitForEvents(1, kEventWaitMs));
  const std::wstring expected = RussianRun() ? L"\u0410\u0411\u0430\u044F\u0402\r\n"
                                             : L"\u00C0\u00C1\u00E0\u00FF\u20AC\r\n";
  EXPECT_EQ(expected, sink.Events()[0].data);
  EXPECT_EQ(GetACP(), RussianRun() ? 1251u : 1252u) << "the session's code page";
  EXPECT_FALSE(Call(L"Выключить").failed);
}

// The reader polls every 500 ms while the lines pour in: every line comes
// once, whole and in order, whatever the polls cut across.
TEST_F(ReaderHost, AFloodOfCardLinesWhilePollingLosesAndInventsNothing) {
  // Long enough for several polls even where the pty takes it at full speed.
  constexpr int kLines = 12000;
  ASSERT_FALSE(Call(L"Включить").failed);
  const int pollsBefore = Stat("k");
  sim.Command("flood " + std::to_string(kPort) + " " + std::to_string(kLines));
  int pollsInFlood = -1;
  size_t seen = 0;
  int quiet = 0;
  for (int i = 0; i < 1200 && sink.EventCount() < static_cast<size_t>(kLines); ++i) {
    ra03v_host::PumpFor(50);
    const size_t now = sink.EventCount();
    const bool out = sim.Command("floodleft " + std::to_string(kPort)) == "0";
    if (out && pollsInFlood < 0) pollsInFlood = Stat("k") - pollsBefore;
    quiet = (out && now == seen) ? quiet + 1 : 0;
    seen = now;
    if (quiet >= 40) break;  // two seconds without a new event after the flood
  }
  const int polls = Stat("k");
  EXPECT_FALSE(Call(L"Выключить").failed);

  int delivered = 0, falseEvents = 0, outOfOrder = 0;
  int next = 1;
  for (const auto& e : sink.Events()) {
    int number = 0;
    if (e.data.size() == 8 && e.data.compare(0, 2, L"FL") == 0 &&
        swscanf(e.data.c_str() + 2, L"%6d", &number) == 1 && number >= 1 && number <= kLines) {
      ++delivered;
      if (number < next) ++outOfOrder;
      next = number + 1;
    } else {
      ++falseEvents;
      ADD_FAILURE() << "false event: " << std::string(e.data.begin(), e.data.end());
    }
  }
  std::printf(
      "flood through the DLL: sent %d, delivered %d, lost %d, false %d, polls %d (%d during the "
      "flood)\n",
      kLines, delivered, kLines - delivered, falseEvents, polls, pollsInFlood);
  EXPECT_EQ(kLines, delivered);
  EXPECT_EQ(0, falseEvents);
  EXPECT_EQ(0, outOfOrder);
  // Whether a poll lands inside the flood is up to the machine: at full pty
  // speed the event thread may keep the poll waiting until the flood is out.
  // The figures above say how many did.
}

// "__FRee" from inside the handler: the call succeeds, the reader whose line
// is being handled goes once the handler has returned, the other reader goes
// at once, no event follows (not even for a line read with the handled one),
// no poll, and no thread or handle is left behind.
TEST_F(ReaderHost, FreeingTheDriverFromTheEventHandlerIsSafe) {
  ASSERT_TRUE(HandleCountingWorks());
  sim.CreatePort(kSecondPort);
  GUID second{};
  CoCreateGuid(&second);
  {
    const std::wstring document = ra03v_host::EquipmentDocument(
        ra03v_host::ReaderDeviceElement(second, L"Считыватель2", kSecondPort));
    HostTask task(RA03V_TASK_CLASS_INTERNAL);
    ASSERT_FALSE(dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &task)->Get()->HasError);
  }
  auto switchSecond = [&](const wchar_t* method) {
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(second);
    return !dll.Method(method, {Value()}, &task)->Get()->HasError;
  };
  // Settles what first use creates, then the figures with both readers off.
  ASSERT_FALSE(Call(L"Включить").failed);
  ASSERT_TRUE(switchSecond(L"Включить"));
  ASSERT_FALSE(Call(L"Выключить").failed);
  ASSERT_TRUE(switchSecond(L"Выключить"));
  ra03v_host::PumpFor(200);
  const HMODULE driver = dll.Module();
  ASSERT_EQ(0, WaitForThreadsInAtMost(driver, 0, 3000));
  const long long handlesBefore = CountProcessHandles();

  ASSERT_FALSE(Call(L"Включить").failed);
  ASSERT_TRUE(switchSecond(L"Включить"));
  EXPECT_EQ(2, CountThreadsIn(driver)) << "one event thread per open port";
  std::atomic<DWORD> handlerThread{0};
  OnFirstEventRun([&] {
    handlerThread = GetCurrentThreadId();
    return std::vector<HandlerCall>{Outcome(*dll.Control("__FRee"))};
  });
  sim.Send(kPort, "AAAA1111\\r\\nBBBB2222\\r\\n");
  ASSERT_TRUE(WaitForHandler());
  ASSERT_EQ(1u, Calls().size());
  ExpectSucceeded(Calls()[0], "__FRee");
  EXPECT_EQ(0, DeviceCount());

  // The handler's thread ends by itself; the other reader's thread is gone.
  EXPECT_EQ(0, WaitForThreadsInAtMost(driver, 0, 3000));
  sim.Received(kPort);
  sim.Received(kSecondPort);
  sim.Send(kPort, "CCCC3333\\r\\n");
  sim.Send(kSecondPort, "DDDD4444\\r\\n");
  ra03v_host::PumpFor(1500);
  const auto events = sink.Events();
  ASSERT_EQ(1u, events.size()) << "no event after \"__FRee\":" << Describe(events);
  EXPECT_EQ(L"AAAA1111", events[0].data);
  EXPECT_EQ(handlerThread.load(), events[0].threadId);
  EXPECT_EQ("", sim.Received(kPort)) << "no polls after \"__FRee\"";
  EXPECT_EQ("", sim.Received(kSecondPort)) << "no polls after \"__FRee\"";

  // A later call of the host finds the driver empty and working.
  EXPECT_EQ(0, DeviceCount());
  ra03v_host::PumpFor(300);
  const long long handlesAfter = CountProcessHandles();
  EXPECT_LE(handlesAfter, handlesBefore + 3)
      << "handles before " << handlesBefore << ", after " << handlesAfter;
}

// "УдалитьУстройство" (which deletes nothing) and "ДобавитьУстройство" (whose
// device, made on the handler's thread, is deleted when the call ends) from
// the handler: both succeed and the reader keeps working.
TEST_F(ReaderHost, DeletingDevicesFromTheEventHandlerKeepsTheReaderWorking) {
  ASSERT_FALSE(Call(L"Включить").failed);
  OnFirstEventRun([&] {
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(code);
    std::vector<HandlerCall> out;
    out.push_back(Outcome(*dll.Method(L"УдалитьУстройство",
                                      {Value::Text(ra03v_host::GuidText(code))}, &task)));
    out.push_back(Outcome(*dll.Method(L"ДобавитьУстройство", {Value::Text(L"")}, &task)));
    return out;
  });
  sim.Send(kPort, "AAAA1111\\r\\n");
  ASSERT_TRUE(WaitForHandler());
  ASSERT_EQ(2u, Calls().size());
  ExpectSucceeded(Calls()[0], "УдалитьУстройство");
  ExpectSucceeded(Calls()[1], "ДобавитьУстройство");
  EXPECT_EQ(1, DeviceCount()) << "the handler's own new device lasted only for its call";
  EXPECT_EQ(1, IsOn());
  EXPECT_TRUE(StillReads());
  EXPECT_FALSE(Call(L"Выключить").failed);
}

// "НастроитьУстройства" from the handler with a document that loads the
// handler's own reader again (a new name) and one more reader (made on the
// handler's thread, so gone when the call ends): it succeeds, the reader
// keeps working under its new name.
TEST_F(ReaderHost, LoadingADocumentFromTheEventHandlerKeepsTheReaderWorking) {
  ASSERT_FALSE(Call(L"Включить").failed);
  GUID other{};
  CoCreateGuid(&other);
  const std::wstring document = ra03v_host::EquipmentDocument(
      ra03v_host::ReaderDeviceElement(code, L"Переименованный", kPort) +
      ra03v_host::ReaderDeviceElement(other, L"Другой", kSecondPort));
  OnFirstEventRun([&] {
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(code);
    return std::vector<HandlerCall>{
        Outcome(*dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &task))};
  });
  sim.Send(kPort, "AAAA1111\\r\\n");
  ASSERT_TRUE(WaitForHandler());
  ASSERT_EQ(1u, Calls().size());
  ExpectSucceeded(Calls()[0], "НастроитьУстройства");
  EXPECT_EQ(1, DeviceCount());
  EXPECT_EQ(1, IsOn());
  EXPECT_TRUE(StillReads());
  {
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(code);
    auto block = dll.Method(L"ПолучитьНастройкиXML", {Value::Text(ra03v_host::GuidText(code)), Value()}, &task);
    ASSERT_FALSE(block->Get()->HasError);
    EXPECT_NE(std::wstring::npos, block->At(4).ToText().find(L"Переименованный"));
  }
  EXPECT_FALSE(Call(L"Выключить").failed);
}

// "__Load" from the handler: it ends the chain and frees nothing.
TEST_F(ReaderHost, TheLoadCommandFromTheEventHandlerKeepsTheReaderWorking) {
  ASSERT_FALSE(Call(L"Включить").failed);
  OnFirstEventRun([&] { return std::vector<HandlerCall>{Outcome(*dll.Control("__Load"))}; });
  sim.Send(kPort, "AAAA1111\\r\\n");
  ASSERT_TRUE(WaitForHandler());
  ASSERT_EQ(1u, Calls().size());
  ExpectSucceeded(Calls()[0], "__Load");
  EXPECT_EQ(1, DeviceCount());
  EXPECT_EQ(1, IsOn());
  EXPECT_TRUE(StillReads());
  EXPECT_FALSE(Call(L"Выключить").failed);
}

// Text without CR LF that is pending when a poll goes out, and that the
// poll's reply "OK" CR LF then ends, is noise: no event. A line that a poll
// cuts, whose rest comes after the poll (a reader answers once its line is
// out), still arrives whole.
TEST_F(ReaderHost, UnfinishedTextBeforeAPollIsNoiseButACutLineArrivesWhole) {
  ASSERT_FALSE(Call(L"Включить").failed);
  ra03v_host::PumpFor(700);  // past the init sequence
  for (const char* noise : {"CRONLY1\\r", "LFONLY12\\n", "NOISE"}) {
    // Well between two polls: the reply of the poll before has come.
    ASSERT_TRUE(WaitForPoll());
    ra03v_host::PumpFor(100);
    sim.Send(kPort, noise);
    ASSERT_TRUE(WaitForPoll());  // the poll that the fragment is pending at
    ra03v_host::PumpFor(300);
  }
  EXPECT_EQ(0u, sink.EventCount()) << "a fragment ended by a poll's reply became a card:"
                                   << Describe(sink.Events());
  // Cards still come whole after the noise.
  sim.Command("card " + std::to_string(kPort) + " CARD0001 1");
  ASSERT_TRUE(sink.WaitForEvents(1, kEventWaitMs));
  EXPECT_EQ(L"CARD0001", sink.Events()[0].data);

  // A line cut by a poll: its head is pending when the poll goes out, its
  // rest comes before the (delayed) reply to that poll.
  sim.Command("answerdelay " + std::to_string(kPort) + " 250");
  ASSERT_TRUE(WaitForPoll());
  ra03v_host::PumpFor(350);  // past the delayed reply to that poll
  sim.Send(kPort, "CUTL");
  ASSERT_TRUE(WaitForPoll());
  sim.Send(kPort, "INE1\\r\\n");
  ASSERT_TRUE(sink.WaitForEvents(2, kEventWaitMs));
  ra03v_host::PumpFor(600);  // the delayed replies
  sim.Command("answerdelay " + std::to_string(kPort) + " 0");
  const auto events = sink.Events();
  ASSERT_EQ(2u, events.size()) << Describe(events);
  EXPECT_EQ(L"CUTLINE1", events[1].data) << "the cut line arrives whole";
  EXPECT_FALSE(Call(L"Выключить").failed);
}

}  // namespace
}  // namespace ra03v::test

