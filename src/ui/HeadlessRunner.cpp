#include "ui/HeadlessRunner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdlib>

#include "autopilot/RunOutcome.h"
#include "autopilot/RunSummary.h"
#include "time/Clock.h"
#include "text/Cp932.h"

namespace nami {
namespace {

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

CHeadlessRunner::CHeadlessRunner(CStation& station, bool stay, int timeLimitSeconds, std::FILE* out, std::FILE* err)
    : station_(station), stay_(stay), timeLimitMs_(timeLimitSeconds * 1000), out_(out), err_(err), heartbeat_(station) {
  heartbeat_.afterTick = [this](int) { AfterTick(); };
  station_.Ui().SetTarget(this);
  station_.OnLine = [this](const std::string& line) {
    std::fprintf(out_, "%s\n", Cp932ToUtf8(line).c_str());
    std::fflush(out_);
  };
  // Every step and every text nami sends on its own go to the error stream,
  // so a cron job's mail shows what happened; the output has the run's
  // start and its summary (ReportRuns).
  activityId_ = station_.Activity().Listen([this](const ActivityEntry& entry) {
    std::fprintf(err_, "%s\n", FormatActivity(entry).c_str());
    std::fflush(err_);
  });
  station_.OnNotice = [this](const std::string& text) {
    std::fprintf(err_, "nami: %s %s\n", FormatLocalTime("%Y-%m-%d %H:%M:%S", station_.Clock().Now()).c_str(),
                 text.c_str());
    std::fflush(err_);
  };
  station_.SetReopenPort(stay_);
  if (stay_) ReportUnattended();
  limit_.setSingleShot(true);
  connect(&limit_, &QTimer::timeout, this, [this] { Finish(3, "time limit reached"); });
}

void CHeadlessRunner::ReportUnattended() {
  // A single run reports its reason when it ends; an unattended one says
  // it at once.
  station_.Autopilot().OnWriteFailure = [this](const std::string& reason) {
    std::fprintf(err_, "nami: %s\n", reason.c_str());
    std::fflush(err_);
  };
  // An unattended instance tells the desktop, as the window does.
  notifier_.emplace();
  station_.Autopilot().OnRunEnd = [this](const RunSummary& summary) {
    NotifyRunEnd(*notifier_, station_.Settings(), summary);
  };
}

CHeadlessRunner::~CHeadlessRunner() {
  station_.OnLine = nullptr;
  station_.Activity().Unlisten(activityId_);
  station_.OnNotice = nullptr;
  station_.Autopilot().OnWriteFailure = nullptr;
  station_.Autopilot().OnRunEnd = nullptr;
  if (station_.Ui().Target() == this) station_.Ui().SetTarget(nullptr);
}

void CHeadlessRunner::ShowMessage(const std::string& text) {
  std::fprintf(err_, "nami: %s\n", text.c_str());
  std::fflush(err_);
}

void CHeadlessRunner::HandleTerminationSignals() {
  heartbeat_.CatchTerminationSignals([this] { Finish(stay_ ? 0 : 130, stay_ ? std::string() : "terminated"); });
}

void CHeadlessRunner::Start() {
  heartbeat_.Start();
  if (!stay_ && timeLimitMs_ > 0) limit_.start(timeLimitMs_);
  if (!stay_) {
    station_.Autopilot().Run(AutoCommand::AutoMode);
    started_ = true;
    ReportRuns();
    heartbeat_.TickSoon();  // a run that could not start ends at the first tick
  }
}

void CHeadlessRunner::ReportRuns() {
  CAutopilot& pilot = station_.Autopilot();
  const std::string now = FormatLocalTime("%Y-%m-%d %H:%M:%S", station_.Clock().Now());
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

void CHeadlessRunner::AfterTick() {
  station_.Doc().Lines().TakeEvictedCount();  // nobody else keeps a view on the store
  ReportRuns();
  if (!stay_ && started_ && !station_.Autopilot().Busy()) {
    const RunEnd& end = station_.Autopilot().LastEnd();
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
  heartbeat_.Stop();
  limit_.stop();
  station_.Shutdown();
  if (!stay_) {
    CSettings& s = station_.Settings();
    std::fprintf(out_, "list log: %s\nmail log: %s\n", Absolute(s.ListFilePath()).c_str(),
                 Absolute(s.MailFilePath()).c_str());
  }
  if (!why.empty()) std::fprintf(err_, "nami: %s\n", why.c_str());
  std::fflush(out_);
  std::fflush(err_);
  QCoreApplication::exit(code);
}

}  // namespace nami
