// nami: start-up. Reads the command line, picks the settings file and the
// port, then runs the window, the window-less automation server or the
// headless runner.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MeasureProbe.h"
#include "automation/AutomationServer.h"
#include "link/Clock.h"
#include "mailbox/MailCli.h"
#include "settings/RecentFiles.h"
#include "settings/Settings.h"
#include "station/Station.h"
#include "ui/AutomationBridge.h"
#include "ui/HeadlessRunner.h"
#include "ui/LinkPasswords.h"
#include "ui/MainFrame.h"
#include "ui/QtText.h"
#include "ui/QtTranslation.h"

namespace {

bool gQuitRequested = false;  // a signal came before the event loop ran

// SIGTERM and SIGINT quit the event loop, so that quitting ends every
// running operation and closes the files and the port as the window's
// close does. No one is there to answer the save question: the received
// text goes to the document's file, or to a dated file beside NAMI.INI.
void QuitOnTerminationSignals(nami::CMainFrame& frame, nami::CStation& station, const std::string& iniPath) {
  frame.Heartbeat().CatchTerminationSignals([&station, iniPath] {
    const std::string folder = iniPath.substr(0, iniPath.rfind('/') == std::string::npos ? 0 : iniPath.rfind('/'));
    std::string error;
    const std::string saved = station.SaveForTermination(folder.empty() ? "." : folder, error);
    if (!saved.empty()) {
      std::fprintf(stderr, "nami: received text saved to %s\n", saved.c_str());
    } else if (!error.empty()) {
      std::fprintf(stderr, "nami: the received text could not be saved: %s\n", error.c_str());
    }
    std::fflush(stderr);
    gQuitRequested = true;
    // exit, not quit: quit would close the window first, which asks
    // where to save the document.
    QCoreApplication::exit(0);
  });
}

// The passwords of telnet links: the desktop's keyring first, then the file.
nami::PasswordLookup KeyringPasswords(const nami::CSettings& settings) {
  return
      [&settings](const std::string& link, std::string& why) { return nami::LinkPassword(settings.Path(), link, why); };
}

// NAMI_STARTUP_REPORT=1 prints, at the first paint of the terminal pane, the
// time since the process started and the resident memory; "exit" then quits
// (scripts/measure-startup uses it).
class CStartupReport : public QObject {
 public:
  explicit CStartupReport(bool quit) : quit_(quit) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      std::fprintf(stderr, "startup: %.1f ms to the first paint, resident %ld kB\n", SinceStartMs(), ResidentKb());
      // exit(), not quit(): quit() closes the window first, and closing an
      // untitled document asks for a file name, which nobody answers here.
      if (quit_) QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  static double SinceStartMs() {
    // Field 22 of /proc/self/stat: start time in clock ticks since boot.
    std::FILE* f = std::fopen("/proc/self/stat", "r");
    if (!f) return -1;
    char buf[1024];
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    const char* p = std::strrchr(buf, ')');
    unsigned long long start = 0;
    for (int field = 2; p && *p; ++p)
      if (*p == ' ' && ++field == 22) {
        start = std::strtoull(p + 1, nullptr, 10);
        break;
      }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
    return nowMs - start * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  static long ResidentKb() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    long size = 0, resident = 0;
    if (f) {
      if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
      std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
  }
  bool quit_;
  bool done_ = false;
};

// The longest a headless auto-mode run may take before it is given up.
int HeadlessTimeLimitSeconds() {
  const char* v = std::getenv("NAMI_HEADLESS_TIMEOUT");
  const int seconds = v ? std::atoi(v) : 0;
  return seconds > 0 ? seconds : 600;
}

// Why the settings file cannot be read, naming it; empty when it can (or
// does not exist yet: it is then created at the first write).
std::string SettingsProblem(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT ? std::string() : "cannot read the settings file " + path + ": " + std::strerror(errno);
  char byte;
  const bool readable = ::read(fd, &byte, 1) >= 0;
  const int error = errno;
  ::close(fd);
  return readable ? std::string() : "cannot read the settings file " + path + ": " + std::strerror(error);
}

// How long a window-less automation instance waits for a call before it
// ends (NAMI_AUTOMATION_IDLE seconds, default 60).
int AutomationIdleSeconds() {
  const char* v = std::getenv("NAMI_AUTOMATION_IDLE");
  const int seconds = v ? std::atoi(v) : 0;
  return seconds > 0 ? seconds : 60;
}

int RunHeadless(int argc, char** argv, const nami::CommandLine& cl, nami::CSettings& settings) {
  QCoreApplication app(argc, argv);
  nami::CSystemClock clock;
  nami::CStation station(settings, clock, cl.demo, KeyringPasswords(settings));
  nami::CHeadlessRunner runner(station, cl.stay, HeadlessTimeLimitSeconds());
  runner.HandleTerminationSignals();
  nami::CMeasureProbe::StartFromEnvironment(&app, station.Doc());  // scripts/measure-*
  if (!cl.documentPath.empty()) {
    std::string error;
    if (!station.OpenDocument(QFileInfo(QString::fromStdString(cl.documentPath)).absoluteFilePath().toStdString(),
                              error)) {
      std::fprintf(stderr, "nami: cannot open %s: %s\n", cl.documentPath.c_str(), error.c_str());
      return 1;
    }
  } else {
    station.NewDocument();
  }
  runner.Start();
  if (runner.Finished()) return runner.ExitCode();
  const int code = app.exec();
  return runner.Finished() ? runner.ExitCode() : code;
}

}  // namespace

// "nami mail ...": the mailbox on the command line; no window, no port.
int RunMailMode(const std::vector<std::string>& args) {
  std::setlocale(LC_ALL, "");
  nami::mailbox::SMailCliEnv env;
  // Asked for only with --demo: finding it makes the demo's folder.
  if (std::find(args.begin(), args.end(), "--demo") != args.end()) env.demoIniPath = nami::DemoIniPath();
  return nami::mailbox::RunMailCommand(std::vector<std::string>(args.begin() + 1, args.end()), env);
}

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "mail") return RunMailMode(args);
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
  const std::string settingsProblem = SettingsProblem(iniPath);
  if (!settingsProblem.empty()) std::fprintf(stderr, "nami: %s\n", settingsProblem.c_str());

  if (cl.headless) return RunHeadless(argc, argv, cl, settings);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("nami"));
  QApplication::setApplicationVersion(QStringLiteral(NAMI_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("nami"));
  if (!nami::InstallQtJapanese(app))
    std::fprintf(stderr, "nami: Qt's Japanese translation (qtbase_ja) is not installed\n");
  nami::CSystemClock clock;
  nami::CStation station(settings, clock, cl.demo, KeyringPasswords(settings));
  nami::CRecentFiles recent(nami::CRecentFiles::PathBeside(iniPath));
  nami::CMainFrame frame(station, recent);
  // While an automation instance shows no window, the core's messages go
  // to the error stream: a message box nobody sees would hold the client's
  // call until someone closes it.
  if (cl.automation) {
    auto message = [&frame](const QString& text) {
      if (!frame.isVisible()) {
        std::fprintf(stderr, "nami: %s\n", text.toUtf8().constData());
        std::fflush(stderr);
        return;
      }
      nami::OpenMessageBox(&frame, text);
    };
    frame.TerminalPane()->messageHandler = message;
    frame.Router().showMessage = message;
  }

  if (!settingsProblem.empty() && !cl.automation) nami::OpenMessageBox(&frame, QString::fromStdString(settingsProblem));
  // Installed before the document opens, so that a signal during a
  // start-up message still ends nami cleanly.
  QuitOnTerminationSignals(frame, station, iniPath);

  if (!cl.documentPath.empty()) {
    if (!frame.Router().OpenPath(QString::fromStdString(cl.documentPath))) return 1;
  } else {
    station.NewDocument();
  }
  frame.Heartbeat().Start();

  // Every instance serves "/Document" on the session bus; the window is
  // built in any case (it runs the receive tick) and shown only when not
  // started for automation, or when a client asks for it.
  nami::CAutomationBridge automation(
      station, [&frame]() -> QWidget* { return &frame; }, [&frame] { frame.UpdateCommands(); });
  nami::CAutomationServer server(automation);
  QString busName;
  if (server.Start(&busName)) {
    if (cl.automation) {
      std::printf("%s\n", busName.toUtf8().constData());
      std::fflush(stdout);
    }
  } else if (cl.automation) {
    // Nothing could ever reach a window-less instance.
    std::fprintf(stderr, "nami: the automation interface is not available, so nothing can reach this instance: %s\n",
                 server.LastError().toUtf8().constData());
    frame.Shutdown();
    return 1;
  } else {
    std::fprintf(stderr, "nami: warning: the automation interface is not available: %s\n",
                 server.LastError().toUtf8().constData());
  }
  // A window-less automation instance ends once it has had no call and no
  // transfer for a while, releasing the port; a shown window keeps it.
  QTimer idleExit;
  if (cl.automation) {
    const int idleMs = AutomationIdleSeconds() * 1000;
    auto lastCalls = std::make_shared<std::uint64_t>(automation.Calls());
    auto idleSince = std::make_shared<QElapsedTimer>();
    idleSince->start();
    QObject::connect(&idleExit, &QTimer::timeout, &frame, [&, lastCalls, idleSince, idleMs] {
      nami::CNamiDoc& doc = station.Doc();
      const nami::CTransfers& transfers = station.Transfers();
      const bool busy = frame.isVisible() || automation.PendingUploads() > 0 || transfers.Uploading() ||
                        transfers.Capturing() || transfers.PasteSending() || !doc.Senders.Empty() ||
                        station.Autopilot().Busy();
      if (busy || automation.Calls() != *lastCalls) {
        *lastCalls = automation.Calls();
        idleSince->restart();
        return;
      }
      if (idleSince->elapsed() < idleMs) return;
      std::fprintf(stderr, "nami: no automation call for %d s: ending\n", idleMs / 1000);
      std::fflush(stderr);
      QCoreApplication::exit(0);
    });
    idleExit.start(std::min(1000, idleMs / 4 + 1));
  }
  nami::CMeasureProbe::StartFromEnvironment(&frame, station.Doc());  // scripts/measure-*
  std::unique_ptr<CStartupReport> report;
  if (const char* r = std::getenv("NAMI_STARTUP_REPORT")) {
    report = std::make_unique<CStartupReport>(std::string(r) == "exit");
    frame.TerminalPane()->installEventFilter(report.get());
  }
  if (!cl.automation) frame.show();
  const int code = gQuitRequested ? 0 : app.exec();
  // Quitting: every running operation ends at once, the files and the port
  // close; callers waiting for an upload get their answer, then the bus
  // names go.
  frame.Shutdown();
  automation.FinishPending();
  server.Stop();
  return code;
}
