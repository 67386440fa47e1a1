#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <set>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <filesystem>

#include "autopilot/MailSender.h"
#include "terminal/NamiDoc.h"
#include "ui/DialogTestSupport.h"
#include "ui/ComPortDlg.h"
#include "ui/Dialogs.h"
#include "ui/ProfileDlgs.h"

namespace nami {
namespace {

class DialogProfileTest : public test::DialogTest {};

// Where each key stands in the settings file (keys of a new section are
// appended in the order they are written).
std::vector<std::size_t> Positions(const std::string& text, const std::vector<std::string>& keys) {
  std::vector<std::size_t> out;
  for (const auto& k : keys) out.push_back(text.find("\n" + k + "="));
  return out;
}

bool Ascending(const std::vector<std::size_t>& p) {
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i] == std::string::npos || (i > 0 && p[i] <= p[i - 1])) return false;
  }
  return true;
}

TEST_F(DialogProfileTest, StationNewProfileShowsDefaultsAndOkWritesElevenKeysInOrder) {
  CStationDlg dlg(nullptr, settings);
  EXPECT_EQ(dlg.Edit(0)->text(), QStringLiteral("QZ1ABC"));
  EXPECT_EQ(dlg.Edit(1)->text(), QString());
  EXPECT_EQ(dlg.Edit(2)->text(), QStringLiteral(">"));
  EXPECT_EQ(dlg.Edit(4)->text(), QStringLiteral("R"));
  dlg.accept();

  int empty = 0;
  for (const KeySpec* key : StationKeys()) {
    EXPECT_TRUE(settings.Has(*key)) << key->name;
    if (settings.Raw(*key).empty()) ++empty;
  }
  EXPECT_EQ(empty, 8);
  EXPECT_EQ(settings.Raw(keys::Call), "QZ1ABC");
  EXPECT_EQ(settings.Raw(keys::Prompt), ">");
  EXPECT_EQ(settings.Raw(keys::ReadCom), "R");
  EXPECT_TRUE(Ascending(
      Positions(test::ReadFile(settings.Path()), {"call", "min", "prompt", "password", "readcom", "event1", "event2",
                                                  "event3", "response1", "response2", "response3"})));
}

TEST_F(DialogProfileTest, StationKeepsJapaneseTextAndLimitsTypingInBytes) {
  settings.Set(keys::Event[0], test::Sjis("接続しました"));
  CStationDlg dlg(nullptr, settings);
  EXPECT_EQ(dlg.Edit(5)->text(), QStringLiteral("接続しました"));
  // 80 bytes: 40 two-byte characters fit, the 41st does not.
  dlg.Edit(8)->clear();
  for (int i = 0; i < 41; ++i) dlg.Edit(8)->insert(QStringLiteral("あ"));
  EXPECT_EQ(dlg.Edit(8)->text().size(), 40);
  dlg.accept();
  EXPECT_EQ(settings.Raw(keys::Event[0]), test::Sjis("接続しました"));
  EXPECT_EQ(settings.RawCut(keys::Response[0], 200).size(), 80u);
}

TEST_F(DialogProfileTest, AutoModeEditsTheDocumentFlags) {
  test::RecordingSink sink;
  CNamiDoc doc(settings, sink);
  CRunState run(sink);
  {
    CAutoModeDlg dlg(nullptr, doc, run);
    EXPECT_TRUE(dlg.List()->isChecked() && dlg.Read()->isChecked() && dlg.Send()->isChecked());
    EXPECT_EQ(dlg.Watchdog()->value(), 300);  // the default, in seconds
    dlg.Send()->setChecked(false);
    dlg.Watchdog()->setValue(0);
    dlg.accept();
  }
  EXPECT_EQ(settings.Raw(keys::Watchdog), "0");  // 0: off
  EXPECT_TRUE(run.Steps().list);
  EXPECT_TRUE(run.Steps().read);
  EXPECT_FALSE(run.Steps().send);

  CAutoModeDlg dlg(nullptr, doc, run);
  EXPECT_FALSE(dlg.Send()->isChecked());
  dlg.List()->setChecked(false);
  dlg.reject();
  EXPECT_TRUE(run.Steps().list);
}

// OK without touching a field never changes it: a stored value that is not
// exactly a list entry is shown and kept as typed text.
TEST_F(DialogProfileTest, FieldOkWithoutAChangeKeepsEveryStoredValue) {
  const struct {
    const KeySpec& key;
    std::string stored;
    QString shown;
  } cases[] = {
      {keys::Field[0], "L", "L"},          // not rewritten to the entry "L> " that begins with it
      {keys::Field[1], "l # #", "l # #"},  // letter case kept
      {keys::Field[2], "LL 20", "LL 20"},
      {keys::Field[3], "L #", "L #"},  // an entry itself
      {keys::Field[4], test::Sjis("L 東京"), QStringLiteral("L 東京")},
      {keys::LimitModel, "l #-", "l #-"},
  };
  settings.Set(keys::LimitMode, "true");
  for (const auto& c : cases) settings.Set(c.key, c.stored);
  {
    CFieldDlg dlg(nullptr, settings);
    EXPECT_FALSE(dlg.LimitMode()->isChecked());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(dlg.Field(i)->currentText(), cases[i].shown) << i;
    EXPECT_EQ(dlg.LimitModel()->currentText(), cases[5].shown);
    EXPECT_EQ(dlg.Field(3)->currentIndex(), 5);  // the entry "L #" is selected
    auto entries = [](const QComboBox* box) {
      QStringList out;
      for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
      return out;
    };
    EXPECT_EQ(entries(dlg.Field(4)), (QStringList{"L> ", "L<", "LL", "LM", "LC", "L #", "L # #"}));
    EXPECT_EQ(entries(dlg.LimitModel()), (QStringList{"L # #", "L #-#", "L #,#"}));
    dlg.accept();
  }
  EXPECT_EQ(settings.Raw(keys::LimitMode), "FALSE");
  for (const auto& c : cases) EXPECT_EQ(settings.Raw(c.key), c.stored) << c.key.name;

  settings.Set(keys::LimitMode, "TRUE");
  CFieldDlg dlg(nullptr, settings);
  EXPECT_TRUE(dlg.LimitMode()->isChecked());
  dlg.Field(0)->setCurrentIndex(0);  // choosing an entry stores it
  dlg.accept();
  EXPECT_EQ(settings.Raw(keys::LimitMode), "TRUE");
  EXPECT_EQ(settings.Raw(keys::Field[0]), "L> ");
}

TEST_F(DialogProfileTest, FieldTooLongIsRefusedAndLimitLengthStopsTyping) {
  CFieldDlg dlg(nullptr, settings);
  dlg.show();
  dlg.LimitModel()->setEditText(QString(81, QLatin1Char('M')));
  dlg.Field(2)->setEditText(QString(81, QLatin1Char('L')));
  dlg.LimitLength()->insert(QString(61, QLatin1Char('9')));
  EXPECT_EQ(dlg.LimitLength()->text().size(), 0);  // refused as a whole
  dlg.LimitLength()->insert(QString(60, QLatin1Char('9')));
  EXPECT_EQ(dlg.LimitLength()->text().size(), 60);

  dlg.accept();
  ASSERT_EQ(messages, QStringList{QStringLiteral("80 文字以内で入力してください。")});
  EXPECT_NE(dlg.result(), QDialog::Accepted);
  EXPECT_TRUE(dlg.Field(2)->isAncestorOf(dlg.focusWidget()) || dlg.focusWidget() == dlg.Field(2));
  EXPECT_FALSE(settings.Has(keys::Field[0]));

  dlg.Field(2)->setEditText(QStringLiteral("LC"));
  dlg.accept();
  EXPECT_TRUE(dlg.LimitModel()->isAncestorOf(dlg.focusWidget()) || dlg.focusWidget() == dlg.LimitModel());
  dlg.LimitModel()->setEditText(QStringLiteral("L #,#"));
  dlg.accept();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(settings.Raw(keys::LimitLength), std::string(60, '9'));
  EXPECT_EQ(settings.Raw(keys::LimitModel), "L #,#");
}

TEST_F(DialogProfileTest, LastMailNumberDefaultAndBlanksKept) {
  {
    CLastMailNoDlg dlg(nullptr, settings);
    EXPECT_EQ(dlg.Edit()->text(), QStringLiteral("10"));
    dlg.Edit()->setText(QStringLiteral("   10"));
    dlg.accept();
  }
  EXPECT_EQ(settings.Raw(keys::LastMailNo), "   10");
  {
    CLastMailNoDlg dlg(nullptr, settings);
    EXPECT_EQ(dlg.Edit()->text(), QStringLiteral("   10"));
  }
  // A value longer than the field's limit (written by hand) can be shortened
  // but not lengthened.
  settings.Set(keys::LastMailNo, std::string(100, '1'));
  CLastMailNoDlg dlg(nullptr, settings);
  EXPECT_EQ(dlg.Edit()->text().size(), 100);
  dlg.Edit()->end(false);
  dlg.Edit()->backspace();
  EXPECT_EQ(dlg.Edit()->text().size(), 99);
  dlg.Edit()->insert(QStringLiteral("2"));
  EXPECT_EQ(dlg.Edit()->text().size(), 99);
  dlg.Edit()->selectAll();
  dlg.Edit()->insert(QStringLiteral("12"));
  EXPECT_EQ(dlg.Edit()->text(), QStringLiteral("12"));
}

TEST_F(DialogProfileTest, SendMailBrowseFillsOneRowAndTypedRowsStay) {
  QString seenTitle, seenFilter;
  Hooks().openFile = [&](QWidget*, const QString& title, const QString& filter) {
    seenTitle = title;
    seenFilter = filter;
    return QStringLiteral("/home/op/mail/010105.UPL");
  };
  settings.Set(keys::Send[4], std::string(200, 'x'));
  CSendMailDlg dlg(nullptr, settings);
  EXPECT_EQ(dlg.Edit(5)->text().size(), 128);  // read at the dialog's length
  dlg.Edit(3)->setText(QStringLiteral("typed.upl"));
  dlg.BrowseButton(1)->click();
  EXPECT_EQ(seenTitle, QStringLiteral("送信ﾒｰﾙ選択１"));
  EXPECT_TRUE(seenFilter.startsWith(QStringLiteral("アップロード ファイル (*.upl")));
  EXPECT_EQ(dlg.Edit(1)->text(), QStringLiteral("/home/op/mail/010105.UPL"));
  EXPECT_EQ(dlg.Edit(3)->text(), QStringLiteral("typed.upl"));

  Hooks().openFile = [&](QWidget*, const QString& title, const QString&) {
    seenTitle = title;
    return QString();  // cancelled
  };
  dlg.BrowseButton(3)->click();
  EXPECT_EQ(seenTitle, QStringLiteral("送信ﾒｰﾙ選択３"));
  EXPECT_EQ(dlg.Edit(3)->text(), QStringLiteral("typed.upl"));
  dlg.BrowseButton(5)->click();
  EXPECT_EQ(seenTitle, QStringLiteral("送信ﾒｰﾙ選択５"));

  dlg.Edit(2)->insert(QString(129, QLatin1Char('a')));
  EXPECT_TRUE(dlg.Edit(2)->text().isEmpty());
  dlg.Edit(5)->insert(QStringLiteral("more"));  // row 5 has no limit of its own
  EXPECT_EQ(dlg.Edit(5)->text().size(), 132);
  dlg.accept();
  EXPECT_EQ(settings.RawCut(keys::Send[0], 128), "/home/op/mail/010105.UPL");
  EXPECT_EQ(settings.RawCut(keys::Send[2], 128), "typed.upl");
  EXPECT_TRUE(Ascending(Positions(test::ReadFile(settings.Path()), {"send1", "send2", "send3", "send4"})));
}

// Browsing gives full paths, often longer than 79 bytes: the mail sending
// step must queue every path the dialog keeps, not a cut one it cannot open.
TEST_F(DialogProfileTest, SendMailPathsUpToTheDialogsLimitReachTheSendQueueWhole) {
  const std::string longPath = "/home/op/" + std::string(110, 'm') + ".upl";  // 123 bytes
  Hooks().openFile = [&](QWidget*, const QString&, const QString&) { return QString::fromStdString(longPath); };
  {
    CSendMailDlg dlg(nullptr, settings);
    dlg.BrowseButton(2)->click();
    dlg.accept();
  }
  test::RecordingSink sink;
  CNamiDoc doc(settings, sink);
  CRunState run(sink);
  CMailSender sender(doc, run, nullptr);
  sender.BuildSendQueue();
  ASSERT_EQ(sender.SendQueue.size(), 1u);
  EXPECT_EQ(sender.SendQueue[0], longPath);
}

TEST_F(DialogProfileTest, SendMailCommandRestoresTheWorkingDirectoryWhicheverButtonCloses) {
  namespace fs = std::filesystem;
  const fs::path start = fs::current_path();
  const std::string elsewhere = dir.File("elsewhere");
  fs::create_directories(elsewhere);
  Hooks().openFile = [&](QWidget*, const QString&, const QString&) {
    fs::current_path(elsewhere);  // as a file dialog may do
    return QString::fromStdString(elsewhere + "/a.upl");
  };
  for (bool ok : {false, true}) {
    QTimer::singleShot(0, [ok] {
      auto* dlg = qobject_cast<CSendMailDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(dlg, nullptr);
      dlg->Browse(2);
      if (ok)
        dlg->accept();
      else
        dlg->reject();
    });
    EXPECT_EQ(RunSendMailDialog(nullptr, settings), ok);
    EXPECT_EQ(fs::current_path(), start);
    EXPECT_EQ(settings.Has(keys::Send[1]), ok);
  }
  EXPECT_EQ(settings.RawCut(keys::Send[1], 128), elsewhere + "/a.upl");
}

TEST_F(DialogProfileTest, FileNamesShowDefaultsAndWriteListFileFirst) {
  CFileNameDlg dlg(nullptr, settings);
  EXPECT_EQ(dlg.MailFile()->text(), QStringLiteral("tempmail.dat"));
  EXPECT_EQ(dlg.ListFile()->text(), QStringLiteral("templist.dat"));
  dlg.MailFile()->setText(QStringLiteral("log/mail.txt"));
  dlg.accept();
  EXPECT_EQ(settings.Raw(keys::MailFile), "log/mail.txt");
  EXPECT_EQ(settings.Raw(keys::ListFile), "templist.dat");
  EXPECT_TRUE(Ascending(Positions(test::ReadFile(settings.Path()), {"ListFile", "MailFile"})));
}

// A new profile: every key is new, so each write shows which key it was.
TEST_F(DialogProfileTest, EachDialogWritesAllItsKeysInItsOwnOrder) {
  test::RecordingFileOps ops;
  CSettings recorded(dir.File("ORDER.INI"), ops);
  CStationDlg(nullptr, recorded).accept();
  CFieldDlg(nullptr, recorded).accept();
  CLastMailNoDlg(nullptr, recorded).accept();
  CSendMailDlg(nullptr, recorded).accept();
  CFileNameDlg(nullptr, recorded).accept();
  EXPECT_EQ(
      ops.WrittenKeys(),
      (std::vector<std::string>{"call",   "min",       "prompt",    "password",    "readcom",    "event1",     "event2",
                                "event3", "response1", "response2", "response3",   "fld1",       "fld2",       "fld3",
                                "fld4",   "fld5",      "limitmode", "limitlength", "limitmodel", "LastMailNo", "send1",
                                "send2",  "send3",     "send4",     "send5",       "ListFile",   "MailFile"}));
  EXPECT_EQ(recorded.Raw(keys::LastMailNo), "10");
  EXPECT_EQ(recorded.Raw(keys::LimitMode), "FALSE");
}

TEST_F(DialogProfileTest, EditorSettingWrittenOnOkOnly) {
  {
    CEditorDlg dlg(nullptr, settings);
    EXPECT_EQ(dlg.Edit()->text(), QString());
    dlg.Edit()->setText(QStringLiteral("myedit -r"));
    dlg.reject();
  }
  EXPECT_FALSE(settings.Has(keys::Editor));
  CEditorDlg dlg(nullptr, settings);
  dlg.Edit()->setText(QStringLiteral("myedit -r"));
  dlg.accept();
  EXPECT_EQ(settings.Raw(keys::Editor), "myedit -r");
}

// The editor setting keeps every byte the dialog lets the user type.
TEST_F(DialogProfileTest, EditorSettingKeepsAllItsBytes) {
  const std::string longest = "/usr/local/bin/" + std::string(kEditorLimit - 15, 'e');
  ASSERT_EQ(longest.size(), static_cast<std::size_t>(kEditorLimit));
  settings.Set(keys::Editor, longest);
  CEditorDlg dlg(nullptr, settings);
  EXPECT_EQ(dlg.Edit()->text().toStdString(), longest);
  dlg.accept();
  EXPECT_EQ(settings.Raw(keys::Editor), longest);
}

// A stored value is drawn from its start, in a plain field and in the edit
// part of a list, however long it is: what is on screen is what the field
// shows with its cursor at the start, and it is not blank.
TEST_F(DialogProfileTest, StoredValuesAreDrawnFromTheirStart) {
  const std::string longValue = "LL 100 @JPN > ALL < QZ1XYZ / " + std::string(40, 'x') + " end";
  const std::string values[] = {"L", longValue};
  for (const std::string& value : values) {
    settings.Set(keys::Field[0], value);
    settings.Set(keys::LimitLength, value.substr(0, 4));
    settings.SetDevicePath("COM2", value.size() > 1 ? "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
                                                    : "/dev/ttyS9");
    CFieldDlg dlg(nullptr, settings);
    CComPortDlg port(nullptr, settings);
    dlg.show();
    port.show();
    QApplication::processEvents();
    for (QLineEdit* edit : {dlg.Field(0)->lineEdit(), dlg.LimitLength(), port.DeviceList()->lineEdit()}) {
      edit->clearFocus();  // no blinking caret in the pictures
      const QImage shown = edit->grab().toImage();
      edit->setCursorPosition(0);
      const QImage start = edit->grab().toImage();
      EXPECT_EQ(shown, start) << value << " is not drawn from its start";
      const QColor ground = shown.pixelColor(shown.width() - 3, shown.height() / 2);
      int ink = 0;
      for (int x = 0; x < shown.width() / 2; ++x)
        for (int y = 0; y < shown.height(); ++y) ink += shown.pixelColor(x, y) != ground;
      EXPECT_GT(ink, 10) << value << " is drawn blank";
    }
  }
}

// Every labelled field and every check box can be reached by its own
// access key (Alt+letter), in each settings dialog.
TEST_F(DialogProfileTest, EveryLabelledFieldHasItsOwnAccessKey) {
  CStationDlg station(nullptr, settings);
  CFieldDlg field(nullptr, settings);
  CLastMailNoDlg last(nullptr, settings);
  CFileNameDlg names(nullptr, settings);
  CEditorDlg editor(nullptr, settings);
  CComPortDlg port(nullptr, settings);
  for (QDialog* dlg : std::initializer_list<QDialog*>{&station, &field, &last, &names, &editor, &port}) {
    std::set<QString> keys;
    int fields = 0;
    for (QLabel* label : dlg->findChildren<QLabel*>()) {
      if (!label->buddy()) continue;
      ++fields;
      const QString key = QKeySequence::mnemonic(label->text()).toString();
      EXPECT_FALSE(key.isEmpty()) << dlg->windowTitle().toStdString() << ": " << label->text().toStdString();
      EXPECT_TRUE(keys.insert(key).second) << dlg->windowTitle().toStdString() << ": " << key.toStdString();
    }
    for (QCheckBox* box : dlg->findChildren<QCheckBox*>()) {
      const QString key = QKeySequence::mnemonic(box->text()).toString();
      EXPECT_FALSE(key.isEmpty()) << box->text().toStdString();
      EXPECT_TRUE(keys.insert(key).second) << dlg->windowTitle().toStdString() << ": " << key.toStdString();
    }
    EXPECT_GT(fields, 0) << dlg->windowTitle().toStdString();
  }
}

}  // namespace
}  // namespace nami
