// Switching what the window works on: a new or opened document asks before
// received text goes and shows the new text at once; the port dialog's OK
// opens the port anew.
#include <gtest/gtest.h>

#include <QEvent>
#include <QImage>
#include <QScrollBar>

#include "UiTestSupport.h"
#include "document/DocumentFile.h"
#include "ui/NamiView2.h"

namespace nami {
namespace {

using test::FrameFixture;
using Choice = CMainFrame::ExitChoice;

// Counts the paints of a widget.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

void Receive(FrameFixture& f, const std::string& text) {
  f.port->Deliver(text);
  f.frame->Heartbeat().RunTick();
}

// Whether row `row` (1-based) of the pane has anything but its background.
bool RowInked(CNamiView2& pane, int row) {
  const QImage img = pane.viewport()->grab().toImage();
  const QColor ground = img.pixelColor(img.width() - 2, (row - 1) * pane.LineHeight() + 1);
  for (int y = (row - 1) * pane.LineHeight(); y < row * pane.LineHeight() && y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelColor(x, y) != ground) return true;
  return false;
}

// New and Open ask about unsaved received text as exit does: cancel keeps
// it, discard lets it go, save writes it first.
TEST(DocumentSwitch, NewAndOpenAskBeforeTheReceivedTextGoes) {
  struct Case {
    bool open;  // 開く, else 新規作成
    Choice answer;
    bool replaced;
  } cases[] = {
      {false, Choice::Cancel, false}, {false, Choice::Discard, true}, {false, Choice::Save, true},
      {true, Choice::Cancel, false},  {true, Choice::Discard, true},
  };
  for (const Case& c : cases) {
    FrameFixture f;
    const std::string other = f.dir.File("other.nmi");
    CLineStore lines;
    lines.AddLine("from the file");
    FileFault fault;
    ASSERT_TRUE(SaveDocument(lines, other, fault));
    Receive(f, "received\n");
    f.exitChoice = c.answer;
    f.nextFile = QString::fromStdString(c.answer == Choice::Save ? f.dir.File("kept.nmi") : other);
    if (c.open)
      f.frame->Router().OpenPath(QString::fromStdString(other));
    else
      f.frame->Router().Execute(Command::FileNew);
    EXPECT_EQ(f.exitQuestions.size(), 1) << c.open << int(c.answer);
    const CLineStore& now = f.session->Doc().Lines();
    EXPECT_EQ(now.LineCount() == 0 || now.LastLine() != "received", c.replaced) << c.open << int(c.answer);
    if (c.answer == Choice::Save) {
      CLineStore back;
      ASSERT_TRUE(LoadDocument(back, f.dir.File("kept.nmi"), fault)) << fault;
      EXPECT_EQ(back.LastLine(), "received");
    }
  }
}

// The history pane paints the opened document at once, from its top, and
// its scroll range is the new document's.
TEST(DocumentSwitch, HistoryPaneShowsTheOpenedDocumentAtOnce) {
  FrameFixture f;
  f.frame->resize(800, 600);
  f.frame->show();
  FrameFixture::Pump(30);
  auto& pane = *static_cast<CNamiView2*>(f.frame->HistoryPane());
  std::string many;
  for (int i = 0; i < 300; ++i) many += "old line " + std::to_string(i) + "\n";
  Receive(f, many);
  pane.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  pane.verticalScrollBar()->setValue(pane.verticalScrollBar()->maximum());
  FrameFixture::Pump(30);
  ASSERT_GT(pane.TopLine(), 100);

  const std::string path = f.dir.File("short.nmi");
  CLineStore lines;
  lines.AddLine("new first");
  lines.AddLine("new second");
  FileFault fault;
  ASSERT_TRUE(SaveDocument(lines, path, fault));
  PaintCounter counter;
  pane.viewport()->installEventFilter(&counter);
  f.exitChoice = Choice::Discard;
  ASSERT_TRUE(f.frame->Router().OpenPath(QString::fromStdString(path)));
  FrameFixture::Pump(50);
  pane.viewport()->removeEventFilter(&counter);

  EXPECT_GT(counter.paints, 0) << "the pane was not painted again";
  EXPECT_EQ(pane.TopLine(), 0);
  EXPECT_EQ(pane.verticalScrollBar()->maximum(), 0);
  EXPECT_TRUE(RowInked(pane, 1));
  EXPECT_TRUE(RowInked(pane, 2));
  EXPECT_FALSE(RowInked(pane, 3));
}

// OK in the port dialog opens the port anew at once; while a run is under
// way only when the user agrees (the run then ends).
TEST(DocumentSwitch, PortDialogOkReopensThePort) {
  struct Case {
    bool running;
    bool agree;
    bool reopened;
  } cases[] = {{false, false, true}, {true, false, false}, {true, true, true}};
  for (const Case& c : cases) {
    FrameFixture f;
    Receive(f, "kept line\n");
    f.settings->Set(keys::Call, "JA1XYZ");
    if (c.running) {
      ASSERT_TRUE(f.frame->Router().Execute(Command::Connect));
    }
    int asked = 0;
    f.frame->Router().askYesNo = [&](const QString&) {
      ++asked;
      return c.agree;
    };
    f.frame->Router().portDialog = [&] {
      f.settings->Set(keys::ComStatus, "COM1:19200,N,8,1,N");
      return true;
    };
    const int opens = f.port->openCount;
    ASSERT_TRUE(f.frame->Router().Execute(Command::ComPortSettings));
    EXPECT_EQ(asked, c.running ? 1 : 0);
    EXPECT_EQ(f.port->openCount - opens, c.reopened ? 1 : 0) << c.running << c.agree;
    if (c.reopened) {
      EXPECT_EQ(f.port->lastConfig, "COM1:19200,N,8,1,N");
    }
    EXPECT_EQ(f.session->Running(), c.running && !c.reopened);
    EXPECT_EQ(f.session->Doc().Lines().LastLine(), "kept line") << "the received text stays";
  }
}

}  // namespace
}  // namespace nami
