#include "ui/CommandRouter.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QMessageBox>

#include "link/Clock.h"
#include "text/Cp932.h"
#include "ui/CommandIds.h"

#if NAMI_HAVE_DIALOGS
#include "ui/Dialogs.h"
#endif

namespace nami {
namespace {

const QStringList kUploadFilter = {QStringLiteral("Upload Files (*.upl) "), QStringLiteral("All Files (*.*) "),
                                   QStringLiteral("Download Files (*.dwn) "), QStringLiteral("Ish Files (*.ish) ")};
const QStringList kDownloadFilter = {QStringLiteral("Download Files (*.dwn) "), QStringLiteral("All Files (*.*) "),
                                     QStringLiteral("Upload Files (*.upl) "), QStringLiteral("Ish Files (*.ish) ")};
const QStringList kDocumentFilter = {QStringLiteral("Nami ﾌｧｲﾙ (*.nmi)")};

[[maybe_unused]] QString CaptureName(std::time_t now) {
#if NAMI_HAVE_TRANSFERS
  return QString::fromStdString(DefaultCaptureName(now));
#else
  return QString::fromStdString(FormatLocalTime("%y%m%d.DWN", now));
#endif
}

bool IsAutopilotCommand(int id) {
  return id == cmd::AutoModeStart || id == cmd::Connect || id == cmd::MailSend || id == cmd::ListRead ||
         id == cmd::MailRead || id == cmd::AutoModeEnd;
}

#if NAMI_HAVE_AUTOPILOT
AutoCommand ToAutoCommand(int id) {
  switch (id) {
    case cmd::Connect:
      return AutoCommand::Connect;
    case cmd::MailSend:
      return AutoCommand::Send;
    case cmd::ListRead:
      return AutoCommand::List;
    case cmd::MailRead:
      return AutoCommand::Read;
    case cmd::AutoModeEnd:
      return AutoCommand::End;
    default:
      return AutoCommand::AutoMode;
  }
}
#endif

}  // namespace

CCommandRouter::CCommandRouter(CSession& session, CRecentFiles& recent, QWidget* window)
    : session_(session), recent_(recent), window_(window) {}

void CCommandRouter::Message(const QString& text) {
  if (showMessage) {
    showMessage(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Nami"), text, QMessageBox::Ok, window_);
  box.exec();
}

QString CCommandRouter::AskFile(const FileRequest& r) {
  if (chooseFile) return chooseFile(r);
  QFileDialog dialog(window_, r.title);
  dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilters(r.filters);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);  // captures append
  if (!r.initialName.isEmpty()) dialog.selectFile(r.initialName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

std::string CCommandRouter::LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool CCommandRouter::IsAvailable(int id) const {
  switch (id) {
    case cmd::FileNew:
    case cmd::AppExit:
    case cmd::FontSelect:
    case cmd::AppAbout:
    case cmd::ViewToolbar:
    case cmd::ViewStatusBar:
    case cmd::NextPane:
    case cmd::PrevPane:
      return true;
    case cmd::FileOpen:
    case cmd::FileSave:
    case cmd::FileSaveAs:
      return NAMI_HAVE_DOCUMENT_FILE;
    case cmd::EditCopy:
    case cmd::EditPaste:
    case cmd::PasteStop:
    case cmd::CopyToFile:
    case cmd::Upload:
    case cmd::UploadStop:
    case cmd::Download:
    case cmd::RetroDownload:
    case cmd::DownloadEnd:
      return session_.Transfers() != nullptr;
    case cmd::EditAndSend:
    case cmd::SearchCondition:
    case cmd::SearchUp:
    case cmd::SearchDown:
      return history_ != nullptr;
    case cmd::MailCreate:
    case cmd::MailView:
    case cmd::ListView:
    case cmd::AutoModeSettings:
    case cmd::StationSettings:
    case cmd::SendMailSelect:
    case cmd::FieldSettings:
    case cmd::LastMailNo:
    case cmd::EditIni:
    case cmd::ComPortSettings:
    case cmd::EditorSettings:
    case cmd::FileNameSettings:
    case cmd::UserManual:
      return NAMI_HAVE_DIALOGS;
    default:
      break;
  }
  if (IsAutopilotCommand(id)) return session_.Autopilot() != nullptr;
  if (id >= cmd::FileMru1 && id < cmd::FileMru1 + static_cast<int>(CRecentFiles::kMax))
    return NAMI_HAVE_DOCUMENT_FILE && static_cast<std::size_t>(id - cmd::FileMru1) < recent_.Items().size();
  return false;  // undo, cut: no handler in this program
}

bool CCommandRouter::IsEnabled(int id) const {
  if (!IsAvailable(id)) return false;
  const CNamiDoc& doc = session_.Doc();
  switch (id) {
    case cmd::EditPaste:
      return !doc.PasteSending;
    case cmd::PasteStop:
      return doc.PasteSending;
    case cmd::Upload:
      return !doc.Uploading;
    case cmd::UploadStop:
      return doc.Uploading;
    case cmd::Download:
    case cmd::RetroDownload:
      return !doc.Capturing;
    case cmd::DownloadEnd:
      return doc.Capturing;
    case cmd::EditAndSend:
    case cmd::SearchCondition:
    case cmd::SearchUp:
    case cmd::SearchDown:
      return historyActive_;
    case cmd::AutoModeEnd:
      return true;
    case cmd::AutoModeStart:
    case cmd::Connect:
    case cmd::MailSend:
    case cmd::ListRead:
    case cmd::MailRead:
#if NAMI_HAVE_AUTOPILOT
      return doc.AutoIdle && session_.Autopilot()->IsEnabled(ToAutoCommand(id));
#else
      return false;
#endif
    default:
      return true;
  }
}

bool CCommandRouter::Execute(int id) {
  if (!IsEnabled(id)) return false;
  CNamiDoc& doc = session_.Doc();
  [[maybe_unused]] CSettings& settings = session_.Settings();
  [[maybe_unused]] QWidget* parent = window_;
  [[maybe_unused]] const std::time_t now = session_.Clock().Now();
  if (id >= cmd::FileMru1 && id < cmd::FileMru1 + static_cast<int>(CRecentFiles::kMax)) {
    return OpenPath(QString::fromStdString(recent_.Items()[static_cast<std::size_t>(id - cmd::FileMru1)]));
  }
  switch (id) {
    case cmd::FileNew:
      session_.NewDocument();
      if (documentChanged) documentChanged();
      return true;
    case cmd::FileOpen: {
      const QString path = AskFile({false, QStringLiteral("開く"), QString(), kDocumentFilter});
      return !path.isEmpty() && OpenPath(path);
    }
    case cmd::FileSave:
      return Save();
    case cmd::FileSaveAs:
      return SaveAs();
#if NAMI_HAVE_TRANSFERS
    case cmd::EditCopy: {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      QApplication::clipboard()->setText(QString::fromStdString(Cp932ToUtf8(session_.Transfers()->MarkedText())));
      QApplication::restoreOverrideCursor();
      return true;
    }
    case cmd::EditPaste: {
      const std::string text = Utf8ToCp932(QApplication::clipboard()->text().toStdString());
      session_.Transfers()->StartPasteSend(historyActive_ ? 1 : 0, text);
      return true;
    }
    case cmd::PasteStop:
      session_.Transfers()->StopPasteSend();
      return true;
    case cmd::CopyToFile: {
      const QString path = AskFile({true, QStringLiteral("ファイルにコピー"), CaptureName(now), kDownloadFilter});
      if (!path.isEmpty()) session_.Transfers()->CopyMarkedLinesToFile(LocalPath(path));
      return true;
    }
    case cmd::Upload: {
      const QString path = AskFile({false, QStringLiteral("アップロード"), QString(), kUploadFilter});
      if (!path.isEmpty()) session_.Transfers()->StartUpload(LocalPath(path));
      return true;
    }
    case cmd::UploadStop:
      session_.Transfers()->StopUpload();
      return true;
    case cmd::Download: {
      const QString path = AskFile({true, QStringLiteral("ダウンロード"), CaptureName(now), kDownloadFilter});
      if (!path.isEmpty()) session_.Transfers()->StartCapture(LocalPath(path));
      return true;
    }
    case cmd::RetroDownload: {
      const QString path = AskFile({true, QStringLiteral("さかのぼってダウン"), CaptureName(now), kDownloadFilter});
      if (!path.isEmpty()) session_.Transfers()->StartCaptureFromCursor(LocalPath(path), doc.MarkFirst);
      return true;
    }
    case cmd::DownloadEnd:
      session_.Transfers()->StopCapture();
      return true;
#endif
#if NAMI_HAVE_HISTORY
    case cmd::EditAndSend:
      history_->EditAndSend();
      return true;
    case cmd::SearchCondition:
      history_->Search();
      return true;
    case cmd::SearchUp:
      history_->SearchPrev();
      return true;
    case cmd::SearchDown:
      history_->SearchNext();
      return true;
#endif
#if NAMI_HAVE_DIALOGS
    case cmd::MailCreate:
      EditNewMail(parent, settings);
      return true;
    case cmd::MailView:
      ViewMailLog(parent, settings);
      return true;
    case cmd::ListView:
      ViewListLog(parent, settings);
      return true;
    case cmd::EditIni:
      EditSettingsFile(parent, settings);
      return true;
    case cmd::UserManual:
      OpenUserManual(parent);
      return true;
    case cmd::AutoModeSettings:
      RunAutoModeDialog(parent, doc);
      return true;
    case cmd::StationSettings:
      RunStationDialog(parent, settings);
      return true;
    case cmd::SendMailSelect:
      RunSendMailDialog(parent, settings);
      return true;
    case cmd::FieldSettings:
      RunFieldDialog(parent, settings);
      return true;
    case cmd::LastMailNo:
      RunLastMailNoDialog(parent, settings);
      return true;
    case cmd::ComPortSettings:
      RunComPortDialog(parent, settings);
      return true;
    case cmd::EditorSettings:
      RunEditorDialog(parent, settings);
      return true;
    case cmd::FileNameSettings:
      RunFileNameDialog(parent, settings);
      return true;
#endif
    default:
      break;
  }
#if NAMI_HAVE_AUTOPILOT
  if (IsAutopilotCommand(id)) {
    session_.Autopilot()->Run(ToAutoCommand(id));
    return true;
  }
#endif
  (void)doc;
  return false;  // the frame's own commands (exit, bars, panes, font, about)
}

bool CCommandRouter::OpenPath(const QString& path) {
  std::string error;
  if (!session_.OpenDocument(LocalPath(path), error)) {
    Message(QStringLiteral("%1 を開けません。\n%2").arg(QFileInfo(path).fileName(), QString::fromStdString(error)));
    recent_.Remove(LocalPath(path));
    if (documentChanged) documentChanged();
    return false;
  }
  recent_.Add(LocalPath(QFileInfo(path).absoluteFilePath()));
  if (documentChanged) documentChanged();
  return true;
}

bool CCommandRouter::Save() {
  const std::string& path = session_.Doc().PathName();
  if (path.empty()) return SaveAs();
  std::string error;
  if (!session_.SaveDocument(path, error)) {
    Message(QString::fromStdString(Cp932ToUtf8(msg::CannotWriteFile)));
    return false;
  }
  return true;
}

bool CCommandRouter::SaveAs() {
  const QString initial = QString::fromStdString(Cp932ToUtf8(session_.Doc().Title())) + QStringLiteral(".nmi");
  QString path = AskFile({true, QStringLiteral("名前を付けて保存"), initial, kDocumentFilter});
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".nmi");
  std::string error;
  if (!session_.SaveDocument(LocalPath(path), error)) {
    Message(QString::fromStdString(Cp932ToUtf8(msg::CannotWriteFile)));
    return false;
  }
  recent_.Add(LocalPath(QFileInfo(path).absoluteFilePath()));
  if (documentChanged) documentChanged();
  return true;
}

void CCommandRouter::SelectFont(const QFont& current) {
  QFont chosen = current;
  bool ok = false;
  if (chooseFont) {
    ok = chooseFont(chosen);
  } else {
    chosen = QFontDialog::getFont(&ok, current, window_, QStringLiteral("ﾌｫﾝﾄの選択"));
  }
  if (!ok) return;
  CSettings& settings = session_.Settings();
  settings.Set(keys::FontName, Utf8ToCp932(chosen.family().toStdString()));
  const double points = chosen.pointSizeF() > 0 ? chosen.pointSizeF() : chosen.pixelSize();
  settings.SetInt(keys::FontSize, static_cast<int>(points * 10) / 10);
}

}  // namespace nami
