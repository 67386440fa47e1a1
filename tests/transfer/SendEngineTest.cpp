#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "TransferFixture.h"
#include "send/SendEngine.h"

namespace nami::test {
namespace {

bool WaitReadable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) == 1;
}

// A descriptor that is always writable, for a port the pacer watches; the
// bytes themselves go to the fake port's record.
struct Socket {
  Socket() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds); }
  ~Socket() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  int fds[2] = {-1, -1};
};

// A port that takes at most `room` bytes per write that must not wait.
struct NarrowPort : FakePort {
  std::size_t room = 0;
  std::size_t TrySendText(std::string_view bytes) override { return SendText(bytes.substr(0, room)); }
};

using SendEngineTest = TransferTest;

// A port without a descriptor (the in-process simulator): each pass steps
// the senders directly, at most kBurst steps, and stops while the port
// holds bytes; the engine wants its timer only while there is work.
TEST_F(SendEngineTest, StepsInBurstsAndWantsAnotherPassWhileSendersRemain) {
  CSendEngine& engine = doc.Sending();
  engine.Kick();
  EXPECT_EQ(engine.TimerMs(), -1) << "nothing to send, no pass wanted";
  EXPECT_FALSE(engine.Active());

  WriteFile(dir.File("u.upl"), std::string(100, 'u'));
  ASSERT_TRUE(transfers.StartUpload(dir.File("u.upl")));
  engine.Kick();
  ASSERT_EQ(engine.TimerMs(), CSendEngine::kTimerMs);
  auto pass = [&] {
    const long long before = engine.Steps();
    engine.Run();
    return static_cast<int>(engine.Steps() - before);
  };
  const int first = pass();
  EXPECT_GE(first, 1);
  EXPECT_LE(first, CSendEngine::kBurst);
  EXPECT_EQ(port->TakeSent().size(), static_cast<std::size_t>(first));
  EXPECT_EQ(engine.TimerMs(), CSendEngine::kTimerMs) << "another pass: the upload is not done";

  port->queueCount = 1;  // a held queue: the pass sends nothing
  EXPECT_EQ(pass(), 1) << "the port holds bytes: the pass ends";
  EXPECT_EQ(port->TakeSent(), "");
  port->queueCount = 0;
  std::size_t total = static_cast<std::size_t>(first);
  for (int calls = 0; calls < 10 && engine.TimerMs() >= 0; ++calls) {
    EXPECT_LE(pass(), CSendEngine::kBurst);
    total += port->TakeSent().size();
  }
  EXPECT_EQ(total, 100u) << "bursts, not one byte per pass";
  EXPECT_TRUE(engine.Idle());
  EXPECT_EQ(engine.TimerMs(), -1) << "done: no further pass";
  EXPECT_FALSE(engine.Active());
}

// One batch: up to `limit` bytes collected from Send, one write that never
// waits; what the port leaves waits in the outgoing queue, ahead of later
// text, and the next batch hands it over first.
TEST(BatchedSending, CollectsOneWriteKeepsLeftoversInOrder) {
  const struct {
    std::size_t limit, room;
    std::string later;       // Send outside a batch, after EndBatch
    std::string firstWrite;  // what EndBatch hands over
    std::string laterWrite;  // what that Send hands over (nothing while bytes wait)
    std::string nextBatch;   // what the next (empty) batch hands over
    int queuedAfter;         // QueueCount before the next batch
  } cases[] = {
      {8, 100, "", "abcdefgh", "", "", 0},    // the batch fills at the limit
      {8, 3, "", "abc", "", "defgh", 5},      // the port takes 3: 5 wait
      {8, 3, "XY", "abc", "", "defghXY", 7},  // later text queues behind them
      {4, 0, "", "", "", "abcd", 4},          // a full port takes nothing yet
  };
  for (const auto& c : cases) {
    NarrowPort port;
    port.Open("COM1:9600,n,8,1,n");
    COutgoing out;
    out.SetPort(&port);
    port.room = c.room;
    out.BeginBatch(c.limit);
    for (char ch : std::string("abcdefghijkl")) {
      if (out.QueueCount() != 0) break;  // what every sender checks
      out.Send(std::string(1, ch));
    }
    EXPECT_TRUE(out.BatchFull());
    out.EndBatch();
    EXPECT_EQ(port.TakeSent(), c.firstWrite) << c.limit << "/" << c.room;
    if (!c.later.empty()) {
      EXPECT_EQ(out.Send(c.later), c.later.size());
    }
    EXPECT_EQ(port.TakeSent(), c.laterWrite) << "in order: nothing jumps the queue";
    EXPECT_EQ(out.QueueCount(), c.queuedAfter);
    port.room = 100;
    out.BeginBatch(c.limit);
    out.EndBatch();
    EXPECT_EQ(port.TakeSent(), c.nextBatch) << c.limit << "/" << c.room;
    EXPECT_EQ(out.Queued(), 0u);
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
  doc.SendText("0123456789");  // the port takes none of it yet
  EXPECT_EQ(doc.Sending().Queued(), 10u);
  doc.OpenPort("COM1:9600,n,8,1,n");
  EXPECT_EQ(doc.Sending().Queued(), 0u);
  EXPECT_EQ(doc.Sending().Discarded(), 10u) << "counted for callers waiting on it";
  EXPECT_EQ(doc.Sending().QueueCount(), 0);
  port->room = 100;
  doc.SendText("new");
  EXPECT_EQ(port->TakeSent(), "new");
}

// A port that takes `room` bytes of a write and then, when told, finds its
// device gone (a pulled USB adapter); with a descriptor the pacer watches.
struct VanishingPort : FakePort {
  std::size_t room = 0;
  bool vanish = false;
  int fd = -1;
  std::size_t TrySendText(std::string_view bytes) override {
    const std::size_t taken = SendText(bytes.substr(0, room));
    if (vanish) Vanish("gone");
    return taken;
  }
  int PollFd() const override { return fd; }
};

// Sends its text in one step.
struct OneShot : ISender {
  CNamiDoc& doc;
  std::string text;
  OneShot(CNamiDoc& d, std::string t) : doc(d), text(std::move(t)) {}
  bool Step() override {
    doc.SendText(text);
    return false;
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
    Socket socket;
    auto owned = std::make_unique<VanishingPort>();
    VanishingPort* port = owned.get();
    if (way == Way::Batch) port->fd = socket.fds[0];  // paced: the batch of a pass
    doc.SetPort(std::move(owned));
    doc.OpenPort("COM1:9600,n,8,1,n");
    CSendEngine& engine = doc.Sending();
    int lost = 0;
    engine.OnPortLost([&] { ++lost; });
    port->room = 3;
    port->vanish = way != Way::QueuedThenStepped;
    OneShot sender(doc, "0123456789");
    if (way == Way::Batch) {
      engine.UseQueueCounter([](int) { return 0; });
      engine.Push(&sender);
      engine.Kick();
      ASSERT_TRUE(WaitReadable(engine.ReadyFd(), 2000));
      engine.Run();
      EXPECT_EQ(engine.Accepted(), 10u);
      EXPECT_EQ(port->writes.size(), 1u) << "one write for the batch";
    } else {
      EXPECT_EQ(doc.SendText("0123456789"), 10u);
    }
    if (way == Way::QueuedThenStepped) {
      EXPECT_EQ(engine.Queued(), 7u);
      EXPECT_FALSE(engine.Idle()) << "the queue keeps the engine busy";
      port->vanish = true;
      engine.Step();
    }
    const int w = static_cast<int>(way);
    EXPECT_EQ(lost, 1) << w;
    const std::uint64_t written = way == Way::QueuedThenStepped ? 6u : 3u;
    EXPECT_EQ(engine.Written(), written) << w;
    EXPECT_EQ(engine.Discarded(), 10u - written) << w;
    EXPECT_EQ(engine.Queued(), 0u) << w;
    EXPECT_TRUE(engine.Idle()) << w;
    EXPECT_EQ(doc.SendText("x"), 0u) << "a closed port accepts nothing";
    engine.Stop();
  }
}

// A port with a descriptor: the pacer's signal starts a pass, which hands
// over one batch of about 30 ms of line time in one write, and the pacer
// is armed again while the file lasts.
TEST_F(SendEngineTest, AFileGoesOutInBatchesOfTheLinesTime) {
  Socket socket;
  auto owned = std::make_unique<VanishingPort>();
  VanishingPort* paced = owned.get();
  paced->room = 1 << 20;
  paced->fd = socket.fds[0];
  doc.SetPort(std::move(owned));
  doc.OpenPort("COM1:9600,n,8,1,n");
  CSendEngine& engine = doc.Sending();
  engine.UseQueueCounter([](int) { return 0; });  // the driver's queue drains at once
  WriteFile(dir.File("big.upl"), std::string(1000, 'b'));
  ASSERT_TRUE(transfers.StartUpload(dir.File("big.upl")));
  engine.Kick();
  EXPECT_EQ(engine.TimerMs(), -1) << "the pacer, not a timer";
  for (int calls = 0; calls < 200 && !engine.Idle(); ++calls) {
    ASSERT_TRUE(WaitReadable(engine.ReadyFd(), 2000)) << "armed again: the upload is not done";
    engine.Run();
  }
  EXPECT_EQ(paced->sent, std::string(1000, 'b'));
  const std::size_t batch = engine.Pacer().BatchBytes();
  ASSERT_GT(batch, 1u);
  ASSERT_FALSE(paced->writes.empty());
  EXPECT_EQ(paced->writes.size(), (1000 + batch - 1) / batch);
  EXPECT_EQ(paced->writes.front().size(), batch);
  EXPECT_FALSE(WaitReadable(engine.ReadyFd(), 50)) << "done: no further signal";
  engine.Stop();
}

}  // namespace
}  // namespace nami::test
