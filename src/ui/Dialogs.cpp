#include "ui/Dialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
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
bool RunAutoModeDialog(QWidget* parent, CNamiDoc& doc) { return RunDialog<CAutoModeDlg>(parent, doc); }
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

void ShowAboutBox(QWidget* parent) {
  QMessageBox box(parent);
  box.setWindowTitle(QStringLiteral("Nami のﾊﾞｰｼﾞｮﾝ情報"));
  box.setIconPixmap(AppIcon().pixmap(48, 48));
  box.setText(QStringLiteral("Nami Version %1").arg(QStringLiteral(NAMI_VERSION)));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
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
