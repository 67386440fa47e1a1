#include "ui/EditorLaunch.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "settings/Settings.h"
#include "text/IniPath.h"
#include "settings/DialogValues.h"

namespace nami {

namespace {

// Creates `file` empty when it does not exist (and its folder does).
void CreateIfMissing(const QString& file) {
  if (QFileInfo::exists(file)) return;
  QFile f(file);
  if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) f.close();
}

}  // namespace

QString EditorStartFailedText() { return QStringLiteral("ｴﾃﾞｨﾀｰの起動に失敗しました"); }

bool IsDefaultEditorSetting(const QString& setting) {
  QString s = setting.trimmed();
  return s.isEmpty() || s.compare(QStringLiteral("notepad.exe"), Qt::CaseInsensitive) == 0 ||
         s.compare(QStringLiteral("notepad"), Qt::CaseInsensitive) == 0;
}

QStringList DefaultEditorCandidates(const QString& desktop) {
  QStringList first;
  const QStringList names = desktop.toUpper().split(QLatin1Char(':'), Qt::SkipEmptyParts);
  for (const QString& d : names) {
    if (d == "KDE")
      first << "kate"
            << "kwrite";
    else if (d == "XFCE")
      first << "mousepad";
    else if (d == "MATE")
      first << "pluma";
    else if (d == "X-CINNAMON" || d == "CINNAMON")
      first << "xed";
    else if (d == "LXQT")
      first << "featherpad";
    else if (d == "LXDE")
      first << "leafpad"
            << "mousepad";
    else if (d == "GNOME" || d == "UNITY" || d == "BUDGIE")
      first << "gnome-text-editor"
            << "gedit";
  }
  QStringList all = first;
  for (const char* name :
       {"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad", "xed", "pluma", "featherpad", "leafpad", "geany"}) {
    if (!all.contains(QLatin1String(name))) all << QLatin1String(name);
  }
  return all;
}

EditorCommand BuildEditorCommand(const QString& setting, const QString& file, const DialogHooks& hooks) {
  EditorCommand cmd;
  QStringList words = IsDefaultEditorSetting(setting) ? QStringList() : QProcess::splitCommand(setting);
  if (words.isEmpty()) {
    const QString desktop = hooks.environment ? hooks.environment("XDG_CURRENT_DESKTOP") : QString();
    for (const QString& name : DefaultEditorCandidates(desktop)) {
      QString found = hooks.findExecutable ? hooks.findExecutable(name) : QString();
      if (!found.isEmpty()) {
        cmd.program = found;
        break;
      }
    }
    if (cmd.program.isEmpty()) {
      cmd.program = QStringLiteral("xdg-open");
      cmd.fileMustExist = true;
    }
  } else {
    cmd.program = words.takeFirst();
    cmd.args = words;
  }
  cmd.args << file;
  return cmd;
}

std::string NewMailFileName(std::time_t now) {
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::size_t n = std::strftime(buf, sizeof buf, "%y%m%d.UPL", &tm);
  return std::string(buf, n);
}

bool LaunchEditor(QWidget* parent, const CSettings& settings, const QString& file) {
  DialogHooks& hooks = Hooks();
  EditorCommand cmd =
      BuildEditorCommand(QFile::decodeName(IniPathToFs(LoadEditorSetting(settings)).c_str()), file, hooks);
  if (cmd.fileMustExist) CreateIfMissing(file);
  if (hooks.startDetached(cmd.program, cmd.args)) return true;
  hooks.message(parent, EditorStartFailedText());
  return false;
}

}  // namespace nami
