// The RA-03V reader as a host sees it: the shipping DLL configured and switched
// on through the entry, the simulated reader answering on virtual COM ports,
// card events arriving in the test host's event sink.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/system_info.h"
#include "foundation/text_codec.h"
#include "foundation/win/com_ptr.h"
#include "ra03v/value_array.h"
#include "support/dll_under_test.h"
#include "support/process_handles.h"
#include "support/real_time.h"
#include "support/sim_client.h"
#include "support/test_language.h"

namespace ra03v::test {
namespace {

using ra03v_host::Value;

constexpr int kPortA = 11;
constexpr int kPortB = 12;
constexpr int kMissingPort = 13;   // never created: switching on must fail
constexpr int kNeverCreated = 16;  // not even later in the program
constexpr DWORD kEventWaitMs = 10000;

using ra03v_host::GuidText;
// A count from the simulator's "stats" reply ("n=1 k=7 f=0").
int StatOf(SimClient& sim, int port, const std::string& key) {
  const std::string value = SettingOf(sim.Command("stats " + std::to_string(port)), key);
  return value.empty() ? -1 : std::stoi(value);
}

// A reader parameter of a settings document.
std::wstring Param(const std::wstring& name, const std::wstring& value) {
  return L"<Параметр Идентификатор=\"" + name + L"\" Значение=\"" + value + L"\"/>";
}

// The trace file sits beside the library, named after it, and the runs of this
// program (each language, each shard) go side by side: each loads a copy of
// its own.
const std::wstring& DriverFile() {
  static const std::wstring copy = [] {
    const char* shard = std::getenv("GTEST_SHARD_INDEX");
    std::wstring name = RussianRun() ? L"ra03v_ru" : L"ra03v_en";
    if (shard) name += L"_" + std::to_wstring(std::atoi(shard));
    name += L".dll";
    CopyFileW(BesideTestProgram(L"ra03v.dll").c_str(), BesideTestProgram(name).c_str(), FALSE);
    return name;
  }();
  return copy;
}

// The log file the library settles on: beside it, named after it.
std::wstring LogFile() {
  std::wstring path = BesideTestProgram(DriverFile());
  path.resize(path.rfind(L'.'));
  return path + L"_" + Text1251ToWide(ComputerName()) + L"_" + std::to_wstring(SessionNumber()) +
         L".log";
}

std::string FileBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc)
      .write(bytes.data(), std::streamsize(bytes.size()));
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Pumps (polls go on) until the log file holds text; returns the file.
std::string WaitForTrace(const std::string& text) {
  std::string bytes;
  for (int i = 0; i < 200; ++i) {
    bytes = FileBytes(LogFile());
    if (bytes.find(text) != std::string::npos) break;
    ra03v_host::PumpFor(50);
  }
  return bytes;
}

// One load of the library for the whole program, as a host keeps it: loading
// it again after readers ran is not what these tests are about.
DllUnderTest& SharedDll() {
  static DllUnderTest dll(DriverFile());
  return dll;
}

struct Reader {
  GUID code{};
  int port = 0;
  std::wstring extraParams;
};

class ReaderRig : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Connected()) << "the simulated reader is not running";
    sim.CreatePort(kPortA);
    sim.CreatePort(kPortB);
    auto block = dll.Control("__@@EventSupport", sink.Interface());
    ASSERT_FALSE(block->Get()->HasError) << block->ErrorDescription();
  }

  void TearDown() override { dll.Control("__FRee"); }

  // Configures the readers, each on its port, in this order.
  void Configure(std::vector<Reader>& readers) {
    std::wstring devices;
    int n = 0;
    for (Reader& r : readers) {
      CoCreateGuid(&r.code);
      devices += ra03v_host::ReaderDeviceElement(r.code, L"Считыватель" + std::to_wstring(++n),
                                                 r.port, r.extraParams);
    }
    const std::wstring document = ra03v_host::EquipmentDocument(devices);
    auto block = dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &listTask);
    ASSERT_FALSE(block->Get()->HasError) << block->ErrorDescription();
  }

  std::unique_ptr<HostBlock> SwitchOn(const Reader& r) {
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(r.code);
    return dll.Method(L"Включить", {Value()}, &task);
  }

  std::unique_ptr<HostBlock> SwitchOff(const Reader& r) {
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(r.code);
    return dll.Method(L"Выключить", {Value()}, &task);
  }

  int IsOn(const Reader& r) {
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(r.code);
    return dll.GetProperty(L"УстройствоВключено", &task)->At(0).ToInt();
  }

  // The reader's property table, as the host reads it: the driver asks the
  // host's interface for a new table, which the host makes through the driver.
  ComPtr<ISafeArray> ReadProps(const Reader& r) {
    auto made = dll.Method(L"СоздатьПараметры", {Value::Int(1), Value::Int(1)}, &listTask);
    const Value object = made->At(0);
    if (object.Type() != VT_DISPATCH) return {};
    ComPtr<ISafeArray> fresh;
    V_DISPATCH(&object.Get())->QueryInterface(RA03V_IID_ISafeArray, fresh.PutVoid());
    sink.SetValueArrayFactory([&fresh](VARIANT* out) {
      V_VT(out) = VT_DISPATCH;
      V_DISPATCH(out) = fresh.Get();
      fresh.Get()->AddRef();
      return S_OK;
    });
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(r.code);
    auto block = dll.Method(L"ПолучитьСвойства", {Value()}, &task);
    sink.SetValueArrayFactory({});
    EXPECT_FALSE(block->Get()->HasError) << block->ErrorDescription();
    ComPtr<ISafeArray> table;
    const Value out = block->At(3);
    if (out.Type() == VT_DISPATCH)
      V_DISPATCH(&out.Get())->QueryInterface(RA03V_IID_ISafeArray, table.PutVoid());
    return table;
  }

  // The row of a property in a table, or -1.
  static LONG RowOf(ISafeArray& table, const std::wstring& identifier) {
    LONG rows = 0, columns = 0;
    table.GetBounds(&rows, &columns);
    for (LONG row = 0; row < rows; ++row) {
      Value cell;
      table.GetValue(row, 0, cell.Put());
      if (cell.ToText() == identifier) return row;
    }
    return -1;
  }

  static std::wstring PropText(ISafeArray& table, const std::wstring& identifier) {
    const LONG row = RowOf(table, identifier);
    if (row < 0) return L"(missing)";
    Value cell;
    table.GetValue(row, 4, cell.Put());
    return cell.ToText();
  }

  void PresentCard(int port, const std::string& code) {
    sim.Command("card " + std::to_string(port) + " " + code + " 1");
  }

  // Waits (pumping this thread's messages, which runs the poll timer) for
  // the count-th event and returns it.
  ra03v_host::ExternalEvent WaitForEvent(size_t count) {
    EXPECT_TRUE(sink.WaitForEvents(count, kEventWaitMs)) << "event " << count << " missing";
    const auto events = sink.Events();
    return events.size() >= count ? events[count - 1] : ra03v_host::ExternalEvent{};
  }

  SimClient sim;
  // Declared before the DLL: the driver may hold the host's interface until it is freed.
  ra03v_host::EventSink sink;
  DllUnderTest& dll = SharedDll();
  HostTask listTask{RA03V_TASK_CLASS_INTERNAL};
};

TEST_F(ReaderRig, InitSequenceThenPollingAndTheFixedInterval) {
  // A stored interval of 1000 does not survive switching on.
  std::vector<Reader> readers{
      {{}, kPortA, L"<Параметр Идентификатор=\"ИнтервалОпроса\" Значение=\"1000\"/>"}};
  Configure(readers);
  auto on = SwitchOn(readers[0]);
  ASSERT_FALSE(on->Get()->HasError) << on->ErrorDescription();
  EXPECT_EQ(1, IsOn(readers[0]));
  EXPECT_EQ("nk", sim.Received(kPortA)) << "the init sequence comes first";
  const ComPtr<ISafeArray> props = ReadProps(readers[0]);
  ASSERT_TRUE(props);
  EXPECT_EQ(L"500", PropText(*props.Get(), L"ИнтервалОпроса"));
  ra03v_host::PumpFor(6000);
  const std::string polls = sim.Received(kPortA);
  EXPECT_EQ(std::string(polls.size(), 'k'), polls) << "only polls while switched on";
  // 500 ms gives 12 polls in 6 s, the stored 1000 ms at most 6; a busy machine
  // delays ticks but never adds any.
  EXPECT_GE(polls.size(), 7u);
  EXPECT_LE(polls.size(), 13u);
  EXPECT_EQ(0u, sink.EventCount()) << "\"OK\" CR LF alone gives no event";

  auto off = SwitchOff(readers[0]);
  EXPECT_FALSE(off->Get()->HasError) << off->ErrorDescription();
  EXPECT_EQ(0, IsOn(readers[0]));
  EXPECT_EQ(1, StatOf(sim, kPortA, "f")) << "the stop command at switch-off";
  sim.Received(kPortA);
  ra03v_host::PumpFor(1200);
  EXPECT_EQ("", sim.Received(kPortA)) << "no polls after switch-off";
}

TEST_F(ReaderRig, CardLinesAreCutIntoEvents) {
  std::vector<Reader> readers{{{}, kPortA, L""}};
  Configure(readers);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);

  PresentCard(kPortA, "0123ABCD");
  const auto first = WaitForEvent(1);
  EXPECT_EQ(L"Считыватель", first.name);
  EXPECT_EQ(L"0123ABCD", first.data);
  EXPECT_EQ(GuidText(readers[0].code), first.deviceIdText);
  EXPECT_TRUE(IsEqualGUID(readers[0].code, first.deviceId));
  EXPECT_NE(GetCurrentThreadId(), first.threadId) << "raised on the port's event thread";

  PresentCard(kPortA, "123");
  EXPECT_EQ(L"123\r\n", WaitForEvent(2).data) << "a short code keeps its terminator";

  // Blanks give no event: the next event is the card after them.
  sim.Send(kPortA, "\\s\\s\\s\\s\\r\\n");
  PresentCard(kPortA, "1234567890ABCDEF");
  EXPECT_EQ(L"12345678", WaitForEvent(3).data) << "a long line is cut to 8";
  EXPECT_EQ(3u, sink.EventCount());
}

TEST_F(ReaderRig, TwoReadersTagTheirOwnEvents) {
  std::vector<Reader> readers{{{}, kPortA, L""}, {{}, kPortB, L""}};
  Configure(readers);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  ASSERT_FALSE(SwitchOn(readers[1])->Get()->HasError);
  PresentCard(kPortB, "BBBB2222");
  const auto fromB = WaitForEvent(1);
  EXPECT_EQ(L"BBBB2222", fromB.data);
  EXPECT_TRUE(IsEqualGUID(readers[1].code, fromB.deviceId));
  PresentCard(kPortA, "AAAA1111");
  const auto fromA = WaitForEvent(2);
  EXPECT_EQ(L"AAAA1111", fromA.data);
  EXPECT_TRUE(IsEqualGUID(readers[0].code, fromA.deviceId));
}

TEST_F(ReaderRig, AMissingPortGivesResult3AndNoPolling) {
  std::vector<Reader> readers{{{}, kMissingPort, L""}};
  Configure(readers);
  auto on = SwitchOn(readers[0]);
  EXPECT_EQ(3, on->Get()->ErrorCode);
  EXPECT_EQ(L"Устройство не обнаружено", on->ErrorDescription());
  EXPECT_EQ(0, IsOn(readers[0]));
  // The port appears later: nothing is written to it, so no timer polls.
  sim.CreatePort(kMissingPort);
  ra03v_host::PumpFor(1200);
  EXPECT_EQ("", sim.Received(kMissingPort));
}

TEST_F(ReaderRig, AnUnlockedPortKeepsPolling) {
  // A stored "IsOpen" of 0 releases the port between commands; polling goes on.
  std::vector<Reader> readers{{{}, kPortA, L"<Параметр Идентификатор=\"IsOpen\" Значение=\"0\"/>"}};
  Configure(readers);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  EXPECT_EQ(1, IsOn(readers[0]));
  EXPECT_EQ("nk", sim.Received(kPortA));
  ra03v_host::PumpFor(2000);
  const std::string polls = sim.Received(kPortA);
  EXPECT_GE(polls.size(), 2u) << "polling goes on with the port released between polls";
  EXPECT_EQ(std::string(polls.size(), 'k'), polls);
  ASSERT_FALSE(SwitchOff(readers[0])->Get()->HasError);
  EXPECT_EQ(1, StatOf(sim, kPortA, "f"));
}

TEST_F(ReaderRig, APortChangedThroughPropertiesWaitsForNewSettings) {
  std::vector<Reader> readers{{{}, kPortA, L""}};
  Configure(readers);
  const ComPtr<ISafeArray> props = ReadProps(readers[0]);
  ASSERT_TRUE(props);
  const LONG row = RowOf(*props.Get(), L"ComNumber");
  ASSERT_GE(row, 0);
  ASSERT_EQ(S_OK, props.Get()->SetValue(row, 4, Value::Int(kPortB).Get()));
  HostTask task(RA03V_TASK_CLASS_THREAD);
  task.SetDevice(readers[0].code);
  auto set = dll.Method(L"УстановитьСвойства", {Value::Object(props.Get())}, &task);
  ASSERT_FALSE(set->Get()->HasError) << set->ErrorDescription();
  const ComPtr<ISafeArray> after = ReadProps(readers[0]);
  ASSERT_TRUE(after);
  EXPECT_EQ(std::to_wstring(kPortB), PropText(*after.Get(), L"ComNumber"));

  // The port opened is still the one the settings were loaded with.
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  EXPECT_EQ("nk", sim.Received(kPortA));
  EXPECT_EQ("", sim.Received(kPortB));
  ASSERT_FALSE(SwitchOff(readers[0])->Get()->HasError);
}

TEST_F(ReaderRig, SwitchCyclesLeaveNoHandlesBehind) {
  std::vector<Reader> readers{{{}, kPortA, L""}};
  Configure(readers);
  auto cycle = [&] {
    auto on = SwitchOn(readers[0]);
    auto off = SwitchOff(readers[0]);
    return !on->Get()->HasError && !off->Get()->HasError;
  };
  ASSERT_TRUE(cycle());  // first use settles the lazily made objects
  ASSERT_TRUE(HandleCountingWorks());
  const long long before = CountProcessHandles();
  int failed = 0;
  for (int i = 0; i < 200; ++i)
    if (!cycle()) ++failed;
  const long long after = CountProcessHandles();
  EXPECT_EQ(0, failed);
  EXPECT_LE(after, before + 5) << "handles before " << before << ", after " << after;
  EXPECT_EQ(201, StatOf(sim, kPortA, "f"));
}

TEST_F(ReaderRig, AHostCallingBackFromItsHandlerAndSwitchingOffMidStream) {
  std::vector<Reader> readers{{{}, kPortA, L""}};
  Configure(readers);
  std::atomic<int> answered{0};
  std::atomic<int> failedCalls{0};
  sink.SetEventHandler([&](const ra03v_host::ExternalEvent&) {
    // The event thread calls into the driver while the host may be in a call too.
    HostTask task(RA03V_TASK_CLASS_INTERNAL);
    auto count = dll.GetProperty(L"КоличествоУстройств", &task);
    if (count->Get()->HasError || count->At(0).ToInt() != 1) ++failedCalls;
    ++answered;
  });
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  sim.Command("card " + std::to_string(kPortA) + " 0123ABCD 1000");
  WaitForEvent(2);

  // Another host thread switches the reader off while cards keep coming.
  std::atomic<bool> done{false};
  bool offFailed = true;
  std::thread other([&] {
    offFailed = SwitchOff(readers[0])->Get()->HasError;
    done = true;
  });
  for (int i = 0; i < 200 && !done; ++i) ra03v_host::PumpFor(50);
  other.join();
  EXPECT_FALSE(offFailed);
  EXPECT_EQ(0, IsOn(readers[0]));
  EXPECT_EQ(0, failedCalls.load());
  EXPECT_GE(answered.load(), 2);
  EXPECT_EQ(1, StatOf(sim, kPortA, "f"));
}

// Loss and recovery: the cable pulled or the reader gone quiet, and back.
class ReaderLinkRig : public ReaderRig {
 protected:
  static constexpr DWORD kLinkWaitMs = 8000;
  static constexpr wchar_t kOptIn[] = L"<Параметр Идентификатор=\"СобытияСвязи\" Значение=\"1\"/>";

  int ResultOf(const Reader& r) {
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(r.code);
    return dll.GetProperty(L"Результат", &task)->At(0).ToInt();
  }

  // Pumps until "Результат" reads the value; false after kLinkWaitMs.
  bool WaitForResult(const Reader& r, int value) {
    for (DWORD waited = 0; waited < kLinkWaitMs; waited += 50) {
      if (ResultOf(r) == value) return true;
      ra03v_host::PumpFor(50);
    }
    return false;
  }

  // The data of the status events so far, in order.
  std::vector<std::wstring> StatusEvents() {
    std::vector<std::wstring> data;
    for (const auto& e : sink.Events())
      if (e.name == L"СостояниеСчитывателя") data.push_back(e.data);
    return data;
  }

  bool WaitForStatusCount(size_t count) {
    for (DWORD waited = 0; waited < kLinkWaitMs; waited += 20) {
      if (StatusEvents().size() >= count) return true;
      ra03v_host::PumpFor(20);
    }
    return false;
  }

  // A card presented for several polls (the first answers after a recovery
  // go to the init sequence, whose lines are no cards); its first event.
  std::wstring CardAfterRecovery(int port, const std::string& code) {
    const size_t before = sink.EventCount();
    sim.Command("card " + std::to_string(port) + " " + code + " 3");
    if (!sink.WaitForEvents(before + 1, kEventWaitMs)) return L"(no card event)";
    return sink.Events()[before].data;
  }
};

TEST_F(ReaderLinkRig, AVanishedPortIsLostAndAPortBackAtItsNameIsTakenUpAgain) {
  DeleteFileW(LogFile().c_str());
  std::vector<Reader> readers{{{}, kPortA, kOptIn + Param(L"Трассировка", L"1")}};
  Configure(readers);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  EXPECT_EQ(0, ResultOf(readers[0]));
  sim.Command("vanish " + std::to_string(kPortA));
  ASSERT_TRUE(WaitForStatusCount(1)) << "no loss noticed";
  EXPECT_EQ(std::vector<std::wstring>{L"НетСвязи"}, StatusEvents());
  const auto lost = sink.Events().back();
  EXPECT_TRUE(IsEqualGUID(readers[0].code, lost.deviceId)) << "the card events' identifier";
  EXPECT_EQ(GuidText(readers[0].code), lost.deviceIdText);
  // The host asked for the reader on: it stays on, and the result says why it is deaf,
  // also after reading "УстройствоВключено" (which clears the last result).
  EXPECT_EQ(1, IsOn(readers[0]));
  EXPECT_EQ(2, ResultOf(readers[0]));
  ra03v_host::PumpFor(1500);  // tries on a port that is not there
  EXPECT_EQ(2, ResultOf(readers[0]));

  sim.CreatePort(kPortA);
  ASSERT_TRUE(WaitForStatusCount(2)) << "no recovery";
  EXPECT_EQ((std::vector<std::wstring>{L"НетСвязи", L"СвязьВосстановлена"}), StatusEvents());
  EXPECT_EQ(0, ResultOf(readers[0]));
  EXPECT_EQ(1, IsOn(readers[0]));
  // Tries write "n" (one more if an answer came late), then the init sequence, then polls.
  const std::string sent = sim.Received(kPortA);
  const size_t init = sent.find("nk");
  EXPECT_TRUE(init != std::string::npos && init >= 1 &&
              sent.find_first_not_of('n') == init + 1 &&
              sent.find_first_not_of('k', init + 1) == std::string::npos)
      << sent;
  EXPECT_EQ(L"4444DDDD", CardAfterRecovery(kPortA, "4444DDDD"));
  ASSERT_FALSE(SwitchOff(readers[0])->Get()->HasError);
  EXPECT_EQ(1, StatOf(sim, kPortA, "f"));
  // The trace tells the loss, the tries on the missing port, and the recovery, in order.
  const std::string trace = WaitForTrace("выключение");
  const size_t lostAt = trace.find("} потеря связи: отказ порта\r\n");
  const size_t tried = trace.find("} попытка восстановления 1: порт не открыт\r\n");
  const size_t back = trace.find("} связь восстановлена\r\n");
  EXPECT_TRUE(lostAt != std::string::npos && lostAt < tried && tried != std::string::npos &&
              tried < back && back != std::string::npos)
      << trace;
}

TEST_F(ReaderLinkRig, ASilentReaderIsLostWithoutEventsUnlessTheHostOptsIn) {
  // Not opted in: "Результат" tells, and no event the host does not know comes.
  DeleteFileW(LogFile().c_str());
  std::vector<Reader> readers{{{}, kPortA, Param(L"Трассировка", L"1")}};
  Configure(readers);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  ra03v_host::PumpFor(700);
  sim.Command("silent " + std::to_string(kPortA));
  ASSERT_TRUE(WaitForResult(readers[0], 2)) << "silence not noticed";
  EXPECT_EQ(1, IsOn(readers[0]));
  sim.Command("speak " + std::to_string(kPortA));
  ASSERT_TRUE(WaitForResult(readers[0], 0)) << "no recovery";
  EXPECT_EQ(L"5555EEEE", CardAfterRecovery(kPortA, "5555EEEE"));
  for (const auto& e : sink.Events()) EXPECT_EQ(L"Считыватель", e.name);
  EXPECT_GE(StatOf(sim, kPortA, "n"), 3) << "init at switch-on, tries, init at the recovery";
  const std::string trace = WaitForTrace("связь восстановлена");
  EXPECT_NE(std::string::npos, trace.find("} потеря связи: 4 опроса без ответа\r\n")) << trace;
  EXPECT_NE(std::string::npos,
            trace.find("} попытка восстановления 1: порт открыт, запрос \"n\" отправлен\r\n"))
      << trace;
}

TEST_F(ReaderLinkRig, AReaderThatNeverAnsweredIsNotLostBySilence) {
  std::vector<Reader> readers{{{}, kPortA, kOptIn}};
  Configure(readers);
  sim.Command("silent " + std::to_string(kPortA));
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  ra03v_host::PumpFor(3500);
  EXPECT_EQ(0, ResultOf(readers[0]));
  EXPECT_TRUE(StatusEvents().empty());
  const std::string polls = sim.Received(kPortA);
  EXPECT_EQ("nk" + std::string(polls.size() - 2, 'k'), polls) << "polls go on, no tries";
}

TEST_F(ReaderLinkRig, SwitchingOffDuringALossOrATryEndsIt) {
  std::vector<Reader> readers{{{}, kPortA, kOptIn}};
  Configure(readers);
  const std::string port = std::to_string(kPortA);

  // During a loss, between tries: the port is not there.
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  sim.Command("unplug " + port);
  ASSERT_TRUE(WaitForStatusCount(1));
  ASSERT_FALSE(SwitchOff(readers[0])->Get()->HasError);
  EXPECT_EQ(0, IsOn(readers[0]));
  EXPECT_EQ(0, ResultOf(readers[0]));
  sim.Command("plug " + port);
  sim.Received(kPortA);
  ra03v_host::PumpFor(2500);
  EXPECT_EQ("", sim.Received(kPortA)) << "no try after switch-off";
  EXPECT_EQ(1u, StatusEvents().size());

  // During a try: the port is open and its "n" waits for an answer that a
  // silent reader does not give.
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  ra03v_host::PumpFor(700);
  sim.Command("silent " + port);
  ASSERT_TRUE(WaitForStatusCount(2));
  sim.Received(kPortA);
  bool caught = false;
  for (DWORD waited = 0; waited < kLinkWaitMs && !caught; waited += 10) {
    ra03v_host::PumpFor(10);
    caught = sim.Received(kPortA).find('n') != std::string::npos;
  }
  ASSERT_TRUE(caught) << "no try seen";
  auto off = SwitchOff(readers[0]);
  EXPECT_FALSE(off->Get()->HasError) << off->ErrorDescription();
  EXPECT_EQ(0, IsOn(readers[0]));
  sim.Command("speak " + port);
  ra03v_host::PumpFor(2500);
  EXPECT_EQ("", sim.Received(kPortA)) << "no try, no poll after switch-off";
  EXPECT_EQ(2u, StatusEvents().size()) << "no recovery reported";

  // Nothing of the loss is left: the next switch-on is an ordinary one.
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  EXPECT_EQ("nk", sim.Received(kPortA));
  EXPECT_EQ(0, ResultOf(readers[0]));
  EXPECT_EQ(L"6666FFFF", CardAfterRecovery(kPortA, "6666FFFF"));
}

TEST_F(ReaderLinkRig, ReconnectZeroKeepsALostReaderOnAndDeafAsBefore) {
  std::vector<Reader> readers{
      {{}, kPortA,
       std::wstring(kOptIn) + L"<Параметр Идентификатор=\"Переподключение\" Значение=\"0\"/>"}};
  Configure(readers);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  const std::string port = std::to_string(kPortA);
  sim.Command("unplug " + port);
  ra03v_host::PumpFor(3000);
  EXPECT_EQ(1, IsOn(readers[0]));
  EXPECT_EQ(0, ResultOf(readers[0])) << "polls fail silently";
  sim.Command("plug " + port);
  sim.Received(kPortA);
  sim.Command("card " + port + " 7777AAAA 10");
  ra03v_host::PumpFor(2500);
  EXPECT_EQ("", sim.Received(kPortA)) << "the port that came back is never used";
  EXPECT_EQ(0u, sink.EventCount()) << "neither status nor card events";
  ASSERT_FALSE(SwitchOff(readers[0])->Get()->HasError);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  EXPECT_EQ(L"7777AAAA", CardAfterRecovery(kPortA, "7777AAAA")) << "switching off and on again";
}

TEST_F(ReaderLinkRig, StoredDocumentsWithoutTheNewRowsTakeTheirDefaults) {
  // A document stored before the rows existed, and one that sets them.
  std::vector<Reader> readers{
      {{}, kPortA, L""},
      {{}, kPortB,
       L"<Параметр Идентификатор=\"СобытияСвязи\" Значение=\"1\"/>"
       L"<Параметр Идентификатор=\"Переподключение\" Значение=\"0\"/>"}};
  Configure(readers);
  const ComPtr<ISafeArray> old = ReadProps(readers[0]);
  ASSERT_TRUE(old);
  const LONG interval = RowOf(*old.Get(), L"ИнтервалОпроса");
  ASSERT_GT(interval, 0);
  EXPECT_EQ(interval + 1, RowOf(*old.Get(), L"Переподключение"));
  EXPECT_EQ(interval + 2, RowOf(*old.Get(), L"СобытияСвязи"));
  EXPECT_EQ(L"1", PropText(*old.Get(), L"Переподключение"));
  EXPECT_EQ(L"0", PropText(*old.Get(), L"СобытияСвязи"));
  Value name, type;
  old.Get()->GetValue(interval + 2, 1, name.Put());
  old.Get()->GetValue(interval + 2, 3, type.Put());
  EXPECT_EQ(L"События связи", name.ToText());
  EXPECT_EQ(L"Число", type.ToText());
  const ComPtr<ISafeArray> set = ReadProps(readers[1]);
  ASSERT_TRUE(set);
  EXPECT_EQ(L"0", PropText(*set.Get(), L"Переподключение"));
  EXPECT_EQ(L"1", PropText(*set.Get(), L"СобытияСвязи"));
  EXPECT_EQ(RowOf(*old.Get(), L"СобытияСвязи"), RowOf(*set.Get(), L"СобытияСвязи"));
  // The old document's reader works as before.
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  EXPECT_EQ("nk", sim.Received(kPortA));
  PresentCard(kPortA, "0123ABCD");
  EXPECT_EQ(L"0123ABCD", WaitForEvent(1).data);
}

// reader_bench times card lines to events with the simulator's "cardtime": its
// stamp must belong to the card line and read the clock the host reads.
TEST_F(ReaderRig, TheSimulatorStampsCardLinesOnTheHostsClock) {
  std::vector<Reader> readers{{{}, kPortA, L""}};
  Configure(readers);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  const std::string cardTime = "cardtime " + std::to_string(kPortA);
  EXPECT_EQ("lines=0 ns=0", sim.Command(cardTime));
  const long long presented = RealTimeNs();
  ASSERT_GT(presented, 0) << "no precise system time";
  PresentCard(kPortA, "0123ABCD");
  WaitForEvent(1);
  const long long arrived = RealTimeNs();
  const std::string stamp = sim.Command(cardTime);
  EXPECT_EQ("1", SettingOf(stamp, "lines"));
  const long long written = std::stoll(SettingOf(stamp, "ns"));
  // Written on a poll after the card was presented, and before its event came.
  EXPECT_LT(presented, written);
  EXPECT_LT(written, arrived);

  // Lines sent without a poll are no card answers.
  sim.Send(kPortA, "89ABCDEF\\r\\n");
  WaitForEvent(2);
  EXPECT_EQ(stamp, sim.Command(cardTime));
}

TEST_F(ReaderRig, RepeatedReadsAreSuppressedWithinTheWindowOnly) {
  // The first reader suppresses repeats within 1.5 s (polls come every 0.5 s);
  // the second keeps the default: every read is an event.
  std::vector<Reader> readers{{{}, kPortA, Param(L"ПодавлениеПовторов", L"1500")},
                              {{}, kPortB, L""}};
  Configure(readers);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  ASSERT_FALSE(SwitchOn(readers[1])->Get()->HasError);
  auto dataOf = [&](const Reader& r) {
    std::vector<std::wstring> data;
    for (const auto& e : sink.Events())
      if (IsEqualGUID(r.code, e.deviceId)) data.push_back(e.data);
    return data;
  };
  const std::string cardLines = "cardtime " + std::to_string(kPortA);
  auto answered = [&] { return std::stoi(SettingOf(sim.Command(cardLines), "lines")); };
  sim.Command("card " + std::to_string(kPortA) + " AAAA1111 5");
  sim.Command("card " + std::to_string(kPortB) + " BBBB2222 5");
  for (int i = 0; i < 200 && (answered() < 5 || dataOf(readers[1]).size() < 5); ++i)
    ra03v_host::PumpFor(50);
  ASSERT_EQ(5, answered());
  EXPECT_EQ(std::vector<std::wstring>(5, L"BBBB2222"), dataOf(readers[1]))
      << "no window, no suppression";
  EXPECT_EQ(std::vector<std::wstring>{L"AAAA1111"}, dataOf(readers[0]))
      << "a held card is one event";

  // Absent longer than the window, the card raises again; a different card
  // raises at once, and so does the first after it; its repeat does not.
  ra03v_host::PumpFor(2500);
  sim.Command("card " + std::to_string(kPortA) + " AAAA1111 1");
  sim.Command("card " + std::to_string(kPortA) + " CCCC3333 1");
  sim.Command("card " + std::to_string(kPortA) + " AAAA1111 2");
  for (int i = 0; i < 200 && answered() < 9; ++i) ra03v_host::PumpFor(50);
  ra03v_host::PumpFor(300);  // the last line's event
  EXPECT_EQ((std::vector<std::wstring>{L"AAAA1111", L"AAAA1111", L"CCCC3333", L"AAAA1111"}),
            dataOf(readers[0]));
}

TEST_F(ReaderRig, TheTraceTellsEveryHappeningOfTracedReadersOnly) {
  const std::wstring log = LogFile();
  DeleteFileW(log.c_str());
  std::vector<Reader> readers{
      {{}, kPortA, Param(L"Трассировка", L"1") + Param(L"ПодавлениеПовторов", L"5000")},
      {{}, kPortB, L""},
      {{}, kNeverCreated, Param(L"Трассировка", L"1")}};
  Configure(readers);
  // Untraced, a reader writes nothing at all.
  ASSERT_FALSE(SwitchOn(readers[1])->Get()->HasError);
  PresentCard(kPortB, "BBBB2222");
  WaitForEvent(1);
  ASSERT_FALSE(SwitchOff(readers[1])->Get()->HasError);
  ra03v_host::PumpFor(1500);
  EXPECT_FALSE(Exists(log)) << "a file was written with the trace off";

  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  sim.Command("card " + std::to_string(kPortA) + " AAAA1111 2");
  WaitForEvent(2);
  WaitForTrace("повтор подавлен");
  sim.Send(kPortA, "\\x01\\x7F\\r\\n");
  WaitForEvent(3);
  ASSERT_FALSE(SwitchOff(readers[0])->Get()->HasError);
  EXPECT_EQ(3, SwitchOn(readers[2])->Get()->ErrorCode);
  const std::string bytes = WaitForTrace("COM16");

  const std::string a = " 1 " + WideTo1251(GuidText(readers[0].code)) + " ";
  const std::string c = " 3 " + WideTo1251(GuidText(readers[2].code)) + " ";
  const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$)");
  std::vector<std::string> ofA;
  std::vector<std::string> ofC;
  std::string received;
  size_t from = 0;
  for (size_t end; (end = bytes.find("\r\n", from)) != std::string::npos; from = end + 2) {
    const std::string line = bytes.substr(from, end - from);
    ASSERT_GT(line.size(), 24u) << line;
    EXPECT_TRUE(std::regex_match(line.substr(0, 23), stamp)) << line;
    const std::string rest = line.substr(23);
    if (rest.starts_with(a))
      ofA.push_back(rest.substr(a.size()));
    else if (rest.starts_with(c))
      ofC.push_back(rest.substr(c.size()));
    else
      ADD_FAILURE() << "a line of no traced reader: " << line;
  }
  EXPECT_EQ(bytes.size(), from) << "every line ends in CR LF";
  for (const std::string& what : ofA)
    if (what.starts_with("получено \"")) received += what.substr(10, what.size() - 11);
  auto indexOf = [&](const std::string& what) {
    for (size_t i = 0; i < ofA.size(); ++i)
      if (ofA[i] == what) return static_cast<int>(i);
    return -1;
  };
  const int init = indexOf("записано \"n\"");
  const int on = indexOf("включение COM11: 0 Операция выполнена успешно");
  const int raised = indexOf("событие \"AAAA1111\"");
  const int odd = indexOf("событие \"\\x01\\x7F\\r\\n\"");
  const int stop = indexOf("записано \"f\"");
  const int off = indexOf("выключение: 0 Операция выполнена успешно");
  EXPECT_TRUE(init >= 0 && init < on && on < raised && raised < odd && odd < stop && stop < off)
      << init << " " << on << " " << raised << " " << odd << " " << stop << " " << off;
  EXPECT_NE(-1, indexOf("записано \"k\""));
  int suppressed = 0;
  for (const std::string& what : ofA)
    suppressed += what.starts_with("повтор подавлен \"AAAA1111\" через ");
  EXPECT_EQ(1, suppressed);
  EXPECT_NE(std::string::npos, received.find("OK\\r\\nAAAA1111\\r\\n")) << received;
  EXPECT_NE(std::string::npos, received.find("\\x01\\x7F\\r\\n")) << "non-printable bytes escaped";
  EXPECT_EQ(
      std::vector<std::string>{
          "включение COM16: 3 Устройство не обнаружено, порт: 51 Порт недоступен"},
      ofC);
}

TEST_F(ReaderRig, TheTraceFollowsItsPropertyWhileTheReaderIsOn) {
  const std::wstring log = LogFile();
  DeleteFileW(log.c_str());
  std::vector<Reader> readers{{{}, kPortA, L""}};
  Configure(readers);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  auto setTrace = [&](int on) {
    const ComPtr<ISafeArray> props = ReadProps(readers[0]);
    ASSERT_TRUE(props);
    props.Get()->SetValue(RowOf(*props.Get(), L"Трассировка"), 4, Value::Int(on).Get());
    HostTask task(RA03V_TASK_CLASS_THREAD);
    task.SetDevice(readers[0].code);
    auto set = dll.Method(L"УстановитьСвойства", {Value::Object(props.Get())}, &task);
    ASSERT_FALSE(set->Get()->HasError) << set->ErrorDescription();
  };
  setTrace(1);
  EXPECT_NE(std::string::npos, WaitForTrace("записано \"k\"").find("записано \"k\""));
  setTrace(0);
  ra03v_host::PumpFor(300);  // what was queued before goes out
  const size_t size = FileBytes(log).size();
  ra03v_host::PumpFor(1500);
  EXPECT_EQ(size, FileBytes(log).size()) << "polls traced after the trace went off";
  ASSERT_FALSE(SwitchOff(readers[0])->Get()->HasError);
}

TEST_F(ReaderRig, TheTraceFileIsCappedKeepingOneOlderCopy) {
  const std::wstring log = LogFile();
  constexpr size_t kCap = 10 * 1024 * 1024;
  // A file a few bytes short of the cap: no trace line fits any more.
  auto nearlyFull = [](const std::string& mark) {
    return mark + "\r\n" + std::string(kCap - 20 - mark.size(), 'x') + "\r\n";
  };
  WriteBytes(log, nearlyFull("первый"));
  WriteBytes(log + L".1", "older");
  std::vector<Reader> readers{{{}, kPortA, Param(L"Трассировка", L"1")}};
  Configure(readers);
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  ASSERT_FALSE(SwitchOff(readers[0])->Get()->HasError);
  std::string now = WaitForTrace("выключение");
  EXPECT_TRUE(FileBytes(log + L".1") == nearlyFull("первый")) << "the full file is the older copy";
  EXPECT_LT(now.size(), 4096u);
  EXPECT_NE(std::string::npos, now.find("записано \"n\"")) << "the first line after the cap";

  // Once more: the older copy is replaced, never added to.
  WriteBytes(log, nearlyFull("второй"));
  ASSERT_FALSE(SwitchOn(readers[0])->Get()->HasError);
  ASSERT_FALSE(SwitchOff(readers[0])->Get()->HasError);
  now = WaitForTrace("выключение");
  EXPECT_TRUE(FileBytes(log + L".1") == nearlyFull("второй"));
  EXPECT_LT(now.size(), 4096u);
  EXPECT_FALSE(Exists(log + L".2"));
  DeleteFileW((log + L".1").c_str());
}

TEST_F(ReaderRig, NewRowsComeAfterThePollIntervalAndOldDocumentsStillLoad) {
  // A document stored before the rows existed: they take their defaults.
  std::vector<Reader> readers{{{}, kPortA, Param(L"ИнтервалОпроса", L"500")}};
  Configure(readers);
  const ComPtr<ISafeArray> props = ReadProps(readers[0]);
  ASSERT_TRUE(props);
  LONG rows = 0, columns = 0;
  props.Get()->GetBounds(&rows, &columns);
  const LONG interval = RowOf(*props.Get(), L"ИнтервалОпроса");
  const LONG repeats = RowOf(*props.Get(), L"ПодавлениеПовторов");
  EXPECT_LT(interval, repeats);
  EXPECT_EQ(repeats + 1, RowOf(*props.Get(), L"Трассировка"));
  EXPECT_EQ(rows - 1, repeats + 1) << "the trace row is the last";
  EXPECT_EQ(L"0", PropText(*props.Get(), L"ПодавлениеПовторов"));
  EXPECT_EQ(L"0", PropText(*props.Get(), L"Трассировка"));
  Value name;
  props.Get()->GetValue(repeats, 1, name.Put());
  EXPECT_EQ(L"Подавление повторов", name.ToText());

  // The settings and parameters documents list them in the same order.
  auto inOrder = [](const std::wstring& xml) {
    const size_t i = xml.find(L"\"ИнтервалОпроса\"");
    const size_t r = xml.find(L"\"ПодавлениеПовторов\"");
    const size_t t = xml.find(L"\"Трассировка\"");
    return i != std::wstring::npos && i < r && r < t && t != std::wstring::npos;
  };
  auto settings = dll.Method(L"ПолучитьНастройкиXML",
                             {Value::Text(GuidText(readers[0].code)), Value()}, &listTask);
  EXPECT_TRUE(inOrder(settings->At(4).ToText())) << settings->At(4).ToText();
  auto info = dll.Method(L"ИнформацияОПлагине", std::vector<Value>(13), &listTask);
  const std::wstring parameters = info->At(3 + 7).ToText();
  EXPECT_TRUE(inOrder(parameters)) << parameters;
  EXPECT_NE(std::wstring::npos, parameters.find(L"Наименование=\"Трассировка\""));
}

// Last in the program: the library stays mapped for the reader's port thread.
TEST(ReaderUnload, UnloadingWithAReaderSwitchedOnNeitherHangsNorCrashes) {
  SimClient sim;
  ASSERT_TRUE(sim.Connected());
  constexpr int kPort = 14;
  sim.CreatePort(kPort);
  // Outlives the test: the forgotten reader keeps its copy of the interface.
  static ra03v_host::EventSink sink;
  DllUnderTest& dll = SharedDll();
  dll.Control("__@@EventSupport", sink.Interface());
  GUID code;
  CoCreateGuid(&code);
  const std::wstring document =
      ra03v_host::EquipmentDocument(ra03v_host::ReaderDeviceElement(code, L"Забытый", kPort));
  HostTask task(RA03V_TASK_CLASS_THREAD);
  task.SetDevice(code);
  ASSERT_FALSE(dll.Method(L"НастроитьУстройства", {Value::Text(document)}, &task)->Get()->HasError);
  ASSERT_FALSE(dll.Method(L"Включить", {Value()}, &task)->Get()->HasError);
  sim.Command("card " + std::to_string(kPort) + " 5555AAAA 1");
  ASSERT_TRUE(sink.WaitForEvents(1, kEventWaitMs));
  dll.Unload();  // no "__FRee"
  // The process goes on: messages (the reader's timer) and a late card are harmless.
  sim.Command("card " + std::to_string(kPort) + " 6666BBBB 1");
  ra03v_host::PumpFor(1500);
  EXPECT_GE(sink.EventCount(), 1u);
}

}  // namespace
}  // namespace ra03v::test
