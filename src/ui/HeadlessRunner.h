// Runs nami without a display (Qt Core only): the receive tick, the
// autopilot and the senders on timers, every completed line printed to the
// console in UTF-8.
//
// Without --stay it performs one auto-mode run, prints the paths of the
// list and mail logs and ends: 0 when the run completed, 1 when it was
// aborted (with the reason), 3 when the time limit ran out, 4 when the
// build has no autopilot. With --stay it follows the schedule until SIGTERM
// or SIGINT and ends with 0.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "terminal/UiSink.h"
#include "ui/SendDriver.h"
#include "ui/Session.h"

namespace nami {

class CHeadlessRunner : public QObject, public IUiSink {
  Q_OBJECT

 public:
  CHeadlessRunner(CSession& session, bool stay, int timeLimitSeconds, std::FILE* out = stdout, std::FILE* err = stderr);
  ~CHeadlessRunner() override;

  // Starts the timers; the runner quits the application when it is done.
  void Start();
  int ExitCode() const { return exitCode_; }
  bool Finished() const { return finished_; }

  // IUiSink: messages go to the error stream.
  void ShowMessage(const std::string& text) override;
  void Beep() override {}

  // Makes SIGTERM and SIGINT end the run cleanly (once per process).
  void HandleTerminationSignals();

 private:
  void OnTick();
  void Finish(int code, const std::string& why);

  CSession& session_;
  bool stay_;
  int timeLimitMs_;
  std::FILE* out_;
  std::FILE* err_;
  QTimer tick_;
  QTimer schedule_;
  CSendDriver sender_;
  QTimer limit_;
  QSocketNotifier* signalNotifier_ = nullptr;
  int activityId_ = 0;
  bool started_ = false;
  bool finished_ = false;
  int exitCode_ = 0;
};

// The settings file of `nami --demo`: $XDG_RUNTIME_DIR/nami-demo/NAMI.INI,
// else <temp>/nami-demo-<uid>/NAMI.INI. The folder is created.
std::string DemoIniPath();

}  // namespace nami
