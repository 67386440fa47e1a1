// Japanese names in the settings dialogs and Qt's own texts.
#include <QCoreApplication>
#include <QLineEdit>
#include <QTranslator>

#include "ui/DialogTestSupport.h"
#include "ui/ProfileDlgs.h"
#include "ui/QtTranslation.h"

namespace nami {
namespace {

class JapaneseNamesTest : public test::DialogTest {};

// Each path field shows the stored CP932 path as the file system names it,
// stores a Japanese path as CP932, and refuses, naming it, a path CP932
// cannot hold (nothing is written then).
TEST_F(JapaneseNamesTest, PathFieldsStoreCp932AndRefuseWhatItCannotHold) {
  const QString folder = QStringLiteral("/home/op/ドキュメント/");
  const struct {
    const char* name;
    const KeySpec& key;
    std::function<QLineEdit*(QDialog&)> field;
    std::function<std::unique_ptr<QDialog>()> make;
  } cases[] = {
      {"send1", keys::Send[0], [](QDialog& d) { return static_cast<CSendMailDlg&>(d).Edit(1); },
       [this] { return std::make_unique<CSendMailDlg>(nullptr, settings); }},
      {"MailFile", keys::MailFile, [](QDialog& d) { return static_cast<CFileNameDlg&>(d).MailFile(); },
       [this] { return std::make_unique<CFileNameDlg>(nullptr, settings); }},
      {"ListFile", keys::ListFile, [](QDialog& d) { return static_cast<CFileNameDlg&>(d).ListFile(); },
       [this] { return std::make_unique<CFileNameDlg>(nullptr, settings); }},
      {"editor", keys::Editor, [](QDialog& d) { return static_cast<CEditorDlg&>(d).Edit(); },
       [this] { return std::make_unique<CEditorDlg>(nullptr, settings); }},
  };
  for (const auto& c : cases) {
    settings.Set(c.key, test::Sjis("/home/op/東京/古い.txt"));
    {
      auto dlg = c.make();
      EXPECT_EQ(c.field(*dlg)->text(), QStringLiteral("/home/op/東京/古い.txt")) << c.name;
      c.field(*dlg)->setText(folder + QStringLiteral("江東.txt"));
      dlg->accept();
    }
    EXPECT_EQ(settings.Raw(c.key), test::Sjis("/home/op/ドキュメント/江東.txt")) << c.name;

    messages.clear();
    const std::string before = test::ReadFile(settings.Path());
    auto dlg = c.make();
    c.field(*dlg)->setText(folder + QStringLiteral("메일😀.txt"));
    dlg->accept();
    EXPECT_EQ(dlg->result(), QDialog::Rejected) << c.name << ": the dialog stays open";
    ASSERT_EQ(messages.size(), 1) << c.name;
    EXPECT_TRUE(messages[0].contains(folder + QStringLiteral("메일😀.txt"))) << messages[0].toStdString();
    EXPECT_EQ(test::ReadFile(settings.Path()), before) << c.name;
  }
}

// What a dialog lets the user type in full reads back whole.
TEST_F(JapaneseNamesTest, TypedToTheDialogsLimitReadsBackWhole) {
  {
    CStationDlg dlg(nullptr, settings);
    dlg.Edit(2)->setText(QString(38, QChar(0x6771)) + QStringLiteral("ab>!"));  // 80 bytes
    dlg.accept();
  }
  EXPECT_EQ(settings.Get(keys::Prompt).size(), 80u);
  {
    CSendMailDlg dlg(nullptr, settings);
    dlg.Edit(1)->setText(QStringLiteral("/") + QString(127, QLatin1Char('m')));  // 128 bytes
    dlg.accept();
  }
  EXPECT_EQ(settings.SendPath(0), "/" + std::string(127, 'm'));
}

TEST(QtTranslation, QtsOwnTextsAreJapanese) {
  test::EnsureApplication();
  QTranslator* translator = InstallQtJapanese(*QCoreApplication::instance());
  ASSERT_NE(translator, nullptr) << "qt6-translations-l10n is not installed";
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
  // The other tests of this program expect Qt's texts as they are.
  QCoreApplication::removeTranslator(translator);
  delete translator;
}

}  // namespace
}  // namespace nami
