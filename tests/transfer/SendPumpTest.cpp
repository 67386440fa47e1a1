#include <poll.h>

#include "TransferFixture.h"
#include "transfer/SendPump.h"

namespace nami::test {
namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

using SendPumpTest = TransferTest;

TEST_F(SendPumpTest, StepsInBurstsAndArmsAgainWhileSendersRemain) {
  CWritePacer pacer;
  CSendPump pump(doc, pacer);
  pump.Attach();  // the fake port has no descriptor: the pacer signals at once
  pump.Kick();
  EXPECT_FALSE(Readable(pacer.NotifyFd())) << "nothing to send, nothing to signal";

  WriteFile(dir.File("u.upl"), std::string(100, 'u'));
  ASSERT_TRUE(transfers.StartUpload(dir.File("u.upl")));
  pump.Kick();
  ASSERT_TRUE(Readable(pacer.NotifyFd()));
  const int first = pump.OnReady();
  EXPECT_GE(first, 1);
  EXPECT_LE(first, CSendPump::kBurst);
  EXPECT_EQ(port->TakeSent().size(), static_cast<std::size_t>(first));
  EXPECT_TRUE(Readable(pacer.NotifyFd())) << "armed again: the upload is not done";

  port->queueCount = 1;  // a held queue: steps send nothing
  pump.OnReady();
  EXPECT_EQ(port->TakeSent(), "");
  port->queueCount = 0;
  std::size_t total = static_cast<std::size_t>(first);
  for (int calls = 0; calls < 10 && Readable(pacer.NotifyFd()); ++calls) {
    EXPECT_LE(pump.OnReady(), CSendPump::kBurst);
    total += port->TakeSent().size();
  }
  EXPECT_EQ(total, 100u) << "bursts, not one byte per signal";
  EXPECT_TRUE(doc.Senders.Empty());
  EXPECT_FALSE(Readable(pacer.NotifyFd())) << "done: no further signal";
}

// A port that takes at most `room` bytes per write that must not wait.
struct NarrowPort : FakePort {
  std::size_t room = 0;
  std::size_t TrySendText(std::string_view bytes) override { return SendText(bytes.substr(0, room)); }
};

// One batch: up to `limit` bytes collected from SendText, one write that
// never waits; what the port leaves waits in the outgoing queue, ahead of
// later text, and the next batch hands it over first.
TEST(BatchedSending, CollectsOneWriteKeepsLeftoversInOrder) {
  const struct {
    std::size_t limit, room;
    std::string later;       // SendText outside a batch, after EndBatch
    std::string firstWrite;  // what EndBatch hands over
    std::string laterWrite;  // what that SendText hands over (nothing while bytes wait)
    std::string nextBatch;   // what the next (empty) batch hands over
    int queuedAfter;         // TransmitQueueCount before the next batch
  } cases[] = {
      {8, 100, "", "abcdefgh", "", "", 0},    // the batch fills at the limit
      {8, 3, "", "abc", "", "defgh", 5},      // the port takes 3: 5 wait
      {8, 3, "XY", "abc", "", "defghXY", 7},  // later text queues behind them
      {4, 0, "", "", "", "abcd", 4},          // a full port takes nothing yet
  };
  for (const auto& c : cases) {
    TempDir dir;
    CSettings settings(dir.File("NAMI.INI"));
    RecordingSink ui;
    CNamiDoc doc(settings, ui);
    auto owned = std::make_unique<NarrowPort>();
    NarrowPort* port = owned.get();
    doc.SetPort(std::move(owned));
    doc.OpenPort("COM1:9600,n,8,1,n");
    port->room = c.room;
    doc.BeginBatch(c.limit);
    for (char ch : std::string("abcdefghijkl")) {
      if (doc.TransmitQueueCount() != 0) break;  // what every sender checks
      doc.SendText(std::string(1, ch));
    }
    EXPECT_TRUE(doc.BatchFull());
    doc.EndBatch();
    EXPECT_EQ(port->TakeSent(), c.firstWrite) << c.limit << "/" << c.room;
    if (!c.later.empty()) {
      EXPECT_EQ(doc.SendText(c.later), c.later.size());
    }
    EXPECT_EQ(port->TakeSent(), c.laterWrite) << "in order: nothing jumps the queue";
    EXPECT_EQ(doc.TransmitQueueCount(), c.queuedAfter);
    port->room = 100;
    doc.BeginBatch(c.limit);
    doc.EndBatch();
    EXPECT_EQ(port->TakeSent(), c.nextBatch) << c.limit << "/" << c.room;
    EXPECT_EQ(doc.OutgoingBytes(), 0u);
  }
}

TEST(BatchedSending, ReopeningThePortDropsWhatItHadNotTaken) {
  TempDir dir;
  CSettings settings(dir.File("NAMI.INI"));
  RecordingSink ui;
  CNamiDoc doc(settings, ui);
  auto owned = std::make_unique<NarrowPort>();
  NarrowPort* port = owned.get();
  doc.SetPort(std::move(owned));
  doc.OpenPort("COM1:9600,n,8,1,n");
  doc.BeginBatch(10);
  doc.SendText("0123456789");
  doc.EndBatch();
  EXPECT_EQ(doc.OutgoingBytes(), 10u);
  doc.OpenPort("COM1:9600,n,8,1,n");
  EXPECT_EQ(doc.OutgoingBytes(), 0u);
  EXPECT_EQ(doc.Discarded(), 10u) << "counted for callers waiting on it";
  EXPECT_EQ(doc.TransmitQueueCount(), 0);
  port->room = 100;
  doc.SendText("new");
  EXPECT_EQ(port->TakeSent(), "new");
}

// A port that takes `room` bytes of a write and then, when told, finds its
// device gone (a pulled USB adapter).
struct VanishingPort : FakePort {
  std::size_t room = 0;
  bool vanish = false;
  std::size_t TrySendText(std::string_view bytes) override {
    const std::size_t taken = SendText(bytes.substr(0, room));
    if (vanish) Vanish("gone");
    return taken;
  }
};

// Every way bytes reach the port: what it did not take when it went is
// counted as thrown away, nothing stays queued, and the shell is asked for
// a tick (which reports the lost link) once.
TEST(BatchedSending, AWriteThatFindsThePortGoneDropsTheRestAndSaysSo) {
  enum class Way { Direct, Batch, QueuedThenStepped };
  for (Way way : {Way::Direct, Way::Batch, Way::QueuedThenStepped}) {
    TempDir dir;
    CSettings settings(dir.File("NAMI.INI"));
    RecordingSink ui;
    CNamiDoc doc(settings, ui);
    auto owned = std::make_unique<VanishingPort>();
    VanishingPort* port = owned.get();
    doc.SetPort(std::move(owned));
    doc.OpenPort("COM1:9600,n,8,1,n");
    int lost = 0;
    doc.OnPortLost = [&] { ++lost; };
    port->room = 3;
    port->vanish = way != Way::QueuedThenStepped;
    if (way == Way::Batch) {
      doc.BeginBatch(100);
      EXPECT_EQ(doc.SendText("0123456789"), 10u);
      doc.EndBatch();
    } else {
      EXPECT_EQ(doc.SendText("0123456789"), 10u);
    }
    if (way == Way::QueuedThenStepped) {
      EXPECT_EQ(doc.OutgoingBytes(), 7u);
      EXPECT_FALSE(doc.Senders.Empty()) << "the queue keeps the stack busy";
      port->vanish = true;
      doc.Senders.Step();
    }
    const int w = static_cast<int>(way);
    EXPECT_EQ(lost, 1) << w;
    const std::uint64_t written = way == Way::QueuedThenStepped ? 6u : 3u;
    EXPECT_EQ(doc.Written(), written) << w;
    EXPECT_EQ(doc.Discarded(), 10u - written) << w;
    EXPECT_EQ(doc.OutgoingBytes(), 0u) << w;
    EXPECT_TRUE(doc.Senders.Empty()) << w;
    EXPECT_EQ(doc.SendText("x"), 0u) << "a closed port accepts nothing";
  }
}

TEST_F(SendPumpTest, AFileGoesOutInBatchesOfTheLinesTime) {
  CWritePacer pacer;
  CSendPump pump(doc, pacer);
  pump.Attach();
  WriteFile(dir.File("big.upl"), std::string(1000, 'b'));
  ASSERT_TRUE(transfers.StartUpload(dir.File("big.upl")));
  pump.Kick();
  for (int calls = 0; calls < 100 && Readable(pacer.NotifyFd()); ++calls) pump.OnReady();
  EXPECT_EQ(port->sent, std::string(1000, 'b'));
  // A port without a descriptor takes kNoPortBatch bytes per write.
  ASSERT_FALSE(port->writes.empty());
  EXPECT_EQ(port->writes.size(), (1000 + CWritePacer::kNoPortBatch - 1) / CWritePacer::kNoPortBatch);
  EXPECT_EQ(port->writes.front().size(), CWritePacer::kNoPortBatch);
}

}  // namespace
}  // namespace nami::test
