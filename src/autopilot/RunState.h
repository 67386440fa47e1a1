// The autopilot's run state: what a step waits for, what the receive tick
// saw of it, which steps a run takes, and the list or mail log the tick
// feeds. Owned by the autopilot and shared with its step objects; it sits
// in the document's autopilot receive slot and hears the port reopen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "terminal/NamiDoc.h"
#include "terminal/ReceiveListener.h"
#include "files/TextFile.h"
#include "terminal/UiSink.h"

namespace nami {

class CRunState final : public IReceiveListener, public IOpenListener {
 public:
  explicit CRunState(IUiSink& ui) : ui_(ui) {}

  // A new wait for `waitText`: no prompt seen yet, the run goes on.
  void ArmWait(std::string waitText) {
    ArmWait();
    WaitText = std::move(waitText);
  }
  // The same wait again, for the next prompt.
  void ArmWait() {
    PromptSeen = false;
    AutoRunning = true;
  }

  std::string WaitText;             // text whose arrival the autopilot waits for
  bool PromptSeen = false;          // a tick's scan text contained WaitText
  bool AutoRunning = false;         // cleared when "** DISCONNECTED" is seen
  bool AutoIdle = true;             // no autopilot step runs
  std::string LatestLine;           // the last line completed in the last tick
  std::uint64_t ReceivedBytes = 0;  // every byte a receive tick took from the port
  bool ListReading = false;         // completed lines go to LogFile (list log)
  bool MailReading = false;         // completed lines go to LogFile (mail log)
  bool AutoList = true;             // steps chosen for auto mode
  bool AutoRead = true;
  bool AutoSend = true;
  bool SendDone = true;  // no mail file is going out (set again when the document starts over)

  CTextFile LogFile;  // the list log, the mail log
  // Appends a line to LogFile; on failure shows "Cannot Write File" once
  // until a write succeeds again.
  bool WriteLogLine(std::string_view line);
  bool LogWriteFailed = false;
  // Lines that could not be written to LogFile, counted over the whole run
  // (the autopilot compares it before and after a list or a message), and
  // the file and reason of the last such failure.
  std::uint64_t LogLinesLost = 0;
  FileFault LogFault;

  // IReceiveListener
  void OnRead(std::size_t bytes) override;
  void OnLine(std::string_view line) override;
  void OnTickEnd(const ReceivedTick& tick) override;
  // IOpenListener: the document starts over.
  void OnPortOpening() override;

 private:
  IUiSink& ui_;
};

}  // namespace nami
