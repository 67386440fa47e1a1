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

}  // namespace
}  // namespace nami::test
