// The built menus, toolbar and history context menu of the main window,
// walked item by item and compared with one golden file: every label with
// its access key, accelerator, command number, status-bar prompt and tool
// tip, every separator, in order. A changed text fails here; when the change
// is meant, run the test with NAMI_UPDATE_GOLDEN=1 to write the file anew and
// review the difference.
#include <gtest/gtest.h>

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QToolBar>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "ui/NamiView2.h"

namespace nami {
namespace {

using test::FrameFixture;

const std::string kGolden = std::string(NAMI_TEST_DATA) + "/menus.golden";

// One item: its text, then each field that is set, tab-separated.
std::string Item(const QAction* a, bool withIcon) {
  if (a->isSeparator()) return "----";
  std::string line = a->text().toStdString() + "\t#" + std::to_string(a->data().toInt());
  if (!a->shortcut().isEmpty()) line += "\tkey=" + a->shortcut().toString(QKeySequence::PortableText).toStdString();
  if (!a->statusTip().isEmpty()) line += "\tprompt=" + a->statusTip().toStdString();
  line += "\ttip=" + a->toolTip().toStdString();
  if (a->isCheckable()) line += "\tswitch";
  if (withIcon) line += a->icon().isNull() ? "\tno icon" : "\ticon";
  return line;
}

void Walk(const QMenu* menu, const std::string& indent, std::vector<std::string>& out) {
  for (const QAction* a : menu->actions()) {
    out.push_back(indent + Item(a, false));
    if (a->menu()) Walk(a->menu(), indent + "  ", out);
  }
}

// Opens the history pane's context menu with a right click, as the user does.
QMenu* OpenHistoryMenu(FrameFixture& f) {
  auto* history = qobject_cast<CNamiView2*>(f.frame->HistoryPane());
  const QPointF pos(40, 5);
  QMouseEvent right(QEvent::MouseButtonRelease, pos, history->viewport()->mapToGlobal(pos), Qt::RightButton,
                    Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(history->viewport(), &right);
  return history->findChild<QMenu*>();
}

std::vector<std::string> BuiltItems(FrameFixture& f) {
  std::vector<std::string> out;
  for (const QAction* m : f.frame->menuBar()->actions()) {
    out.push_back("menu " + m->text().toStdString());
    Walk(m->menu(), "  ", out);
  }
  out.push_back("toolbar");
  for (const QAction* a : f.frame->ToolBar()->actions()) out.push_back("  " + Item(a, true));
  out.push_back("history context menu");
  if (QMenu* context = OpenHistoryMenu(f)) {
    Walk(context, "  ", out);
    context->close();
  }
  return out;
}

TEST(MenuGolden, TheBuiltMenusToolbarAndContextMenuAreTheGoldenOnes) {
  FrameFixture f;
  f.frame->show();
  const std::vector<std::string> built = BuiltItems(f);
  if (std::getenv("NAMI_UPDATE_GOLDEN")) {
    std::string text;
    for (const std::string& line : built) text += line + "\n";
    test::WriteFile(kGolden, text);
  }
  ASSERT_TRUE(test::FileExists(kGolden)) << kGolden;
  std::vector<std::string> golden;
  std::istringstream in(test::ReadFile(kGolden));
  for (std::string line; std::getline(in, line);) golden.push_back(line);
  // Line by line, so that a failure names the item.
  for (std::size_t i = 0; i < std::max(built.size(), golden.size()); ++i) {
    EXPECT_EQ(i < built.size() ? built[i] : "(nothing)", i < golden.size() ? golden[i] : "(nothing)")
        << "line " << i + 1 << " of " << kGolden;
  }
  EXPECT_EQ(built.size(), golden.size());
}

}  // namespace
}  // namespace nami
