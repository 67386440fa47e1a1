// nami: start-up. Reads the command line, picks the settings file and the
// port, then runs the window, the window-less automation server or the
// headless runner.
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "link/Clock.h"
#include "settings/Settings.h"
#include "ui/CommandLine.h"
#include "ui/HeadlessRunner.h"
#include "ui/MainFrame.h"
#include "ui/RecentFiles.h"
#include "ui/Session.h"

namespace {

// The longest a headless auto-mode run may take before it is given up.
int HeadlessTimeLimitSeconds() {
  const char* v = std::getenv("NAMI_HEADLESS_TIMEOUT");
  const int seconds = v ? std::atoi(v) : 0;
  return seconds > 0 ? seconds : 600;
}

int RunHeadless(int argc, char** argv, const nami::CommandLine& cl, nami::CSettings& settings) {
  QCoreApplication app(argc, argv);
  nami::CSystemClock clock;
  nami::CSession session(settings, clock, cl.demo);
  nami::CHeadlessRunner runner(session, cl.stay, HeadlessTimeLimitSeconds());
  runner.HandleTerminationSignals();
  if (!cl.documentPath.empty()) {
    std::string error;
    if (!session.OpenDocument(QFileInfo(QString::fromStdString(cl.documentPath)).absoluteFilePath().toStdString(),
                              error)) {
      std::fprintf(stderr, "nami: cannot open %s: %s\n", cl.documentPath.c_str(), error.c_str());
      return 1;
    }
  } else {
    session.NewDocument();
  }
  runner.Start();
  if (runner.Finished()) return runner.ExitCode();
  const int code = app.exec();
  return runner.Finished() ? runner.ExitCode() : code;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  nami::CommandLine cl = nami::ParseCommandLine(args);
  if (!cl.error.empty()) {
    std::fprintf(stderr, "nami: %s\n%s", cl.error.c_str(), nami::CommandLineHelp());
    return 2;
  }
  if (cl.help) {
    std::fputs(nami::CommandLineHelp(), stdout);
    return 0;
  }
  if (cl.version) {
    std::printf("nami %s\n", NAMI_VERSION);
    return 0;
  }
  if (cl.stay && !cl.headless) {
    std::fprintf(stderr, "nami: --stay needs --headless\n");
    return 2;
  }

  // The demo keeps a settings file of its own and works in its folder, so
  // the user's NAMI.INI and current folder stay untouched.
  std::string iniPath;
  if (cl.demo) {
    iniPath = nami::DemoIniPath();
    const std::string dir = iniPath.substr(0, iniPath.rfind('/'));
    if (!cl.documentPath.empty() && cl.documentPath[0] != '/') {
      char* cwd = ::getcwd(nullptr, 0);
      if (cwd) cl.documentPath = std::string(cwd) + "/" + cl.documentPath;
      std::free(cwd);
    }
    if (::chdir(dir.c_str()) != 0) std::perror("nami: demo folder");
  } else {
    iniPath = nami::ResolveIniPath(cl.iniPath);
  }
  nami::CSettings settings(iniPath);

  if (cl.headless) return RunHeadless(argc, argv, cl, settings);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("nami"));
  QApplication::setApplicationVersion(QStringLiteral(NAMI_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("nami"));
  nami::CSystemClock clock;
  nami::CSession session(settings, clock, cl.demo);
  nami::CRecentFiles recent(nami::CRecentFiles::PathBeside(iniPath));
  nami::CMainFrame frame(session, recent);

  if (!cl.documentPath.empty()) {
    if (!frame.Router().OpenPath(QString::fromStdString(cl.documentPath))) return 1;
  } else {
    session.NewDocument();
  }
  frame.TerminalPane()->StartTimers();
  // Started for automation: no window until a client asks for one.
  if (!cl.automation) frame.show();
  return app.exec();
}
