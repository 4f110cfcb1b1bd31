#pragma once
// Appends trace lines to a file without making the threads that trace wait
// for the disk: lines are queued under a short lock and a writer thread of its
// own puts them into the file. The file is capped; past the cap it becomes
// "<name>.1" (replacing the older copy) and a new file is begun.
//
// Threads: Append from any thread; the writer thread starts with the first
// line, holds a reference to this module while it runs, and ends by itself
// after a short idle spell.
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "foundation/win/event.h"
#include "foundation/win/unique_handle.h"

namespace ra03v {

inline constexpr uint64_t kTraceFileCap = 10ull * 1024 * 1024;

class TraceWriter {
 public:
  explicit TraceWriter(std::string path, uint64_t cap = kTraceFileCap);
  // Lets a running writer thread finish what is queued, then writes whatever
  // is left itself.
  ~TraceWriter();
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  // Queues one line (CR LF is added). Never blocks on the file, never throws:
  // a line that cannot be queued is counted as dropped.
  void Append(std::string_view line) noexcept;
  // Waits up to timeoutMs until every line appended so far is in the file.
  bool Flush(DWORD timeoutMs) noexcept;
  const std::string& Path() const noexcept { return path_; }
  // No writer thread is started from now on; later lines wait for the destructor.
  void HoldThread() noexcept;

 private:
  static DWORD WINAPI Body(void* self) noexcept;
  // The writer thread's loop; returns when idle long enough or stopped.
  void Run() noexcept;
  // Takes what is queued (with a note of dropped lines); empty when nothing is.
  std::string TakeLocked();
  // Writer thread, or the destructor once no writer thread runs.
  void WriteOut(std::string_view chunk) noexcept;
  // Leaves running_ false when no thread could be started.
  void StartThreadLocked();
  struct WriterStart;

  const std::string path_;
  const uint64_t cap_;
  std::mutex lock_;
  std::string pending_;
  uint64_t dropped_ = 0;
  bool running_ = false;
  bool stopping_ = false;
  DWORD threadId_ = 0;
  Handle thread_;
  Event wake_ = Event::AutoReset();
  // Set while nothing is queued and nothing is being written.
  Event idle_ = Event::ManualReset(true);
};

// The library's own trace file (the log file name the module settled on), or
// null when no name was settled. Made on first use.
TraceWriter* ProcessTraceWriter() noexcept;
// Run first when the module unloads: a thread started then would outlive the code.
void HoldProcessTraceThread() noexcept;

// Local time with milliseconds: "2026-12-10 11:34:21.123".
std::string TraceTimeText();
// Bytes as a trace shows them: printable ASCII as is, "\" doubled, CR, LF and
// TAB as \r \n \t, every other byte as \xHH.
std::string EscapeTraceBytes(std::string_view bytes);

}  // namespace ra03v
