#include "autopilot/Autopilot.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "autopilot/StepTexts.h"
#include "terminal/UserFile.h"
#include "text/Cp932.h"
#include "text/ShiftJis.h"

namespace nami {
namespace {
const char kReasonEnd[] = "自動モード終了コマンドで中止しました";
const char kReasonDisconnected[] = "接続が切れたため中止しました";
const char kReasonFileError[] = "メールファイルのエラーで中止しました";
const char kReasonLogFile[] = "ログファイルを開けないため中止しました";
const char kReasonNoPort[] = "ポートが開いていないため中止しました";

bool ContainsBusy(std::string line) {
  for (char& c : line) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return line.find("busy") != std::string::npos;
}
const char kReasonSettings[] = "設定ファイルに書き込めないため中止しました";
const char kReasonListLog[] = "リストのログに書き込めないため中止しました";
const char kReasonMailLog[] = "メールのログに書き込めないため中止しました";

// The file's own name, without its folder (file-system names are UTF-8).
std::string BaseName(std::string path) {
  if (const auto slash = path.rfind('/'); slash != std::string::npos) path.erase(0, slash + 1);
  return path;
}

// Lines of a text file (a last line without its line end counts too); 0
// when it is not a regular file that opens.
int CountLines(const std::string& path) {
  std::string reason;
  std::FILE* in = OpenUserStream(path, UserFileMode::Read, reason);
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
  return problem.empty() ? std::string(kReasonSettings) : std::string(kReasonSettings) + ": " + problem;
}

std::string CAutopilot::LogReason(const char* what) const {
  return doc_.LogError.empty() ? std::string(what) : std::string(what) + ": " + doc_.LogError;
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
      schedule_(doc.Settings()),
      list_(doc),
      mail_(doc),
      sender_(doc, [this](CMailSender::FileEnd how) { OnMailFileEnd(how); }) {}

CAutopilot::~CAutopilot() { sender_.Abandon(); }

bool CAutopilot::IsEnabled(AutoCommand command) const { return command == AutoCommand::End || doc_.AutoIdle; }

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
      frames_.push_back(Frame{false, Step::Connect, Phase::Waiting, false});
      BeginStep(frames_.back(), kSteps[static_cast<int>(command) - static_cast<int>(AutoCommand::Connect)]);
      Settle();
      return;
    }
    case AutoCommand::End:
      endRequested_ = true;
      EndAutoMode();
      // The mail file loop notices the cleared flag at its next pass, and so
      // does the wait: let both happen now, as they would right after the
      // command inside a nested loop.
      if (!frames_.empty() && frames_.back().phase == Phase::SendingFile && doc_.Senders.Active() == &sender_) {
        doc_.Senders.Step();
      }
      Settle();
      return;
  }
}

void CAutopilot::OnTick() {
  Settle();
  Watch();
}

void CAutopilot::ResetWatch() {
  heardBytes_ = doc_.ReceivedBytes;
  heardAtMs_ = clock_.MonotonicMs();
  if (frames_.empty()) watchdogSeconds_ = doc_.Settings().GetInt(keys::Watchdog);  // read once per run
}

void CAutopilot::Watch() {
  if (frames_.empty()) return;
  // Only a wait for the BBS counts: a mail file going out hears nothing.
  if (doc_.ReceivedBytes != heardBytes_ || frames_.back().phase != Phase::Waiting) {
    ResetWatch();
    return;
  }
  const int seconds = watchdogSeconds_;
  if (seconds <= 0 || clock_.MonotonicMs() - heardAtMs_ < seconds * std::int64_t{1000}) return;
  Abort(RunOutcome::NoAnswer, "nothing received for " + std::to_string(seconds) + " s");
}

bool CAutopilot::RefuseWithoutPort(bool autoMode) {
  if (doc_.PortOpen()) return false;
  const std::string why = doc_.PortFailure();
  if (autoMode) {
    lastResult_ = RunResult::Aborted;
    lastAbortReason_ = kReasonNoPort;
    RecordEnd(RunOutcome::PortNotOpen, why);
  } else {
    doc_.Ui().ShowMessage(why.empty() ? msg::ReconfigurePort : msg::ReconfigurePort + "\n" + why);
  }
  return true;
}

void CAutopilot::RecordEnd(RunOutcome outcome, const std::string& detail) {
  lastEnd_ = RunEnd{outcome, clock_.Now(), detail};
  ++endedRuns_;
  ReportRunEnd();
}

void CAutopilot::Abort(RunOutcome outcome, const std::string& detail) {
  AbortAll(DescribeOutcome(outcome).japanese, outcome, detail);
}

void CAutopilot::OnLinkLost(const std::string& detail) { Abort(RunOutcome::LinkLost, detail); }

void CAutopilot::OnScheduleTimer() {
  if (schedule_.OnTimer(LocalTime(clock_.Now()).tm_min)) {
    scheduledStart_ = true;
    StartAutoMode();
  }
}

std::string CAutopilot::StatusText() const {
  if (frames_.empty()) return {};
  const Frame& f = frames_.back();
  std::string text = f.autoMode ? "自動モード: " : "";
  switch (f.step) {
    case Step::Connect:
      text += "相手局に接続中";
      break;
    case Step::Send:
      text += "メール送信中";
      if (sender_.Sending()) {
        // Which file goes out, how far it is and how fast.
        text += ' ';
        text += FormatProgress(BaseName(sender_.CurrentFile()), sender_.Position(), sender_.Length(),
                               clock_.MonotonicMs() - fileStartMs_);
      }
      break;
    case Step::List:
      text += "リスト読み出し中";
      break;
    case Step::Read:
      text += "メール読み出し中";
      if (mail_.ReadsPlanned > 0)
        text += ' ' + std::to_string(mail_.Requested) + '/' + std::to_string(mail_.ReadsPlanned) + " 通";
      break;
  }
  return text;
}

void CAutopilot::Cancel() {
  frames_.clear();
  sender_.Abandon();
  doc_.LogFile.Close();
  doc_.ListReading = doc_.MailReading = false;
  doc_.AutoRunning = false;
  doc_.AutoIdle = true;
}

// ---- Link commands ----

void CAutopilot::ConnectToStation() {
  const CSettings& s = doc_.Settings();
  const std::string call = s.Raw(keys::Call);
  const std::string waitText = WaitTextFrom(s);
  const std::string password = s.Raw(keys::Password);

  doc_.Report(ActivityKind::Step, "相手局に接続: " + Cp932ToUtf8(call.empty() ? std::string("QZ1ABC") : call));
  doc_.SendOwn(call.empty() ? std::string("\x03\rCONNECT QZ1ABC\r") : "\x03\rCONNECT " + call + "\r");
  // Sent at once: a serial link to the BBS asks for it before anything else.
  // The activity names it without showing it.
  if (!password.empty()) {
    doc_.Report(ActivityKind::Sent, "(パスワード)");
    doc_.SendText(password + "\r");
  }

  doc_.PromptSeen = false;
  doc_.AutoRunning = true;
  doc_.WaitText = waitText;
}

void CAutopilot::EndAutoMode() {
  doc_.Report(ActivityKind::Step, "ログオフ");
  doc_.SendOwn("B\r");
  doc_.SendOwn(
      "\x03"
      "D\r");
  doc_.AutoRunning = false;
  doc_.AutoIdle = true;
}

// ---- The run ----

void CAutopilot::StartAutoMode() {
  if (!doc_.AutoIdle) return;
  scheduled_ = std::exchange(scheduledStart_, false);
  summary_ = RunSummary{};
  summary_.scheduled = scheduled_;
  runStartMs_ = clock_.MonotonicMs();
  doc_.Report(ActivityKind::Step, scheduled_ ? "自動モード開始 (スケジュール)" : "自動モード開始");
  if (RefuseWithoutPort(true)) return;
  doc_.AutoRunning = true;
  endRequested_ = false;
  abortReason_.clear();
  ResetWatch();
  frames_.push_back(Frame{true, Step::Connect, Phase::Waiting, false});
  BeginStep(frames_.back(), Step::Connect);
  Settle();
}

bool CAutopilot::StepSelected(Step step) const {
  switch (step) {
    case Step::Send:
      return doc_.AutoSend;
    case Step::List:
      return doc_.AutoList;
    case Step::Read:
      return doc_.AutoRead;
    case Step::Connect:
      break;
  }
  return true;
}

void CAutopilot::BeginStep(Frame& frame, Step step) {
  frame.step = step;
  frame.phase = Phase::Waiting;
  frame.firstFile = false;
  doc_.AutoIdle = false;
  switch (step) {
    case Step::Connect:
      ConnectToStation();
      return;
    case Step::List:
      listLostMark_ = doc_.LogLinesLost;
      [[fallthrough]];
    case Step::Read:
      doc_.Report(ActivityKind::Step, step == Step::List ? "リスト読み出し" : "メール読み出し");
      if (!(step == Step::List ? list_.StartListReading() : mail_.StartMailReading())) {
        doc_.AutoRunning = false;
        abortReason_ = kReasonLogFile;
        frame.phase = Phase::DoneAborted;
      } else if (doc_.AutoIdle) {
        // Nothing was sent (no list command, an empty list log): no prompt
        // will come, so the step ends now.
        frame.phase = Phase::DoneAtOnce;
      }
      return;
    case Step::Send:
      doc_.Report(ActivityKind::Step, "メール送信");
      break;
  }

  doc_.PromptSeen = false;
  doc_.AutoRunning = true;
  const std::string waitText = WaitTextFrom(doc_.Settings());
  if (sender_.Sending()) {
    // A file of an earlier, held send step is still open: nothing to queue now.
    doc_.AutoIdle = true;
    frame.phase = Phase::DoneAtOnce;
    return;
  }
  sender_.BuildSendQueue();
  missing_.clear();
  doc_.PromptSeen = false;
  doc_.AutoRunning = true;
  doc_.WaitText = waitText;
  if (sender_.QueueEmpty()) {
    doc_.Report(ActivityKind::Note, "送信待ちのメールはありません");
    doc_.AutoIdle = true;
    frame.phase = Phase::DoneAtOnce;
    return;
  }
  // A mail posted now could not be taken off the queue afterwards and would
  // be posted again by the next run: post nothing.
  if (!sender_.CanRecordSent()) {
    AbortForWriteFailure(SettingsReason());
    return;
  }
  sentEntry_ = -1;
  switch (StartNextMailFile()) {
    case CMailSender::StartResult::Started:
      ReportFileStarted();
      frame.phase = Phase::SendingFile;
      frame.firstFile = true;
      sentEntry_ = static_cast<std::ptrdiff_t>(sender_.SendQueueCursor) - 1;
      return;
    case CMailSender::StartResult::NotOpened:
      // Every queued file is missing: nothing went out, no prompt will come.
      doc_.AutoIdle = true;
      frame.phase = Phase::DoneAtOnce;
      return;
    case CMailSender::StartResult::Error:
      AbortAll(kReasonFileError);
      return;
  }
}

bool CAutopilot::ConfirmPrompt() const {
  return ContainsAtCharStart(doc_.LatestLine, doc_.WaitText) || ContainsAtCharStart(doc_.LastLine(), doc_.WaitText);
}

CMailSender::StartResult CAutopilot::StartNextMailFile() {
  while (sender_.HasNextFile()) {
    const std::string name = sender_.SendQueue[sender_.SendQueueCursor];
    const CMailSender::StartResult r = sender_.SendNextQueuedFile();
    if (r != CMailSender::StartResult::NotOpened) return r;
    missing_.push_back(name);
    doc_.Report(ActivityKind::Note, "メールファイルを開けないため飛ばしました: " + name + ": " + sender_.OpenError());
    doc_.Ui().ShowMessage(msg::WithCause(msg::CannotOpenFile, name, sender_.OpenError()));
  }
  return CMailSender::StartResult::NotOpened;
}

CAutopilot::Next CAutopilot::SendNextMailFile(Frame& frame) {
  doc_.PromptSeen = false;
  doc_.AutoRunning = true;
  // The BBS has answered the file just sent: it is off the queue for good,
  // whatever becomes of the files after it.
  if (sentEntry_ >= 0) {
    const auto entry = static_cast<std::size_t>(sentEntry_);
    sentEntry_ = -1;
    if (!sender_.ClearQueuedKey(entry)) return Next::NotRecorded;
  }
  switch (StartNextMailFile()) {
    case CMailSender::StartResult::Started:
      ReportFileStarted();
      frame.phase = Phase::SendingFile;
      frame.firstFile = false;
      sentEntry_ = static_cast<std::ptrdiff_t>(sender_.SendQueueCursor) - 1;
      return Next::FileStarted;
    case CMailSender::StartResult::NotOpened:
      return Next::Complete;  // no file left that opens
    case CMailSender::StartResult::Error:
      break;
  }
  return Next::Error;
}

CAutopilot::Next CAutopilot::NextAction(Frame& frame) {
  switch (frame.step) {
    case Step::Connect:
      return Next::Complete;
    case Step::List:
      // A list not wholly in its log would let the read step pass mail.
      if (doc_.LogLinesLost != listLostMark_) return Next::ListLogLost;
      return list_.SendNextListCommand() ? Next::Sent : Next::Complete;
    case Step::Read:
      if (mail_.ReadNextMail()) return Next::Sent;
      switch (mail_.LastFailure()) {
        case CMailReader::Failure::MailLogLost:
          return Next::MailLogLost;
        case CMailReader::Failure::NotSaved:
          return Next::NotRecorded;
        case CMailReader::Failure::None:
          break;
      }
      return Next::Complete;
    case Step::Send:
      return SendNextMailFile(frame);
  }
  return Next::Complete;
}

// One pass of a wait; true when something moved on (another pass may follow).
bool CAutopilot::Pass(Frame& frame) {
  if (doc_.PromptSeen && ConfirmPrompt()) {
    doc_.PromptSeen = false;
    switch (NextAction(frame)) {
      case Next::Sent:
      case Next::FileStarted:
        return true;
      case Next::Complete:
        frame.phase = Phase::DoneNormal;
        return true;
      case Next::Error:
        AbortAll(kReasonFileError);  // `frame` is gone
        return true;
      case Next::NotRecorded:
        AbortForWriteFailure(SettingsReason());
        return true;
      case Next::ListLogLost:
        AbortForWriteFailure(LogReason(kReasonListLog));
        return true;
      case Next::MailLogLost:
        AbortForWriteFailure(LogReason(kReasonMailLog));
        return true;
    }
  }
  if (!doc_.AutoRunning) {
    frame.phase = Phase::DoneAborted;
    return true;
  }
  return false;
}

void CAutopilot::Settle() {
  while (!frames_.empty()) {
    Frame& f = frames_.back();
    switch (f.phase) {
      case Phase::SendingFile:
        return;  // the file loop holds the wait
      case Phase::Waiting:
        if (!Pass(f)) return;
        break;
      case Phase::DoneNormal:
      case Phase::DoneAborted:
      case Phase::DoneAtOnce:
        FinishStep();
        break;
    }
  }
}

void CAutopilot::FinishStep() {
  Frame& f = frames_.back();
  switch (f.step) {
    case Step::Connect:
      doc_.AutoIdle = true;
      break;
    case Step::Send:
      // Only a complete step empties the rest of the queue (files that could
      // not be opened are kept, to be sent once they are there); otherwise
      // what was not taken goes again next time.
      if (f.phase == Phase::DoneNormal && !sender_.EmptySendKeys(missing_)) {
        AbortForWriteFailure(SettingsReason());
        return;
      }
      doc_.AutoIdle = true;
      break;
    case Step::List:
      list_.Finish();
      if (f.autoMode) summary_.listLines = CountLines(doc_.Settings().ListFilePath());
      break;
    case Step::Read:
      mail_.Finish();
      if (f.autoMode) {
        summary_.messagesRead += mail_.Requested;
        summary_.toOwnCall += mail_.ReadsForOwnCall;
      }
      break;
  }

  if (!f.autoMode) {
    frames_.pop_back();
    return;
  }
  static constexpr Step kOrder[] = {Step::Send, Step::List, Step::Read};
  for (Step next : kOrder) {
    if (static_cast<int>(next) <= static_cast<int>(f.step) || !StepSelected(next)) continue;
    if (!doc_.AutoRunning) {
      EndRun(RunResult::Aborted, f.step);
      return;
    }
    BeginStep(f, next);
    return;
  }
  if (!doc_.AutoRunning) {
    EndRun(RunResult::Aborted, f.step);
    return;
  }
  EndAutoMode();
  EndRun(RunResult::Completed, f.step);
}

RunOutcome CAutopilot::DisconnectOutcome(Step step) const {
  if (step != Step::Connect) return RunOutcome::LinkLost;
  // The TNC's last few lines say why the connect request failed.
  const std::size_t count = doc_.LineCount();
  for (std::size_t i = count; i > 0 && i + 4 > count; --i)
    if (ContainsBusy(doc_.LineAt(i - 1))) return RunOutcome::BbsBusy;
  return RunOutcome::ConnectFailed;
}

void CAutopilot::EndRun(RunResult result, Step step) {
  lastResult_ = result;
  frames_.pop_back();
  if (result != RunResult::Aborted) {
    lastAbortReason_.clear();
    const bool nothingNew = summary_.mailsSent == 0 && summary_.messagesRead == 0;
    RecordEnd(nothingNew ? RunOutcome::NothingNew : RunOutcome::Completed, {});
    return;
  }
  lastAbortReason_ = !abortReason_.empty() ? abortReason_ : endRequested_ ? kReasonEnd : kReasonDisconnected;
  if (!abortReason_.empty()) {
    // A file the run could not open: the link is up, so log off.
    EndAutoMode();
    RecordEnd(RunOutcome::FileError, {});
  } else {
    // A link through nami's TNC2 says why its far side failed (an AGW,
    // telnet or KISS connection that dropped).
    RecordEnd(endRequested_ ? RunOutcome::EndedByUser : DisconnectOutcome(step),
              endRequested_ ? std::string() : doc_.PortFailure());
  }
}

void CAutopilot::ReportFileStarted() {
  fileStartMs_ = clock_.MonotonicMs();
  doc_.Report(ActivityKind::Step, "メールファイル " + BaseName(sender_.CurrentFile()) + " (" +
                                      std::to_string(sender_.Length()) + " バイト)");
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
    if (it->phase == Phase::SendingFile) sending = &*it;
  }
  if (!sending) return;
  Frame& f = *sending;
  switch (how) {
    case CMailSender::FileEnd::Error:
      AbortAll(kReasonFileError);
      return;
    case CMailSender::FileEnd::Stopped:
      // Stopped by a disconnection or the end command: the step ends here,
      // after any file, no further file goes out and the queue is kept.
      // Taking the run flag back and waiting on would make the end command
      // of no effect and carry a broken run on into its next steps.
      f.phase = Phase::DoneAborted;
      break;
    case CMailSender::FileEnd::Sent:
      if (f.autoMode) ++summary_.mailsSent;
      [[fallthrough]];
    case CMailSender::FileEnd::Superseded:
      f.phase = Phase::Waiting;
      if (!f.firstFile) {
        doc_.PromptSeen = false;
        doc_.AutoRunning = true;
      }
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
  doc_.LogFile.Close();
  doc_.ListReading = doc_.MailReading = false;
  if (outcome == RunOutcome::LinkLost || !doc_.PortOpen()) {
    doc_.AutoRunning = false;
    doc_.AutoIdle = true;
  } else if (autoMode || outcome == RunOutcome::NoAnswer) {
    // Log off so that the radio link is not left up; this also frees the
    // commands and the schedule for the next run.
    EndAutoMode();
  } else {
    // A single step's file error: the commands wait for the end command.
    doc_.AutoRunning = false;
    doc_.AutoIdle = false;
  }
  if (autoMode) {
    lastResult_ = RunResult::Aborted;
    lastAbortReason_ = reason;
    RecordEnd(outcome, detail);
  }
}

}  // namespace nami
