#include "ui/HeadlessRunner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cstdlib>

#include "autopilot/RunOutcome.h"
#include "autopilot/RunSummary.h"
#include "text/Cp932.h"
#include "text/ShiftJis.h"
#include "time/Clock.h"
#include "ui/MailboxCommand.h"

namespace nami {
namespace {

std::string Absolute(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}

}  // namespace

CHeadlessRunner::CHeadlessRunner(CStation& station, bool stay, int timeLimitSeconds, std::FILE* out, std::FILE* err)
    : station_(station),
      settings_(station.Settings()),
      stay_(stay),
      timeLimitMs_(timeLimitSeconds * 1000),
      out_(out),
      err_(err),
      heartbeat_(station) {
  station_.SetReopenPort(stay_);
  // An unattended instance tells the desktop of each run's end, as the
  // window does.
  if (stay_) notifier_.emplace();
  station_.SetEvents(this);
  limit_.setSingleShot(true);
  connect(&limit_, &QTimer::timeout, this, [this] { Finish(3, "time limit reached"); });
  // Pings at a third of the manager's interval, from the tick.
  if (service_.WatchdogMs() > 0)
    heartbeat_.KeepBeating(std::max(service_.WatchdogMs() / 3, 1),
                           [this] { service_.Beat(station_.Clock().MonotonicMs()); });
}

CHeadlessRunner::~CHeadlessRunner() { station_.SetEvents(nullptr); }

void CHeadlessRunner::ShowMessage(const std::string& text) {
  std::fprintf(err_, "nami: %s\n", text.c_str());
  std::fflush(err_);
}

// A control byte from the link would ring, move or recolour the console or
// the journal's viewer: it is printed visibly escaped.
void CHeadlessRunner::LineReceived(std::string_view line) {
  std::fprintf(out_, "%s\n", Cp932ToUtf8(VisibleControls(line)).c_str());
  std::fflush(out_);
}

void CHeadlessRunner::LinesAdded(int /*count*/) {
  station_.Doc().Lines().TakeEvictedCount();  // nobody else keeps a view on the store
}

void CHeadlessRunner::Notice(const std::string& text) {
  std::fprintf(err_, "nami: %s %s\n", FormatLocalTime("%Y-%m-%d %H:%M:%S", station_.Now()).c_str(), text.c_str());
  std::fflush(err_);
}

// Every step and every text nami sends on its own go to the error stream,
// so a cron job's mail shows what happened; the output has the run's start
// and its summary.
void CHeadlessRunner::ActivityAdded(const ActivityEntry& entry) {
  std::fprintf(err_, "%s\n", FormatActivity(entry).c_str());
  std::fflush(err_);
}

void CHeadlessRunner::WriteFailure(const std::string& reason) {
  if (!stay_) return;
  std::fprintf(err_, "nami: %s\n", reason.c_str());
  std::fflush(err_);
}

void CHeadlessRunner::PortChanged() { heartbeat_.TickSoon(); }

void CHeadlessRunner::ReportStatus(bool now) {
  if (!service_.Enabled()) return;
  std::string text = station_.Progress();
  if (text.empty())
    text = lastSummary_.empty() ? std::string("待機中 (idle)") : "待機中 (idle); 前回 (last run): " + lastSummary_;
  service_.Status(text, station_.Clock().MonotonicMs(), now);
}

void CHeadlessRunner::RunStarted() {
  ReportStatus(true);
  std::fprintf(out_, "---- %s 自動モード開始 (run started) ----\n",
               FormatLocalTime("%Y-%m-%d %H:%M:%S", station_.Now()).c_str());
  std::fflush(out_);
}

void CHeadlessRunner::RunEnded(const RunEnd& end, const RunSummary& summary) {
  lastEnd_ = end;
  lastSummary_ = FormatLocalTime("%Y-%m-%d %H:%M:%S", end.at) + " " + FormatSummary(summary);
  std::fprintf(out_, "==== %s ====\n", lastSummary_.c_str());
  std::fflush(out_);
#include <QProcess>
#include <algorithm>
}

void CHeadlessRunner::HandleTerminationSignals() {
  heartbeat_.CatchTerminationSignals([this] {
    if (finished_) return;
    // A mail file going out may finish; the BBS is logged off before the
    // link ends (Shutdown), all within the unit's stop timeout.
    heartbeat_.Stop();
    station_.Terminate();
    Finish(stay_ ? 0 : 130, stay_ ? std::string() : "terminated");
  });
}

void CHeadlessRunner::Start() {
  heartbeat_.Start();
  if (!stay_ && timeLimitMs_ > 0) limit_.start(timeLimitMs_);
  service_.Ready();
  ReportStatus(true);
  if (!stay_) {
    station_.Run(AutoCommand::AutoMode);
    started_ = true;
    heartbeat_.TickSoon();  // a run that could not start ends at the first tick
  }
}

void CHeadlessRunner::ProgressChanged() {
  ReportStatus(false);
  // After each tick: a single run ends the runner once it has ended.
  if (stay_ || !started_ || station_.Running()) return;
  Finish(DescribeOutcome(lastEnd_.outcome).exitStatus, lastEnd_.outcome == RunOutcome::None
                                                           ? std::string("the run did not start")
                                                       : IsAborted(lastEnd_.outcome) ? DescribeRunEnd(lastEnd_)
                                                                                     : std::string());
}

void CHeadlessRunner::Finish(int code, const std::string& why) {
  if (finished_) return;
  finished_ = true;
  exitCode_ = code;
  service_.Stopping();
  heartbeat_.Stop();
  limit_.stop();
  station_.Shutdown();
  if (!stay_) {
    std::fprintf(out_, "list log: %s\nmail log: %s\n", Absolute(settings_.ListFilePath()).c_str(),
                 Absolute(settings_.MailFilePath()).c_str());
  }
  if (!why.empty()) std::fprintf(err_, "nami: %s\n", why.c_str());
  std::fflush(out_);
  std::fflush(err_);
  QCoreApplication::exit(code);
}

}  // namespace nami
