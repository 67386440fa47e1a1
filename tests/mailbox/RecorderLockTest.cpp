// The recorder beside another program that keeps the store locked for
// longer than the busy timeout.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "mailbox/MailStore.h"
#include "mailbox/Recorder.h"
#include "support/TestSupport.h"

namespace nami::mailbox {
namespace {

TEST(MailboxRecorder, AStoreLockedByAnotherProgramIsToldOnceThenLeftAloneAndCaughtUp) {
  test::TempDir dir;
  const std::string list = "1201  BN   100 ALL    @WW     QZ1AAA 261207/0900 one\r\n"
                           "1202  BN   100 ALL    @WW     QZ1AAA 261207/0900 two\r\n";
  test::WriteFile(dir.File("list.log"), list);
  std::int64_t now = 1000;
  SRecorderSetup setup;
  setup.storePath = dir.File("mailbox.sqlite");
  setup.profile = "p";
  setup.bbs = "QZ1ABC";
  setup.prompt = "QZ1ABC>";
  setup.listLog = dir.File("list.log");
  setup.mailLog = dir.File("mail.log");
  setup.now = [&now] { return now; };
  CMailboxRecorder rec(setup);

  CMailStore other(setup.storePath);
  ASSERT_FALSE(other.Open());
  SOutgoing queued{0, "p", "QZ1ABC", "QZ2KLM", "", false, "s", "b", "/x", "queued", 0, "", 5, 0};
  ASSERT_FALSE(other.AddOutgoing(queued));
  ASSERT_FALSE(other.Begin());  // holds the write lock
  const std::optional<StoreFault> first = rec.OnListLine(list.substr(0, list.find('\r')));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, FaultKind::Locked) << first->Text();
  // Within the pause nothing is tried (no second wait) and nothing told.
  now += 30;
  EXPECT_FALSE(rec.OnListLine(list.substr(list.find('\n') + 1, list.rfind('\r') - list.find('\n') - 1)));
  EXPECT_TRUE(rec.Behind());
  EXPECT_FALSE(rec.OnMailSent(0, "Message #1 stored."));

  ASSERT_FALSE(other.Commit());
  now += CMailboxRecorder::kLockedPauseSeconds;
  EXPECT_FALSE(rec.CatchUp());
  EXPECT_FALSE(rec.Behind());
  CSqlDb db;
  ASSERT_EQ(db.Open(setup.storePath, SQLITE_OPEN_READONLY), SQLITE_OK);
  CStmt entries(db, "SELECT count(*) FROM list_entries");
  ASSERT_EQ(entries.Step(), SQLITE_ROW);
  EXPECT_EQ(entries.Int(0), 2);
  CStmt sent(db, "SELECT state, answer FROM outgoing");
  ASSERT_EQ(sent.Step(), SQLITE_ROW);
  EXPECT_EQ(sent.Text(0), "sent");  // the mail sent meanwhile, which no log keeps
  EXPECT_EQ(sent.Text(1), "Message #1 stored.");
}

}  // namespace
}  // namespace nami::mailbox
