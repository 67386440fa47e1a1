#include "ui/HeadlessRunner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <cstdlib>

#include "text/Cp932.h"

namespace nami {
namespace {

constexpr int kTickMs = 50;
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
      sender_(session.Doc()) {
  session_.Ui().SetTarget(this);
  session_.OnLine = [this](const std::string& line) {
    std::fprintf(out_, "%s\n", Cp932ToUtf8(line).c_str());
    std::fflush(out_);
  };
  // Every step and every text nami sends on its own go to the error stream,
  // so a cron job's mail shows what happened; the run's summary also goes to
  // the output.
  activityId_ = session_.Activity().Listen([this](const ActivityEntry& entry) {
    const std::string line = FormatActivity(entry);
    std::fprintf(err_, "%s\n", line.c_str());
    std::fflush(err_);
    if (entry.kind == ActivityKind::Outcome) {
      std::fprintf(out_, "%s\n", line.c_str());
      std::fflush(out_);
    }
  });
  tick_.setSingleShot(true);
  tick_.setInterval(kTickMs);
  tick_.setTimerType(Qt::PreciseTimer);  // a coarse timer may come up to 5 % late
  connect(&tick_, &QTimer::timeout, this, [this] {
    OnTick();
    if (!finished_) tick_.start();
  });
  schedule_.setInterval(kScheduleMs);
  connect(&schedule_, &QTimer::timeout, this, [this] { session_.ScheduleTick(); });
  limit_.setSingleShot(true);
  connect(&limit_, &QTimer::timeout, this, [this] { Finish(3, "time limit reached"); });
}

CHeadlessRunner::~CHeadlessRunner() {
  session_.OnLine = nullptr;
  session_.Activity().Unlisten(activityId_);
  if (session_.Ui().Target() == this) session_.Ui().SetTarget(nullptr);
}

void CHeadlessRunner::ShowMessage(const std::string& text) {
  std::fprintf(err_, "nami: %s\n", Cp932ToUtf8(text).c_str());
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
  tick_.start();
  schedule_.start();
  if (!stay_ && timeLimitMs_ > 0) limit_.start(timeLimitMs_);
  if (!stay_) {
    session_.Autopilot()->Run(AutoCommand::AutoMode);
    started_ = true;
  }
}

void CHeadlessRunner::OnTick() {
  session_.Tick();
  session_.Doc().TakeEvictedCount();  // nobody else keeps a view on the store
  sender_.Kick();
  if (!stay_ && started_ && !session_.Autopilot()->Busy()) {
    const auto result = session_.Autopilot()->LastResult();
    if (result == CAutopilot::RunResult::Completed)
      Finish(0, {});
    else
      Finish(1, result == CAutopilot::RunResult::Aborted ? session_.Autopilot()->LastAbortReason()
                                                         : "the run did not start");
  }
}

void CHeadlessRunner::Finish(int code, const std::string& why) {
  if (finished_) return;
  finished_ = true;
  exitCode_ = code;
  tick_.stop();
  schedule_.stop();
  sender_.Detach();
  limit_.stop();
  session_.Shutdown();
  if (!stay_) {
    CSettings& s = session_.Settings();
    std::fprintf(out_, "list log: %s\nmail log: %s\n", Absolute(Cp932ToUtf8(s.Get(keys::ListFile))).c_str(),
                 Absolute(Cp932ToUtf8(s.Get(keys::MailFile))).c_str());
  }
  if (!why.empty()) std::fprintf(err_, "nami: %s\n", why.c_str());
  std::fflush(out_);
  std::fflush(err_);
  QCoreApplication::exit(code);
}

}  // namespace nami
