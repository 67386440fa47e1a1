#include "app/Program.h"

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
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MailboxProbe.h"
#include "app/MeasureProbe.h"
#include "automation/AutomationServer.h"
#include "mailbox/MailCli.h"
#include "mailwin/MailboxWindow.h"
#include "settings/RecentFiles.h"
#include "settings/Settings.h"
#include "station/Station.h"
#include "text/FileFault.h"
#include "text/Messages.h"
#include "time/Clock.h"
#include "ui/AutomationBridge.h"
#include "ui/HeadlessRunner.h"
#include "ui/LinkPasswords.h"
#include "ui/MailboxCommand.h"
#include "ui/MainFrame.h"
#include "ui/QtText.h"
#include "ui/QtTranslation.h"

namespace {

bool gQuitRequested = false;  // a signal came before the event loop ran

// SIGTERM, SIGINT and SIGHUP quit the event loop, so that quitting ends every
// running operation and closes the files and the port as the window's
// close does. No one is there to answer the save question: the received
// text goes to the document's file, or to a dated file beside NAMI.INI.
void QuitOnTerminationSignals(nami::CMainFrame& frame, nami::CStation& station, const std::string& iniPath) {
  frame.Heartbeat().CatchTerminationSignals([&frame, &station, iniPath] {
    const std::string folder = iniPath.substr(0, iniPath.rfind('/') == std::string::npos ? 0 : iniPath.rfind('/'));
    nami::FileFault fault;
    const std::string saved = station.SaveForTermination(folder.empty() ? "." : folder, fault);
    if (!saved.empty()) {
      std::fprintf(stderr, "nami: received text saved to %s\n", saved.c_str());
    } else if (fault.Failed()) {
      const std::string text = nami::msg::Format(nami::msg::DocumentNotSaved, {{"reason", nami::FileFaultText(fault)}});
      std::fprintf(stderr, "nami: %s\n", text.c_str());
    }
    std::fflush(stderr);
    // A mail file going out may finish, then the BBS is logged off; the
    // link itself ends as the window shuts down.
    frame.Heartbeat().Stop();
    station.Terminate();
    gQuitRequested = true;
    // exit, not quit: quit would close the window first, which asks
    // where to save the document.
    QCoreApplication::exit(0);
  });
}

// The passwords of telnet links: the desktop's keyring first, then the file.
nami::PasswordLookup KeyringPasswords(const nami::CSettings& settings) {
  return [&settings](const std::string& link, nami::FileFault& fault) {
    return nami::LinkPassword(settings.Path(), link, fault);
  };
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

// The measuring scripts' probes (scripts/measure-*), when the environment asks.
void StartMeasureProbes(QObject* parent, nami::CStation& station) {
  nami::CMeasureProbe::StartFromEnvironment(parent, station.Doc());
}

// The answers given without running: errors in the arguments, --help,
// --version. Empty when nami is to run.
std::optional<int> AnswerWithoutRunning(const nami::CommandLine& cl) {
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
  if (cl.mailbox && (cl.headless || cl.automation)) {
    std::fprintf(stderr, "nami: --mailbox opens a window of its own; it does not go with --headless or --automation\n");
    return 2;
  }
  if (cl.message >= 0 && !cl.mailbox) {
    std::fprintf(stderr, "nami: --message needs --mailbox\n");
    return 2;
  }
  if (cl.stay && !cl.headless) {
    std::fprintf(stderr, "nami: --stay needs --headless\n");
    return 2;
  }
  return std::nullopt;
}

// The settings file. The demo keeps one of its own and works in its folder,
// so the user's NAMI.INI and current folder stay untouched.
std::string PickSettingsFile(nami::CommandLine& cl) {
  if (!cl.demo) return nami::ResolveIniPath(cl.iniPath);
  const std::string iniPath = nami::DemoIniPath();
  const std::string dir = iniPath.substr(0, iniPath.rfind('/'));
  if (!cl.documentPath.empty() && cl.documentPath[0] != '/') {
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd) cl.documentPath = std::string(cwd) + "/" + cl.documentPath;
    std::free(cwd);
  }
  if (::chdir(dir.c_str()) != 0) std::perror("nami: demo folder");
  return iniPath;
}

int RunHeadless(int argc, char** argv, const nami::CommandLine& cl, nami::CSettings& settings) {
  // Qt's own event dispatcher, not GLib's: a waiting station wakes about
  // once a second, and each wake-up costs less without GLib's main context.
  if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
  QCoreApplication app(argc, argv);
  nami::CSystemClock clock;
  nami::CStation station(settings, clock, cl.demo, KeyringPasswords(settings));
  nami::CHeadlessRunner runner(station, cl.stay, HeadlessTimeLimitSeconds());
  runner.HandleTerminationSignals();
  StartMeasureProbes(&app, station);
  if (!cl.documentPath.empty()) {
    nami::FileFault fault;
    if (!station.OpenDocument(QFileInfo(QString::fromStdString(cl.documentPath)).absoluteFilePath().toStdString(),
                              fault)) {
      std::fprintf(stderr, "nami: cannot open %s: %s\n", cl.documentPath.c_str(),
                   nami::DocumentFaultText(fault).c_str());
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

void SetUpApplication(QApplication& app) {
  QApplication::setApplicationName(QStringLiteral("nami"));
  QApplication::setApplicationVersion(QStringLiteral(NAMI_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("nami"));
  if (!nami::InstallQtJapanese(app))
    std::fprintf(stderr, "nami: Qt's Japanese translation (qtbase_ja) is not installed\n");
}

// While an automation instance shows no window, nami's messages go to the
// error stream: a message box nobody sees would hold the client's call
// until someone closes it.
void MessagesToConsoleWhileHidden(nami::CMainFrame& frame) {
  frame.messageHandler = [&frame](const QString& text) {
    if (!frame.isVisible()) {
      std::fprintf(stderr, "nami: %s\n", text.toUtf8().constData());
      std::fflush(stderr);
      return;
    }
    nami::OpenMessageBox(&frame, text);
  };
}

// The document named on the command line, else a new one; false when the
// named one cannot be opened (the window said why).
bool OpenStartDocument(nami::CMainFrame& frame, nami::CStation& station, const std::string& path) {
  if (path.empty()) {
    station.NewDocument();
    return true;
  }
  return frame.Router().OpenPath(QString::fromStdString(path));
}

// Every instance serves "/Document" on the session bus. A window-less
// instance prints its bus name; false when it cannot be reached at all.
bool ServeAutomation(nami::CAutomationServer& server, bool windowless) {
  QString busName;
  if (server.Start(&busName)) {
    if (windowless) {
      std::printf("%s\n", busName.toUtf8().constData());
      std::fflush(stdout);
    }
    return true;
  }
  if (windowless) {
    std::fprintf(stderr, "nami: the automation interface is not available, so nothing can reach this instance: %s\n",
                 server.LastError().toUtf8().constData());
    return false;
  }
  std::fprintf(stderr, "nami: warning: the automation interface is not available: %s\n",
               server.LastError().toUtf8().constData());
  return true;
}

// A window-less automation instance ends once it has had no call and
// nothing under way for a while, releasing the port; a shown window keeps it.
void EndWhenIdle(QTimer& timer, nami::CMainFrame& frame, nami::CStation& station, nami::CAutomationBridge& automation) {
  const int idleMs = AutomationIdleSeconds() * 1000;
  auto lastCalls = std::make_shared<std::uint64_t>(automation.Calls());
  auto idleSince = std::make_shared<QElapsedTimer>();
  idleSince->start();
  QObject::connect(&timer, &QTimer::timeout, &frame, [&frame, &station, &automation, lastCalls, idleSince, idleMs] {
    const bool busy = frame.isVisible() || automation.PendingUploads() > 0 || station.Busy();
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
  timer.start(std::min(1000, idleMs / 4 + 1));
}

// NAMI_STARTUP_REPORT (scripts/measure-startup): null when not asked for.
std::unique_ptr<CStartupReport> StartupReport(nami::CMainFrame& frame) {
  const char* r = std::getenv("NAMI_STARTUP_REPORT");
  if (!r) return nullptr;
  auto report = std::make_unique<CStartupReport>(std::string(r) == "exit");
  frame.TerminalPane()->installEventFilter(report.get());
  return report;
}

int RunWindow(int argc, char** argv, const nami::CommandLine& cl, nami::CSettings& settings,
              const std::string& settingsProblem) {
  QApplication app(argc, argv);
  SetUpApplication(app);
  nami::CSystemClock clock;
  nami::CStation station(settings, clock, cl.demo, KeyringPasswords(settings));
  nami::CRecentFiles recent(nami::CRecentFiles::PathBeside(settings.Path()));
  nami::CMainFrame frame(station, recent);
  if (cl.automation)
    MessagesToConsoleWhileHidden(frame);
  else if (!settingsProblem.empty())
    frame.Message(QString::fromStdString(settingsProblem));
  // Before the document opens, so that a signal during a start-up message
  // still ends nami cleanly.
  QuitOnTerminationSignals(frame, station, settings.Path());
  if (!OpenStartDocument(frame, station, cl.documentPath)) return 1;
  frame.Heartbeat().Start();
  // The window is built in any case (it runs the receive tick) and shown
  // only when not started for automation, or when a client asks for it.
  nami::CAutomationBridge automation(
      station, [&frame]() -> QWidget* { return &frame; }, [&frame] { frame.UpdateCommands(); });
  nami::CAutomationServer server(automation);
  if (!ServeAutomation(server, cl.automation)) {
    frame.Shutdown();
    return 1;
  }
  QTimer idleExit;
  if (cl.automation) EndWhenIdle(idleExit, frame, station, automation);
  StartMeasureProbes(&frame, station);
  const std::unique_ptr<CStartupReport> report = StartupReport(frame);
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

// "nami --mailbox": the mailbox window alone, on the profile of FILE.nmi
// (or the untitled one); no port is opened and no run starts.
int RunMailboxOnly(int argc, char** argv, const nami::CommandLine& cl, nami::CSettings& settings) {
  QApplication app(argc, argv);
  SetUpApplication(app);
  settings.SetProfileSection(cl.documentPath.empty() ? nami::CSettings::UntitledTitle()
                                                     : nami::CSettings::TitleForPath(cl.documentPath));
  nami::CMailboxWindow* window = nami::OpenMailboxWindow(settings, nami::MailReaderFont(settings), nullptr, cl.message);
  std::unique_ptr<CStartupReport> report;
  if (const char* r = std::getenv("NAMI_STARTUP_REPORT")) {
    report = std::make_unique<CStartupReport>(std::string(r) == "exit");
    window->List()->viewport()->installEventFilter(report.get());
  }
  if (std::getenv("NAMI_MAILBOX_PROBE")) nami::StartMailboxProbe(*window);
  return app.exec();
}

}  // namespace

int nami::RunProgram(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  // The nami command answers "nami mail" itself; this is for a direct start.
  if (!args.empty() && args[0] == "mail")
    return nami::mailbox::RunMailProgram(std::vector<std::string>(args.begin() + 1, args.end()));
  nami::CommandLine cl = nami::ParseCommandLine(args);
  if (const std::optional<int> answer = AnswerWithoutRunning(cl)) return *answer;
  const std::string iniPath = PickSettingsFile(cl);
  nami::CSettings settings(iniPath);
  const std::string settingsProblem = SettingsProblem(iniPath);
  if (!settingsProblem.empty()) {
    std::fprintf(stderr, "nami: %s\n", settingsProblem.c_str());
    // Said once, here: the settings file notes the same problem at its first
    // read, and that note is taken now so the station does not say it again.
    (void)settings.File().HasKey("", "");
    (void)settings.File().TakeProblem();
  }
  if (cl.headless) return RunHeadless(argc, argv, cl, settings);
  if (cl.mailbox) return RunMailboxOnly(argc, argv, cl, settings);
  return RunWindow(argc, argv, cl, settings, settingsProblem);
}
