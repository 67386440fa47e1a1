// The command table against the built window: every item of the menus, the
// toolbar and the history pane's context menu has its row and shows the
// row's texts; the enabling of the built actions follows the station's state.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QToolBar>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "ui/CommandTable.h"
#include "ui/NamiView2.h"

namespace nami {
namespace {

using test::FrameFixture;
using C = Command;

// Opens the history pane's context menu with a right click, as the user does.
QMenu* OpenHistoryMenu(FrameFixture& f) {
  QWidget* pane = f.frame->HistoryPane();
  auto* history = qobject_cast<CNamiView2*>(pane);
  const QPointF pos(40, 5);
  QMouseEvent right(QEvent::MouseButtonRelease, pos, history->viewport()->mapToGlobal(pos), Qt::RightButton,
                    Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(history->viewport(), &right);
  return history->findChild<QMenu*>();
}

struct Walked {
  QAction* action;
  std::string where;
};

void WalkMenu(QMenu* menu, const std::string& where, std::vector<Walked>& out) {
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) continue;
    if (a->menu())
      WalkMenu(a->menu(), where + " > " + a->text().toStdString(), out);
    else
      out.push_back({a, where});
  }
}

TEST(CommandTable, EveryBuiltItemHasItsRowAndShowsItsTexts) {
  FrameFixture f;
  f.frame->show();
  // One recent file, so that the file menu lists one.
  f.nextFile = QString::fromStdString(f.dir.File("station.nmi"));
  ASSERT_TRUE(f.frame->Router().SaveAs());
  ASSERT_EQ(f.frame->RecentActions().size(), 1);

  std::vector<Walked> items;
  for (QAction* m : f.frame->menuBar()->actions()) WalkMenu(m->menu(), "menu " + m->text().toStdString(), items);
  const std::size_t menuItems = items.size();
  for (QAction* a : f.frame->ToolBar()->actions())
    if (!a->isSeparator()) items.push_back({a, "toolbar"});
  const std::size_t barItems = items.size();
  QMenu* context = OpenHistoryMenu(f);
  ASSERT_NE(context, nullptr);
  WalkMenu(context, "history context menu", items);
  ASSERT_EQ(items.size() - barItems, HistoryContextMenu().size());

  std::set<Command> placed;
  for (std::size_t i = 0; i < items.size(); ++i) {
    QAction* a = items[i].action;
    SCOPED_TRACE(items[i].where + ": " + a->text().toStdString());
    const CommandRow* row = FindCommand(a->data().toInt());
    ASSERT_NE(row, nullptr) << "an item without a row";
    placed.insert(row->id);
    const bool recentFile = f.frame->RecentActions().contains(a);
    const QString label = i >= barItems ? ContextLabel(*row) : QString::fromUtf8(row->label);
    if (!recentFile) {
      EXPECT_EQ(a->text(), label);
    }
    if (i < barItems) {
      EXPECT_EQ(a->statusTip(), QString::fromUtf8(row->prompt));
    }
    if (i >= menuItems && i < barItems) {
      EXPECT_FALSE(a->icon().isNull()) << "a toolbar button without its icon";
    }
  }
  context->close();

  // Every row is somewhere: in a menu, on the toolbar or as a key of the window.
  std::set<Command> ids;
  for (const CommandRow& row : CommandRows()) {
    SCOPED_TRACE(row.label);
    EXPECT_TRUE(ids.insert(row.id).second) << "two rows for one command";
    if (placed.count(row.id)) continue;
    ASSERT_NE(row.key, 0) << "a row nobody can reach";
    QAction* a = f.frame->Action(row.id);
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(f.frame->actions().contains(a)) << "its key works on the whole window";
    EXPECT_EQ(a->shortcut(), QKeySequence(QKeyCombination::fromCombined(row.key)));
  }
}

// A state of the station and what each command's enabling must be in it.
struct EnablingCase {
  const char* state;
  std::function<void(FrameFixture&)> enter;
  std::vector<std::pair<Command, bool>> expected;
};

std::vector<EnablingCase> EnablingCases() {
  return {
      {"idle in the terminal pane",
       nullptr,
       {{C::AutoModeStart, true}, {C::Connect, true},       {C::MailSend, true},        {C::ListRead, true},
        {C::MailRead, true},      {C::AutoModeEnd, false},  {C::Upload, true},          {C::UploadStop, false},
        {C::Download, true},      {C::RetroDownload, true}, {C::DownloadEnd, false},    {C::EditPaste, true},
        {C::PasteStop, false},    {C::EditAndSend, false},  {C::SearchCondition, true}, {C::EditCopy, true},
        {C::EditUndo, false},     {C::EditCut, false},      {C::OpenRecent, false},     {C::FontSelect, true},
        {C::NotifyOwnMail, true}}},
      {"a run is busy",
       [](FrameFixture& f) {
         f.settings->Set(keys::Call, "JA1XYZ");
         ASSERT_TRUE(f.frame->Router().Execute(C::Connect));
       },
       {{C::AutoModeStart, false},
        {C::Connect, false},
        {C::MailSend, false},
        {C::ListRead, false},
        {C::MailRead, false},
        {C::AutoModeEnd, true},
        {C::Upload, true},
        {C::AutoModeSettings, true}}},
      {"an upload runs",
       [](FrameFixture& f) {
         test::WriteFile(f.dir.File("mail.upl"), "a long mail\r\n");
         ASSERT_TRUE(f.session->Transfers().StartUpload(f.dir.File("mail.upl")));
       },
       {{C::Upload, false}, {C::UploadStop, true}, {C::Download, true}, {C::EditPaste, true}}},
      {"a capture runs",
       [](FrameFixture& f) { ASSERT_TRUE(f.session->Transfers().StartCapture(f.dir.File("cap.dwn"))); },
       {{C::Download, false}, {C::RetroDownload, false}, {C::DownloadEnd, true}, {C::Upload, true}}},
      {"a paste-send runs",
       [](FrameFixture& f) { ASSERT_EQ(f.session->Transfers().StartPasteSend(0, "abcdefghi"), 0u); },
       {{C::EditPaste, false}, {C::PasteStop, true}, {C::Upload, true}}},
      {"the history pane is active",
       [](FrameFixture& f) {
         f.frame->show();
         QApplication::setActiveWindow(f.frame.get());
         f.frame->HistoryPane()->setFocus();
         FrameFixture::Pump(10);
         ASSERT_TRUE(f.frame->Router().HistoryActive());
       },
       {{C::EditAndSend, true}, {C::SearchUp, true}, {C::SearchDown, true}, {C::EditCopy, true}}},
  };
}

TEST(CommandTable, EnablingFollowsTheState) {
  test::App();
  for (const EnablingCase& c : EnablingCases()) {
    SCOPED_TRACE(c.state);
    FrameFixture f;
    f.port->queueCount = 5;  // the senders wait: the operations stay running
    if (c.enter) c.enter(f);
    f.frame->UpdateCommands();
    for (const auto& [id, enabled] : c.expected) {
      SCOPED_TRACE(RowOf(id).label);
      EXPECT_EQ(f.frame->Router().IsEnabled(id), enabled);
      QAction* action = f.frame->Action(id);
      ASSERT_NE(action, nullptr);
      EXPECT_EQ(action->isEnabled(), enabled) << "the menu item";
      // A disabled command does nothing, whatever asks for it.
      if (!enabled) {
        EXPECT_FALSE(f.frame->Router().Execute(id));
      }
    }
    // The context menu shows the same enabling; the click that opens it
    // makes the history pane active, which enables edit-and-send.
    QMenu* context = OpenHistoryMenu(f);
    ASSERT_NE(context, nullptr);
    for (QAction* item : context->actions()) {
      const auto id = static_cast<Command>(item->data().toInt());
      SCOPED_TRACE(item->text().toStdString());
      EXPECT_EQ(item->isEnabled(), id == C::EditAndSend || f.frame->Router().IsEnabled(id));
      for (const auto& [expectedId, enabled] : c.expected)
        if (expectedId == id && id != C::EditAndSend) {
          EXPECT_EQ(item->isEnabled(), enabled);
        }
    }
    context->close();
  }
}

}  // namespace
}  // namespace nami
