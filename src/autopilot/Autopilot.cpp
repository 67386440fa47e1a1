#include "autopilot/Autopilot.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "autopilot/WaitText.h"
#include "files/UserFile.h"
#include "text/Cp932.h"
#include "text/Messages.h"
#include "text/ShiftJis.h"

namespace nami {
namespace {

bool ContainsBusy(std::string line) {
  for (char& c : line) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return line.find("busy") != std::string::npos;
}

// The file's own name, without its folder (file-system names are UTF-8).
std::string BaseName(std::string path) {
  if (const auto slash = path.rfind('/'); slash != std::string::npos) path.erase(0, slash + 1);
  return path;
}

// Lines of a text file (a last line without its line end counts too); 0
// when it is not a regular file that opens.
int CountLines(const std::string& path) {
  FileFault fault;
  std::FILE* in = OpenUserStream(path, UserFileMode::Read, fault);
  if (!in) return 0;
  int lines = 0;
  char last = '\n';
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
    lines += static_cast<int>(std::count(buffer, buffer + n, '\n'));
    last = buffer[n - 1];
  }
  std::fclose(in);
  return last == '\n' ? lines : lines + 1;
}
}  // namespace

std::string CAutopilot::SettingsReason() const {
  const std::string& problem = doc_.Settings().Problem();
  return problem.empty() ? msg::AbortSettings : msg::Format(msg::AbortSettingsBecause, {{"reason", problem}});
}

std::string CAutopilot::LogReason(Step step) const {
  const bool list = step == Step::List;
  if (!run_.LogFault().Failed()) return list ? msg::AbortListLog : msg::AbortMailLog;
  return msg::Format(list ? msg::AbortListLogBecause : msg::AbortMailLogBecause,
                     {{"file", run_.LogFault().path}, {"reason", FileFaultText(run_.LogFault())}});
}

void CAutopilot::AbortForWriteFailure(const std::string& reason) {
  // The reason names the settings problem: it is told here, not twice.
  (void)doc_.Settings().File().TakeProblem();
  AbortAll(reason, RunOutcome::FileError, reason);
  if (OnWriteFailure) OnWriteFailure(reason);
}

CAutopilot::CAutopilot(CNamiDoc& doc, IClock& clock)
    : doc_(doc),
      clock_(clock),
      run_(doc.Ui()),
      schedule_(doc.Settings()),
      list_(doc),
      mail_(doc, run_),
      sender_(doc, run_, [this](CMailSender::FileEnd how) { OnMailFileEnd(how); }) {
  doc_.SetReceiveListener(ReceiveSlot::Autopilot, &run_);
  doc_.AddOpenListener(&run_);
}

CAutopilot::~CAutopilot() {
  sender_.Abandon();
  doc_.RemoveOpenListener(&run_);
  if (doc_.ReceiveListener(ReceiveSlot::Autopilot) == &run_) doc_.SetReceiveListener(ReceiveSlot::Autopilot, nullptr);
}

bool CAutopilot::IsEnabled(AutoCommand command) const {
  // The end command logs off ("B", then ^C "D"): only while a step or run is
  // under way or waits for it, so that a stray key does not end a QSO.
  if (command == AutoCommand::End) return Busy() || run_.Phase() != RunPhase::Idle;
  return run_.Idle();
}

void CAutopilot::Run(AutoCommand command) {
  if (!IsEnabled(command)) return;
  switch (command) {
    case AutoCommand::AutoMode:
      scheduledStart_ = false;
      StartAutoMode();
      return;
    case AutoCommand::Connect:
    case AutoCommand::Send:
    case AutoCommand::List:
    case AutoCommand::Read: {
      static constexpr Step kSteps[] = {Step::Connect, Step::Send, Step::List, Step::Read};
      if (RefuseWithoutPort(false)) return;
      ResetWatch();
      if (IRunRecord* record = run_.Record()) record->RunBegun();
      frames_.push_back(Frame{false, Step::Connect, StepPhase::Waiting, false});
      BeginStep(frames_.back(), kSteps[static_cast<int>(command) - static_cast<int>(AutoCommand::Connect)]);
      Settle();
      return;
    }
    case AutoCommand::End:
      LogOff();
      run_.Raise(RunEvent::EndCommand);
      // The mail file loop notices the cleared flag at its next pass, and so
      // does the wait: let both happen now, as they would right after the
      // command inside a nested loop.
      if (!frames_.empty() && frames_.back().phase == StepPhase::SendingFile) sender_.StopNow();
      Settle();
      return;
  }
}

void CAutopilot::OnTick() {
  Settle();
  Watch();
}

std::uint64_t CAutopilot::BytesGone() {
  // Bytes the port took, less what it still holds: they have left, as far
  // as the port can tell (a link kind holds what its far side has not
  // acknowledged).
  const std::uint64_t written = doc_.Sending().Written();
  IPort* port = doc_.Port();
  const int held = port && port->IsOpen() ? port->TransmitQueueCount() : 0;
  return written - std::min<std::uint64_t>(written, static_cast<std::uint64_t>(std::max(held, 0)));
}

void CAutopilot::ResetWatch() {
  heardBytes_ = run_.ReceivedBytes();
  goneMark_ = std::max(goneMark_, BytesGone());
  heardAtMs_ = clock_.MonotonicMs();
  if (frames_.empty()) {
    watchdogSeconds_ = doc_.Settings().GetInt(keys::Watchdog);  // read once per run
    goneMark_ = BytesGone();
  }
}

void CAutopilot::Watch() {
  if (frames_.empty()) return;
  // Every phase counts: a byte arriving, or a byte of the outgoing text
  // leaving (beyond the most that had left so far), is a sign of life. A
  // mail file that does not move is as dead as a BBS that does not answer.
  if (run_.ReceivedBytes() != heardBytes_ || BytesGone() > goneMark_) {
    ResetWatch();
    return;
  }
  const int seconds = watchdogSeconds_;
  if (seconds <= 0 || clock_.MonotonicMs() - heardAtMs_ < seconds * std::int64_t{1000}) return;
  const bool sending = frames_.back().phase == StepPhase::SendingFile;
  watchdogSending_ = sending;
  Raise(frames_.back(), StepEvent::Watchdog,
        msg::Format(sending ? msg::NothingMovedFor : msg::NothingReceivedFor, {{"seconds", std::to_string(seconds)}}));
  watchdogSending_ = false;
}

bool CAutopilot::RefuseWithoutPort(bool autoMode) {
  if (doc_.PortOpen()) return false;
  const std::string why = doc_.PortFailure();
  if (autoMode) {
    RecordEnd(RunOutcome::PortNotOpen, msg::AbortNoPort, why);
  } else {
    doc_.Ui().ShowMessage(why.empty() ? msg::ReconfigurePort
                                      : msg::Format(msg::ReconfigurePortBecause, {{"reason", why}}));
  }
  return true;
}

void CAutopilot::RecordEnd(RunOutcome outcome, const std::string& reason, const std::string& detail) {
  lastEnd_ = RunEnd{outcome, clock_.Now(), detail, reason};
  ++endedRuns_;
  ReportRunEnd();
}

void CAutopilot::Abort(RunOutcome outcome, const std::string& detail) {
  AbortAll(DescribeOutcome(outcome).japanese, outcome, detail);
}

void CAutopilot::OnLinkLost(const std::string& detail) {
  if (!frames_.empty()) Raise(frames_.back(), StepEvent::PortLost, detail);
}

void CAutopilot::OnScheduleTimer() {
  if (schedule_.OnTimer(LocalTime(clock_.Now()).tm_min)) {
    scheduledStart_ = true;
    StartAutoMode();
  }
}

void CAutopilot::ArmSchedule() { schedule_.Arm(LocalTime(clock_.Now()).tm_min); }

std::string CAutopilot::StatusText() const {
  if (frames_.empty()) return {};
  const Frame& f = frames_.back();
  std::string text;
  switch (f.step) {
    case Step::Connect:
      text = msg::StatusConnecting;
      break;
    case Step::Send:
      text = msg::StatusSending;
      if (sender_.Sending()) {
        // Which file goes out, how far it is and how fast.
        text = msg::Format(msg::StatusSendingFile,
                           {{"progress", FormatProgress(BaseName(sender_.CurrentFile()), sender_.Position(),
                                                        sender_.Length(), clock_.MonotonicMs() - fileStartMs_)}});
      }
      break;
    case Step::List:
      text = msg::StatusListing;
      break;
    case Step::Read:
      text = msg::StatusReading;
      if (mail_.ReadsPlanned > 0)
        text = msg::Format(msg::StatusReadingCount, {{"done", std::to_string(mail_.Requested)},
                                                     {"planned", std::to_string(mail_.ReadsPlanned)}});
      break;
  }
  return f.autoMode ? msg::Format(msg::StatusAutoMode, {{"step", text}}) : text;
}

void CAutopilot::Cancel() {
  frames_.clear();
  sender_.Abandon();
  run_.CloseLog();
  run_.Raise(RunEvent::RunEnded);
}

void CAutopilot::EndForTermination() {
  if (frames_.empty()) return;
  sender_.EndForTermination();
  bool autoMode = false;
  for (const Frame& f : frames_) autoMode = autoMode || f.autoMode;
  if (autoMode) {
    AbortAll(DescribeOutcome(RunOutcome::EndedByUser).japanese, RunOutcome::EndedByUser, "terminated");
    return;
  }
  if (doc_.PortOpen()) LogOff();
  Cancel();
}

// ---- Link commands ----

void CAutopilot::ConnectToStation() {
  const CSettings& s = doc_.Settings();
  const std::string call = s.Raw(keys::Call);
  const std::string waitText = WaitTextFrom(s);
  const std::string password = s.Raw(keys::Password);

  doc_.Report(ActivityKind::Step,
              msg::Format(msg::ActivityConnect, {{"call", Cp932ToUtf8(call.empty() ? std::string("QZ1ABC") : call)}}));
  doc_.SendOwn(call.empty() ? std::string("\x03\rCONNECT QZ1ABC\r") : "\x03\rCONNECT " + call + "\r");
  // Sent at once: a serial link to the BBS asks for it before anything else.
  // The activity names it without showing it.
  if (!password.empty()) {
    doc_.Report(ActivityKind::Sent, msg::ActivityPassword);
    doc_.SendText(password + "\r");
  }

  run_.ArmWait(waitText);
}

void CAutopilot::LogOff() {
  doc_.Report(ActivityKind::Step, msg::ActivityLogOff);
  doc_.SendOwn("B\r");
  doc_.SendOwn(
      "\x03"
      "D\r");
  // A link that took nothing for the watchdog's time will not carry the
  // "B" either: a second DISCONNECT makes the TNC let go at once instead
  // of waiting for the unacknowledged text.
  if (watchdogSending_) doc_.SendOwn("D\r");
}

// ---- The run ----

void CAutopilot::StartAutoMode() {
  if (!run_.Idle()) return;
  scheduled_ = std::exchange(scheduledStart_, false);
  summary_ = RunSummary{};
  summary_.scheduled = scheduled_;
  runStartMs_ = clock_.MonotonicMs();
  doc_.Report(ActivityKind::Step, scheduled_ ? msg::ActivityAutoStartScheduled : msg::ActivityAutoStart);
  if (RefuseWithoutPort(true)) return;
  ResetWatch();
  if (IRunRecord* record = run_.Record()) record->RunBegun();
  frames_.push_back(Frame{true, Step::Connect, StepPhase::Waiting, false});
  BeginStep(frames_.back(), Step::Connect);
  Settle();
}

bool CAutopilot::StepSelected(Step step) const {
  switch (step) {
    case Step::Send:
      return run_.Steps().send;
    case Step::List:
      return run_.Steps().list;
    case Step::Read:
      return run_.Steps().read;
    case Step::Connect:
      break;
  }
  return true;
}

void CAutopilot::BeginStep(Frame& frame, Step step) {
  frame.step = step;
  frame.phase = NextPhase(frame.phase, StepEvent::Begun);
  frame.firstFile = false;
  run_.Raise(RunEvent::StepBegun);
  switch (step) {
    case Step::Connect:
      ConnectToStation();
      return;
    case Step::List:
    case Step::Read:
      Raise(frame, StartReading(step));
      return;
    case Step::Send:
      Raise(frame, StartSending(frame));
      return;
  }
}

StepEvent CAutopilot::StartReading(Step step) {
  const bool list = step == Step::List;
  if (list) listLostMark_ = run_.LogLinesLost();
  doc_.Report(ActivityKind::Step, list ? msg::ActivityList : msg::ActivityRead);
  run_.ArmWait();
  // The list log starts empty; the mail log is only ever appended to.
  const std::string log = list ? list_.Prepare() : mail_.Prepare();
  if (!run_.OpenLog(list ? LogKind::List : LogKind::Mail, log,
                    list ? CTextFile::Mode::Truncate : CTextFile::Mode::Append)) {
    doc_.Ui().ShowMessage(
        msg::Format(msg::CannotOpenFileBecause, {{"file", log}, {"reason", FileFaultText(run_.Log().Fault())}}));
    return StepEvent::LogNotOpened;
  }
  run_.ArmWait(WaitTextFrom(doc_.Settings()));
  return list ? list_.SendFirstCommand() : mail_.SendFirstRead();
}

StepEvent CAutopilot::StartSending(Frame& frame) {
  doc_.Report(ActivityKind::Step, msg::ActivitySend);
  run_.ArmWait();
  // A file of an earlier, held send step is still open: nothing to queue now.
  if (sender_.Sending()) return StepEvent::NothingSent;
  sender_.BuildSendQueue();
  missing_.clear();
  run_.ArmWait(WaitTextFrom(doc_.Settings()));
  if (sender_.QueueEmpty()) {
    doc_.Report(ActivityKind::Note, msg::ActivityNothingToSend);
    return StepEvent::NothingSent;
  }
  // A mail posted now could not be taken off the queue afterwards and would
  // be posted again by the next run: post nothing.
  if (!sender_.CanRecordSent()) return StepEvent::NotRecorded;
  sentEntry_ = -1;
  switch (StartNextMailFile()) {
    case CMailSender::StartResult::Started:
      return FileStarted(frame, true);
    case CMailSender::StartResult::NotOpened:
      return StepEvent::NothingSent;  // every queued file is missing: no prompt will come
    case CMailSender::StartResult::Error:
      break;
  }
  return StepEvent::FileFailed;
}

StepEvent CAutopilot::FileStarted(Frame& frame, bool first) {
  ReportFileStarted();
  frame.firstFile = first;
  sentEntry_ = static_cast<std::ptrdiff_t>(sender_.SendQueueCursor) - 1;
  return StepEvent::FileStarted;
}

bool CAutopilot::Raise(Frame& frame, StepEvent event, const std::string& detail) {
  frame.phase = NextPhase(frame.phase, event);
  if (event == StepEvent::NothingAsked) run_.ArmStandingWait();
  if (event == StepEvent::LogNotOpened) run_.Raise(RunEvent::LogNotOpened);
  if (frame.phase != StepPhase::Failed) return true;
  // Every frame goes with the abort: `frame` is not touched again.
  switch (event) {
    case StepEvent::NotRecorded:
      AbortForWriteFailure(SettingsReason());
      break;
    case StepEvent::LogFailed:
      AbortForWriteFailure(LogReason(frame.step));
      break;
    case StepEvent::Watchdog:
      Abort(RunOutcome::NoAnswer, detail);
      break;
    case StepEvent::PortLost:
      Abort(RunOutcome::LinkLost, detail);
      break;
    default:
      AbortAll(msg::AbortMailFile);
      break;
  }
  return false;
}

bool CAutopilot::ConfirmPrompt() const {
  return ContainsAtCharStart(run_.LatestLine(), run_.WaitText()) ||
         ContainsAtCharStart(doc_.Lines().LastLine(), run_.WaitText());
}

CMailSender::StartResult CAutopilot::StartNextMailFile() {
  while (sender_.HasNextFile()) {
    const std::string name = sender_.SendQueue[sender_.SendQueueCursor];
    const CMailSender::StartResult r = sender_.SendNextQueuedFile();
    if (r != CMailSender::StartResult::NotOpened) return r;
    missing_.push_back(name);
    const std::string reason = FileFaultText(sender_.OpenFault());
    doc_.Report(ActivityKind::Note, msg::Format(msg::MailFileSkipped, {{"file", name}, {"reason", reason}}));
    doc_.Ui().ShowMessage(msg::Format(msg::CannotOpenFileBecause, {{"file", name}, {"reason", reason}}));
  }
  return CMailSender::StartResult::NotOpened;
}

StepEvent CAutopilot::SendNextMailFile(Frame& frame) {
  // The BBS has answered the file just sent: it is off the queue for good,
  // whatever becomes of the files after it.
  if (sentEntry_ >= 0) {
    const auto entry = static_cast<std::size_t>(sentEntry_);
    sentEntry_ = -1;
    if (!sender_.ClearQueuedKey(entry)) return StepEvent::NotRecorded;
    if (IRunRecord* record = run_.Record(); record && entry < sender_.SendQueueKeys.size())
      record->MailSent(sender_.SendQueueKeys[entry], run_.AnswerLine());
  }
  switch (StartNextMailFile()) {
    case CMailSender::StartResult::Started:
      return FileStarted(frame, false);
    case CMailSender::StartResult::NotOpened:
      return StepEvent::Complete;  // no file left that opens
    case CMailSender::StartResult::Error:
      break;
  }
  return StepEvent::FileFailed;
}

StepEvent CAutopilot::NextAction(Frame& frame) {
  switch (frame.step) {
    case Step::Connect:
      return StepEvent::Complete;
    case Step::List:
      // A list not wholly in its log would let the read step pass mail.
      if (run_.LogLinesLost() != listLostMark_) return StepEvent::LogFailed;
      return list_.SendNextListCommand();
    case Step::Read:
      return mail_.ReadNextMail();
    case Step::Send:
      return SendNextMailFile(frame);
  }
  return StepEvent::Complete;
}

// One pass of a wait; true when something moved on (another pass may follow).
// The one place that confirms a prompt and that ends a wait on the run flag.
bool CAutopilot::Pass(Frame& frame) {
  if (run_.PromptSeen() && ConfirmPrompt()) {
    run_.ArmWait();  // the prompt is taken: the next action waits for the next one
    Raise(frame, NextAction(frame));
    return true;
  }
  if (!run_.Running()) {
    Raise(frame, run_.Phase() == RunPhase::Ending ? StepEvent::EndCommand : StepEvent::LinkLost);
    return true;
  }
  return false;
}

void CAutopilot::Settle() {
  while (!frames_.empty()) {
    Frame& f = frames_.back();
    switch (f.phase) {
      case StepPhase::SendingFile:
        return;  // the file loop holds the wait
      case StepPhase::Failed:
        return;  // not left behind: the abort took every frame
      case StepPhase::Waiting:
        if (!Pass(f)) return;
        break;
      case StepPhase::DoneNormal:
      case StepPhase::DoneAborted:
      case StepPhase::DoneAtOnce:
        FinishStep();
        break;
    }
  }
}

void CAutopilot::FinishStep() {
  Frame& f = frames_.back();
  switch (f.step) {
    case Step::Connect:
      break;
    case Step::Send:
      // Only a complete step empties the rest of the queue (files that could
      // not be opened are kept, to be sent once they are there); otherwise
      // what was not taken goes again next time.
      if (f.phase == StepPhase::DoneNormal && !sender_.EmptySendKeys(missing_)) {
        Raise(f, StepEvent::NotRecorded);
        return;
      }
      break;
    case Step::List:
      run_.CloseLog(LogKind::List);
      if (f.autoMode) summary_.listLines = CountLines(doc_.Settings().ListFilePath());
      break;
    case Step::Read:
      run_.CloseLog(LogKind::Mail);
      if (f.autoMode) {
        summary_.messagesRead += mail_.Requested;
        summary_.toOwnCall += mail_.ReadsForOwnCall;
      }
      break;
  }
  if (!f.autoMode) {
    frames_.pop_back();
    run_.Raise(RunEvent::StepEnded);
    return;
  }
  NextStep(f);
}

void CAutopilot::NextStep(Frame& f) {
  static constexpr Step kOrder[] = {Step::Send, Step::List, Step::Read};
  for (Step next : kOrder) {
    if (static_cast<int>(next) <= static_cast<int>(f.step) || !StepSelected(next)) continue;
    if (!run_.Running()) {
      EndRun(false, f.step);
      return;
    }
    BeginStep(f, next);
    return;
  }
  if (!run_.Running()) {
    EndRun(false, f.step);
    return;
  }
  LogOff();
  EndRun(true, f.step);
}

RunOutcome CAutopilot::DisconnectOutcome(Step step) const {
  if (step != Step::Connect) return RunOutcome::LinkLost;
  // The TNC's last few lines say why the connect request failed.
  const std::size_t count = doc_.Lines().LineCount();
  for (std::size_t i = count; i > 0 && i + 4 > count; --i)
    if (ContainsBusy(doc_.Lines().LineAt(i - 1))) return RunOutcome::BbsBusy;
  return RunOutcome::ConnectFailed;
}

void CAutopilot::EndRun(bool completed, Step step) {
  const RunPhase phase = run_.Phase();
  frames_.pop_back();
  if (completed) {
    run_.Raise(RunEvent::RunEnded);
    const bool nothingNew = summary_.mailsSent == 0 && summary_.messagesRead == 0;
    RecordEnd(nothingNew ? RunOutcome::NothingNew : RunOutcome::Completed, {}, {});
    return;
  }
  switch (phase) {
    case RunPhase::LogMissing:
      // A file the run could not open: the link is up, so log off.
      LogOff();
      run_.Raise(RunEvent::RunEnded);
      RecordEnd(RunOutcome::FileError, msg::AbortLogNotOpened, {});
      return;
    case RunPhase::Ending:
      run_.Raise(RunEvent::RunEnded);
      RecordEnd(RunOutcome::EndedByUser, msg::AbortEndCommand, {});
      return;
    default:
      // A link through nami's TNC2 says why its far side failed (an AGW,
      // telnet or KISS connection that dropped).
      run_.Raise(RunEvent::RunEnded);
      RecordEnd(DisconnectOutcome(step), msg::AbortDisconnected, doc_.PortFailure());
      return;
  }
}

void CAutopilot::ReportFileStarted() {
  fileStartMs_ = clock_.MonotonicMs();
  doc_.Report(ActivityKind::Step, msg::Format(msg::ActivityMailFile, {{"file", BaseName(sender_.CurrentFile())},
                                                                      {"bytes", std::to_string(sender_.Length())}}));
}

void CAutopilot::ReportRunEnd() {
  summary_.outcome = lastEnd_.outcome;
  summary_.detail = lastEnd_.detail;
  summary_.ownCall = Cp932ToUtf8(doc_.Settings().MyCall());
  summary_.durationMs = clock_.MonotonicMs() - runStartMs_;
  doc_.Report(ActivityKind::Outcome, FormatSummary(summary_));
  if (OnRunEnd) OnRunEnd(summary_);
}

void CAutopilot::OnMailFileEnd(CMailSender::FileEnd how) {
  // Normally the innermost step; a step started while the file went out (the
  // document was reset meanwhile) may sit above it.
  Frame* sending = nullptr;
  for (auto it = frames_.rbegin(); it != frames_.rend() && !sending; ++it) {
    if (it->phase == StepPhase::SendingFile) sending = &*it;
  }
  if (!sending) return;
  Frame& f = *sending;
  switch (how) {
    case CMailSender::FileEnd::Error:
      Raise(f, StepEvent::FileFailed);
      return;
    case CMailSender::FileEnd::Stopped:
      // Stopped by a disconnection or the end command: the step ends here,
      // after any file, no further file goes out and the queue is kept.
      // Taking the run flag back and waiting on would make the end command
      // of no effect and carry a broken run on into its next steps.
      Raise(f, StepEvent::FileStopped);
      break;
    case CMailSender::FileEnd::Sent:
      if (f.autoMode) ++summary_.mailsSent;
      run_.ForgetAnswer();  // the BBS's answer to this file comes from now on
      [[fallthrough]];
    case CMailSender::FileEnd::Superseded:
      Raise(f, StepEvent::FileSent);
      if (!f.firstFile) run_.ArmWait();
      break;
  }
  Settle();
}

void CAutopilot::AbortAll(const std::string& reason, RunOutcome outcome, const std::string& detail) {
  if (frames_.empty()) return;
  bool autoMode = false;
  for (const Frame& f : frames_) {
    autoMode = autoMode || f.autoMode;
    if (f.autoMode && f.step == Step::Read) {
      summary_.messagesRead += mail_.Requested;
      summary_.toOwnCall += mail_.ReadsForOwnCall;
    }
  }
  frames_.clear();
  sender_.Abandon();
  run_.CloseLog();
  if (outcome == RunOutcome::LinkLost || !doc_.PortOpen()) {
    run_.Raise(RunEvent::RunEnded);
  } else if (autoMode || outcome == RunOutcome::NoAnswer) {
    // Log off so that the radio link is not left up; this also frees the
    // commands and the schedule for the next run.
    LogOff();
    run_.Raise(RunEvent::RunEnded);
  } else {
    // A single step's file error: the commands wait for the end command.
    run_.Raise(RunEvent::StepFault);
  }
  if (autoMode) RecordEnd(outcome, reason, detail);
}

}  // namespace nami
