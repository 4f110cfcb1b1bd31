// Figures for the foundation routines: ReplaceAll against a naive loop on a
// 1 MiB XML-like text, the CPU time a 500 ms PumpedDelay uses, and what a
// trace line costs the thread that traces, queued against written at once.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "foundation/message_pump.h"
#include "foundation/text_utils.h"
#include "foundation/trace_writer.h"
#include "foundation/win/unique_handle.h"

#include "bench_timing.h"

namespace {

using ra03v::bench::BestMs;
using ra03v::bench::ThreadCpuMs;

std::string MakeXmlLikeText(size_t size) {
  const std::string row =
      "<Parameter Id=\"Baud\" Value=\"9600\" Default=\"9600\" Note=\"line\\nbreak\"/>\r\n";
  std::string text;
  while (text.size() < size) text += row;
  text.resize(size);
  return text;
}

std::string NaiveReplaceAll(const std::string& text, const std::string& pattern,
                            const std::string& replacement) {
  std::string out = text;
  size_t pos = 0;
  while ((pos = out.find(pattern, pos)) != std::string::npos) {
    out.replace(pos, pattern.size(), replacement);
    pos += replacement.size();
  }
  return out;
}

// Microseconds per line for the tracing thread: through the trace writer's
// queue, and appended to the file by the tracing thread itself.
void TraceLineFigures() {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  char narrow[MAX_PATH];
  WideCharToMultiByte(CP_ACP, 0, dir, -1, narrow, MAX_PATH, nullptr, nullptr);
  const std::string path = std::string(narrow) + "ra03v_trace_bench.log";
  constexpr int kLines = 5000;  // about 500 KB: within what the queue holds
  const std::string body =
      " 1 {654B36FD-D51B-4810-A485-40DF73CDD035} received \"OK\\r\\n0123ABCD\\r\\n\"";
  DeleteFileA(path.c_str());
  double queued = 0;
  double drained = 0;
  {
    ra03v::TraceWriter writer(path);
    queued = BestMs(1, [&] {
      for (int i = 0; i < kLines; ++i) writer.Append(ra03v::TraceTimeText() + body);
    });
    drained = BestMs(1, [&] { writer.Flush(60000); });
  }
  DeleteFileA(path.c_str());
  const double direct = BestMs(1, [&] {
    for (int i = 0; i < kLines; ++i) {
      const std::string line = ra03v::TraceTimeText() + body + "\r\n";
      ra03v::FileHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      DWORD written = 0;
      WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
  });
  DeleteFileA(path.c_str());
  std::printf(
      "trace line, queued for the writer thread: %7.2f us per line (then %.1f ms to drain %d)\n",
      queued * 1000.0 / kLines, drained, kLines);
  std::printf("trace line, appended by the tracing thread: %7.2f us per line\n",
              direct * 1000.0 / kLines);
}

}  // namespace

int main() {
  const std::string text = MakeXmlLikeText(1 << 20);
  const double mib = static_cast<double>(text.size()) / (1 << 20);
  size_t sink = 0;

  struct Case {
    const char* title;
    std::string pattern;
    std::string replacement;
    bool caseSensitive;
  };
  const Case cases[] = {
      {"same length (\\n -> CR LF)", "\\n", "\r\n", true},
      {"growing (\" -> &quot;)", "\"", "&quot;", true},
      {"case-folded (value= -> Value=)", "value=", "Value=", false},
  };
  for (const Case& c : cases) {
    const double fast = BestMs(5, [&] {
      sink += ra03v::ReplaceAll(text, c.pattern, c.replacement, c.caseSensitive).size();
    });
    std::printf("ReplaceAll %-34s 1 MiB: %8.2f ms %8.1f MiB/s\n", c.title, fast,
                mib / fast * 1000.0);
    if (c.caseSensitive) {
      const double naive =
          BestMs(1, [&] { sink += NaiveReplaceAll(text, c.pattern, c.replacement).size(); });
      std::printf("naive loop %-34s 1 MiB: %8.2f ms %8.1f MiB/s\n", c.title, naive,
                  mib / naive * 1000.0);
    }
  }

  const double cpuBefore = ThreadCpuMs();
  const auto wallStart = std::chrono::steady_clock::now();
  ra03v::PumpedDelay(500);
  const double wall =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart)
          .count();
  const double cpu = ThreadCpuMs() - cpuBefore;
  std::printf("PumpedDelay(500): wall %.1f ms, CPU %.2f ms (%.2f%% of wall; target < 5%%)\n", wall,
              cpu, cpu / wall * 100.0);
  TraceLineFigures();
  return sink == 0 ? 1 : 0;
}
