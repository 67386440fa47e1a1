// The platform operations the dialogs and editor commands use, replaceable
// so that tests can see what would be shown or started without a modal
// loop, a file dialog or a real program.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <ctime>
#include <functional>

class QWidget;

namespace nami {

struct DialogHooks {
  // A modal message box with an OK button.
  std::function<void(QWidget* parent, const QString& text)> message;
  // A modal question with はい / いいえ; true for はい.
  std::function<bool(QWidget* parent, const QString& text)> ask;
  // The file-open dialog; returns the chosen file's full path, or empty.
  std::function<QString(QWidget* parent, const QString& title, const QString& filter)> openFile;
  // Starts a program detached, without a shell; false when it could not start.
  std::function<bool(const QString& program, const QStringList& args)> startDetached;
  // The full path of a program found on PATH, or empty.
  std::function<QString(const QString& name)> findExecutable;
  // An environment variable (empty when unset).
  std::function<QString(const char* name)> environment;
  // Shows a URL in the desktop's browser; false when nothing could show it.
  std::function<bool(const QUrl& url)> openUrl;
  // The current time (for the name of a new mail file).
  std::function<std::time_t()> now;
};

// The hooks in use; the defaults call Qt and the system.
DialogHooks& Hooks();
DialogHooks DefaultHooks();

// Replaces the hooks for the lifetime of the object (tests).
class ScopedDialogHooks {
 public:
  ScopedDialogHooks() : saved_(Hooks()) {}
  ~ScopedDialogHooks() { Hooks() = saved_; }
  ScopedDialogHooks(const ScopedDialogHooks&) = delete;
  ScopedDialogHooks& operator=(const ScopedDialogHooks&) = delete;

 private:
  DialogHooks saved_;
};

}  // namespace nami
