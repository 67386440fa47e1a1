// The terminal pane: keys to the link, received text on screen, bounded
// repaints, and the screenshot of the main window with Japanese text.
#include <gtest/gtest.h>

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QInputMethodEvent>
#include <QTest>
#include <cstdlib>

#include "UiTestSupport.h"
#include "text/Cp932.h"
#include "ui/Command.h"

namespace nami {
namespace {

using test::FrameFixture;
using test::Sjis;

struct Pane : FrameFixture {
  explicit Pane(const std::string& ini = "") : FrameFixture(ini) {
    frame->show();
    view = frame->TerminalPane();
    view->setFocus();
    QApplication::setActiveWindow(frame.get());
    Pump(20);
    port->TakeSent();
  }
  CNamiView* view;
};

TEST(TerminalPane, TypedCharactersGoToTheLinkOneByteEach) {
  Pane p;
  QTest::keyClicks(p.view, "ABC");
  QTest::keyClick(p.view, Qt::Key_Return);
  EXPECT_EQ(p.port->sent, "ABC\r");
  EXPECT_EQ(p.port->writes.size(), 4u);
  EXPECT_EQ(p.session->Doc().Lines().LineCount(), 0u) << "no local echo by default";

  p.port->TakeSent();
  QTest::keyClick(p.view, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(p.view, Qt::Key_J, Qt::ControlModifier);
  QTest::keyClick(p.view, Qt::Key_Backspace);
  EXPECT_EQ(p.port->sent, std::string("\x03\x0a\x08"));

  p.port->TakeSent();
  for (Qt::Key k : {Qt::Key_F1, Qt::Key_Up, Qt::Key_Left, Qt::Key_Shift, Qt::Key_Delete}) QTest::keyClick(p.view, k);
  QTest::keyClick(p.view, Qt::Key_Insert, Qt::ControlModifier);  // accelerator: copy, never sent
  QTest::keyClick(p.view, Qt::Key_Insert, Qt::ShiftModifier);    // accelerator: paste-send
  QTest::keyClick(p.view, Qt::Key_Backspace, Qt::AltModifier);   // accelerator: undo
  EXPECT_EQ(p.port->sent, "");
}

TEST(TerminalPane, KeysSendTheCharactersTheKeyboardTranslatesThemTo) {
  Pane p;
  QTest::keyClick(p.view, Qt::Key_Tab);
  QTest::keyClick(p.view, Qt::Key_Backtab, Qt::ShiftModifier);  // Shift+Tab is still a tab
  QTest::keyClick(p.view, Qt::Key_Escape);
  QTest::keyClick(p.view, Qt::Key_Return, Qt::ControlModifier);     // line feed
  QTest::keyClick(p.view, Qt::Key_Backspace, Qt::ControlModifier);  // DEL
  QTest::keyClick(p.view, Qt::Key_BracketLeft, Qt::ControlModifier);
  EXPECT_EQ(p.port->sent, std::string("\t\t\x1b\x0a\x7f\x1b"));
  EXPECT_TRUE(p.view->hasFocus()) << "Tab does not move the focus";
}

TEST(TerminalPane, LocalEchoPutsTheTypedLineInTheStore) {
  Pane p("[\xE7\x84\xA1\xE9\xA1\x8C]\r\n");  // section exists; echo set below
  p.settings->Set(keys::Echo, "enable");
  QTest::keyClicks(p.view, "ABC");
  EXPECT_EQ(p.session->Core().CurrentLine(), "ABC");
  QTest::keyClick(p.view, Qt::Key_Return);
  ASSERT_EQ(p.session->Doc().Lines().LineCount(), 1u);
  EXPECT_EQ(p.session->Doc().Lines().LastLine(), "ABC");
  EXPECT_EQ(p.port->sent, "ABC\r");
}

// Shift+F5 logs off ("B", then ^C "D") only while a run is under way, so a
// stray key does not end a QSO the user is having.
TEST(TerminalPane, ShiftF5LogsOffOnlyDuringARun) {
  for (const bool running : {false, true}) {
    Pane p;
    p.settings->Set(keys::Call, "JA1XYZ");
    if (running) {
      ASSERT_TRUE(p.frame->Router().Execute(Command::Connect));
    }
    p.port->TakeSent();
    p.frame->UpdateCommands();
    QTest::keyClick(p.view, Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_EQ(p.port->sent, running ? "B\r\x03" "D\r" : "") << running;
  }
}

// With local echo a control character is drawn in caret notation.
TEST(TerminalPane, LocalEchoShowsControlCharactersAsCaretNotation) {
  Pane p;
  p.settings->Set(keys::Echo, "enable");
  QTest::keyClicks(p.view, "AB");
  QTest::keyClick(p.view, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(p.view, Qt::Key_BracketLeft, Qt::ControlModifier);
  EXPECT_EQ(p.session->Core().CurrentLine(), "AB^C^[");
  EXPECT_EQ(p.port->sent, "AB\x03\x1b");
}

TEST(TerminalPane, KanjiFromTheInputMethodGoesOutAsItsTwoBytes) {
  Pane p;
  QInputMethodEvent preedit(QStringLiteral("かん"), {});
  QApplication::sendEvent(p.view, &preedit);
  EXPECT_EQ(p.port->sent, "") << "nothing is sent while composing";
  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("漢字"));
  QApplication::sendEvent(p.view, &commit);
  EXPECT_EQ(p.port->sent, Sjis("漢字"));
  EXPECT_EQ(p.port->writes.size(), 4u);
  // The composition window follows the caret.
  EXPECT_EQ(static_cast<QWidget*>(p.view)->inputMethodQuery(Qt::ImCursorRectangle).toRect(), p.view->CaretRect());
  EXPECT_EQ(p.view->CaretRect().width(), 5);
  EXPECT_EQ(p.view->CaretRect().height(), p.view->LineHeight());
}

// True when the row at `y` (one line high) has pixels other than the
// background right of `fromX` (the caret is 5 pixels wide at x = 10).
bool RowHasInk(const QImage& img, int y, int h, QColor background, int fromX) {
  for (int yy = y; yy < y + h && yy < img.height(); ++yy)
    for (int x = fromX; x < img.width(); ++x)
      if (img.pixelColor(x, yy) != background) return true;
  return false;
}

TEST(TerminalPane, TextBeingComposedIsDrawnAtTheCaretUntilCommitted) {
  Pane p;
  p.port->Deliver("prompt>");
  p.frame->Heartbeat().RunTick();
  FrameFixture::Pump(30);
  const QRect caret = p.view->CaretRect();
  const QColor background = p.view->palette().color(QPalette::Base);
  auto inkRightOfCaret = [&] {
    const QImage img = p.view->grab().toImage();
    return RowHasInk(img, caret.y(), caret.height(), background, caret.right() + 2);
  };
  ASSERT_FALSE(inkRightOfCaret());

  // The input method's cursor is after "か": the candidate window goes there.
  QInputMethodEvent preedit(QStringLiteral("かんじ"), {{QInputMethodEvent::Cursor, 1, 1, QVariant()}});
  QApplication::sendEvent(p.view, &preedit);
  FrameFixture::Pump(30);
  EXPECT_EQ(p.view->PreeditText(), QStringLiteral("かんじ"));
  EXPECT_TRUE(inkRightOfCaret());
  const int advance = QFontMetrics(p.view->TerminalFont()).horizontalAdvance(QStringLiteral("か"));
  EXPECT_EQ(static_cast<QWidget*>(p.view)->inputMethodQuery(Qt::ImCursorRectangle).toRect(),
            caret.translated(advance, 0));
  EXPECT_EQ(p.port->sent, "");

  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("漢字"));
  QApplication::sendEvent(p.view, &commit);
  p.frame->Heartbeat().RunTick();
  FrameFixture::Pump(30);
  EXPECT_EQ(p.view->PreeditText(), QString());
  EXPECT_EQ(p.port->sent, Sjis("漢字"));
  EXPECT_EQ(static_cast<QWidget*>(p.view)->inputMethodQuery(Qt::ImCursorRectangle).toRect(), p.view->CaretRect());
}

TEST(TerminalPane, ReceivedTextIsShownAndAGrowingLineRepaintsOnlyItsRow) {
  Pane p;
  CNamiView* v = p.view;
  const int rows = p.session->Core().Rows();
  ASSERT_GT(rows, 3);
  std::string fill;
  for (int i = 0; i < rows + 2; ++i) fill += "line " + std::to_string(i) + "\n";
  p.port->Deliver(fill);
  p.frame->Heartbeat().RunTick();
  FrameFixture::Pump(30);
  EXPECT_EQ(p.session->Doc().Lines().LastLine(), "line " + std::to_string(rows + 1));

  // A further tick that completes nothing repaints once (the pane was drawn
  // directly before it was full); after that only the bottom row.
  p.port->Deliver("x");
  p.frame->Heartbeat().RunTick();
  FrameFixture::Pump(30);
  const int fullBefore = v->FullPaintCount();
  const int paintsBefore = v->PaintCount();
  for (char c : std::string("growing byte by byte")) {
    p.port->Deliver(std::string(1, c));
    p.frame->Heartbeat().RunTick();
    FrameFixture::Pump(5);
  }
  EXPECT_EQ(p.session->Core().CurrentLine(), "xgrowing byte by byte");
  EXPECT_GT(v->PaintCount(), paintsBefore);
  EXPECT_LE(v->FullPaintCount() - fullBefore, 1);

  // Completed lines scroll: still no full repaint.
  p.port->Deliver("\nnext\n");
  p.frame->Heartbeat().RunTick();
  FrameFixture::Pump(30);
  EXPECT_LE(v->FullPaintCount() - fullBefore, 1);

  const QImage img = v->grab().toImage();
  const QColor bg = v->palette().color(QPalette::Base);
  const int h = v->LineHeight();
  ASSERT_EQ(p.session->Core().CurrentLine(), "");
  EXPECT_TRUE(RowHasInk(img, (rows - 2) * h, h, bg, 10)) << "the newest completed line is drawn";
  EXPECT_TRUE(RowHasInk(img, (rows - 3) * h, h, bg, 10)) << "the grown line scrolled up intact";
  EXPECT_FALSE(RowHasInk(img, (rows - 1) * h, h, bg, 16)) << "the bottom row holds the empty current line";
}

TEST(TerminalPane, CaretFollowsTheCurrentLineWithTabsExpanded) {
  Pane p;
  p.port->Deliver("one\ntwo\nab\tc");
  p.frame->Heartbeat().RunTick();
  FrameFixture::Pump(30);
  const QFontMetrics fm(p.view->TerminalFont());
  const int h = p.view->LineHeight();
  // "ab" then a tab to the first stop (eight average widths), then "c".
  const int width = 8 * fm.averageCharWidth() + fm.horizontalAdvance(QStringLiteral("c"));
  EXPECT_EQ(p.view->CaretRect().topLeft(), QPoint(10 + width, 2 * h));

  p.port->Deliver("\n");
  p.frame->Heartbeat().RunTick();
  FrameFixture::Pump(30);
  EXPECT_EQ(p.view->CaretRect().topLeft(), QPoint(10, 3 * h)) << "an empty current line: back to x = 10";
}

struct CountingSender : ISender {
  int steps = 0;
  int limit = 5;
  bool Step() override { return ++steps < limit; }
};

TEST(TerminalPane, TimersRunTheReceiveTickAndTheSendersUntilTheyFinish) {
  Pane p;
  p.frame->Heartbeat().Start();
  p.port->Deliver("over the air\n");
  FrameFixture::Pump(200);
  EXPECT_EQ(p.session->Doc().Lines().LastLine(), "over the air");

  CountingSender sender;
  p.session->Doc().Sending().Push(&sender);
  FrameFixture::Pump(300);
  EXPECT_EQ(sender.steps, 5);
  EXPECT_TRUE(p.session->Doc().Sending().Idle());
  p.frame->Heartbeat().Stop();
  EXPECT_FALSE(p.frame->Heartbeat().Active());
}

TEST(TerminalPane, F6MovesBetweenThePanesAndTheActivePaneDecidesTheSearchCommands) {
  Pane p;
  ASSERT_TRUE(p.view->hasFocus());
  EXPECT_FALSE(p.frame->Router().HistoryActive());
  QTest::keyClick(p.view, Qt::Key_F6);
  EXPECT_TRUE(p.frame->HistoryPane()->hasFocus());
  EXPECT_TRUE(p.frame->Router().HistoryActive());
  p.frame->UpdateCommands();
  EXPECT_TRUE(p.frame->Action(Command::SearchCondition)->isEnabled());
  QTest::keyClick(p.frame->HistoryPane(), Qt::Key_F6, Qt::ShiftModifier);
  EXPECT_TRUE(p.view->hasFocus());
  EXPECT_FALSE(p.frame->Router().HistoryActive());
  EXPECT_EQ(p.port->sent, "");
}

TEST(TerminalPane, PortMessagesAreShownConverted) {
  Pane p;
  p.port->failOpen = true;
  p.session->NewDocument();
  ASSERT_EQ(p.messages.size(), 1);
  EXPECT_EQ(p.messages[0], QStringLiteral("ＣＯＭﾎﾟｰﾄを再設定し再度実行して下さい"));
}

// The core's messages are UTF-8; the window shows them unchanged, also
// characters CP932 has no form for (through the station's events).
TEST(TerminalPane, MessagesFromTheCoreAreShownAsTheyAre) {
  Pane p;
  const QString texts[] = {
      QStringLiteral("ファイルが見つかりません\n/home/op/메일😀.upl: No such file or directory"),
      QStringLiteral("link lost: /dev/ttyUSB0: the device was lost (hang-up)"),
  };
  for (const QString& text : texts) {
    p.messages.clear();
    p.session->Doc().Ui().ShowMessage(text.toStdString());
    ASSERT_EQ(p.messages.size(), 1);
    EXPECT_EQ(p.messages[0], text);
  }
}

TEST(TerminalPane, ScreenshotWithJapaneseText) {
  Pane p;
  const QFont& font = p.view->TerminalFont();
  QFontMetrics fm(font);
  for (QChar c : QStringLiteral("漢字受信ｶﾅ"))
    EXPECT_TRUE(fm.inFont(c)) << "the terminal face draws U+" << std::hex << int(c.unicode());
  EXPECT_EQ(2 * fm.horizontalAdvance(QLatin1Char('A')), fm.horizontalAdvance(QChar(0x6F22)))
      << "full-width glyphs are two half-widths";

  p.port->Deliver(
      Sjis("cmd:CONNECT JA1XYZ\r\n*** CONNECTED to JA1XYZ\r\n"
           "[BBS-2.0-H$]\r\nこんにちは、ＪＡ１ＸＹＺ局のＢＢＳです。\r\n"
           "  12 JA2ABC  1206 ﾃｽﾄ送信のお知らせ\r\n  13 JA3DEF  1206 移動運用します\r\nJA1XYZ>"));
  p.frame->Heartbeat().RunTick();
  FrameFixture::Pump(50);
  const char* artifacts = std::getenv("NAMI_ARTIFACTS");
  const QImage img = p.frame->grab().toImage();
  EXPECT_FALSE(img.isNull());
  if (!artifacts) GTEST_SKIP() << "NAMI_ARTIFACTS not set: no screenshot saved";
  QDir().mkpath(QString::fromLocal8Bit(artifacts));
  const QString file = QString::fromLocal8Bit(artifacts) + QStringLiteral("/main-window.png");
  EXPECT_TRUE(img.save(file, "PNG")) << file.toStdString();
}

}  // namespace
}  // namespace nami
