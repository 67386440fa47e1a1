#include "ui/DialogHooks.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

namespace nami {

DialogHooks DefaultHooks() {
  DialogHooks h;
  h.message = [](QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Nami"), text, QMessageBox::Ok, parent);
    box.exec();
  };
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
