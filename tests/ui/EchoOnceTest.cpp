// What a user types in the demo is drawn once, at the TNC's command prompt
// and in converse mode with the BBS, and the status bar names the demo's
// real link.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QInputMethodEvent>
#include <QTest>

#include "UiTestSupport.h"
#include "text/Cp932.h"

namespace nami {
namespace {

using test::FrameFixture;

struct DemoFrame {
  DemoFrame() : settings(dir.File("NAMI.INI")) {
    test::App();
    // An earlier run switched the demo to a network link; the demo starts on
    // the simulator all the same.
    settings.SetDevicePath("COM2", "agw://localhost:1");
    session = std::make_unique<CStation>(settings, clock, true);
    frame = std::make_unique<CMainFrame>(*session, recent);
    session->NewDocument();
    frame->show();
    view = frame->TerminalPane();
    view->setFocus();
    QApplication::setActiveWindow(frame.get());
    FrameFixture::Pump(30);
  }
  // Runs the simulated TNC and the window for `ms` of the manual clock.
  void Run(int ms) {
    for (int t = 0; t < ms; t += 50) {
      clock.AdvanceMs(50);
      session->Doc().Sending().Run();
      frame->Heartbeat().RunTick();
      QApplication::processEvents();
    }
  }
  std::string Current() const { return Cp932ToUtf8(session->Core().CurrentLine()); }
  // The right end of the ink in the caret's row, in pane pixels.
  int InkEnd() const {
    const QImage img = view->grab().toImage();
    const QRect caret = view->CaretRect();
    const QColor ground = view->palette().color(QPalette::Base);
    int end = 0;
    for (int y = caret.top(); y <= caret.bottom() && y < img.height(); ++y)
      for (int x = 0; x < caret.left() + 40 && x < img.width(); ++x)
        if (x < caret.left() && img.pixelColor(x, y) != ground) end = std::max(end, x);
    return end;
  }

  test::TempDir dir;
  CSettings settings;
  CManualClock clock{1796000000};
  std::unique_ptr<CStation> session;
  CRecentFiles recent{CRecentFiles::PathBeside(dir.File("NAMI.INI"))};
  std::unique_ptr<CMainFrame> frame;
  CNamiView* view = nullptr;
};

TEST(EchoOnce, TypedTextIsDrawnOnceInCommandAndConverseMode) {
  DemoFrame d;
  d.Run(500);
  EXPECT_EQ(d.settings.DevicePath("COM2"), "sim:");
  EXPECT_TRUE(d.frame->LinkLight()->Text().endsWith(QStringLiteral("シミュレーター")))
      << d.frame->LinkLight()->Text().toStdString();
  ASSERT_EQ(d.Current(), "cmd:");
  const QFontMetrics fm(d.view->TerminalFont());
  const int start = d.view->CaretRect().left();

  QTest::keyClicks(d.view, "MYCALL");
  d.Run(300);
  EXPECT_EQ(d.Current(), "cmd:MYCALL");
  EXPECT_EQ(d.view->CaretRect().left(), start + fm.horizontalAdvance(QStringLiteral("MYCALL")));
  EXPECT_LT(d.InkEnd(), d.view->CaretRect().left()) << "the ink ends at the caret";

  // Connected, at the BBS's prompt: converse mode.
  QTest::keyClick(d.view, Qt::Key_Return);
  QTest::keyClicks(d.view, "C QZ1ABC");
  QTest::keyClick(d.view, Qt::Key_Return);
  d.Run(5000);
  bool connected = false;
  const CLineStore& lines = d.session->Doc().Lines();
  for (std::size_t i = 0; i < lines.LineCount(); ++i)
    connected |= lines.LineAt(i).find("*** CONNECTED to QZ1ABC") != std::string::npos;
  ASSERT_TRUE(connected) << lines.LastLine() << " / " << d.Current();
  const std::string prompt = d.Current();
  QTest::keyClicks(d.view, "HELLO");
  d.Run(300);
  EXPECT_EQ(d.Current(), prompt + "HELLO");
  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("日本語"));
  QApplication::sendEvent(d.view, &commit);
  d.Run(300);
  EXPECT_EQ(d.Current(), prompt + "HELLO日本語");
  EXPECT_LT(d.InkEnd(), d.view->CaretRect().left());
}

}  // namespace
}  // namespace nami
