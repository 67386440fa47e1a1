// Runs nami without a display (Qt Core only): the receive tick, the
// autopilot and the senders on timers, every completed line printed to the
// console in UTF-8.
//
// Every run is framed on the output by a line with the time when it starts
// and one with the time and its outcome when it ends. Without --stay it
// performs one auto-mode run, prints the paths of the list and mail logs and
// ends with the outcome's exit status (RunOutcome.h; the outcome and its
// detail also go to the error stream when the run was aborted), or 3 when
// the time limit ran out. With --stay it follows the schedule, reopens a
// vanished device, sends the desktop notices of each run's end over the
// session bus when there is one, and ends with 0 on SIGTERM, SIGINT or SIGHUP.
// Started by systemd as a Type=notify service it reports to the service
// manager (ServiceNotifier.h): ready, the watchdog's pings from the
// heartbeat's tick, the step under way or the last run's end, stopping.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdio>
#include <optional>

#include "station/Station.h"
#include "station/StationEvents.h"
#include "ui/Heartbeat.h"
#include "ui/Notifier.h"
#include "ui/ServiceNotifier.h"

namespace nami {

class CHeadlessRunner : public QObject, private IStationEvents {
  Q_OBJECT

 public:
  CHeadlessRunner(CStation& station, bool stay, int timeLimitSeconds, std::FILE* out = stdout, std::FILE* err = stderr);
  ~CHeadlessRunner() override;

  // Starts the timers; the runner quits the application when it is done.
  void Start();
  int ExitCode() const { return exitCode_; }
  bool Finished() const { return finished_; }


  // Makes SIGTERM, SIGINT and SIGHUP end the run cleanly (once per process).
  void HandleTerminationSignals();

 private:
  // IStationEvents: messages, notices and the activity go to the error
  // stream, each received line (UTF-8) and the lines that frame each run to
  // the output.
  void ShowMessage(const std::string& text) override;
  void Beep() override {}
  void LineReceived(std::string_view line) override;
  void LinesAdded(int count) override;
  void ProgressChanged() override;
  void Notice(const std::string& text) override;
  void RunStarted() override;
  void RunEnded(const RunEnd& end, const RunSummary& summary) override;
  // With --stay write failures are told at once; a single run reports its
  // reason when it ends.
  void WriteFailure(const std::string& reason) override;
  void PortChanged() override;
  void ActivityAdded(const ActivityEntry& entry) override;
  void Finish(int code, const std::string& why);
  // The service's status: the step under way, else how the last run ended.
  void ReportStatus(bool now);

  CStation& station_;
  CSettings& settings_;
  bool stay_;
  int timeLimitMs_;
  std::FILE* out_;
  std::FILE* err_;
  CHeartbeat heartbeat_;
  QTimer limit_;
  std::optional<CNotifier> notifier_;  // only with --stay: a single run touches no bus
  CServiceNotifier service_;
  std::string lastSummary_;  // of the last run that ended (UTF-8)
  bool started_ = false;
  RunEnd lastEnd_;  // of the last run that ended
  bool finished_ = false;
  int exitCode_ = 0;
};

}  // namespace nami
