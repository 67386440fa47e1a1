#include <QProcess>
#include <chrono>
#include <filesystem>
#include <thread>

#include "ui/DialogTestSupport.h"
#include "ui/Dialogs.h"
#include "ui/EditorLaunch.h"
#include "ui/UserManual.h"

namespace nami {
namespace {

namespace fs = std::filesystem;

class EditorLaunchTest : public test::DialogTest {
 protected:
  EditorLaunchTest() {
    Hooks().startDetached = [this](const QString& program, const QStringList& args) {
      started << (QStringList{program} + args);
      return startResult;
    };
    Hooks().findExecutable = [this](const QString& name) {
      return available.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
    };
    Hooks().environment = [this](const char*) { return desktop; };
  }

  // Runs `body` with the current directory set to the test folder.
  template <typename F>
  void InTestDir(F body) {
    const fs::path saved = fs::current_path();
    fs::current_path(dir.Path());
    body();
    fs::current_path(saved);
  }

  QList<QStringList> started;
  bool startResult = true;
  QStringList available;
  QString desktop;
};

TEST_F(EditorLaunchTest, SettingIsSplitIntoWordsAndTheFileIsOneMoreArgument) {
  settings.Set(keys::Editor, "myedit -r");
  settings.Set(keys::ListFile, "log/list.txt");
  ViewListLog(nullptr, settings);
  ASSERT_EQ(started.size(), 1);
  EXPECT_EQ(started[0], (QStringList{"myedit", "-r", "log/list.txt"}));

  settings.Set(keys::Editor, "\"/opt/My Editor/ed\" --new-window");
  settings.Set(keys::MailFile, test::Sjis("受信 メール;$(rm -rf ~).txt"));
  ViewMailLog(nullptr, settings);
  ASSERT_EQ(started.size(), 2);
  EXPECT_EQ(started[1], (QStringList{"/opt/My Editor/ed", "--new-window", "受信 メール;$(rm -rf ~).txt"}));

  EditSettingsFile(nullptr, settings);
  EXPECT_EQ(started[2].last(), QString::fromStdString(settings.Path()));
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(EditorLaunchTest, LogsFallBackToTheirDefaultNames) {
  settings.Set(keys::Editor, "myedit");
  ViewMailLog(nullptr, settings);
  ViewListLog(nullptr, settings);
  ASSERT_EQ(started.size(), 2);
  EXPECT_EQ(started[0], (QStringList{"myedit", "tempmail.dat"}));
  EXPECT_EQ(started[1], (QStringList{"myedit", "templist.dat"}));
}

TEST_F(EditorLaunchTest, NewMailIsNamedFromTheLocalDate) {
  std::tm tm{};
  tm.tm_year = 101;
  tm.tm_mon = 0;
  tm.tm_mday = 5;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  const std::time_t when = std::mktime(&tm);
  EXPECT_EQ(NewMailFileName(when), "010105.UPL");

  settings.Set(keys::Editor, "myedit");
  Hooks().now = [when] { return when; };
  InTestDir([&] { EditNewMail(nullptr, settings); });
  ASSERT_EQ(started.size(), 1);
  EXPECT_EQ(started[0], (QStringList{"myedit", "010105.UPL"}));
  EXPECT_FALSE(test::FileExists(dir.File("010105.UPL")));  // the editor creates it on saving
}

TEST_F(EditorLaunchTest, DefaultEditorIsAGraphicalOneOfTheDesktopElseXdgOpenOnAnExistingFile) {
  available = {"gedit", "kate", "mousepad"};
  for (const char* setting : {"", "notepad.exe", "  NOTEPAD.EXE "}) {
    settings.Set(keys::Editor, setting);
    ViewListLog(nullptr, settings);
    EXPECT_EQ(started.last(), (QStringList{"/usr/bin/gedit", "templist.dat"})) << setting;
  }
  desktop = "KDE";
  ViewListLog(nullptr, settings);
  EXPECT_EQ(started.last().first(), QStringLiteral("/usr/bin/kate"));
  desktop = "XFCE";
  ViewListLog(nullptr, settings);
  EXPECT_EQ(started.last().first(), QStringLiteral("/usr/bin/mousepad"));

  // No known editor: xdg-open, which cannot open a file that is not there.
  available.clear();
  Hooks().now = [] { return std::time_t(1000000000); };
  const std::string name = NewMailFileName(1000000000);
  InTestDir([&] { EditNewMail(nullptr, settings); });
  EXPECT_EQ(started.last(), (QStringList{"xdg-open", QString::fromStdString(name)}));
  EXPECT_TRUE(test::FileExists(dir.File(name)));
  EXPECT_EQ(test::ReadFile(dir.File(name)), "");

  // An existing file is left as it is.
  test::WriteFile(dir.File(name), "draft");
  InTestDir([&] { EditNewMail(nullptr, settings); });
  EXPECT_EQ(test::ReadFile(dir.File(name)), "draft");
}

TEST_F(EditorLaunchTest, FileNameIsNeverRunByAShell) {
  Hooks() = DefaultHooks();
  Hooks().message = [this](QWidget*, const QString& text) { messages << text; };
  settings.Set(keys::Editor, "touch");
  settings.Set(keys::ListFile, "x; touch pwned");
  InTestDir([&] { ViewListLog(nullptr, settings); });
  // `touch` runs detached; wait for the file it makes.
  for (int i = 0; i < 200 && !test::FileExists(dir.File("x; touch pwned")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(test::FileExists(dir.File("x; touch pwned")));
  EXPECT_FALSE(test::FileExists(dir.File("pwned")));
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(EditorLaunchTest, MissingProgramIsReportedOnceAndNothingElseHappens) {
  Hooks().startDetached = [](const QString& program, const QStringList& args) {
    return QProcess::startDetached(program, args);
  };
  settings.Set(keys::Editor, "/nonexistent/nami-no-such-editor -r");
  const std::string before = test::ReadFile(settings.Path());
  InTestDir([&] { EXPECT_FALSE(LaunchEditor(nullptr, settings, QStringLiteral("new.upl"))); });
  EXPECT_EQ(messages, QStringList{QStringLiteral("ｴﾃﾞｨﾀｰの起動に失敗しました")});
  EXPECT_EQ(test::ReadFile(settings.Path()), before);
  EXPECT_FALSE(test::FileExists(dir.File("new.upl")));
}

TEST_F(EditorLaunchTest, UserManualOpensTheHtmlFileOrReportsFailure) {
  const QString manual = FindUserManual();
  ASSERT_FALSE(manual.isEmpty());
  EXPECT_TRUE(manual.endsWith(QStringLiteral("/manual/index.html")));

  QList<QUrl> opened;
  Hooks().openUrl = [&](const QUrl& url) {
    opened << url;
    return true;
  };
  OpenUserManual(nullptr);
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0], QUrl::fromLocalFile(manual));
  EXPECT_TRUE(messages.isEmpty());

  Hooks().openUrl = [](const QUrl&) { return false; };
  OpenUserManual(nullptr);
  EXPECT_EQ(messages, QStringList{QStringLiteral("ﾍﾙﾌﾟの起動に失敗しました。")});
}

}  // namespace
}  // namespace nami
