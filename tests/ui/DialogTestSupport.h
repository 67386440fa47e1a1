// Shared set-up of the dialog and editor tests: a QApplication, a fresh
// settings file and hooks that record messages instead of showing them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <memory>

#include "settings/Settings.h"
#include "support/TestSupport.h"
#include "ui/DialogHooks.h"

namespace nami::test {

inline void EnsureApplication() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
}

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() : settings(dir.File("NAMI.INI")) {
    EnsureApplication();
    Hooks().message = [this](QWidget*, const QString& text) { messages << text; };
    Hooks().openFile = [](QWidget*, const QString&, const QString&) { return QString(); };
    Hooks().openUrl = [](const QUrl&) { return false; };
  }

  TempDir dir;
  CSettings settings;
  ScopedDialogHooks restoreHooks;
  QStringList messages;
};

}  // namespace nami::test
