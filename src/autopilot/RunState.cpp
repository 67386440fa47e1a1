#include "autopilot/RunState.h"

#include <cerrno>

#include "text/ShiftJis.h"

namespace nami {

void CRunState::ArmWait(std::string waitText, bool standing) {
  waitText_ = std::move(waitText);
  standing_ = standing;
  promptsAtArm_ = promptsSeen_;
}

bool CRunState::OpenLog(LogKind kind, const std::string& path, CTextFile::Mode mode) {
  if (!log_.Open(path, mode)) return false;
  Feed(kind, true);
  return true;
}

void CRunState::CloseLog(LogKind kind) {
  Feed(kind, false);
  if (!ListReading() && !MailReading()) log_.Close();
}

void CRunState::Feed(LogKind kind, bool on) { reading_[static_cast<int>(kind)] = on; }

void CRunState::CloseLog() {
  CloseLog(LogKind::List);
  CloseLog(LogKind::Mail);
}

void CRunState::WriteLogLine(std::string_view line) {
  const bool ok = log_.WriteLine(line);
  if (!ok) {
    ++logLinesLost_;
    logFault_ = SystemFileFault(errno ? errno : EIO, log_.Path());
    if (!logWriteFailed_) ui_.ShowMessage(msg::CannotWriteFile);
  }
  logWriteFailed_ = !ok;
}

void CRunState::OnRead(std::size_t bytes) {
  receivedBytes_ += bytes;
  if (bytes == 0) latestLine_.clear();
}

void CRunState::OnLine(std::string_view line) {
  // Both kinds: the line is written twice, as each log asks for it.
  if (Idle()) return;
  if (line.find_first_not_of(" \t") != std::string_view::npos && !ContainsAtCharStart(line, waitText_))
    answerLine_.assign(line);
  if (reading_[0]) {
    WriteLogLine(line);
    if (record_) record_->ListLineLogged(line);
  }
  if (reading_[1]) {
    WriteLogLine(line);
    if (record_) record_->MailLineLogged(line);
  }
}

void CRunState::OnTickEnd(const ReceivedTick& tick) {
  if (ContainsAtCharStart(tick.scan, waitText_)) {
    ++promptsSeen_;
  } else if (tick.disconnected) {
    Raise(RunEvent::LinkLost);
  }
  latestLine_ = tick.latestLine;
}

void CRunState::OnPortOpening() {
  Raise(RunEvent::PortReopened);
  SelectSteps(StepChoice{});
  // The log stays open until its step ends; it is no longer fed.
  Feed(LogKind::List, false);
  Feed(LogKind::Mail, false);
  ++openings_;
}

}  // namespace nami
