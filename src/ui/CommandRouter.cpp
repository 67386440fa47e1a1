#include "ui/CommandRouter.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QMessageBox>

#include "time/Clock.h"
#include "text/Cp932.h"
#include "text/FileFault.h"
#include "text/IniPath.h"
#include "text/Messages.h"
#include "transfer/TransferNames.h"
#include "ui/CommandTable.h"
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

CCommandRouter::CCommandRouter(CStation& station, CRecentFiles& recent, QWidget* window)
    : station_(station), settings_(station.Settings()), recent_(recent), window_(window) {}

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

QString CCommandRouter::CaptureName() const { return QString::fromStdString(DefaultCaptureName(station_.Now())); }

void CCommandRouter::PasteSend() {
  std::string text;
  {
    CWaitCursor wait;
    text = Utf8ToCp932(QApplication::clipboard()->text().toStdString());
  }
  // Sent from the buffer of the pane that is active.
  const std::size_t cut = station_.PasteSend(historyActive_ ? 1 : 0, text);
  if (cut > 0) Message(QString::fromStdString(PasteCutNotice(cut)));
}

std::string CCommandRouter::LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool CCommandRouter::IsEnabled(Command id) const {
  const CommandRow& row = RowOf(id);
  return row.run != nullptr && (row.enabled == nullptr || row.enabled(*this));
}

bool CCommandRouter::IsChecked(Command id) const {
  const CommandRow& row = RowOf(id);
  return row.checked != nullptr && row.checked(*this);
}

bool CCommandRouter::Execute(Command id) {
  if (!IsEnabled(id)) return false;
  RowOf(id).run(*this);
  return true;
}

void CCommandRouter::NewDocument() {
  if (mayReplaceText && !mayReplaceText()) return;
  station_.NewDocument();
  if (storeReplaced) storeReplaced();
  if (documentChanged) documentChanged();
}

void CCommandRouter::Open() {
  const QString path = AskFile({false, QStringLiteral("開く"), QString(), kDocumentFilter});
  if (!path.isEmpty()) OpenPath(path);
}

void CCommandRouter::CopyMarked() {
  CWaitCursor wait;
  QApplication::clipboard()->setText(QString::fromStdString(Cp932ToUtf8(MarkedText())));
}

void CCommandRouter::CopyToFile() {
  const QString path =
      AskFile({true, Utf(dialog::CopyToFileTitle), CaptureName(), NameFilters(dialog::DownloadFilter)});
  if (!path.isEmpty()) station_.CopyLines(Marks(), LocalPath(path));
}

void CCommandRouter::Upload() {
  const QString path = AskFile({false, Utf(dialog::UploadTitle), QString(), NameFilters(dialog::UploadFilter)});
  if (!path.isEmpty()) station_.Upload(LocalPath(path));
}

void CCommandRouter::Download() {
  const QString path = AskFile({true, Utf(dialog::DownloadTitle), CaptureName(), NameFilters(dialog::DownloadFilter)});
  if (!path.isEmpty()) station_.Capture(LocalPath(path));
}

void CCommandRouter::RetroDownload() {
  // From the history pane's line cursor, whichever pane asked.
  const QString path =
      AskFile({true, Utf(dialog::RetroDownloadTitle), CaptureName(), NameFilters(dialog::DownloadFilter)});
  if (!path.isEmpty()) station_.CaptureFrom(LocalPath(path), Marks().first);
}

void CCommandRouter::PortSettings() {
  if (!(portDialog ? portDialog() : RunComPortDialog(window_, settings_))) return;
  if (station_.Busy()) {
    const QString question = QStringLiteral("実行中の自動運転や転送は終わります。ポートを今すぐ開き直しますか?\n"
                                            "(「いいえ」: 新しい設定は次の新規作成で使われます)");
    const bool yes = askYesNo ? askYesNo(question)
                              : QMessageBox::question(window_, QStringLiteral("Nami"), question) == QMessageBox::Yes;
    if (!yes) return;
  }
  station_.ReopenPort();
  if (documentChanged) documentChanged();
}

bool CCommandRouter::OpenRecent(std::size_t index) {
  if (index >= recent_.Items().size()) return false;
  return OpenPath(QString::fromStdString(recent_.Items()[index]));
}

bool CCommandRouter::OpenPath(const QString& path) {
  if (mayReplaceText && !mayReplaceText()) return false;
  FileFault fault;
  if (!station_.OpenDocument(LocalPath(path), fault)) {
    Message(QString::fromStdString(
        msg::Format(msg::DocumentCannotBeOpened,
                    {{"file", QFileInfo(path).fileName().toStdString()}, {"reason", DocumentFaultText(fault)}})));
    recent_.Remove(LocalPath(path));
    if (documentChanged) documentChanged();
    return false;
  }
  recent_.Add(LocalPath(QFileInfo(path).absoluteFilePath()));
  if (storeReplaced) storeReplaced();
  if (documentChanged) documentChanged();
  return true;
}

bool CCommandRouter::Save() {
  const std::string& path = station_.PathName();
  if (path.empty()) return SaveAs();
  FileFault fault;
  if (!station_.SaveDocument(path, fault)) {
    Message(QString::fromStdString(Cp932ToUtf8(msg::CannotWriteFile)));
    return false;
  }
  return true;
}

bool CCommandRouter::SaveAs() {
  const QString initial = QString::fromStdString(Cp932ToUtf8(station_.Title())) + QStringLiteral(".nmi");
  QString path = AskFile({true, QStringLiteral("名前を付けて保存"), initial, kDocumentFilter});
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".nmi");
  // The name becomes a NAMI.INI section, which is CP932.
  if (!DocumentNameStorable(LocalPath(path))) {
    Message(QString::fromStdString(UnstorablePathMessage(LocalPath(path))));
    return false;
  }
  FileFault fault;
  if (!station_.SaveDocument(LocalPath(path), fault)) {
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
  // The face by the name the font list shows (fontconfig gives IPAGothic as
  // "IPAゴシック" under a Japanese locale), so the dialog opens on it.
  chosen.setFamily(QFontInfo(current).family());
  if (current.pixelSize() > 0) chosen.setPointSize(current.pixelSize());
  bool ok = false;
  if (chooseFont) {
    ok = chooseFont(chosen);
  } else {
    const QFont offered = chosen;
    chosen = QFontDialog::getFont(&ok, offered, window_, QStringLiteral("ﾌｫﾝﾄの選択"), QFontDialog::MonospacedFonts);
  }
  if (!ok) return;
  CSettings& settings = settings_;
  settings.Set(keys::FontName, Utf8ToCp932(chosen.family().toStdString()));
  const double points = chosen.pointSizeF() > 0 ? chosen.pointSizeF() : chosen.pixelSize();
  settings.SetInt(keys::FontSize, static_cast<int>(points * 10) / 10);
}

}  // namespace nami
