#include "ui/CommandRouter.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QMessageBox>

#include "link/Clock.h"
#include "text/Cp932.h"
#include "text/IniPath.h"
#include "transfer/TransferNames.h"
#include "ui/CommandIds.h"
#include "ui/Dialogs.h"
#include "ui/QtText.h"

namespace nami {
namespace {

const QStringList kDocumentFilter = {QStringLiteral("Nami ﾌｧｲﾙ (*.nmi)")};

QString Utf(const char* text) { return QString::fromUtf8(text); }

// Sets the wait cursor for the life of the object.
class CWaitCursor {
 public:
  CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

bool IsAutopilotCommand(int id) {
  return id == cmd::AutoModeStart || id == cmd::Connect || id == cmd::MailSend || id == cmd::ListRead ||
         id == cmd::MailRead || id == cmd::AutoModeEnd;
}

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

}  // namespace

QStringList NameFilters(const std::string& filter) {
  QStringList filters;
  for (const dialog::FilterEntry& entry : dialog::SplitFilter(filter)) {
    QString name = QString::fromStdString(entry.name);
    while (name.endsWith(QLatin1Char(' '))) name.chop(1);
    if (!name.endsWith(QLatin1Char(')')))
      name += QStringLiteral(" (%1)").arg(QString::fromStdString(entry.pattern).trimmed());
    // "*.*" stands for every file in these filters; as a pattern here it
    // would hide every name without a dot.
    if (name.endsWith(QStringLiteral("(*.*)"))) name.replace(name.size() - 5, 5, QStringLiteral("(*)"));
    filters << name;
  }
  return filters;
}

CCommandRouter::CCommandRouter(CStation& session, CRecentFiles& recent, QWidget* window)
    : session_(session), recent_(recent), window_(window) {}

void CCommandRouter::Message(const QString& text) {
  if (showMessage) {
    showMessage(text);
    return;
  }
  RunMessageBox(window_, text);
}

QString CCommandRouter::AskFile(const FileRequest& r) {
  const QString workingDir = QDir::currentPath();
  QString chosen;
  if (chooseFile) {
    chosen = chooseFile(r);
  } else {
    QFileDialog dialog(window_, r.title, workingDir);
    dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(r.filters);
    if (!r.filters.isEmpty()) dialog.selectNameFilter(r.filters.first());
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);  // captures append
    if (!r.initialName.isEmpty()) dialog.selectFile(r.initialName);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      chosen = dialog.selectedFiles().first();
  }
  // Relative names (captures, logs, mail files) stay relative to the folder
  // the user started in, whatever the dialog did to the working directory.
  if (QDir::currentPath() != workingDir) QDir::setCurrent(workingDir);
  return chosen;
}

QString CCommandRouter::CaptureName() const {
  return QString::fromStdString(DefaultCaptureName(session_.Clock().Now()));
}

void CCommandRouter::PasteSend() {
  std::string text;
  {
    CWaitCursor wait;
    text = Utf8ToCp932(QApplication::clipboard()->text().toStdString());
  }
  // Sent from the buffer of the pane that is active.
  const std::size_t cut = session_.Transfers().StartPasteSend(historyActive_ ? 1 : 0, text);
  if (cut > 0) Message(QString::fromStdString(PasteCutNotice(cut)));
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
      return true;
    case cmd::FileOpen:
    case cmd::FileSave:
    case cmd::FileSaveAs:
      return true;
    case cmd::EditCopy:
    case cmd::EditPaste:
    case cmd::PasteStop:
    case cmd::CopyToFile:
    case cmd::Upload:
    case cmd::UploadStop:
    case cmd::Download:
    case cmd::RetroDownload:
    case cmd::DownloadEnd:
      return true;
    case cmd::EditAndSend:
    case cmd::SearchCondition:
    case cmd::SearchUp:
    case cmd::SearchDown:
      return history_ != nullptr;
    default:
      break;
  }
  if (IsAutopilotCommand(id)) return true;
  if (id >= cmd::FileMru1 && id < cmd::FileMru1 + static_cast<int>(CRecentFiles::kMax))
    return static_cast<std::size_t>(id - cmd::FileMru1) < recent_.Items().size();
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
      return historyActive_;  // the history pane's own command
    case cmd::SearchCondition:
    case cmd::SearchUp:
    case cmd::SearchDown:
      return true;  // searching the history works from either pane
    case cmd::AutoModeEnd:
      return true;
    case cmd::AutoModeStart:
    case cmd::Connect:
    case cmd::MailSend:
    case cmd::ListRead:
    case cmd::MailRead:
      return doc.AutoIdle && session_.Autopilot().IsEnabled(ToAutoCommand(id));
    default:
      return true;
  }
}

bool CCommandRouter::Execute(int id) {
  if (!IsEnabled(id)) return false;
  CNamiDoc& doc = session_.Doc();
  CSettings& settings = session_.Settings();
  QWidget* parent = window_;
  if (id >= cmd::FileMru1 && id < cmd::FileMru1 + static_cast<int>(CRecentFiles::kMax)) {
    return OpenPath(QString::fromStdString(recent_.Items()[static_cast<std::size_t>(id - cmd::FileMru1)]));
  }
  if (IsAutopilotCommand(id)) {
    session_.Autopilot().Run(ToAutoCommand(id));
    return true;
  }
  CTransfers* transfers = &session_.Transfers();
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

    // Transfers: the same from either pane, on the one document.
    case cmd::EditCopy: {
      CWaitCursor wait;
      QApplication::clipboard()->setText(QString::fromStdString(Cp932ToUtf8(transfers->MarkedText())));
      return true;
    }
    case cmd::EditPaste:
      PasteSend();
      return true;
    case cmd::PasteStop:
      transfers->StopPasteSend();
      return true;
    case cmd::CopyToFile: {
      const QString path =
          AskFile({true, Utf(dialog::CopyToFileTitle), CaptureName(), NameFilters(dialog::DownloadFilter)});
      if (!path.isEmpty()) transfers->CopyMarkedLinesToFile(LocalPath(path));
      return true;
    }
    case cmd::Upload: {
      const QString path = AskFile({false, Utf(dialog::UploadTitle), QString(), NameFilters(dialog::UploadFilter)});
      if (!path.isEmpty()) transfers->StartUpload(LocalPath(path));
      return true;
    }
    case cmd::UploadStop:
      transfers->StopUpload();
      return true;
    case cmd::Download: {
      const QString path =
          AskFile({true, Utf(dialog::DownloadTitle), CaptureName(), NameFilters(dialog::DownloadFilter)});
      if (!path.isEmpty()) transfers->StartCapture(LocalPath(path));
      return true;
    }
    case cmd::RetroDownload: {
      // From the history pane's line cursor, whichever pane asked.
      const QString path =
          AskFile({true, Utf(dialog::RetroDownloadTitle), CaptureName(), NameFilters(dialog::DownloadFilter)});
      if (!path.isEmpty()) transfers->StartCaptureFromCursor(LocalPath(path), doc.MarkFirst);
      return true;
    }
    case cmd::DownloadEnd:
      transfers->StopCapture();
      return true;

    // The history pane's own commands.
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
    default:
      return false;  // the frame's own commands (exit, bars, panes, font, about)
  }
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
  // The name becomes a NAMI.INI section, which is CP932.
  if (!DocumentNameStorable(LocalPath(path))) {
    Message(QString::fromStdString(UnstorablePathMessage(LocalPath(path))));
    return false;
  }
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
  // "fontsize" is one number for both: the panes' height in pixels and the
  // dialog's size in points. Offer the pane's height as the point size, so
  // that OK without a change keeps the setting instead of shrinking it.
  QFont chosen = current;
  if (current.pixelSize() > 0) chosen.setPointSize(current.pixelSize());
  bool ok = false;
  if (chooseFont) {
    ok = chooseFont(chosen);
  } else {
    const QFont offered = chosen;
    chosen = QFontDialog::getFont(&ok, offered, window_, QStringLiteral("ﾌｫﾝﾄの選択"));
  }
  if (!ok) return;
  CSettings& settings = session_.Settings();
  settings.Set(keys::FontName, Utf8ToCp932(chosen.family().toStdString()));
  const double points = chosen.pointSizeF() > 0 ? chosen.pointSizeF() : chosen.pixelSize();
  settings.SetInt(keys::FontSize, static_cast<int>(points * 10) / 10);
}

}  // namespace nami
