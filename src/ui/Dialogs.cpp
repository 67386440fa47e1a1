#include "ui/Dialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextBrowser>
#include <QUrl>
#include <filesystem>
#include <system_error>

#include "settings/Settings.h"
#include "text/Cp932.h"
#include "ui/ComPortDlg.h"
#include "ui/DialogHooks.h"
#include "ui/EditorLaunch.h"
#include "ui/ProfileDlgs.h"
#include "ui/ToolIcons.h"
#include "ui/UserManual.h"

namespace nami {

namespace {

template <typename Dialog, typename Target>
bool RunDialog(QWidget* parent, Target& target) {
  Dialog dlg(parent, target);
  return dlg.exec() == QDialog::Accepted;
}

// Keeps the process's working directory across a dialog whose file dialogs
// may change it, whichever way the dialog closes.
class CWorkingDirectoryKeeper {
 public:
  CWorkingDirectoryKeeper() { saved_ = std::filesystem::current_path(error_); }
  ~CWorkingDirectoryKeeper() {
    if (error_) return;
    std::error_code ec;
    std::filesystem::current_path(saved_, ec);
  }
  CWorkingDirectoryKeeper(const CWorkingDirectoryKeeper&) = delete;
  CWorkingDirectoryKeeper& operator=(const CWorkingDirectoryKeeper&) = delete;

 private:
  std::error_code error_;
  std::filesystem::path saved_;
};

}  // namespace

bool RunComPortDialog(QWidget* parent, CSettings& settings) { return RunDialog<CComPortDlg>(parent, settings); }
bool RunStationDialog(QWidget* parent, CSettings& settings) { return RunDialog<CStationDlg>(parent, settings); }
bool RunAutoModeDialog(QWidget* parent, CNamiDoc& doc, CRunState& run) {
  CAutoModeDlg dlg(parent, doc, run);
  return dlg.exec() == QDialog::Accepted;
}
bool RunFieldDialog(QWidget* parent, CSettings& settings) { return RunDialog<CFieldDlg>(parent, settings); }
bool RunLastMailNoDialog(QWidget* parent, CSettings& settings) { return RunDialog<CLastMailNoDlg>(parent, settings); }
bool RunFileNameDialog(QWidget* parent, CSettings& settings) { return RunDialog<CFileNameDlg>(parent, settings); }
bool RunEditorDialog(QWidget* parent, CSettings& settings) { return RunDialog<CEditorDlg>(parent, settings); }

bool RunSendMailDialog(QWidget* parent, CSettings& settings) {
  CWorkingDirectoryKeeper keeper;
  return RunDialog<CSendMailDlg>(parent, settings);
}

void EditNewMail(QWidget* parent, CSettings& settings) {
  LaunchEditor(parent, settings, QString::fromStdString(NewMailFileName(Hooks().now())));
}

void ViewMailLog(QWidget* parent, CSettings& settings) {
  LaunchEditor(parent, settings, QFile::decodeName(settings.MailFilePath().c_str()));
}

void ViewListLog(QWidget* parent, CSettings& settings) {
  LaunchEditor(parent, settings, QFile::decodeName(settings.ListFilePath().c_str()));
}

void EditSettingsFile(QWidget* parent, CSettings& settings) {
  LaunchEditor(parent, settings, QFile::decodeName(settings.Path().c_str()));
}

void OpenUserManual(QWidget* parent) {
  QString path = FindUserManual();
  if (path.isEmpty() || !Hooks().openUrl(QUrl::fromLocalFile(path))) {
    Hooks().message(parent, QStringLiteral("ﾍﾙﾌﾟの起動に失敗しました。"));
  }
}

QString AboutText(const QString& iniPath) {
  return QStringLiteral("<p><b>Nami Version %1</b></p>"
                        "<p>アマチュア無線パケット通信の端末と自動運転</p>"
                        "<p>ライセンス: GNU General Public License v3.0 以降 (GPL-3.0-or-later)</p>"
                        "<p>Qt %2</p>"
                        "<p>設定ファイル: %3</p>")
      .arg(QStringLiteral(NAMI_VERSION), QString::fromLatin1(qVersion()), iniPath.toHtmlEscaped());
}

void ShowAboutBox(QWidget* parent, const QString& iniPath) {
  QMessageBox box(parent);
  box.setWindowTitle(QStringLiteral("Nami のﾊﾞｰｼﾞｮﾝ情報"));
  box.setIconPixmap(AppIcon().pixmap(48, 48));
  box.setTextFormat(Qt::RichText);
  box.setText(AboutText(iniPath));
  box.setStandardButtons(QMessageBox::Ok);
  // Wide enough for its title as well as its text.
  box.setStyleSheet(QStringLiteral("QLabel { min-width: %1px; }")
                        .arg(box.fontMetrics().horizontalAdvance(box.windowTitle()) + 120));
  box.exec();
}

bool ShowManualViewer(const QUrl& url) {
  const QFileInfo file(url.toLocalFile());
  if (!file.isFile() || !file.isReadable()) return false;
  auto* viewer = new QTextBrowser;
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  viewer->setObjectName(QStringLiteral("userManual"));
  viewer->setWindowTitle(QStringLiteral("Nami ﾕｰｻﾞｰﾏﾆｭｱﾙ"));
  viewer->setWindowIcon(AppIcon());
  viewer->setOpenExternalLinks(true);
  viewer->setSource(url);
  viewer->resize(760, 600);
  viewer->show();
  return true;
}

QString FindUserManual() {
  // The installed copy beside this program first: a package built from a
  // tree configured for another prefix installs it there.
  const QString candidates[] = {
      QCoreApplication::applicationDirPath() + QStringLiteral("/../share/nami/manual/index.html"),
      QStringLiteral(NAMI_DATADIR "/manual/index.html"),
      QStringLiteral(NAMI_SOURCE_DIR "/doc/manual/index.html"),
  };
  for (const QString& c : candidates) {
    QFileInfo info(c);
    if (info.isFile()) return info.absoluteFilePath();
  }
  return {};
}

}  // namespace nami
