// The ready-made GetLine and SendOut behaviour over the core objects.
#include <gtest/gtest.h>

#include <memory>

#include "automation/AutomationActions.h"
#include "support/FakePort.h"
#include "support/TestSupport.h"
#include "terminal/LineStore.h"
#include "terminal/NamiDoc.h"

namespace nami {
namespace {

TEST(AutomationGetLine, FollowsEvictionAtCapacity) {
  CLineStore lines;
  for (std::size_t i = 0; i < CLineStore::kCapacity + 5; ++i) lines.AddLine(std::to_string(i));
  const auto count = static_cast<long long>(CLineStore::kCapacity);
  EXPECT_EQ(AutomationGetLine(lines, 1), std::to_string(CLineStore::kCapacity + 4));
  EXPECT_EQ(AutomationGetLine(lines, count), "5");  // the oldest kept line
  EXPECT_EQ(AutomationGetLine(lines, count + 1), "");
  EXPECT_EQ(AutomationGetLine(lines, 1LL << 40), "");
}

TEST(AutomationSendOut, WritesTextAndCrInOneWrite) {
  test::TempDir dir;
  CSettings settings(dir.File("NAMI.INI"));
  test::RecordingSink sink;
  CNamiDoc doc(settings, sink);
  auto port = std::make_unique<test::FakePort>();
  test::FakePort& fake = *port;
  doc.SetPort(std::move(port));
  fake.Open("COM2:9600,n,8,1,n");

  EXPECT_EQ(AutomationSendOut(doc, "B"), 2u);
  ASSERT_EQ(fake.writes.size(), 1u);
  EXPECT_EQ(fake.writes[0], std::string("B\r"));
  EXPECT_EQ(AutomationSendOut(doc, ""), 1u);
  EXPECT_EQ(fake.writes.back(), "\r");
  EXPECT_TRUE(sink.updates.empty());  // nothing is shown
  EXPECT_TRUE(doc.Lines().LineCount() == 0);

  // What the port does not take waits, in order, and goes out as it takes more.
  fake.takeAtMost = 3;
  EXPECT_EQ(AutomationSendOut(doc, "ABCDEFG"), 8u);
  EXPECT_EQ(AutomationSendOut(doc, "H"), 2u);
  EXPECT_EQ(fake.sent, "B\r\rABC");
  EXPECT_EQ(doc.Sending().Queued(), 7u);
  EXPECT_GT(doc.Sending().QueueCount(), 0);  // senders wait behind the queued text
  while (doc.Sending().Step()) {
  }
  EXPECT_EQ(fake.sent, "B\r\rABCDEFG\rH\r");
  EXPECT_EQ(doc.Sending().Written(), doc.Sending().Accepted());
  EXPECT_EQ(doc.Sending().Discarded(), 0u);

  // Text queued when the port closes is counted as not sent; a closed port takes nothing.
  fake.takeAtMost = 0;
  AutomationSendOut(doc, "lost");
  doc.ClosePort();
  EXPECT_EQ(doc.Sending().Discarded(), 5u);
  EXPECT_EQ(AutomationSendOut(doc, "X"), 0u);
}

}  // namespace
}  // namespace nami
