#include <QLineEdit>
#include <QPlainTextEdit>

#include "ui/HistoryFixture.h"
#include "ui/LineEditDlg.h"
#include "ui/SearchDlg.h"

namespace nami {
namespace {

class SearchViewTest : public test::HistoryFixture {
 protected:
  // Answers every dialog at once with OK (or cancel) and `reply`.
  CNamiView2::TextRequest Answer(bool ok, QString reply, QString* seen = nullptr) {
    return [ok, reply, seen](const QString& initial, CNamiView2::TextDone done) {
      if (seen) *seen = initial;
      done(ok, reply);
    };
  }
};

TEST_F(SearchViewTest, SearchDownAndUpMoveTheTopLine) {
  for (int i = 0; i < 10; ++i) doc_.Lines().AddLine(i == 3 || i == 7 ? "xx ABC" : "line " + std::to_string(i));
  Show(2);  // range 0 .. 8
  view_->SetSearchRequest(Answer(true, "ABC"));
  view_->Search();
  EXPECT_EQ(view_->SearchState().Text(), "ABC");
  view_->SearchNext();
  EXPECT_EQ(view_->SearchState().Position(), 3);
  EXPECT_EQ(view_->TopLine(), 3);
  view_->SearchNext();
  EXPECT_EQ(view_->TopLine(), 7);
  view_->SearchNext();
  EXPECT_EQ(view_->SearchState().Position(), 10);
  EXPECT_EQ(view_->TopLine(), 8);  // the end of the range
  view_->SearchPrev();
  EXPECT_EQ(view_->TopLine(), 7);

  // Cancel keeps the text but starts over.
  view_->SetSearchRequest(Answer(false, "zzz"));
  view_->Search();
  EXPECT_EQ(view_->SearchState().Text(), "ABC");
  EXPECT_EQ(view_->SearchState().Position(), 0);
  view_->SearchPrev();  // right after the condition: nothing moves
  EXPECT_EQ(view_->TopLine(), 7);
  EXPECT_TRUE(port_->writes.empty());
}

// A search that finds nothing more says so; the same key again starts over
// from the other end.
TEST_F(SearchViewTest, NothingMoreIsSaidAndTheSameKeyWrapsAround) {
  for (int i = 0; i < 10; ++i) doc_.Lines().AddLine(i == 3 || i == 7 ? "xx ABC" : "line " + std::to_string(i));
  Show(2);
  view_->SetSearchRequest(Answer(true, "ABC"));
  view_->Search();
  struct Step {
    bool down;
    std::int64_t hit;  // -1: nothing found
  } steps[] = {{true, 3}, {true, 7}, {true, -1}, {true, 3}, {false, -1}, {false, 7}};
  int said = 0;
  for (const Step& s : steps) {
    if (s.down)
      view_->SearchNext();
    else
      view_->SearchPrev();
    EXPECT_EQ(view_->HitLine(), s.hit) << s.down;
    if (s.hit < 0) {
      ASSERT_EQ(messages_.size(), ++said);
      EXPECT_TRUE(messages_.last().startsWith(QStringLiteral("見つかりません"))) << messages_.last().toStdString();
    }
    EXPECT_EQ(messages_.size(), said);
  }
}

TEST_F(SearchViewTest, SearchDialogTakesJapaneseText) {
  Show(2);
  view_->Search();
  auto* dialog = view_->findChild<CSearchDlg*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "検索");
  EXPECT_EQ(dialog->Field()->maxLength(), 128);
  dialog->Field()->setText("ｹﾝｻｸ");
  dialog->accept();
  EXPECT_EQ(view_->SearchState().Text(), test::Sjis("ｹﾝｻｸ"));
}

TEST_F(SearchViewTest, EditAndSendWritesTheTextOnceOrNothing) {
  doc_.Lines().AddLine("first");
  doc_.Lines().AddLine(test::Sjis("二行目"));
  view_->SetMarks({0, 1});
  Show(5);
  QString seen;
  view_->SetLineEditRequest(Answer(false, "ignored", &seen));
  view_->EditAndSend();
  EXPECT_EQ(seen, "first\r\n二行目\r\n");
  EXPECT_TRUE(port_->writes.empty());

  view_->SetLineEditRequest([](const QString& initial, CNamiView2::TextDone done) { done(true, initial); });
  view_->EditAndSend();
  ASSERT_EQ(port_->writes.size(), 1u);
  EXPECT_EQ(port_->writes[0], "first\r\n" + test::Sjis("二行目") + "\r\n");
}

TEST_F(SearchViewTest, LineEditDialogKeepsCrLfAndLimit) {
  doc_.Lines().AddLine("a");
  Show(5);
  view_->EditAndSend();
  auto* dialog = view_->findChild<CLineEditDlg*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "ﾗｲﾝｴﾃﾞｨｯﾄ");
  EXPECT_EQ(dialog->Field()->toPlainText(), "a\n");
  dialog->Field()->setPlainText("x\nｱｲ\n");
  dialog->accept();
  ASSERT_EQ(port_->writes.size(), 1u);
  EXPECT_EQ(port_->writes[0], "x\r\n" + test::Sjis("ｱｲ") + "\r\n");

  // Nothing marked: an empty dialog, and OK with it sends nothing.
  view_->SetMarks({1, 0});
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the closed dialog
  ASSERT_EQ(view_->findChild<CLineEditDlg*>(), nullptr);
  view_->EditAndSend();
  dialog = view_->findChild<CLineEditDlg*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->Field()->toPlainText().isEmpty());
  dialog->Field()->setPlainText(QString(70000, QChar('z')));
  EXPECT_EQ(dialog->Field()->toPlainText().size(), CLineEditDlg::kMaxText);
  dialog->reject();
  EXPECT_EQ(port_->writes.size(), 1u);
}

}  // namespace
}  // namespace nami
