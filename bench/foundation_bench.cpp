// Figures for the foundation routines: ReplaceAll against a naive loop on a
// 1 MiB XML-like text, and the CPU time a 500 ms PumpedDelay uses.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "foundation/message_pump.h"
#include "foundation/text_utils.h"

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
  return sink == 0 ? 1 : 0;
}
