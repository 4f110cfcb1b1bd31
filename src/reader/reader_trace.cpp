#include "reader/reader_trace.h"

#include "foundation/system_info.h"
#include "foundation/trace_writer.h"

namespace ra03v {

namespace {

// Appended, not "\"" + text: GCC 12 at -O3 reports a bogus overflow inside
// operator+(const char*, std::string&&) where the inlining allows it.
std::string Quoted(std::string_view bytes) {
  std::string quoted(1, '"');
  quoted += EscapeTraceBytes(bytes);
  quoted += '"';
  return quoted;
}

}  // namespace

ReaderTrace::ReaderTrace() noexcept : writer_(ProcessTraceWriter()) {}

void ReaderTrace::SetDevice(int number, const GUID& code) noexcept {
  try {
    std::string who = std::to_string(number) + " " + GuidToText(code);
    std::lock_guard<std::mutex> guard(lock_);
    who_.swap(who);
  } catch (...) {
  }
}

// Each happening is formatted only when the trace is on: off, it costs a load.
template <typename Make>
void ReaderTrace::Line(Make&& make) noexcept {
  if (!enabled_) return;
  TraceWriter* writer = writer_.load();
  if (!writer) return;
  try {
    const std::string what = make();
    std::string line = TraceTimeText();
    {
      std::lock_guard<std::mutex> guard(lock_);
      line += " " + who_ + " ";
    }
    line += what;
    writer->Append(line);
  } catch (...) {
    // Tracing never fails what it traces.
  }
}

void ReaderTrace::Written(std::string_view bytes) noexcept {
  Line([&] { return "записано " + Quoted(bytes); });
}

void ReaderTrace::WriteFailed(std::string_view bytes) noexcept {
  Line([&] { return "запись не удалась " + Quoted(bytes); });
}

void ReaderTrace::Received(std::string_view bytes) noexcept {
  Line([&] { return "получено " + Quoted(bytes); });
}

void ReaderTrace::CardRaised(std::string_view card) noexcept {
  Line([&] { return "событие " + Quoted(card); });
}

void ReaderTrace::CardSuppressed(std::string_view card, uint64_t gapMs) noexcept {
  Line([&] {
    return "повтор подавлен " + Quoted(card) + " через " + std::to_string(gapMs) + " мс";
  });
}

void ReaderTrace::SwitchedOn(std::string_view port, int32_t result,
                             std::string_view text) noexcept {
  Line([&] {
    return "включение " + std::string(port) + ": " + std::to_string(result) + " " +
           std::string(text);
  });
}

void ReaderTrace::SwitchedOff(int32_t result, std::string_view text) noexcept {
  Line([&] { return "выключение: " + std::to_string(result) + " " + std::string(text); });
}

void ReaderTrace::Lost(std::string_view reason) noexcept {
  Line([&] { return "потеря связи: " + std::string(reason); });
}

void ReaderTrace::RecoveryTry(int attempt, std::string_view outcome) noexcept {
  Line([&] {
    return "попытка восстановления " + std::to_string(attempt) + ": " + std::string(outcome);
  });
}

void ReaderTrace::Recovered() noexcept {
  Line([] { return std::string("связь восстановлена"); });
}

}  // namespace ra03v
