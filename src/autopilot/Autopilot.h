// The autopilot: connects to the BBS, sends the queued mail, reads the
// bulletin list and the new mail, logs off and disconnects, on command or on
// the schedule.
//
// Every step sends a command and then waits for the BBS prompt. A wait is a
// state kept here, advanced by the shell: OnTick() after every receive tick
// makes one wait pass (confirm the prompt in a completed line, then run the
// step's next action; a cleared AutoRunning ends the step as aborted),
// OnScheduleTimer() once a minute, and the document's sender stack puts the
// mail files on the link. A step started while another one waits (possible
// only while AutoIdle is set again, e.g. a list step with no fields) holds
// the older one until it has finished, as a nested wait would.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "autopilot/ListReader.h"
#include "autopilot/MailReader.h"
#include "autopilot/MailSender.h"
#include "autopilot/RunSummary.h"
#include "autopilot/Schedule.h"
#include "link/Clock.h"
#include "terminal/LinkState.h"
#include "terminal/NamiDoc.h"

namespace nami {

enum class AutoCommand { AutoMode, Connect, Send, List, Read, End };

class CAutopilot {
 public:
  CAutopilot(CNamiDoc& doc, IClock& clock);
  ~CAutopilot();
  CAutopilot(const CAutopilot&) = delete;
  CAutopilot& operator=(const CAutopilot&) = delete;

  // A menu/toolbar command; AutoMode = the whole run. A disabled command
  // does nothing.
  void Run(AutoCommand command);
  // End is always enabled; the other five while AutoIdle is set.
  bool IsEnabled(AutoCommand command) const;
  // After every receive tick: the wait pass.
  void OnTick();
  // Every 60 s: the schedule, with the clock's local minute.
  void OnScheduleTimer();
  // A step or an auto-mode run is in progress.
  bool Busy() const { return !frames_.empty(); }
  // Which step runs now, UTF-8; empty when idle.
  std::string StatusText() const;
  enum class RunResult { None, Completed, Aborted };
  // Of the last auto-mode run.
  RunResult LastResult() const { return lastResult_; }
  std::string LastAbortReason() const { return lastAbortReason_; }
  // Quitting: ends everything at once and closes the files; nothing more is sent.
  void Cancel();

  // The link state the receive tick keeps; tells a failed connect from a
  // lost link in a run's outcome. None: every disconnection is a lost link.
  void SetLinkState(const CLinkState* link) { link_ = link; }
  // Called at the end of every auto-mode run, after its summary went to the
  // document's activity.
  std::function<void(const RunSummary&)> OnRunEnd;
  // Of the last auto-mode run.
  const RunSummary& LastSummary() const { return summary_; }

  // The run and the link commands.
  void StartAutoMode();
  void ConnectToStation();
  void EndAutoMode();
  int NextRunMinute() const { return schedule_.NextRunMinute; }

  CSchedule& Schedule() { return schedule_; }
  CListReader& ListReader() { return list_; }
  CMailReader& MailReader() { return mail_; }
  CMailSender& MailSender() { return sender_; }

 private:
  enum class Step { Connect, Send, List, Read };
  enum class Phase { Waiting, SendingFile, DoneNormal, DoneAborted, DoneAtOnce };
  enum class Next { Sent, FileStarted, Complete, Error };
  struct Frame {
    bool autoMode;
    Step step;
    Phase phase;
    bool firstFile;
  };

  void BeginStep(Frame& frame, Step step);
  // Runs wait passes and step ends until the innermost wait needs new input.
  void Settle();
  bool Pass(Frame& frame);
  bool ConfirmPrompt() const;
  Next NextAction(Frame& frame);
  Next SendNextMailFile(Frame& frame);
  // The step's closing actions, then the next step of a run or the end.
  void FinishStep();
  void EndRun(RunResult result);
  void OnMailFileEnd(CMailSender::FileEnd how);
  // A file error: every wait ends at once; AutoIdle stays clear until the
  // end command.
  void AbortAll(const std::string& reason);
  bool StepSelected(Step step) const;
  // The run's outcome and summary: to the activity and OnRunEnd.
  void ReportRunEnd(RunResult result, const std::string& reason);
  void ReportFileStarted();
  void ReportFileSkipped();

  CNamiDoc& doc_;
  IClock& clock_;
  CSchedule schedule_;
  CListReader list_;
  CMailReader mail_;
  CMailSender sender_;
  std::vector<Frame> frames_;
  bool endRequested_ = false;
  std::string abortReason_;
  RunResult lastResult_ = RunResult::None;
  std::string lastAbortReason_;
  const CLinkState* link_ = nullptr;
  bool scheduledStart_ = false;  // the next StartAutoMode comes from the schedule
  bool scheduled_ = false;       // the run was started by the schedule
  std::int64_t fileStartMs_ = 0;
  unsigned connectionsAtStart_ = 0;
  std::int64_t runStartMs_ = 0;
  RunSummary summary_;
};

}  // namespace nami
