// Opening the port through the document: the resets and the automatic responses.
#include <gtest/gtest.h>

#include "autopilot/Autopilot.h"
#include "time/Clock.h"
#include "link/SerialPort.h"
#include "support/FakePort.h"
#include "support/TestSupport.h"
#include "terminal/HistoryModel.h"
#include "terminal/NamiDoc.h"
#include "transfer/Transfers.h"

namespace nami {
namespace {

TEST(NamiDocPort, OpenPortResetsTheDocumentAndLoadsResponses) {
  test::TempDir dir;
  CSettings settings(dir.File("NAMI.INI"));
  settings.Set(keys::Event[0], "Password:");
  settings.Set(keys::Response[0], "secret");
  settings.Set(keys::Response[1], "ignored without its trigger");
  settings.Set(keys::Event[2], "Name?");
  test::RecordingSink ui;
  CNamiDoc doc(settings, ui);
  auto owned = std::make_unique<test::FakePort>();
  test::FakePort* port = owned.get();
  doc.SetPort(std::move(owned));
  // The parts that keep state for one opening: the autopilot's run state,
  // the transfers, the marks.
  CManualClock clock{0};
  CAutopilot pilot(doc, clock);
  CRunState& run = pilot.State();
  CTransfers transfers(doc, clock);
  CHistoryModel history(doc);
  test::WriteFile(dir.File("u.upl"), "upload");
  ASSERT_TRUE(transfers.StartUpload(dir.File("u.upl")));
  ASSERT_TRUE(transfers.StartCapture(dir.File("c.dwn")));
  transfers.StartPasteSend(0, "paste");
  ASSERT_TRUE(transfers.Uploading() && transfers.Capturing() && transfers.PasteSending());

  run.Raise(RunEvent::StepFault);  // a step holds the commands
  run.SelectSteps(StepChoice{false, false, false});
  const std::uint64_t openings = run.Openings();  // a mail file started now goes no further after the opening
  ASSERT_TRUE(run.OpenLog(LogKind::List, dir.File("list.log"), CTextFile::Mode::Truncate));
  ASSERT_TRUE(run.OpenLog(LogKind::Mail, dir.File("mail.log"), CTextFile::Mode::Append));
  history.SetMarks({5, 9});
  doc.OpenPortFromProfile();

  EXPECT_EQ(port->lastConfig, "COM2:9600,n,8,1,n");
  EXPECT_TRUE(run.Idle() && run.Steps().list && run.Steps().read && run.Steps().send && run.Openings() != openings);
  EXPECT_FALSE(transfers.Uploading() || transfers.Capturing() || transfers.PasteSending() || run.ListReading() ||
               run.MailReading());
  EXPECT_EQ(history.Marks().first, 0);
  EXPECT_EQ(history.Marks().last, 0);
  EXPECT_EQ(doc.Responses[0].trigger, "Password:");
  EXPECT_EQ(doc.Responses[0].response, "secret");
  EXPECT_EQ(doc.Responses[1].trigger, "");
  EXPECT_EQ(doc.Responses[1].response, "");
  EXPECT_EQ(doc.Responses[2].trigger, "Name?");
  EXPECT_EQ(doc.Responses[2].response, "");
  EXPECT_TRUE(ui.messages.empty());

  // The profile's own configuration is used when present.
  settings.Set(keys::ComStatus, "COM3:1200,n,8,1,x");
  doc.OpenPortFromProfile();
  EXPECT_EQ(port->lastConfig, "COM3:1200,n,8,1,x");
}

TEST(NamiDocPort, MissingDeviceShowsTheMessageOnce) {
  test::TempDir dir;
  CSettings settings(dir.File("NAMI.INI"));
  settings.SetDevicePath("COM2", dir.File("no-such-tty"));
  test::RecordingSink ui;
  CNamiDoc doc(settings, ui);
  doc.SetPort(std::make_unique<CSerialPort>([&](const std::string& name) { return settings.DevicePath(name); }));
  doc.OpenPortFromProfile();
  ASSERT_EQ(ui.messages.size(), 1u);
  // The fixed text, then the device and the system's reason.
  EXPECT_EQ(ui.messages[0], "ＣＯＭﾎﾟｰﾄを再設定し再度実行して下さい\n" + dir.File("no-such-tty") +
                                ": ファイルまたはデバイスがありません");
  char buf[8];
  EXPECT_EQ(doc.ReadAvailable(buf, sizeof buf), 0u);
  EXPECT_EQ(doc.SendText("x"), 0u);
}

}  // namespace
}  // namespace nami
