#include "ui/HeadlessRunner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <cstdlib>

#include "autopilot/RunOutcome.h"
#include "autopilot/RunSummary.h"
#include "link/Clock.h"
#include "text/Cp932.h"

namespace nami {
namespace {

constexpr int kScheduleMs = 60000;
int gSignalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int) {
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &c, 1);
}

std::string Absolute(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}

}  // namespace

std::string DemoIniPath() {
  QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
  QString dir = !base.isEmpty() && QFileInfo(base).isDir()
                    ? base + QStringLiteral("/nami-demo")
                    : QDir::tempPath() + QStringLiteral("/nami-demo-%1").arg(::getuid());
  QDir().mkpath(dir);
  ::chmod(QFile::encodeName(dir).constData(), 0700);
  return (dir + QStringLiteral("/NAMI.INI")).toStdString();
}

CHeadlessRunner::CHeadlessRunner(CSession& session, bool stay, int timeLimitSeconds, std::FILE* out, std::FILE* err)
    : session_(session),
      stay_(stay),
      timeLimitMs_(timeLimitSeconds * 1000),
      out_(out),
      err_(err),
      watch_(session, [this] { OnTick(); }),
      sender_(session.Doc()) {
  session_.Ui().SetTarget(this);
  session_.OnLine = [this](const std::string& line) {
    std::fprintf(out_, "%s\n", Cp932ToUtf8(line).c_str());
    std::fflush(out_);
  };
  // Every step and every text nami sends on its own go to the error stream,
  // so a cron job's mail shows what happened; the output has the run's
  // start and its summary (ReportRuns).
  activityId_ = session_.Activity().Listen([this](const ActivityEntry& entry) {
    std::fprintf(err_, "%s\n", FormatActivity(entry).c_str());
    std::fflush(err_);
  });
  session_.OnNotice = [this](const std::string& text) {
    std::fprintf(err_, "nami: %s %s\n", FormatLocalTime("%Y-%m-%d %H:%M:%S", session_.Clock().Now()).c_str(),
                 text.c_str());
    std::fflush(err_);
  };
  session_.SetReopenPort(stay_);
  schedule_.setInterval(kScheduleMs);
  connect(&schedule_, &QTimer::timeout, this, [this] {
    session_.ScheduleTick();
    watch_.TickSoon();  // a run it started is watched from now on (the heartbeat)
  });
  // A single run reports its reason when it ends; an unattended one says
  // it at once.
  if (stay_) {
    session_.Autopilot()->OnWriteFailure = [this](const std::string& reason) {
      std::fprintf(err_, "nami: %s\n", reason.c_str());
      std::fflush(err_);
    };
    // An unattended instance tells the desktop, as the window does.
    notifier_.emplace();
    session_.Autopilot()->OnRunEnd = [this](const RunSummary& summary) {
      NotifyRunEnd(*notifier_, session_.Settings(), summary);
    };
  }
  limit_.setSingleShot(true);
  connect(&limit_, &QTimer::timeout, this, [this] { Finish(3, "time limit reached"); });
}

CHeadlessRunner::~CHeadlessRunner() {
  session_.OnLine = nullptr;
  session_.Activity().Unlisten(activityId_);
  session_.OnNotice = nullptr;
  if (session_.Autopilot()) {
    session_.Autopilot()->OnWriteFailure = nullptr;
    session_.Autopilot()->OnRunEnd = nullptr;
  }
  if (session_.Ui().Target() == this) session_.Ui().SetTarget(nullptr);
}

void CHeadlessRunner::ShowMessage(const std::string& text) {
  std::fprintf(err_, "nami: %s\n", text.c_str());
  std::fflush(err_);
}

void CHeadlessRunner::HandleTerminationSignals() {
  if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  signalNotifier_ = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
  connect(signalNotifier_, &QSocketNotifier::activated, this, [this] {
    char buf[16];
    while (::read(gSignalPipe[0], buf, sizeof buf) > 0) {
    }
    Finish(stay_ ? 0 : 130, stay_ ? std::string() : "terminated");
  });
  struct sigaction sa {};
  sa.sa_handler = OnTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
}

void CHeadlessRunner::Start() {
  watch_.Start();
  schedule_.start();
  if (!stay_ && timeLimitMs_ > 0) limit_.start(timeLimitMs_);
  if (!stay_) {
    session_.Autopilot()->Run(AutoCommand::AutoMode);
    started_ = true;
    ReportRuns();
    watch_.TickSoon();  // a run that could not start ends at the first tick
  }
}

void CHeadlessRunner::ReportRuns() {
  CAutopilot& pilot = *session_.Autopilot();
  const std::string now = FormatLocalTime("%Y-%m-%d %H:%M:%S", session_.Clock().Now());
  if (pilot.Busy() && !runShown_) {
    runShown_ = true;
    std::fprintf(out_, "---- %s 自動モード開始 (run started) ----\n", now.c_str());
  }
  if (pilot.EndedRuns() != endsShown_) {
    endsShown_ = pilot.EndedRuns();
    runShown_ = pilot.Busy();
    std::fprintf(out_, "==== %s %s ====\n", FormatLocalTime("%Y-%m-%d %H:%M:%S", pilot.LastEnd().at).c_str(),
                 FormatSummary(pilot.LastSummary()).c_str());
  }
  std::fflush(out_);
}

void CHeadlessRunner::OnTick() {
  session_.Tick();
  session_.Doc().TakeEvictedCount();  // nobody else keeps a view on the store
  sender_.Kick();
  ReportRuns();
  if (!stay_ && started_ && !session_.Autopilot()->Busy()) {
    const RunEnd& end = session_.Autopilot()->LastEnd();
    Finish(DescribeOutcome(end.outcome).exitStatus, end.outcome == RunOutcome::None
                                                        ? std::string("the run did not start")
                                                    : IsAborted(end.outcome) ? DescribeRunEnd(end)
                                                                             : std::string());
  }
}

void CHeadlessRunner::Finish(int code, const std::string& why) {
  if (finished_) return;
  finished_ = true;
  exitCode_ = code;
  watch_.Stop();
  schedule_.stop();
  sender_.Detach();
  limit_.stop();
  session_.Shutdown();
  if (!stay_) {
    CSettings& s = session_.Settings();
    std::fprintf(out_, "list log: %s\nmail log: %s\n", Absolute(s.ListFilePath()).c_str(),
                 Absolute(s.MailFilePath()).c_str());
  }
  if (!why.empty()) std::fprintf(err_, "nami: %s\n", why.c_str());
  std::fflush(out_);
  std::fflush(err_);
  QCoreApplication::exit(code);
}

}  // namespace nami
