// Shared set-up of the dialog and editor tests: a QApplication, a fresh
// settings file and hooks that record messages instead of showing them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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

// Keeps the settings file as it was after each write, to tell in which
// order a dialog wrote its keys.
class RecordingFileOps : public IFileOps {
 public:
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    ssize_t n = PosixFileOps().Write(fd, data, size);
    if (n > 0) pending_.append(static_cast<const char*>(data), static_cast<std::size_t>(n));
    return n;
  }
  int Sync(int fd) override { return PosixFileOps().Sync(fd); }
  int Rename(const char* from, const char* to) override {
    int rc = PosixFileOps().Rename(from, to);
    if (rc == 0) snapshots_.push_back(pending_);
    pending_.clear();
    return rc;
  }
  // The key of each line that a write added or changed, write by write.
  std::vector<std::string> WrittenKeys() const {
    std::vector<std::string> keys;
    std::set<std::string> before;
    for (const std::string& text : snapshots_) {
      std::set<std::string> lines;
      std::istringstream in(text);
      for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.insert(line);
        std::size_t eq = line.find('=');
        if (eq != std::string::npos && !before.count(line)) keys.push_back(line.substr(0, eq));
      }
      before = lines;
    }
    return keys;
  }

 private:
  std::string pending_;
  std::vector<std::string> snapshots_;
};

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
