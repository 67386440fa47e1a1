#include "autopilot/RunState.h"

#include <cerrno>

#include "text/ShiftJis.h"

namespace nami {

bool CRunState::WriteLogLine(std::string_view line) {
  if (LogFile.WriteLine(line)) {
    LogWriteFailed = false;
    return true;
  }
  ++LogLinesLost;
  LogFault = SystemFileFault(errno, LogFile.Path());
  if (!LogWriteFailed) ui_.ShowMessage(msg::CannotWriteFile);
  LogWriteFailed = true;
  return false;
}

void CRunState::OnRead(std::size_t bytes) {
  ReceivedBytes += bytes;
  if (bytes == 0) LatestLine.clear();
}

void CRunState::OnLine(std::string_view line) {
  // Both flags set: the line is written twice, as each log asks for it.
  if (ListReading && !AutoIdle) WriteLogLine(line);
  if (MailReading && !AutoIdle) WriteLogLine(line);
}

void CRunState::OnTickEnd(const ReceivedTick& tick) {
  if (ContainsAtCharStart(tick.scan, WaitText)) {
    PromptSeen = true;
  } else if (tick.disconnected) {
    AutoRunning = false;
  }
  LatestLine = tick.latestLine;
}

void CRunState::OnPortOpening() {
  AutoIdle = AutoList = AutoRead = AutoSend = SendDone = true;
  ListReading = MailReading = false;
}

}  // namespace nami
