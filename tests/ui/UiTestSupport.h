// Shared set-up of the widget tests: one QApplication per test program, and
// a main frame on a fake port with a settings file in a temporary folder.
#pragma once

#include <QApplication>
#include <memory>

#include "time/Clock.h"
#include "settings/Settings.h"
#include "support/FakePort.h"
#include "support/TestSupport.h"
#include "ui/MainFrame.h"
#include "settings/RecentFiles.h"
#include "station/Station.h"

namespace nami::test {

QApplication& App();

struct FrameFixture {
  explicit FrameFixture(const std::string& iniText = "", IFileOps& ops = PosixFileOps());
  ~FrameFixture();
  // Runs the event loop for `ms` milliseconds (paints, timers).
  static void Pump(int ms = 0);

  TempDir dir;
  std::unique_ptr<CSettings> settings;
  CManualClock clock{1796000000};
  std::unique_ptr<CStation> session;
  FakePort* port = nullptr;
  std::unique_ptr<CRecentFiles> recent;
  std::unique_ptr<CMainFrame> frame;
  QStringList messages;
  QString nextFile;                                                  // what the file dialog answers
  CMainFrame::ExitChoice exitChoice = CMainFrame::ExitChoice::Save;  // what the exit question answers
  QStringList exitQuestions;
};

}  // namespace nami::test
