// The autopilot's run state: the run's phase, what a step waits for and
// what the receive tick saw of it, which steps a run takes, and the list or
// mail log the tick feeds. Owned by the autopilot, read by its step
// objects; it sits in the document's autopilot receive slot and hears the
// port reopen.
//
// Every field is private and has one writer: the phase moves only in
// Raise() through NextRun(), the wait only in ArmWait(), the log only in
// OpenLog()/CloseLog(), the step choice only in SelectSteps(). The receive
// tick raises "link lost" here, once; the autopilot raises every other run
// event and alone confirms a prompt.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "autopilot/RunRecord.h"
#include "autopilot/StepMachine.h"
#include "terminal/NamiDoc.h"
#include "terminal/ReceiveListener.h"
#include "files/TextFile.h"
#include "terminal/UiSink.h"
#include "text/FileFault.h"

namespace nami {

// The steps an auto-mode run takes after the connect step.
struct StepChoice {
  bool list = true;
  bool read = true;
  bool send = true;
};

// Which log the receive tick feeds.
enum class LogKind { List, Mail };

class CRunState final : public IReceiveListener, public IOpenListener {
 public:
  explicit CRunState(IUiSink& ui) : ui_(ui) {}

  // The run's phase (StepMachine.h) and the one place that moves it.
  RunPhase Phase() const { return phase_; }
  void Raise(RunEvent event) { phase_ = NextRun(phase_, event); }
  // The run flag: a step's wait goes on, a mail file keeps going out.
  bool Running() const { return FlagUp(phase_); }
  // No step runs: the commands other than the end command are enabled.
  bool Idle() const { return CommandsEnabled(phase_); }

  // A new wait for `waitText`, for a prompt arriving from now on.
  void ArmWait(std::string waitText) { ArmWait(std::move(waitText), false); }
  // The same wait again, for the next prompt.
  void ArmWait() { ArmWait(waitText_, false); }
  // The same wait, ended by the prompt still standing on the screen.
  void ArmStandingWait() { ArmWait(waitText_, true); }
  const std::string& WaitText() const { return waitText_; }
  // The prompt arrived since the wait was armed (the receive tick's scan
  // text contained the wait text), or the wait takes the standing one.
  bool PromptSeen() const { return standing_ || promptsSeen_ != promptsAtArm_; }

  // The last line completed in the last tick, and every byte a receive
  // tick took from the port.
  const std::string& LatestLine() const { return latestLine_; }
  std::uint64_t ReceivedBytes() const { return receivedBytes_; }

  // The steps an auto-mode run takes.
  const StepChoice& Steps() const { return steps_; }
  void SelectSteps(StepChoice steps) { steps_ = steps; }

  // Opens the list or mail log, from now on fed with every completed line
  // while a step runs; false when it cannot be opened (Log().Fault() says
  // why). Both kinds open: each line is written twice, as each log asks.
  bool OpenLog(LogKind kind, const std::string& path, CTextFile::Mode mode);
  // The log is no longer fed for `kind`, and closed when no kind is left.
  void CloseLog(LogKind kind);
  // Closes the log for every kind.
  void CloseLog();
  bool ListReading() const { return reading_[0]; }
  bool MailReading() const { return reading_[1]; }
  const CTextFile& Log() const { return log_; }
  // Lines that could not be written to the log, counted over the whole run
  // (the autopilot compares it before and after a list or a message), and
  // the file and reason of the last such failure (its fault).
  std::uint64_t LogLinesLost() const { return logLinesLost_; }
  const FileFault& LogFault() const { return logFault_; }
  // How often the document started over: a mail file started before it
  // went out no further.
  std::uint64_t Openings() const { return openings_; }

  // Who hears of the logged lines and the run's events besides the logs;
  // nullptr: nobody.
  void SetRecord(IRunRecord* record) { record_ = record; }
  IRunRecord* Record() const { return record_; }
  // The last line with text completed since ForgetAnswer() that is no
  // prompt (it does not hold the wait text): what the BBS said last.
  const std::string& AnswerLine() const { return answerLine_; }
  void ForgetAnswer() { answerLine_.clear(); }

  // IReceiveListener
  void OnRead(std::size_t bytes) override;
  void OnLine(std::string_view line) override;
  void OnTickEnd(const ReceivedTick& tick) override;
  // IOpenListener: the document starts over.
  void OnPortOpening() override;

 private:
  void ArmWait(std::string waitText, bool standing);
  // The one writer of reading_.
  void Feed(LogKind kind, bool on);
  // Appends a line to the log; on failure shows "Cannot Write File" once
  // until a write succeeds again.
  void WriteLogLine(std::string_view line);

  IUiSink& ui_;
  RunPhase phase_ = RunPhase::Idle;
  std::string waitText_;             // text whose arrival the autopilot waits for
  bool standing_ = false;            // the prompt on the screen ends the wait
  std::uint64_t promptsSeen_ = 0;    // ticks whose scan text contained the wait text
  std::uint64_t promptsAtArm_ = 0;   // promptsSeen_ when the wait was armed
  std::string latestLine_;
  std::uint64_t receivedBytes_ = 0;
  StepChoice steps_;
  CTextFile log_;
  bool reading_[2] = {false, false};  // the log is fed for List, Mail
  bool logWriteFailed_ = false;
  std::uint64_t logLinesLost_ = 0;
  FileFault logFault_;
  std::uint64_t openings_ = 0;
  IRunRecord* record_ = nullptr;
  std::string answerLine_;
};

}  // namespace nami
