// A station kept in a folder with a Japanese name: NAMI.INI holds its paths
// in CP932, the file system names them in UTF-8.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/StationRig.h"
#include "document/DocumentFile.h"
#include "transfer/Transfers.h"

namespace nami::test {
namespace {

TEST(JapaneseFolder, AnAutopilotRunReadsAndWritesEveryFileThere) {
  StationRig rig;
  const std::string folder = rig.dir.File("ドキュメント");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string mail = folder + "/送信メール.UPL";
  WriteFile(mail, "SP QZ2KLM\r\n" + Sjis("東京から") + "\r\nHello.\r\n");

  // The document "東京.nmi" there uses section [東京], holding the paths as
  // the Windows program wrote them: CP932.
  rig.doc.SetPathName(folder + "/東京.nmi");
  EXPECT_EQ(rig.settings.ProfileSection(), Sjis("東京"));
  rig.settings.CopyProfileFrom(CSettings::UntitledTitle());
  const struct {
    const KeySpec& key;
    std::string path;
  } stored[] = {
      {keys::ListFile, folder + "/リスト.log"}, {keys::MailFile, folder + "/メール.log"}, {keys::Send[0], mail}};
  for (const auto& s : stored) ASSERT_TRUE(rig.settings.Set(s.key, Sjis(s.path))) << s.key.name;

  CTransfers transfers(rig.doc, rig.clock);
  ASSERT_TRUE(transfers.StartCapture(folder + "/受信.DWN"));
  rig.pilot.Run(AutoCommand::AutoMode);
  ASSERT_TRUE(rig.RunUntilIdle());
  EXPECT_EQ(rig.pilot.LastResult(), CAutopilot::RunResult::Completed) << rig.pilot.LastAbortReason();
  transfers.CaptureStop();

  // The mail went out and its key was emptied; each log holds what it should.
  const sim::SMessage* sent = rig.Base().Find(1231);
  ASSERT_NE(sent, nullptr);
  EXPECT_EQ(sent->subject, Sjis("東京から"));
  EXPECT_EQ(rig.Setting(keys::Send[0]), "");
  EXPECT_NE(ReadFile(folder + "/リスト.log").find("Msg#"), std::string::npos);
  EXPECT_NE(ReadFile(folder + "/メール.log").find("Subject: "), std::string::npos);
  EXPECT_NE(ReadFile(folder + "/受信.DWN").find("QZ1ABC BBS>"), std::string::npos);

  // The document saves there and opens again.
  FileFault error;
  ASSERT_TRUE(SaveDocument(rig.doc.Lines(), folder + "/東京.nmi", error)) << error;
  CLineStore reopened;
  ASSERT_TRUE(LoadDocument(reopened, folder + "/東京.nmi", error)) << error;
  EXPECT_EQ(reopened.LineCount(), rig.doc.Lines().LineCount());
  EXPECT_NE(ReadFile(rig.settings.Path()).find("[" + Sjis("東京") + "]\r\n"), std::string::npos);
}

}  // namespace
}  // namespace nami::test
