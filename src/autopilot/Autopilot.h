// The autopilot: connects to the BBS, sends the queued mail, reads the
// bulletin list and the new mail, logs off and disconnects, on command or on
// the schedule.
//
// Every step sends a command and then waits for the BBS prompt. A wait is a
// frame kept here, its phase moved only by NextPhase() (StepMachine.h),
// advanced by the shell: OnTick() after every receive tick makes one wait
// pass (confirm the prompt in a completed line, then run the step's next
// action; a run flag gone ends the step as aborted), OnScheduleTimer()
// once a minute, and the document's send engine puts the mail files on the
// link (the autopilot hands each file over and hears when it has ended). The run around the steps has its own phase in the run state
// (RunState.h), moved only by NextRun(): a step begins, the disconnect
// notice takes the run flag, the end command logs off, a step fails and
// holds the commands until the end command, a run ends. The run state sits
// in the document's autopilot receive slot from construction to
// destruction, so the receive tick feeds the logs and the prompt watch
// before the automatic responses answer. A step started while another one
// waits (possible only once the document started over) holds the older one
// until it has finished, as a nested wait would.
//
// Every run ends with one outcome (RunOutcome.h), kept in LastEnd(). A run
// never waits for ever: a step with nothing to send ends at once, a run
// started without an open port ends at once, a lost device ends it
// (OnLinkLost), and the watchdog ends it when, in any step, nothing has
// arrived from the port and nothing of the outgoing text has left it for
// the profile's "watchdog" seconds. A run aborted with the link up logs off
// as the end command does ("B", then 0x03 "D"; the watchdog ending a mail
// file that did not move adds a second "D", so that the TNC lets go at once).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "autopilot/ListReader.h"
#include "autopilot/MailReader.h"
#include "autopilot/MailSender.h"
#include "autopilot/RunOutcome.h"
#include "autopilot/RunState.h"
#include "autopilot/RunSummary.h"
#include "autopilot/Schedule.h"
#include "autopilot/StepMachine.h"
#include "time/Clock.h"
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
  // End is always enabled; the other five while no step runs (CRunState::Idle()).
  bool IsEnabled(AutoCommand command) const;
  // After every receive tick: the wait pass.
  void OnTick();
  // Every 60 s: the schedule, with the clock's local minute.
  void OnScheduleTimer();
  // The shell started its minute timer: the first run is counted from now.
  void ArmSchedule();
  // A step or an auto-mode run is in progress.
  bool Busy() const { return !frames_.empty(); }
  // Which step runs now, UTF-8; empty when idle.
  std::string StatusText() const;
  // How the last auto-mode run ended, when, and why; counts every end.
  const RunEnd& LastEnd() const { return lastEnd_; }
  std::uint64_t EndedRuns() const { return endedRuns_; }
  // Ends whatever runs now with `outcome` (an aborted one), logging off
  // when the port is open and the link may be up. `detail` is UTF-8.
  void Abort(RunOutcome outcome, const std::string& detail);
  // The port closed itself (the device vanished): ends the run as link lost.
  void OnLinkLost(const std::string& detail);
  // Quitting: ends everything at once and closes the files; nothing more is sent.
  void Cancel();
  // A mail file is going out now.
  bool SendingFile() const { return sender_.Sending(); }
  // A termination signal: a mail file still going out ends with ^Z, the
  // BBS is logged off and the run ends as ended by the user.
  void EndForTermination();
  // Called with the reason (UTF-8) when a step or run is aborted because a
  // settings file or a log could not be written, so the window can say so
  // once; the headless runner reports the run's reason itself.
  std::function<void(const std::string&)> OnWriteFailure;

  // Called at the end of every auto-mode run, after its summary went to the
  // document's activity.
  std::function<void(const RunSummary&)> OnRunEnd;
  // Of the last auto-mode run.
  const RunSummary& LastSummary() const { return summary_; }

  // The whole run (as the AutoMode command, but also while a command is
  // disabled: it checks for itself that no step runs).
  void StartAutoMode();
  int NextRunMinute() const { return schedule_.NextRunMinute; }

  // Who hears of the run beside its logs (RunRecord.h); nullptr: nobody.
  void SetRecord(IRunRecord* record) { run_.SetRecord(record); }

  // The run state: the run's phase, the wait, the step choice and the log.
  CRunState& State() { return run_; }
  const CRunState& State() const { return run_; }
  CSchedule& Schedule() { return schedule_; }
  CListReader& ListReader() { return list_; }
  CMailReader& MailReader() { return mail_; }
  CMailSender& MailSender() { return sender_; }

 private:
  enum class Step { Connect, Send, List, Read };
  struct Frame {
    bool autoMode;
    Step step;
    StepPhase phase;
    bool firstFile;
  };

  void BeginStep(Frame& frame, Step step);
  void ConnectToStation();
  // "B", then 0x03 "D": the BBS and the TNC let go of the link.
  void LogOff();
  // The step's first action; what happened.
  StepEvent StartReading(Step step);
  StepEvent StartSending(Frame& frame);
  // Moves `frame` on by `event`; a failure event aborts everything (the
  // frame is gone then). False when it did.
  bool Raise(Frame& frame, StepEvent event, const std::string& detail = {});
  // Runs wait passes and step ends until the innermost wait needs new input.
  void Settle();
  bool Pass(Frame& frame);
  bool ConfirmPrompt() const;
  StepEvent NextAction(Frame& frame);
  StepEvent SendNextMailFile(Frame& frame);
  // A started file: reported, the frame sends it.
  StepEvent FileStarted(Frame& frame, bool first);
  // After the step's closing actions: the next step of a run, or the end.
  void NextStep(Frame& frame);
  // The step's closing actions, then the next step of a run or the end.
  void FinishStep();
  // The run's last frame goes; its end is recorded: completed, or aborted
  // as the run's phase says (link lost, log not opened, end command).
  void EndRun(bool completed, Step step);
  void RecordEnd(RunOutcome outcome, const std::string& reason, const std::string& detail);
  // Why the link went down during a step: busy, connect failed, link lost.
  RunOutcome DisconnectOutcome(Step step) const;
  // Starts the first of the remaining queued mail files that opens; a
  // missing one is reported by name and skipped (its key is kept).
  CMailSender::StartResult StartNextMailFile();
  // The watchdog, after every wait pass: a run in which nothing arrives
  // and nothing of the outgoing text leaves for its time ends.
  void Watch();
  void ResetWatch();
  // Bytes sent that have left the port (taken and no longer queued there).
  std::uint64_t BytesGone();
  bool RefuseWithoutPort(bool autoMode);
  void OnMailFileEnd(CMailSender::FileEnd how);
  // Every wait ends at once with `outcome`; the BBS is logged off while
  // the port is open and the link may be up.
  void AbortAll(const std::string& reason, RunOutcome outcome = RunOutcome::FileError, const std::string& detail = {});
  bool StepSelected(Step step) const;
  // The run's outcome and summary, once LastEnd() holds it: to the activity
  // and OnRunEnd.
  void ReportRunEnd();
  void ReportFileStarted();
  // A settings or log write failed: the reason with what went wrong.
  std::string SettingsReason() const;
  std::string LogReason(Step step) const;
  void AbortForWriteFailure(const std::string& reason);

  CNamiDoc& doc_;
  IClock& clock_;
  CRunState run_;
  CSchedule schedule_;
  CListReader list_;
  CMailReader mail_;
  CMailSender sender_;
  std::vector<Frame> frames_;
  bool scheduledStart_ = false;  // the next StartAutoMode comes from the schedule
  bool scheduled_ = false;       // the run was started by the schedule
  std::int64_t fileStartMs_ = 0;
  std::int64_t runStartMs_ = 0;
  RunSummary summary_;  // of this run: its mails, list lines and reads
  RunEnd lastEnd_;
  std::uint64_t endedRuns_ = 0;
  std::vector<std::string> missing_;  // queued mail files that did not open
  std::uint64_t heardBytes_ = 0;
  std::int64_t heardAtMs_ = 0;
  std::uint64_t goneMark_ = 0;  // the most BytesGone() had reached in this run
  int watchdogSeconds_ = 0;
  bool watchdogSending_ = false;  // the watchdog ends a run whose mail file did not move
  // The queue entry of the mail file last sent, until the prompt after it.
  std::ptrdiff_t sentEntry_ = -1;
  std::uint64_t listLostMark_ = 0;  // LogLinesLost when the list step began
};

}  // namespace nami
