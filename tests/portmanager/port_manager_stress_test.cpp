// The port manager under a flood of numbered lines from the simulated reader
// at 115200 baud: with no run active every line reaches the handler once and
// in order; with the owner running commands all the while, nothing crashes or
// hangs and every text is one whole line that was sent.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/message_pump.h"
#include "portmanager/port_manager.h"
#include "support/serial_rig.h"
#include "support/sim_client.h"

namespace ra03v::test {
namespace {

constexpr int kPort = 16;
constexpr int kLines = 10000;

// Gathers lines as the reader does: takes the text and empties the buffer.
struct FloodLines {
  TPortManager* manager = nullptr;
  std::mutex lock;
  std::vector<std::string> texts;

  static void Receive(void* owner, const char* text) {
    auto* self = static_cast<FloodLines*>(owner);
    self->manager->SetLineBuffer("");
    std::lock_guard<std::mutex> guard(self->lock);
    self->texts.emplace_back(text);
  }
  size_t Count() {
    std::lock_guard<std::mutex> guard(lock);
    return texts.size();
  }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> guard(lock);
    return texts;
  }
};

// The number of a flood line "1|FL000123" CR LF, or 0 for anything else.
int FloodNumber(const std::string& text) {
  if (text.size() != 12 || text.compare(0, 4, "1|FL") != 0 || text.compare(10, 2, "\r\n") != 0)
    return 0;
  int number = 0;
  for (size_t i = 4; i < 10; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    number = number * 10 + (text[i] - '0');
  }
  return number;
}

class PortManagerFlood : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Connected()) << "the simulated reader is not running";
    sim.CreatePort(kPort);
    manager.Settings().portIndex = TableIndex(kPortNumbers, kPort);
    manager.Settings().baudIndex = TableIndex(kBaudRates, 115200);
    manager.Settings().keepOpen = 1;
    manager.SetDeviceTag("1");
    manager.SetReplyTimeout(20);
    lines.manager = &manager;
    manager.AddLineHandler("\r\n", &lines, &FloodLines::Receive);
  }

  bool FloodOut() { return sim.Command("floodleft " + std::to_string(kPort)) == "0"; }

  // Runs step (pumping in between) until every line came, or the flood is
  // out and two seconds passed without a new line.
  void RunUntilSettled(const std::function<void()>& step) {
    size_t seen = 0;
    DWORD quietSince = GetTickCount();
    const DWORD start = GetTickCount();
    while (lines.Count() < kLines && GetTickCount() - start < 180000) {
      step();
      const size_t now = lines.Count();
      if (now != seen || !FloodOut()) quietSince = GetTickCount();
      seen = now;
      if (GetTickCount() - quietSince > 2000) break;
    }
  }

  SimClient sim;
  TPortManager manager;
  FloodLines lines;
};

TEST_F(PortManagerFlood, TenThousandLinesWithNoRunReachTheHandlerOnceEachInOrder) {
  ASSERT_TRUE(manager.Connect());
  EXPECT_EQ("115200", SettingOf(sim.Settings(kPort), "baud"));
  sim.Command("flood " + std::to_string(kPort) + " " + std::to_string(kLines));
  RunUntilSettled([] { PumpedDelay(50); });
  const std::vector<std::string> texts = lines.Texts();
  ASSERT_EQ(static_cast<size_t>(kLines), texts.size());
  for (int i = 0; i < kLines; ++i)
    ASSERT_EQ(i + 1, FloodNumber(texts[static_cast<size_t>(i)])) << "line " << i << ": " << texts[i];
  manager.Disconnect(false);
}

TEST_F(PortManagerFlood, CommandsRunningThroughTheFloodCutWholeLinesOnly) {
  ASSERT_TRUE(manager.Connect());
  sim.Command("flood " + std::to_string(kPort) + " " + std::to_string(kLines));
  int runs = 0;
  int runsInFlood = 0;
  std::string reply;
  RunUntilSettled([&] {
    // A fast machine may take the whole flood within one run: what counts is
    // that runs start while lines are still coming.
    if (!FloodOut()) ++runsInFlood;
    // Polls ("k", answered by "OK" CR LF between flood lines) and runs that
    // wait for a reply, one every few milliseconds.
    if (runs % 2 == 0) {
      manager.AddCommand(true, 1, "k");
    } else {
      manager.AddCommand(true, 1, "x");
      manager.AddCommand(false, 4, "");
    }
    manager.Execute(reply);
    ++runs;
    PumpedDelay(3);
  });
  manager.Disconnect(false);

  int whole = 0, answers = 0, broken = 0, backwards = 0, last = 0;
  for (const std::string& text : lines.Texts()) {
    const int number = FloodNumber(text);
    if (number > 0) {
      ++whole;
      if (number <= last) ++backwards;
      last = number;
    } else if (text == "1|OK\r\n") {
      ++answers;
    } else {
      ++broken;
      ADD_FAILURE() << "not a line that was sent: " << text;
    }
  }
  std::printf(
      "flood with runs: sent %d, delivered %d, lost %d, broken %d, answers %d, runs %d (%d started "
      "during the flood)\n",
      kLines, whole, kLines - whole, broken, answers, runs, runsInFlood);
  EXPECT_EQ(0, broken);
  EXPECT_EQ(0, backwards) << "each line once, in order";
  EXPECT_GE(runsInFlood, 1) << "runs must overlap the flood";
  EXPECT_GT(whole, 0);
}

}  // namespace
}  // namespace ra03v::test
