#include "foundation/trace_writer.h"

#include <atomic>
#include <cstdio>
#include <memory>

#include "foundation/base_log.h"

namespace ra03v {

namespace {

// A writer that sees no line for this long ends its thread.
constexpr DWORD kIdleEndMs = 1000;
// What may wait for the writer; past it, lines are dropped rather than
// letting a stuck disk grow the process without bound.
constexpr size_t kPendingLimit = 1024 * 1024;
// How long a destructor waits for a writer thread that still runs.
constexpr DWORD kStopWaitMs = 2000;

}  // namespace

// What a new writer thread is handed: its writer and its module reference.
struct TraceWriter::WriterStart {
  TraceWriter* writer;
  HMODULE module;
};

namespace {

uint64_t FileSizeOf(HANDLE file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

FileHandle OpenForAppend(const std::string& path) {
  return FileHandle(CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The full file becomes the one older copy; when it cannot be moved away it
// is emptied, so that the cap holds either way.
FileHandle StartAfresh(const std::string& path) {
  const std::string older = path + ".1";
  if (!MoveFileExA(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(older.c_str());
    if (!MoveFileExA(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return FileHandle(CreateFileA(path.c_str(),
                                    FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
  }
  return OpenForAppend(path);
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0)
      return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

TraceWriter::TraceWriter(std::string path, uint64_t cap) : path_(std::move(path)), cap_(cap) {}

TraceWriter::~TraceWriter() {
  HANDLE thread = nullptr;
  bool own = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
    if (running_) thread = thread_.Get();
    own = threadId_ == GetCurrentThreadId();
  }
  if (thread && !own) {
    wake_.Set();
    WaitForSingleObject(thread, kStopWaitMs);
  }
  // A thread still at work keeps the lines; one that has ended (also one cut
  // off at process exit) leaves them here.
  if (thread && WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) return;
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (!guard.owns_lock()) return;
  const std::string rest = TakeLocked();
  guard.unlock();
  if (!rest.empty()) WriteOut(rest);
}

void TraceWriter::Append(std::string_view line) noexcept {
  bool first = false;
  try {
    std::lock_guard<std::mutex> guard(lock_);
    if (pending_.size() + line.size() + 2 > kPendingLimit) {
      ++dropped_;
      return;
    }
    // Only the first line of a batch touches the events: each costs a call
    // into the system, more than the rest of a line.
    first = pending_.empty() && dropped_ == 0;
    pending_.append(line);
    pending_.append("\r\n");
    if (first) idle_.ResetSignal();
    if (!running_ && !stopping_) StartThreadLocked();
    // Without a thread the line waits for the next one, or for the destructor.
    if (!running_) return;
  } catch (...) {
    // A line that cannot be queued is lost; tracing never fails its caller.
    return;
  }
  if (first) wake_.Set();
}

bool TraceWriter::Flush(DWORD timeoutMs) noexcept { return idle_.Wait(timeoutMs); }

void TraceWriter::StartThreadLocked() {
  // The thread keeps this module loaded while it runs and drops the reference
  // as its last act, so a host unloading the library never pulls code from
  // under it and never waits for it inside the loader lock.
  Module self;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&TraceWriter::Body), self.Put());
  auto start = std::make_unique<WriterStart>(WriterStart{this, self.Get()});
  DWORD id = 0;
  Handle thread(CreateThread(nullptr, 0, &Body, start.get(), 0, &id));
  if (!thread) return;
  // Both now belong to the thread.
  static_cast<void>(start.release());
  static_cast<void>(self.Release());
  thread_ = std::move(thread);
  threadId_ = id;
  running_ = true;
}

DWORD WINAPI TraceWriter::Body(void* param) noexcept {
  const std::unique_ptr<WriterStart> start(static_cast<WriterStart*>(param));
  const HMODULE module = start->module;
  start->writer->Run();
  // Nothing of the writer may be touched past Run.
  if (module) FreeLibraryAndExitThread(module, 0);
  return 0;
}

void TraceWriter::Run() noexcept {
  for (;;) {
    const bool woken = wake_.Wait(kIdleEndMs);
    std::string chunk;
    {
      std::lock_guard<std::mutex> guard(lock_);
      chunk = TakeLocked();
      if (chunk.empty()) {
        idle_.Set();
        if (!woken || stopping_) {
          running_ = false;
          return;
        }
        continue;
      }
    }
    WriteOut(chunk);
    std::lock_guard<std::mutex> guard(lock_);
    if (pending_.empty() && dropped_ == 0) idle_.Set();
    // More may have come while writing: the auto-reset event holds that wake.
  }
}

std::string TraceWriter::TakeLocked() {
  std::string chunk;
  chunk.swap(pending_);
  if (dropped_ != 0) {
    char note[96];
    std::snprintf(note, sizeof note, "%s трассировка: пропущено строк: %llu\r\n",
                  TraceTimeText().c_str(), static_cast<unsigned long long>(dropped_));
    chunk += note;
    dropped_ = 0;
  }
  return chunk;
}

void TraceWriter::WriteOut(std::string_view chunk) noexcept {
  try {
    FileHandle file = OpenForAppend(path_);
    if (!file) return;
    uint64_t size = FileSizeOf(file.Get());
    // A file that someone else keeps filling is not chased for ever.
    for (int fresh = 0; !chunk.empty() && fresh < 4; ++fresh) {
      const uint64_t room = size < cap_ ? cap_ - size : 0;
      if (chunk.size() <= room) {
        WriteAll(file.Get(), chunk);
        return;
      }
      // The lines that still fit end this file; a line longer than a whole
      // file is cut, as it fits nowhere.
      size_t cut = room ? chunk.rfind('\n', static_cast<size_t>(room) - 1) : std::string_view::npos;
      cut = cut == std::string_view::npos ? 0 : cut + 1;
      if (cut == 0 && size == 0) cut = static_cast<size_t>(room);
      if (cut != 0 && !WriteAll(file.Get(), chunk.substr(0, cut))) return;
      chunk.remove_prefix(cut);
      file.Reset();
      file = StartAfresh(path_);
      if (!file) return;
      size = FileSizeOf(file.Get());
    }
  } catch (...) {
    // The disk is the only thing that can fail here; the lines are lost.
  }
}

namespace {
std::atomic<TraceWriter*> g_processWriter{nullptr};
}  // namespace

TraceWriter* ProcessTraceWriter() noexcept {
  try {
    static TraceWriter writer(LogPath());
    if (writer.Path().empty()) return nullptr;
    g_processWriter = &writer;
    return &writer;
  } catch (...) {
    return nullptr;
  }
}

void HoldProcessTraceThread() noexcept {
  if (TraceWriter* writer = g_processWriter.load()) writer->HoldThread();
}

void TraceWriter::HoldThread() noexcept {
  std::lock_guard<std::mutex> guard(lock_);
  stopping_ = true;
}

std::string TraceTimeText() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  return text;
}

std::string EscapeTraceBytes(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out;
}

}  // namespace ra03v
