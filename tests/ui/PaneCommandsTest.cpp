// The commands of the main window from either pane: the same enabling and
// the same effect on the one document, the transfer file dialogs, paste-send
// pacing, the history pane's own commands, and the history pane's wiring in
// the window (updates after each receive tick, double-click, retro-download).
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "UiTestSupport.h"
#include "text/Cp932.h"
#include "ui/Command.h"
#include "ui/NamiView2.h"

namespace nami {
namespace {

using test::FrameFixture;
using test::Sjis;

constexpr int kTerminal = 0;
constexpr int kHistory = 1;

// A shown main window whose file dialogs answer `nextFile` (a name in the
// test folder, or empty for cancel) and record what they were asked.
struct Window : FrameFixture {
  Window() {
    frame->show();
    QApplication::setActiveWindow(frame.get());
    history = qobject_cast<CNamiView2*>(frame->HistoryPane());
    frame->Router().chooseFile = [this](const FileRequest& r) {
      requests.push_back(r);
      return nextFile;
    };
    // Relative names (logs, captures) land in the test folder.
    savedDir = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.Path()));
    Activate(kTerminal);
    port->TakeSent();
  }
  ~Window() { QDir::setCurrent(savedDir); }

  void Activate(int pane) {
    if (pane == kHistory)
      history->setFocus();
    else
      frame->TerminalPane()->setFocus();
    Pump(10);
    ASSERT_EQ(frame->Router().HistoryActive(), pane == kHistory);
  }
  // The command as the menu or the toolbar gives it.
  void Trigger(Command id) {
    frame->UpdateCommands();
    frame->Action(id)->trigger();
  }
  bool Enabled(Command id) {
    frame->UpdateCommands();
    return frame->Action(id)->isEnabled();
  }
  // Steps the senders as the pacer would, with the transmit queue empty.
  void Drain() {
    port->queueCount = 0;
    for (int i = 0; i < 100000 && !session->Doc().Sending().Idle(); ++i) session->Doc().Sending().Step();
  }
  void Receive(const std::string& text) {
    port->Deliver(text);
    frame->Heartbeat().RunTick();
  }
  void Lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\r\n";
    Receive(text);
  }
  void Mouse(QEvent::Type type, int row) {
    const QPointF pos(40, (row - 1) * history->LineHeight() + history->LineHeight() / 2);
    QMouseEvent event(type, pos, history->viewport()->mapToGlobal(pos), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(history->viewport(), &event);
  }
  void Click(int row) {
    Mouse(QEvent::MouseButtonPress, row);
    Mouse(QEvent::MouseButtonRelease, row);
  }
  void SetFile(const std::string& name) { nextFile = QString::fromStdString(dir.File(name)); }

  CNamiView2* history = nullptr;
  std::vector<FileRequest> requests;
  QString savedDir;
};

// Everything a command can change, for comparing one pane with the other.
struct Effect {
  std::string sent;
  std::vector<std::string> writes;
  std::map<std::string, std::string> files;
  bool uploading, capturing, pasteSending, autoIdle, autoRunning;
  std::string clipboard;
  std::vector<std::string> messages;
  std::vector<std::string> dialogs;

  bool operator==(const Effect&) const = default;
};

std::string Describe(const Effect& e) {
  std::ostringstream out;
  out << "sent=[" << e.sent << "] writes=" << e.writes.size() << " up=" << e.uploading << " cap=" << e.capturing
      << " paste=" << e.pasteSending << " idle=" << e.autoIdle << " run=" << e.autoRunning << " clip=[" << e.clipboard
      << "]";
  for (const auto& [name, text] : e.files) out << " file " << name << "=[" << text << "]";
  for (const auto& m : e.messages) out << " msg=" << m;
  for (const auto& d : e.dialogs) out << " dialog=" << d;
  return out.str();
}

Effect Record(Window& w) {
  Effect e;
  e.sent = w.port->sent;
  e.writes = w.port->writes;
  for (const auto& entry : std::filesystem::directory_iterator(w.dir.Path()))
    e.files[entry.path().filename().string()] = test::ReadFile(entry.path().string());
  const CTransfers& transfers = w.session->Transfers();
  e.uploading = transfers.Uploading();
  e.capturing = transfers.Capturing();
  e.pasteSending = transfers.PasteSending();
  e.autoIdle = w.session->Autopilot().State().Idle();
  e.autoRunning = w.session->Autopilot().State().Running();
  e.clipboard = QApplication::clipboard()->text().toStdString();
  for (const QString& m : w.messages) e.messages.push_back(m.toStdString());
  for (const FileRequest& r : w.requests)
    e.dialogs.push_back((r.save ? "save " : "open ") + r.title.toStdString() + " " + r.initialName.toStdString() + " " +
                        r.filters.join(QLatin1Char(';')).toStdString());
  return e;
}

struct Case {
  Command id;
  std::function<void(Window&)> setup;           // before the command, on a fresh window
  std::function<void(const Effect&)> expected;  // what the command must have done
};

TEST(PaneCommands, EveryCommandHasTheSameEnablingAndEffectFromEitherPane) {
  test::App();
  const std::string upl = "AB\r\nC";
  const std::vector<Case> cases = {
      {Command::Upload,
       [&](Window& w) {
         test::WriteFile(w.dir.File("mail.upl"), upl);
         w.SetFile("mail.upl");
       },
       [](const Effect& e) {
         EXPECT_EQ(e.sent, "AB\rC");
         EXPECT_FALSE(e.uploading);
       }},
      {Command::UploadStop,
       [&](Window& w) {
         test::WriteFile(w.dir.File("mail.upl"), upl);
         ASSERT_TRUE(w.session->Transfers().StartUpload(w.dir.File("mail.upl")));
         w.session->Doc().Sending().Step();
       },
       [](const Effect& e) {
         EXPECT_EQ(e.sent, "A");
         EXPECT_FALSE(e.uploading);
       }},
      {Command::Download,
       [](Window& w) {
         test::WriteFile(w.dir.File("cap.dwn"), "old\r\n");
         w.SetFile("cap.dwn");
       },
       [](const Effect& e) {
         EXPECT_TRUE(e.capturing);
         EXPECT_EQ(e.files.at("cap.dwn"), "old\r\nafter\r\n");
       }},
      {Command::RetroDownload,
       [](Window& w) {
         w.Lines(4);
         w.history->SetMarks({2, 0});
         w.SetFile("retro.dwn");
       },
       [](const Effect& e) {
         EXPECT_TRUE(e.capturing);
         EXPECT_EQ(e.files.at("retro.dwn"), "line 2\r\nline 3\r\nafter\r\n");
       }},
      {Command::DownloadEnd, [](Window& w) { ASSERT_TRUE(w.session->Transfers().StartCapture(w.dir.File("cap.dwn"))); },
       [](const Effect& e) {
         EXPECT_FALSE(e.capturing);
         EXPECT_EQ(e.files.at("cap.dwn"), "") << "the line after the end is not captured";
       }},
      {Command::EditCopy,
       [](Window& w) {
         w.Receive(Sjis("一行目\r\n二行目\r\n三行目\r\n"));
         w.history->SetMarks({1, 2});
       },
       [](const Effect& e) { EXPECT_EQ(e.clipboard, "二行目\r\n三行目\r\n"); }},
      {Command::EditPaste, [](Window&) { QApplication::clipboard()->setText(QStringLiteral("ab\ncd漢")); },
       [](const Effect& e) {
         EXPECT_EQ(e.sent, "ab\rcd" + Sjis("漢"));
         EXPECT_EQ(e.writes, (std::vector<std::string>{"ab\r", "cd\x8a", "\xbf"}))
             << "groups of three bytes; the LF line end goes out as CR";
         EXPECT_FALSE(e.pasteSending);
       }},
      {Command::PasteStop,
       [](Window& w) {
         ASSERT_EQ(w.session->Transfers().StartPasteSend(0, "abcdefghi"), 0u);
         w.session->Doc().Sending().Step();
       },
       [](const Effect& e) {
         EXPECT_EQ(e.sent, "abc");
         EXPECT_FALSE(e.pasteSending);
       }},
      {Command::CopyToFile,
       [](Window& w) {
         w.Lines(3);
         w.history->SetMarks({0, 1});
         test::WriteFile(w.dir.File("copy.dwn"), "x\r\n");
         w.SetFile("copy.dwn");
       },
       [](const Effect& e) { EXPECT_EQ(e.files.at("copy.dwn"), "x\r\nline 0\r\nline 1\r\n"); }},
      {Command::Connect, [](Window& w) { w.settings->Set(keys::Call, "JA1XYZ"); },
       [](const Effect& e) {
         EXPECT_EQ(e.sent, "\x03\rCONNECT JA1XYZ\r");
         EXPECT_FALSE(e.autoIdle);
       }},
      {Command::AutoModeStart, [](Window& w) { w.settings->Set(keys::Call, "JA1XYZ"); },
       [](const Effect& e) {
         EXPECT_EQ(e.sent, "\x03\rCONNECT JA1XYZ\r");
         EXPECT_TRUE(e.autoRunning);
       }},
      {Command::ListRead, [](Window& w) { w.settings->Set(keys::Field[0], "LL 5"); },
       [](const Effect& e) {
         EXPECT_EQ(e.sent, "LL 5\r");
         EXPECT_EQ(e.files.at("templist.dat"), "after\r\n") << "the list log gets what follows";
       }},
      {Command::MailRead, nullptr,
       [](const Effect& e) {
         EXPECT_EQ(e.files.count("tempmail.dat"), 1u) << "an empty list reads no mail but opens the mail log";
       }},
      {Command::MailSend, nullptr, [](const Effect& e) { EXPECT_TRUE(e.sent != "" || e.autoIdle); }},
      // The end command logs off a run that is under way.
      {Command::AutoModeEnd,
       [](Window& w) {
         w.settings->Set(keys::Call, "JA1XYZ");
         ASSERT_TRUE(w.frame->Router().Execute(Command::Connect));
         w.port->TakeSent();
       },
       [](const Effect& e) {
         EXPECT_EQ(e.sent,
                   "B\r\x03"
                   "D\r");
         EXPECT_FALSE(e.autoRunning);
       }},
      {Command::FontSelect,
       [](Window& w) {
         w.frame->Router().chooseFont = [](QFont& font) {
           font = QFont(QStringLiteral("IPAGothic"));
           font.setPointSize(16);
           return true;
         };
       },
       [](const Effect& e) {
         const std::string& ini = e.files.at("NAMI.INI");
         EXPECT_NE(ini.find("fontname=IPAGothic"), std::string::npos) << ini;
         EXPECT_NE(ini.find("fontsize=16"), std::string::npos) << ini;
       }},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.id));
    Effect effects[2];
    bool enabled[2];
    for (int pane : {kTerminal, kHistory}) {
      QApplication::clipboard()->setText(QStringLiteral("clip"));
      Window w;
      ASSERT_TRUE(w.session->Autopilot().State().Idle());
      w.port->TakeSent();
      if (c.setup) c.setup(w);
      w.Activate(pane);
      enabled[pane] = w.Enabled(c.id);
      w.Trigger(c.id);
      w.Drain();
      w.Receive("after\r\n");  // what a capture or a waiting step does with it
      w.Drain();
      effects[pane] = Record(w);
      if (pane == kTerminal) c.expected(effects[pane]);
    }
    EXPECT_TRUE(enabled[kTerminal]);
    EXPECT_EQ(enabled[kTerminal], enabled[kHistory]);
    EXPECT_TRUE(effects[kTerminal] == effects[kHistory])
        << "terminal: " << Describe(effects[kTerminal]) << "\nhistory:  " << Describe(effects[kHistory]);
  }
}

TEST(PaneCommands, TransferDialogsHaveTheirTitlesNamesAndFiltersAndKeepTheWorkingDirectory) {
  Window w;
  char today[16];
  const std::time_t now = w.clock.Now();
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(today, sizeof today, "%y%m%d.DWN", &local);
  // "*.*" means every file where the filters come from; here it is "*".
  const QStringList upload = {"アップロード ファイル (*.upl)", "すべてのファイル (*)", "ダウンロード ファイル (*.dwn)",
                              "ISH ファイル (*.ish)"};
  const QStringList download = {"ダウンロード ファイル (*.dwn)", "すべてのファイル (*)", "アップロード ファイル (*.upl)",
                                "ISH ファイル (*.ish)"};
  struct Expected {
    Command id;
    bool save;
    const char* title;
    QString name;
    QStringList filters;
  };
  const Expected expected[] = {
      {Command::Upload, false, "アップロード", QString(), upload},
      {Command::Download, true, "ダウンロード", QString::fromLatin1(today), download},
      {Command::RetroDownload, true, "さかのぼってダウン", QString::fromLatin1(today), download},
      {Command::CopyToFile, true, "ファイルにコピー", QString::fromLatin1(today), download}};

  const QString start = QDir::currentPath();
  const QString elsewhere = QString::fromStdString(w.dir.File("elsewhere"));
  QDir().mkpath(elsewhere);
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.title);
    // Cancelled after the dialog moved the working directory: nothing
    // changes and the directory is as before.
    w.requests.clear();
    w.frame->Router().chooseFile = [&](const FileRequest& r) {
      w.requests.push_back(r);
      QDir::setCurrent(elsewhere);
      return QString();
    };
    w.Trigger(e.id);
    ASSERT_EQ(w.requests.size(), 1u);
    const FileRequest& r = w.requests[0];
    EXPECT_EQ(r.save, e.save);
    EXPECT_EQ(r.title, QString::fromUtf8(e.title));
    EXPECT_EQ(r.initialName, e.name);
    EXPECT_EQ(r.filters, e.filters);
    EXPECT_EQ(QDir::currentPath(), start);
    EXPECT_FALSE(w.session->Transfers().Uploading() || w.session->Transfers().Capturing());
    EXPECT_TRUE(w.Enabled(e.id));
  }

  // Chosen: a relative capture name is kept relative to where the user started.
  w.frame->Router().chooseFile = [&](const FileRequest&) {
    QDir::setCurrent(elsewhere);
    return QString::fromStdString(w.dir.File("chosen.dwn"));
  };
  w.Trigger(Command::Download);
  EXPECT_EQ(QDir::currentPath(), start);
  EXPECT_TRUE(w.session->Transfers().Capturing());
  EXPECT_TRUE(test::FileExists(w.dir.File("chosen.dwn")));

  // Each name's pattern is what Qt reads from the parentheses.
  EXPECT_EQ(NameFilters("Text | *.txt|Any (*.*) | *.*|Every | *.*||"),
            QStringList({"Text (*.txt)", "Any (*)", "Every (*)"}));
}

TEST(PaneCommands, CopyThenPasteSendGoesOutInGroupsOfThreeAsTheQueueEmpties) {
  Window w;
  w.Receive("ab\r\ncde\r\nzz\r\n");
  w.Activate(kHistory);
  w.Click(1);
  w.Mouse(QEvent::MouseButtonPress, 1);
  w.Mouse(QEvent::MouseMove, 2);
  w.Mouse(QEvent::MouseButtonRelease, 2);
  ASSERT_EQ(w.history->Marks().first, 0);
  ASSERT_EQ(w.history->Marks().last, 1);
  QTest::keyClick(w.history, Qt::Key_Insert, Qt::ControlModifier);  // the accelerator works in either pane
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("ab\r\ncde\r\n"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";

  w.Activate(kTerminal);
  w.port->queueCount = 1;
  QTest::keyClick(w.frame->TerminalPane(), Qt::Key_Insert, Qt::ShiftModifier);
  CNamiDoc& doc = w.session->Doc();
  EXPECT_FALSE(w.Enabled(Command::EditPaste));
  EXPECT_TRUE(w.Enabled(Command::PasteStop));
  w.Activate(kHistory);
  EXPECT_FALSE(w.Enabled(Command::EditPaste)) << "one paste-send for the document";
  doc.Sending().Step();
  EXPECT_EQ(w.port->writes.size(), 0u) << "nothing while the transmit queue holds bytes";
  w.port->queueCount = 0;
  std::vector<std::string> groups;
  for (int i = 0; i < 10 && !doc.Sending().Idle(); ++i) {
    doc.Sending().Step();
    if (!w.port->writes.empty()) groups.push_back(w.port->writes.back());
    w.port->writes.clear();
  }
  EXPECT_EQ(groups, (std::vector<std::string>{"ab\r", "cde", "\r"}));
  EXPECT_FALSE(w.session->Transfers().PasteSending());
  EXPECT_TRUE(w.Enabled(Command::EditPaste));
}

TEST(PaneCommands, PasteSendTellsHowMuchOfALongClipboardTextIsNotSent) {
  Window w;
  QApplication::clipboard()->setText(QString(40000, QLatin1Char('x')));
  w.Trigger(Command::EditPaste);
  ASSERT_EQ(w.messages.size(), 1);
  EXPECT_TRUE(w.messages[0].contains(QStringLiteral("7233"))) << w.messages[0].toStdString();
  w.Drain();
  EXPECT_EQ(w.port->sent, std::string(32767, 'x'));

  Window empty;  // no text on the clipboard: nothing sent, enabled again at once
  QApplication::clipboard()->clear();
  empty.Trigger(Command::EditPaste);
  EXPECT_TRUE(empty.messages.isEmpty());
  EXPECT_TRUE(empty.Enabled(Command::EditPaste));
  empty.Drain();
  EXPECT_EQ(empty.port->sent, "");
}

TEST(PaneCommands, SearchAndEditAndSendOnlyInTheHistoryPane) {
  Window w;
  w.Lines(10);
  w.Receive("ABC here\r\nline\r\n");
  QString edited;
  bool editOk = true;
  int asked = 0;
  w.history->SetLineEditRequest([&](const QString& initial, CNamiView2::TextDone done) {
    ++asked;
    done(editOk, edited.isEmpty() ? initial : edited);
  });
  w.history->SetSearchRequest([&](const QString&, CNamiView2::TextDone done) { done(true, QStringLiteral("ABC")); });
  const Command own[] = {Command::EditAndSend, Command::SearchCondition, Command::SearchUp, Command::SearchDown};

  // Edit-and-send is the history pane's own; searching works from either pane.
  EXPECT_FALSE(w.Enabled(Command::EditAndSend));
  for (Command id : {Command::SearchCondition, Command::SearchUp, Command::SearchDown})
    EXPECT_TRUE(w.Enabled(id)) << static_cast<int>(id);
  w.Trigger(Command::EditAndSend);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(w.port->sent, "");

  w.Activate(kHistory);
  for (Command id : own) EXPECT_TRUE(w.Enabled(id)) << static_cast<int>(id);
  w.Trigger(Command::SearchCondition);
  w.Trigger(Command::SearchDown);
  EXPECT_EQ(w.history->TopLine(), std::min<std::int64_t>(10, w.history->Model().ScrollMax()));
  EXPECT_EQ(w.history->SearchState().Position(), 10);

  w.history->SetMarks({9, 10});
  w.Trigger(Command::EditAndSend);  // OK unchanged: the lines with CR LF, one write
  ASSERT_EQ(w.port->writes.size(), 1u);
  EXPECT_EQ(w.port->writes[0], "line 9\r\nABC here\r\n");
  w.port->TakeSent();
  editOk = false;  // cancelled: nothing
  w.Trigger(Command::EditAndSend);
  EXPECT_EQ(w.port->sent, "");
  EXPECT_EQ(asked, 2);

  // The pane's context menu runs the same commands.
  w.Activate(kTerminal);
  editOk = true;
  edited = QStringLiteral("R 12\r\n");
  w.Mouse(QEvent::MouseButtonRelease, 1);  // no button: only the right one opens it
  QMouseEvent right(QEvent::MouseButtonRelease, QPointF(40, 5), w.history->viewport()->mapToGlobal(QPointF(40, 5)),
                    Qt::RightButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w.history->viewport(), &right);
  QMenu* menu = w.history->findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(w.frame->Router().HistoryActive()) << "the click made the history pane active";
  ASSERT_EQ(menu->actions().size(), 5);
  EXPECT_TRUE(menu->actions()[1]->isEnabled());
  menu->actions()[1]->trigger();
  EXPECT_EQ(w.port->sent, "R 12\r\n");
  menu->close();
}

TEST(PaneCommands, RetroDownloadFromTheHistoryPanesMarkedLine) {
  Window w;
  w.Lines(12);
  w.Activate(kHistory);
  w.Click(6);
  ASSERT_EQ(w.history->Marks().first, 5);
  w.SetFile("retro.dwn");
  w.Trigger(Command::RetroDownload);
  w.Receive("new\r\n");
  w.Trigger(Command::DownloadEnd);
  std::string expected;
  for (int i = 5; i < 12; ++i) expected += "line " + std::to_string(i) + "\r\n";
  EXPECT_EQ(test::ReadFile(w.dir.File("retro.dwn")), expected + "new\r\n");
}

TEST(PaneCommands, DoubleClickOnABulletinLineSendsTheReadCommand) {
  Window w;
  w.settings->Set(keys::ReadCom, "readcom");
  w.Receive(Sjis("  1234 JA2ABC  1206 ﾃｽﾄ\r\n"));
  w.port->TakeSent();
  w.Mouse(QEvent::MouseButtonPress, 1);
  w.Mouse(QEvent::MouseButtonRelease, 1);
  w.Mouse(QEvent::MouseButtonDblClick, 1);
  ASSERT_EQ(w.port->writes.size(), 1u);
  EXPECT_EQ(w.port->writes[0], "readcom 1234\r");
}

TEST(PaneCommands, HistoryPaneOnTopFollowsTheStoreThroughEviction) {
  Window w;
  auto* splitter = qobject_cast<QSplitter*>(w.frame->centralWidget());
  ASSERT_NE(splitter, nullptr);
  EXPECT_EQ(splitter->widget(0), w.history);
  EXPECT_EQ(splitter->widget(1), w.frame->TerminalPane());
  // History above with two thirds of the splitter.
  const QList<int> sizes = splitter->sizes();
  EXPECT_NEAR(double(sizes[0]) / (sizes[0] + sizes[1]), 2.0 / 3.0, 0.05);
  EXPECT_TRUE(w.frame->TerminalPane()->hasFocus());

  // Each receive tick updates the pane's range without a repaint of its own.
  w.Lines(50);
  EXPECT_EQ(w.history->verticalScrollBar()->maximum(), w.history->Model().ScrollMax());
  EXPECT_GT(w.history->verticalScrollBar()->maximum(), 0);

  CNamiDoc& doc = w.session->Doc();
  while (doc.Lines().LineCount() < 80000) doc.Lines().AddLine("filler " + std::to_string(doc.Lines().LineCount()));
  w.Receive("x\r\n");  // the store is full from here on
  w.history->verticalScrollBar()->setValue(1000);
  ASSERT_EQ(w.history->TopLine(), 1000);
  const std::string shown = doc.Lines().LineAt(1000);
  w.Lines(5);  // five more lines evict five from the front
  EXPECT_EQ(doc.Lines().LineCount(), 80000u);
  EXPECT_EQ(w.history->TopLine(), 995);
  EXPECT_EQ(w.history->verticalScrollBar()->value(), 995);
  EXPECT_EQ(doc.Lines().LineAt(995), shown) << "the same text stays in view";
}

}  // namespace
}  // namespace nami
