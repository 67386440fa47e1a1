#include "ui/DialogHooks.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

#include "ui/QtText.h"
#include "ui/UserManual.h"

namespace nami {

DialogHooks DefaultHooks() {
  DialogHooks h;
  h.message = RunMessageBox;
  h.ask = [](QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, QStringLiteral("Nami"), text) == QMessageBox::Yes;
  };
  h.openFile = [](QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
  };
  h.startDetached = [](const QString& program, const QStringList& args) {
    return QProcess::startDetached(program, args);
  };
  h.findExecutable = [](const QString& name) { return QStandardPaths::findExecutable(name); };
  h.environment = [](const char* name) { return qEnvironmentVariable(name); };
  h.openUrl = [](const QUrl& url) { return ShowManualViewer(url); };
  h.now = [] { return std::time(nullptr); };
  return h;
}

DialogHooks& Hooks() {
  static DialogHooks hooks = DefaultHooks();
  return hooks;
}

}  // namespace nami
