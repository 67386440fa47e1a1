// A message box raised by an autopilot step runs no nested event loop: the
// step has decided before the box appears, no state machine moves on while
// it is up, and nothing touches a frame that is gone (run under
// AddressSanitizer by scripts/test-sanitize).
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include "UiTestSupport.h"
#include "ui/Command.h"

namespace nami::test {
namespace {

QMessageBox* OpenBox() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
  return nullptr;
}

TEST(MessageBox, ABoxFromAStepLetsNoStepMoveOnWhileItIsUp) {
  struct Case {
    const char* name;
    Command command;
    const char* sent;  // all that may go out
  };
  const Case cases[] = {
      {"list step", Command::ListRead, ""},
      // The run ends as "log not writable" and logs off, once.
      {"auto-mode run", Command::AutoModeStart,
       "\x03\rCONNECT QZ1ABC\r"
       "B\r\x03"
       "D\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameFixture f;
    f.frame->messageHandler = nullptr;  // the real box
    f.frame->show();
    f.frame->Heartbeat().Start();
    f.settings->Set(keys::Call, "QZ1ABC");
    f.settings->Set(keys::Field[0], "L");
    f.settings->Set(keys::ListFile, f.dir.Path());  // a folder: the list log cannot be opened
    f.port->Deliver("QZ1ABC BBS>\r\n");             // the prompt, answering the connect
    // Anything still waiting would take these as its prompt and go on.
    // A nested loop would run this before the command returns (and close
    // the box so that the test goes on).
    bool returned = false, nested = false;
    QTimer::singleShot(0, [&] {
      nested = !returned;
      if (nested && OpenBox()) OpenBox()->accept();
    });
    f.frame->Action(c.command)->trigger();
    returned = true;
    FrameFixture::Pump(300);
    QMessageBox* box = OpenBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains(QString::fromStdString(f.dir.Path()))) << box->text().toStdString();
    EXPECT_FALSE(nested);
    f.port->Deliver("QZ1ABC BBS>\r\n");
    f.port->Deliver("*** DISCONNECTED\r\n");
    FrameFixture::Pump(300);
    EXPECT_EQ(f.port->sent, c.sent);
    EXPECT_FALSE(f.session->Autopilot().Busy());
    if (c.command == Command::AutoModeStart) {  // the status bar tells how the run ended
      EXPECT_TRUE(f.frame->RunEndText().contains(QStringLiteral("ファイルに書けない")))
          << f.frame->RunEndText().toStdString();
    }
    box->accept();
    FrameFixture::Pump(50);
    EXPECT_EQ(f.port->sent, c.sent);
  }
}

// The window notices a vanished device, ends the run as link lost, and
// opens the device again every few seconds, quietly, once it is back.
TEST(PortRecovery, TheWindowReopensAVanishedDevice) {
  FrameFixture f;
  f.frame->Heartbeat().Start();
  f.settings->Set(keys::Field[0], "L");
  f.frame->Action(Command::AutoModeStart)->trigger();
  ASSERT_TRUE(f.session->Autopilot().Busy());
  const int opens = f.port->openCount;
  f.port->failOpen = true;
  f.port->Vanish("/dev/ttyUSB0: the device was lost (hang-up)");
  FrameFixture::Pump(150);
  EXPECT_FALSE(f.session->Autopilot().Busy());
  EXPECT_EQ(f.session->Autopilot().LastEnd().outcome, RunOutcome::LinkLost);
  ASSERT_EQ(f.messages.size(), 1);
  EXPECT_TRUE(f.messages[0].contains(QStringLiteral("link lost: /dev/ttyUSB0"))) << f.messages[0].toStdString();
  EXPECT_EQ(f.port->openCount, opens) << "not before the pause";

  for (int i = 1; i <= 3; ++i) {  // three tries while the device is away, said once
    f.clock.AdvanceMs(CStation::kReopenMs);
    FrameFixture::Pump(150);
    EXPECT_EQ(f.port->openCount, opens + i);
  }
  EXPECT_TRUE(f.frame->statusBar()->currentMessage().startsWith(QStringLiteral("waiting for the port")));
  f.port->failOpen = false;  // plugged back in
  f.clock.AdvanceMs(CStation::kReopenMs);
  FrameFixture::Pump(150);
  EXPECT_TRUE(f.port->open);
  EXPECT_EQ(f.frame->statusBar()->currentMessage(), QStringLiteral("the port is open again: /dev/ttyS1"));
  EXPECT_EQ(f.messages.size(), 1) << "no box for the retries";
}

}  // namespace
}  // namespace nami::test
