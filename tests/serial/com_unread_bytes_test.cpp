// Received bytes that stay in the driver's queue. Some drivers (Wine's among
// them) keep reporting received characters while any are queued; the event
// thread must still tell a handler about each arrival once, with the whole
// queue as the count, and must not be kept busy by the bytes lying there.
// Built into both rig programs: with the modem-line library (the full event
// mask) and without it (received characters only, waits cancelled often).
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "serial/com_port.h"
#include "support/serial_rig.h"
#include "support/sim_client.h"

namespace ra03v {
namespace {

using test::WaitUntil;

constexpr int kPort = 14;

class UnreadBytes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Connected()) << "run through tools/run-with-sim.sh";
    sim.CreatePort(kPort);
    port.SetPort("COM" + std::to_string(kPort));
    port.SetSyncMethod(smNone);
  }
  // Notes each notification's count and reads at most take bytes of it.
  void NoteAndRead(int32_t take) {
    port.OnRxChar = [this, take](TCustomComPort& sender, int32_t count) {
      std::string bytes;
      if (take > 0) sender.ReadText(bytes, std::min(take, count));
      std::lock_guard lock(mutex_);
      counts_.push_back(count);
      text_ += bytes;
    };
  }
  std::vector<int32_t> Counts() const {
    std::lock_guard lock(mutex_);
    return counts_;
  }
  std::string Text() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  int32_t LastCount() const {
    std::lock_guard lock(mutex_);
    return counts_.empty() ? 0 : counts_.back();
  }
  // Each count from index first on is larger than the one before: every
  // notification brought bytes that no earlier one had reported.
  static ::testing::AssertionResult EachBringsNewBytes(const std::vector<int32_t>& counts,
                                                       size_t first) {
    for (size_t i = first + 1; i < counts.size(); ++i)
      if (counts[i] <= counts[i - 1])
        return ::testing::AssertionFailure()
               << counts.size() - first << " notifications, number " << i - first + 1 << " of "
               << counts[i] << " after one of " << counts[i - 1];
    return ::testing::AssertionSuccess();
  }

  test::SimClient sim;
  TComPort port;

 private:
  mutable std::mutex mutex_;
  std::vector<int32_t> counts_;
  std::string text_;
};

TEST_F(UnreadBytes, EachArrivalIsReportedOnceWhileTheBytesStayQueued) {
  NoteAndRead(0);
  port.Open();
  sim.Send(kPort, "abc");
  ASSERT_TRUE(WaitUntil([&] { return LastCount() == 3; }));
  // The bytes lie unread while the driver may signal them over and over.
  Sleep(500);
  std::vector<int32_t> counts = Counts();
  EXPECT_TRUE(EachBringsNewBytes(counts, 0));
  EXPECT_EQ(3, counts.back());
  EXPECT_EQ(3, port.QueuedInputCount());

  // New bytes behind the unread ones still reach the handler, counted with them.
  sim.Send(kPort, "de");
  ASSERT_TRUE(WaitUntil([&] { return LastCount() == 5; }));
  Sleep(500);
  counts = Counts();
  EXPECT_TRUE(EachBringsNewBytes(counts, 0));
  EXPECT_EQ(5, counts.back());

  // Another thread takes the bytes; a later, smaller queue is news all the same.
  std::string text;
  EXPECT_EQ(5, port.ReadText(text, 10));
  EXPECT_EQ("abcde", text);
  // A notification that counted the queue while that read was in flight may
  // still land: it reported bytes that were there. Only what follows counts.
  Sleep(300);
  const size_t beforeRead = Counts().size();
  sim.Send(kPort, "f");
  ASSERT_TRUE(WaitUntil([&] { return Counts().size() > beforeRead && LastCount() == 1; }));
  Sleep(300);
  counts = Counts();
  EXPECT_EQ(beforeRead + 1, counts.size()) << ::testing::PrintToString(counts);
  EXPECT_EQ(1, counts.back());
  EXPECT_EQ("", Text());

  // The stop request reaches a thread that has unread bytes lying about.
  port.Close();
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.ThreadCreated());
}

TEST_F(UnreadBytes, AHandlerThatReadsLessIsToldAboutTheRestInOrder) {
  NoteAndRead(1);
  port.Open();
  sim.Send(kPort, "xyz");
  ASSERT_TRUE(WaitUntil([&] { return Text().size() >= 3; }));
  Sleep(300);
  EXPECT_EQ("xyz", Text());
  EXPECT_EQ((std::vector<int32_t>{3, 2, 1}), Counts());
  EXPECT_EQ(0, port.QueuedInputCount());
  // The port keeps delivering after its queue was emptied by the handler.
  sim.Send(kPort, "uv");
  ASSERT_TRUE(WaitUntil([&] { return Text().size() >= 5; }));
  EXPECT_EQ("xyzuv", Text());
  EXPECT_EQ((std::vector<int32_t>{3, 2, 1, 2, 1}), Counts());
}

}  // namespace
}  // namespace ra03v
