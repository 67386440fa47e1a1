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
  f.bridge.UploadFile(path, [&] { ++answers; });
  EXPECT_TRUE(f.session->Doc().Uploading);
  FrameFixture::Pump(100);
  EXPECT_EQ(answers, 0);

  // A second request while one runs is answered at once and changes nothing.
  int second = 0;
  f.bridge.UploadFile(f.dir.File("other.txt"), [&] { ++second; });
  EXPECT_EQ(second, 1);

  f.port->queueCount = 0;
  QElapsedTimer t;
  t.start();
  while (answers == 0 && t.elapsed() < 5000) FrameFixture::Pump(5);
  EXPECT_EQ(answers, 1);
  EXPECT_EQ(f.port->sent, "one\rtwo\r");
  EXPECT_EQ(f.bridge.PendingUploads(), 0);

  // A file that cannot be opened: answered at once.
  int missing = 0;
  f.bridge.UploadFile(f.dir.File("missing.txt"), [&] { ++missing; });
  EXPECT_EQ(missing, 1);
  EXPECT_FALSE(f.session->Doc().Uploading);
}

TEST(AutomationBridge, QuittingAnswersAWaitingUploadCaller) {
  BridgeFixture f;
  const std::string path = f.dir.File("up.txt");
  test::WriteFile(path, std::string(100, 'z'));
  f.port->queueCount = 1;
  int answers = 0;
  f.bridge.UploadFile(path, [&] { ++answers; });
  f.bridge.FinishPending();
  EXPECT_EQ(answers, 0) << "the upload still runs";
  f.frame->Shutdown();
  f.bridge.FinishPending();
  EXPECT_EQ(answers, 1);
  EXPECT_FALSE(f.session->Doc().Uploading);
  EXPECT_EQ(f.port->sent, "");
}

}  // namespace
}  // namespace nami
