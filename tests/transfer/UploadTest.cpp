#include "TransferFixture.h"
#include "transfer/Upload.h"

namespace nami::test {
namespace {

using UploadTest = TransferTest;

TEST_F(UploadTest, SendsOneByteOnlyWhenTheQueueIsEmptyWithLineEndsAsCr) {
  WriteFile(dir.File("a.upl"), "AB\r\nC");
  ASSERT_TRUE(transfers.StartUpload(dir.File("a.upl")));
  EXPECT_TRUE(transfers.Uploading());

  std::vector<std::string> writes;
  port->queueCount = 1;
  for (int i = 0; i < 3; ++i) doc.Sending().Step();
  EXPECT_TRUE(port->writes.empty()) << "nothing goes while the queue holds bytes";
  while (!doc.Sending().Idle()) {
    port->queueCount = 0;
    doc.Sending().Step();
    for (auto& w : port->writes) writes.push_back(w);
    port->writes.clear();
    port->queueCount = 3;
    doc.Sending().Step();
    EXPECT_TRUE(port->writes.empty());
  }
  EXPECT_EQ(writes, (std::vector<std::string>{"A", "B", "\r", "C"}));
  EXPECT_FALSE(transfers.Uploading()) << "the upload ends with its last byte";
  EXPECT_TRUE(ui.messages.empty());
}

// The message names the file as the file system spells it, also where
// CP932 has no form for a character.
TEST_F(UploadTest, AMissingFileIsNamedInUtf8WhateverItsCharacters) {
  const std::string names[] = {"受信ログ.upl", "메일😀.upl", "Ünïcode ½.upl"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ui.messages.clear();
    EXPECT_FALSE(transfers.StartUpload(dir.File(name)));
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{"ファイルが見つかりません\n" + dir.File(name) + ": No such file or directory"});
  }
}

TEST_F(UploadTest, LoneLfAndLoneCrAndCtrlZ) {
  WriteFile(dir.File("b.upl"), std::string("x\ny\rz\x1Aw\r", 8));
  ASSERT_TRUE(transfers.StartUpload(dir.File("b.upl")));
  EXPECT_EQ(RunSenders(5), std::string("x\ry\rz\x1Aw\r", 8));
  EXPECT_FALSE(transfers.Uploading());
}

TEST_F(UploadTest, EmptyFileEndsAtOnceAndMissingFileIsReported) {
  WriteFile(dir.File("empty.upl"), "");
  ASSERT_TRUE(transfers.StartUpload(dir.File("empty.upl")));
  port->queueCount = 2;
  EXPECT_FALSE(doc.Sending().Step());
  EXPECT_FALSE(transfers.Uploading());
  EXPECT_EQ(port->sent, "");

  EXPECT_FALSE(transfers.StartUpload(dir.File("missing.upl")));
  EXPECT_FALSE(transfers.Uploading());
  EXPECT_TRUE(doc.Sending().Idle());
  EXPECT_EQ(ui.messages, std::vector<std::string>{std::string("ファイルが見つかりません\n") + dir.File("missing.upl") +
                                                  ": No such file or directory"});

  // A folder is no file to upload (the automation may name one).
  EXPECT_FALSE(transfers.StartUpload(dir.Path()));
  EXPECT_FALSE(transfers.Uploading());
  EXPECT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages.back(), std::string("ファイルが見つかりません\n") + dir.Path() + ": is a folder, not a file");
}

TEST_F(UploadTest, StopMidFileThenAgainStartsFromTheBeginning) {
  WriteFile(dir.File("c.upl"), "12345");
  ASSERT_TRUE(transfers.StartUpload(dir.File("c.upl")));
  doc.Sending().Step();
  doc.Sending().Step();
  transfers.StopUpload();
  EXPECT_FALSE(transfers.Uploading());
  EXPECT_TRUE(doc.Sending().Idle());
  EXPECT_EQ(RunSenders(), "12");

  WriteFile(dir.File("d.upl"), "abc");
  ASSERT_TRUE(transfers.StartUpload(dir.File("c.upl")));
  EXPECT_EQ(RunSenders(), "12345");
  ASSERT_TRUE(transfers.StartUpload(dir.File("d.upl")));
  EXPECT_EQ(RunSenders(), "abc");
}

TEST_F(UploadTest, ByNameIsIgnoredWhileAnUploadRuns) {
  WriteFile(dir.File("e.upl"), "first");
  WriteFile(dir.File("f.upl"), "second");
  transfers.UploadByName(dir.File("e.upl"));
  doc.Sending().Step();
  transfers.UploadByName(dir.File("f.upl"));
  EXPECT_EQ(RunSenders(), "first");
  EXPECT_FALSE(transfers.Uploading());
}

TEST_F(UploadTest, ProgressCountsFileBytes) {
  WriteFile(dir.File("g.upl"), "ab\r\ncd");
  ASSERT_TRUE(transfers.StartUpload(dir.File("g.upl")));
  for (int i = 0; i < 3; ++i) doc.Sending().Step();
  EXPECT_EQ(transfers.ProgressText(), "アップロード中 4/6 バイト");
  RunSenders();
  EXPECT_EQ(transfers.ProgressText(), "");
}

}  // namespace
}  // namespace nami::test
