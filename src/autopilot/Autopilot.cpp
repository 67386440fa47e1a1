#include "autopilot/Autopilot.h"

#include <fstream>
#include <iterator>
#include <utility>

#include "autopilot/StepTexts.h"
#include "text/Cp932.h"
#include "text/ShiftJis.h"

namespace nami {
namespace {
const char kReasonEnd[] = "自動モード終了コマンドで中止しました";
const char kReasonDisconnected[] = "接続が切れたため中止しました";
const char kReasonFileError[] = "メールファイルのエラーで中止しました";
const char kReasonLogFile[] = "ログファイルを開けないため中止しました";

std::string BaseName(std::string path) {
  if (const auto slash = path.rfind('/'); slash != std::string::npos) path.erase(0, slash + 1);
  return Cp932ToUtf8(path);
}

// Lines of a text file (a last line without its line end counts too).
int CountLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  int lines = 0;
  char last = '\n';
  for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) {
    last = *it;
    if (last == '\n') ++lines;
  }
  return last == '\n' ? lines : lines + 1;
}
}  // namespace

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

void CAutopilot::OnTick() { Settle(); }

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
        text += ' ' + std::to_string(mail_.ReadsSent) + '/' + std::to_string(mail_.ReadsPlanned) + " 通";
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
  doc_.AutoRunning = true;
  endRequested_ = false;
  abortReason_.clear();
  scheduled_ = std::exchange(scheduledStart_, false);
  summary_ = RunSummary{};
  summary_.scheduled = scheduled_;
  runStartMs_ = clock_.MonotonicMs();
  connectionsAtStart_ = link_ ? link_->Connections() : 0;
  doc_.Report(ActivityKind::Step, scheduled_ ? "自動モード開始 (スケジュール)" : "自動モード開始");
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
      doc_.Report(ActivityKind::Step, "リスト読み出し");
      if (!list_.StartListReading()) {
        doc_.AutoRunning = false;
        abortReason_ = kReasonLogFile;
        frame.phase = Phase::DoneAborted;
      }
      return;
    case Step::Read:
      doc_.Report(ActivityKind::Step, "メール読み出し");
      if (!mail_.StartMailReading()) {
        doc_.AutoRunning = false;
        abortReason_ = kReasonLogFile;
        frame.phase = Phase::DoneAborted;
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
  doc_.PromptSeen = false;
  doc_.AutoRunning = true;
  doc_.WaitText = waitText;
  if (sender_.QueueEmpty()) {
    doc_.Report(ActivityKind::Note, "送信待ちのメールはありません");
    doc_.AutoIdle = true;
    frame.phase = Phase::DoneAtOnce;
    return;
  }
  switch (sender_.SendNextQueuedFile()) {
    case CMailSender::StartResult::Started:
      ReportFileStarted();
      frame.phase = Phase::SendingFile;
      frame.firstFile = true;
      return;
    case CMailSender::StartResult::NotOpened:
      ReportFileSkipped();
      return;  // skipped: straight to the wait
    case CMailSender::StartResult::Error:
      AbortAll(kReasonFileError);
      return;
  }
}

bool CAutopilot::ConfirmPrompt() const {
  return ContainsAtCharStart(doc_.LatestLine, doc_.WaitText) || ContainsAtCharStart(doc_.LastLine(), doc_.WaitText);
}

CAutopilot::Next CAutopilot::SendNextMailFile(Frame& frame) {
  doc_.PromptSeen = false;
  doc_.AutoRunning = true;
  if (!sender_.HasNextFile()) return Next::Complete;
  switch (sender_.SendNextQueuedFile()) {
    case CMailSender::StartResult::Started:
      ReportFileStarted();
      frame.phase = Phase::SendingFile;
      frame.firstFile = false;
      return Next::FileStarted;
    case CMailSender::StartResult::NotOpened:
      ReportFileSkipped();
      doc_.PromptSeen = false;
      doc_.AutoRunning = true;
      return Next::Sent;
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
      return list_.SendNextListCommand() ? Next::Sent : Next::Complete;
    case Step::Read:
      return mail_.ReadNextMail() ? Next::Sent : Next::Complete;
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
      // Only a complete step empties the queue; otherwise all of it goes again next time.
      if (f.phase == Phase::DoneNormal) sender_.EmptySendKeys();
      doc_.AutoIdle = true;
      break;
    case Step::List:
      list_.Finish();
      if (f.autoMode) summary_.listLines = CountLines(doc_.Settings().Get(keys::ListFile));
      break;
    case Step::Read:
      mail_.Finish();
      if (f.autoMode) {
        summary_.messagesRead += mail_.ReadsSent;
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
      EndRun(RunResult::Aborted);
      return;
    }
    BeginStep(f, next);
    return;
  }
  if (!doc_.AutoRunning) {
    EndRun(RunResult::Aborted);
    return;
  }
  EndAutoMode();
  EndRun(RunResult::Completed);
}

void CAutopilot::EndRun(RunResult result) {
  lastResult_ = result;
  if (result == RunResult::Aborted) {
    lastAbortReason_ = !abortReason_.empty() ? abortReason_ : endRequested_ ? kReasonEnd : kReasonDisconnected;
  } else {
    lastAbortReason_.clear();
  }
  frames_.pop_back();
  ReportRunEnd(result, lastAbortReason_);
}

void CAutopilot::ReportFileStarted() {
  fileStartMs_ = clock_.MonotonicMs();
  doc_.Report(ActivityKind::Step, "メールファイル " + BaseName(sender_.CurrentFile()) + " (" +
                                      std::to_string(sender_.Length()) + " バイト)");
}

void CAutopilot::ReportFileSkipped() {
  const std::size_t at = sender_.SendQueueCursor;
  const std::string name = at > 0 && at <= sender_.SendQueue.size() ? sender_.SendQueue[at - 1] : std::string();
  doc_.Report(ActivityKind::Note, "メールファイルを開けないため飛ばしました: " + Cp932ToUtf8(name));
}

void CAutopilot::ReportRunEnd(RunResult result, const std::string& reason) {
  RunOutcome outcome = RunOutcome::Completed;
  if (result == RunResult::Completed) {
    outcome = summary_.mailsSent == 0 && summary_.messagesRead == 0 ? RunOutcome::NothingNew : RunOutcome::Completed;
  } else if (reason == kReasonEnd) {
    outcome = RunOutcome::EndedByUser;
  } else if (reason == kReasonFileError || reason == kReasonLogFile) {
    outcome = RunOutcome::FileError;
  } else if (link_ && link_->Connections() == connectionsAtStart_) {
    // The BBS was never reached in this run.
    outcome = link_->LastFailure() == CallFailure::Busy ? RunOutcome::BbsBusy : RunOutcome::ConnectFailed;
  } else {
    outcome = RunOutcome::LinkLost;
  }
  summary_.outcome = outcome;
  summary_.ownCall = Cp932ToUtf8(doc_.Settings().Raw(keys::MyCall));
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
      ++summary_.mailsSent;
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

void CAutopilot::AbortAll(const std::string& reason) {
  bool autoMode = false;
  for (const Frame& f : frames_) {
    autoMode = autoMode || f.autoMode;
    if (f.autoMode && f.step == Step::Read) {
      summary_.messagesRead += mail_.ReadsSent;
      summary_.toOwnCall += mail_.ReadsForOwnCall;
    }
  }
  frames_.clear();
  sender_.Abandon();
  doc_.LogFile.Close();
  doc_.ListReading = doc_.MailReading = false;
  doc_.AutoRunning = false;
  doc_.AutoIdle = false;
  if (autoMode) {
    lastResult_ = RunResult::Aborted;
    lastAbortReason_ = reason;
    ReportRunEnd(RunResult::Aborted, reason);
  }
}

}  // namespace nami
