#include "ui/DialogHooks.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QProcess>
#include <QStandardPaths>

#include "ui/QtText.h"

namespace nami {

DialogHooks DefaultHooks() {
  DialogHooks h;
  h.message = RunMessageBox;
  h.openFile = [](QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
  };
  h.startDetached = [](const QString& program, const QStringList& args) {
    return QProcess::startDetached(program, args);
  };
  h.findExecutable = [](const QString& name) { return QStandardPaths::findExecutable(name); };
  h.environment = [](const char* name) { return qEnvironmentVariable(name); };
  h.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  h.now = [] { return std::time(nullptr); };
  return h;
}

DialogHooks& Hooks() {
  static DialogHooks hooks = DefaultHooks();
  return hooks;
}

}  // namespace nami
