// The application's side of the automation interface, on a running frame:
// the window appears on request, and an upload's caller is answered when the
// upload has ended.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "UiTestSupport.h"
#include "ui/AutomationBridge.h"

namespace nami {
namespace {

using test::FrameFixture;

struct BridgeFixture : FrameFixture {
  BridgeFixture()
      : bridge(
            *session, [this]() -> QWidget* { return frame.get(); }, [this] { frame->UpdateCommands(); }) {}
  CAutomationBridge bridge;
};

TEST(AutomationBridge, ShowWindowShowsTheHiddenFrame) {
  BridgeFixture f;
  ASSERT_FALSE(f.frame->isVisible());
  f.bridge.ShowWindow();
  EXPECT_TRUE(f.frame->isVisible());
  f.frame->showMinimized();
  f.bridge.ShowWindow();
  EXPECT_FALSE(f.frame->isMinimized());
}

TEST(AutomationBridge, UploadAnswersWhenTheUploadHasEnded) {
  BridgeFixture f;
  const std::string path = f.dir.File("up.txt");
  test::WriteFile(path, "one\ntwo\n");
  int answers = 0;
  f.port->queueCount = 1;  // held until the port takes bytes
  bool ok = false;
  f.bridge.UploadFile(path, [&](bool result, const std::string&) {
    ++answers;
    ok = result;
  });
  EXPECT_TRUE(f.session->Transfers().Uploading());
  FrameFixture::Pump(100);
  EXPECT_EQ(answers, 0);

  // A second request while one runs is refused at once and changes nothing.
  int second = 0;
  std::string why;
  f.bridge.UploadFile(f.dir.File("other.txt"), [&](bool result, const std::string& reason) {
    second += result ? 100 : 1;
    why = reason;
  });
  EXPECT_EQ(second, 1);
  EXPECT_NE(why.find("already running"), std::string::npos);

  f.port->queueCount = 0;
  QElapsedTimer t;
  t.start();
  while (answers == 0 && t.elapsed() < 5000) FrameFixture::Pump(5);
  EXPECT_EQ(answers, 1);
  EXPECT_TRUE(ok);
  EXPECT_EQ(f.port->sent, "one\rtwo\r");
  EXPECT_EQ(f.bridge.PendingUploads(), 0);

  // A file that cannot be opened: false at once, with the file and the reason.
  int missing = 0;
  f.bridge.UploadFile(f.dir.File("missing.txt"), [&](bool result, const std::string& reason) {
    missing += result ? 100 : 1;
    why = reason;
  });
  EXPECT_EQ(missing, 1);
  EXPECT_NE(why.find("missing.txt: No such file or directory"), std::string::npos) << why;
  EXPECT_FALSE(f.session->Transfers().Uploading());
}

TEST(AutomationBridge, QuittingAnswersAWaitingUploadCaller) {
  BridgeFixture f;
  const std::string path = f.dir.File("up.txt");
  test::WriteFile(path, std::string(100, 'z'));
  f.port->queueCount = 1;
  int answers = 0;
  f.bridge.UploadFile(path, [&](bool, const std::string&) { ++answers; });
  f.bridge.FinishPending();
  EXPECT_EQ(answers, 0) << "the upload still runs";
  f.frame->Shutdown();
  f.bridge.FinishPending();
  EXPECT_EQ(answers, 1);
  EXPECT_FALSE(f.session->Transfers().Uploading());
  EXPECT_EQ(f.port->sent, "");
}

// A long SendOut over a slow port: nothing is dropped, and the caller is
// answered once the last byte is on the line, or told it was not.
TEST(AutomationBridge, LongSendOutGoesOutWholeAndAnswersAtTheEnd) {
  BridgeFixture f;
  f.port->takeAtMost = 4096;  // a port that takes a buffer's worth at a time
  const std::string text(119999, 'x');
  int answers = 0;
  bool ok = false;
  f.bridge.SendOut(text, [&](bool result, const std::string&) {
    ++answers;
    ok = result;
  });
  EXPECT_EQ(answers, 0);
  EXPECT_LT(f.port->sent.size(), text.size());
  QElapsedTimer t;
  t.start();
  while (answers == 0 && t.elapsed() < 20000) FrameFixture::Pump(5);
  EXPECT_EQ(answers, 1);
  EXPECT_TRUE(ok);
  EXPECT_EQ(f.port->sent, text + "\r");

  // Text still queued when the port closes was not sent: the caller hears so.
  f.port->takeAtMost = 0;
  std::string why;
  f.bridge.SendOut("never", [&](bool result, const std::string& reason) {
    answers += result ? 100 : 1;
    why = reason;
  });
  f.frame->Shutdown();
  f.bridge.FinishPending();
  EXPECT_EQ(answers, 2);
  EXPECT_NE(why.find("closed"), std::string::npos);
  // And with no port open at all, at once.
  f.bridge.SendOut("x", [&](bool result, const std::string&) { answers += result ? 100 : 1; });
  EXPECT_EQ(answers, 3);
}

}  // namespace
}  // namespace nami
