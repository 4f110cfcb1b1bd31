// ra03v_host: a command-line host for the RA-03V reader driver. It loads the
// driver DLL, configures readers on the given COM ports, switches them on and
// prints every card event until a count, a time limit or Ctrl+C.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "test_host.h"

namespace {

enum ExitCode {
  kExitOk = 0,
  kExitUsage = 2,
  kExitNoDll = 3,
  kExitPortUnavailable = 4,
  kExitDriverError = 5,
};

HANDLE g_stop = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  SetEvent(g_stop);
  return TRUE;
}

// Console handles get wide text; pipes and files get UTF-8.
void Print(const std::wstring& text, FILE* stream = stdout) {
  HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    DWORD written = 0;
    WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                      nullptr, nullptr);
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

void PrintError(const std::wstring& text) { Print(L"ra03v_host: " + text + L"\n", stderr); }

// Card data may end in CR LF (short codes): shown escaped so that one event is one line.
std::wstring Visible(const std::wstring& data) {
  std::wstring out;
  for (wchar_t c : data) {
    if (c == L'\r')
      out += L"\\r";
    else if (c == L'\n')
      out += L"\\n";
    else if (c < 32)
      out += L"\\x" + std::to_wstring(static_cast<int>(c));
    else
      out += c;
  }
  return out;
}

std::wstring Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t buffer[32];
  swprintf(buffer, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
           t.wMinute, t.wSecond, t.wMilliseconds);
  return buffer;
}

std::wstring SystemText(DWORD code) {
  wchar_t* buffer = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = buffer ? buffer : L"";
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return text + L" (" + std::to_wstring(code) + L")";
}

struct Options {
  std::wstring dll;
  std::vector<int> ports;
  long count = 0;       // 0: no limit
  long seconds = 0;     // 0: no limit
  long suppressMs = 0;  // 0: every read is an event
  bool trace = false;
};

void Usage() {
  Print(
      L"usage: ra03v_host --dll PATH --port N [--port N ...] [--count N] [--seconds S]\n"
      L"                  [--suppress MS] [--trace]\n"
      L"  Loads the RA-03V driver DLL, configures one reader per COM port, switches\n"
      L"  them on and prints every card event as: time, device code, card data,\n"
      L"  and a line when a reader is lost (НетСвязи) or back (СвязьВосстановлена).\n"
      L"  Stops after --count card events, after --seconds, or at Ctrl+C.\n"
      L"  --suppress MS: a card read again within MS ms of its last read is no new event.\n"
      L"  --trace: the readers write what they exchange to the driver's log file.\n"
      L"exit codes: 0 ok, 2 usage, 3 DLL not loadable, 4 port not available, 5 driver error\n",
      stderr);
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--trace") {
      options.trace = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const wchar_t* value = argv[++i];
    wchar_t* end = nullptr;
    if (arg == L"--dll") {
      options.dll = value;
    } else if (arg == L"--port") {
      const long port = std::wcstol(value, &end, 10);
      if (*end || port < 1) return false;
      options.ports.push_back(static_cast<int>(port));
    } else if (arg == L"--count") {
      options.count = std::wcstol(value, &end, 10);
      if (*end || options.count < 0) return false;
    } else if (arg == L"--seconds") {
      options.seconds = std::wcstol(value, &end, 10);
      if (*end || options.seconds < 0) return false;
    } else if (arg == L"--suppress") {
      options.suppressMs = std::wcstol(value, &end, 10);
      if (*end || options.suppressMs < 0) return false;
    } else {
      return false;
    }
  }
  return !options.dll.empty() && !options.ports.empty();
}

using ra03v_host::GuidText;

// The driver's event about a reader's connection, and what its data mean.
constexpr wchar_t kStatusEvent[] = L"СостояниеСчитывателя";

std::wstring StatusNote(const std::wstring& data) {
  if (data == L"НетСвязи") return L"  (reader lost: the driver tries its port every second)";
  if (data == L"СвязьВосстановлена") return L"  (reader back: cards are read again)";
  return L"";
}

// The equipment document with one reader per port.
std::wstring SettingsDocument(const Options& options, const std::vector<GUID>& codes) {
  const std::vector<int>& ports = options.ports;
  std::wstring xml = L"<Оборудование>";
  for (size_t i = 0; i < ports.size(); ++i) {
    xml += L"<Устройство Код=\"" + GuidText(codes[i]) + L"\" КодМодели=\"" +
           ra03v_host::kReaderModelCode + L"\" Наименование=\"Считыватель " +
           std::to_wstring(i + 1) +
           L"\" КодТо4киДоступа=\"\"><Параметры>"
           L"<Параметр Идентификатор=\"ComNumber\" Зна4ение=\"" +
           std::to_wstring(ports[i]) +
           L"\"/>"
           L"<Параметр Идентификатор=\"Baud\" Зна4ение=\"9600\"/>"
           L"<Параметр Идентификатор=\"DataBits\" Зна4ение=\"8\"/>"
           L"<Параметр Идентификатор=\"StopBits\" Зна4ение=\"1\"/>"
           L"<Параметр Идентификатор=\"Parity\" Зна4ение=\"0\"/>"
           L"<Параметр Идентификатор=\"IsOpen\" Зна4ение=\"1\"/>"
           // Told when a reader is lost and when it is back.
           L"<Параметр Идентификатор=\"СобытияСвязи\" Зна4ение=\"1\"/>"
           L"<Параметр Идентификатор=\"ПодавлениеПовторов\" Зна4ение=\"" +
           std::to_wstring(options.suppressMs) +
           L"\"/>"
           L"<Параметр Идентификатор=\"Трассировка\" Зна4ение=\"" +
           (options.trace ? L"1" : L"0") +
           L"\"/>"
           L"</Параметры></Устройство>";
  }
  return xml + L"</Оборудование>";
}

// The driver's log file, where its trace goes: named after the DLL, the
// computer and the session, beside the DLL.
std::wstring TraceFile(HMODULE dll) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(dll, path, MAX_PATH);
  std::wstring name = path;
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos && dot > name.find_last_of(L"\\/")) name.resize(dot);
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  GetComputerNameW(computer, &size);
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) session = 9999;
  return name + L"_" + computer + L"_" + std::to_wstring(session) + L".log";
}

// Reports the driver's error in the block, if any; true when there was one.
bool DriverFailed(ra03v_host::Block& block, const std::wstring& what) {
  if (!block->HasError) return false;
  PrintError(what + L" failed: error " + std::to_wstring(block->ErrorCode) + L": " +
             block.ErrorDescription());
  return true;
}

// Whether the port can be opened at all, so that a missing port is reported
// with the system's own words before the driver is asked.
bool PortAvailable(int port, std::wstring& reason) {
  const std::wstring name = L"\\\\.\\COM" + std::to_wstring(port);
  HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason = SystemText(GetLastError());
    return false;
  }
  CloseHandle(h);
  return true;
}

int Run(const Options& options) {
  for (int port : options.ports) {
    std::wstring reason;
    if (!PortAvailable(port, reason)) {
      PrintError(L"COM" + std::to_wstring(port) + L" cannot be opened: " + reason);
      return kExitPortUnavailable;
    }
  }

  // Declared before the driver: the driver may hold the host's interface
  // until it is unloaded, on every way out of here.
  const std::unique_ptr<void, decltype(&CloseHandle)> arrived(
      CreateEventW(nullptr, FALSE, FALSE, nullptr), &CloseHandle);
  ra03v_host::EventSink sink;
  // Events arrive on the ports' threads; this one wakes for each of them.
  sink.SetEventHandler(
      [event = arrived.get()](const ra03v_host::ExternalEvent&) { SetEvent(event); });
  std::unique_ptr<ra03v_host::Driver> driver;
  try {
    driver = std::make_unique<ra03v_host::Driver>(options.dll);
  } catch (const std::exception& e) {
    const DWORD error = ra03v_host::Driver::LastLoadError();
    PrintError(L"cannot load the driver " + options.dll + L": " +
               std::wstring(e.what(), e.what() + std::strlen(e.what())) +
               (error ? L": " + SystemText(error) : L""));
    return kExitNoDll;
  }
  Print(L"driver loaded: " + options.dll + L"\n");
  if (options.trace) Print(L"trace: " + TraceFile(driver->Module()) + L"\n");

  driver->Control("__@@EventSupport", sink.Interface());

  // Each reader is addressed by a task that carries its device code.
  std::vector<GUID> codes(options.ports.size());
  std::vector<std::unique_ptr<ra03v_host::Task>> tasks;
  for (GUID& code : codes) {
    CoCreateGuid(&code);
    tasks.push_back(std::make_unique<ra03v_host::Task>(RA03V_TASK_CLASS_INTERNAL));
    tasks.back()->SetDevice(code);
  }
  ra03v_host::Task listTask(RA03V_TASK_CLASS_INTERNAL);
  const std::wstring document = SettingsDocument(options, codes);
  auto configured =
      driver->Method(L"НастроитьУстройства", {ra03v_host::Value::Text(document)}, &listTask);
  if (DriverFailed(*configured, L"НастроитьУстройства")) return kExitDriverError;

  int status = kExitOk;
  size_t switchedOn = 0;
  for (size_t i = 0; i < options.ports.size(); ++i) {
    auto on = driver->Method(L"Включить", {ra03v_host::Value()}, tasks[i].get());
    if (DriverFailed(*on, L"Включить on COM" + std::to_wstring(options.ports[i]))) {
      status = kExitDriverError;
      break;
    }
    ++switchedOn;
    Print(L"reader " + std::to_wstring(i + 1) + L" " + GuidText(codes[i]) + L" on COM" +
          std::to_wstring(options.ports[i]) + L": switched on\n");
  }

  if (status == kExitOk) {
    size_t printed = 0;
    long cards = 0;
    const DWORD start = GetTickCount();
    const DWORD limit = options.seconds ? static_cast<DWORD>(options.seconds) * 1000 : INFINITE;
    for (;;) {
      // Wakes for messages too: the sink's whole list is copied only when it grew.
      const std::vector<ra03v_host::ExternalEvent> events =
          sink.EventCount() > printed ? sink.Events() : std::vector<ra03v_host::ExternalEvent>{};
      // The count-th card event is the last one printed, once; status
      // events are printed as they come and are not counted.
      for (; printed < events.size(); ++printed) {
        if (options.count && cards >= options.count) break;
        const ra03v_host::ExternalEvent& e = events[printed];
        const bool status = e.name == kStatusEvent;
        if (!status) ++cards;
        Print(Now() + L"  " + e.deviceIdText + L"  " + e.name + L"  " + Visible(e.data) +
              (status ? StatusNote(e.data) : std::wstring()) + L"\n");
      }
      if (options.count && cards >= options.count) break;
      const DWORD elapsed = GetTickCount() - start;
      if (limit != INFINITE && elapsed >= limit) break;
      // The driver's poll timers run on this thread: keep its messages flowing,
      // and sleep until a message, an event, Ctrl+C or the time limit.
      const DWORD wait = limit == INFINITE ? INFINITE : limit - elapsed;
      const HANDLE handles[2] = {g_stop, arrived.get()};
      if (MsgWaitForMultipleObjectsEx(2, handles, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
          WAIT_OBJECT_0)
        break;
      ra03v_host::PumpFor(0);
    }
    Print(L"events: " + std::to_wstring(cards) + L"\n");
  }

  for (size_t i = 0; i < switchedOn; ++i) {
    auto off = driver->Method(L"Выключить", {ra03v_host::Value()}, tasks[i].get());
    if (DriverFailed(*off, L"Выключить")) status = kExitDriverError;
  }
  driver->Control("__FRee");
  driver->Unload();
  Print(L"driver unloaded\n");
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    Usage();
    return kExitUsage;
  }
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int status = Run(options);
  CoUninitialize();
  return status;
}
