// The states of one autopilot step (a frame of the autopilot) and the
// events that move it. NextPhase() holds every transition; the autopilot
// only raises events and acts on the phase it gets back.
#pragma once

namespace nami {

enum class StepPhase {
  Waiting,      // a command went out; the step waits for the BBS prompt
  SendingFile,  // a mail file goes out through the send engine
  DoneNormal,   // the step did all it had to
  DoneAborted,  // the link went (disconnect notice, end command) or a log did not open
  DoneAtOnce,   // the step had nothing to send: no prompt will come
  Failed,       // the whole run ends at once (every frame goes)
};

enum class StepEvent {
  Begun,         // the step (or the next step of a run) starts: its first command went out
  CommandSent,   // prompt confirmed: the step's next command went out
  FileStarted,   // a mail file started going out (at the start or after a prompt)
  Complete,      // prompt confirmed: the step has nothing more to do
  NothingSent,   // the step started but sent nothing
  LogNotOpened,  // the list or mail log could not be opened; nothing was sent
  LinkLost,      // the run flag went: the TNC's disconnect notice
  EndCommand,    // the run flag went: the end command
  FileSent,      // the mail file went out whole: wait for the prompt after it
  FileStopped,   // the run flag went while the file went out; its end marker went out
  FileFailed,    // a mail file could not be read or closed
  LogFailed,     // a list or mail line could not be logged
  NotRecorded,   // the settings could not be written (a sent mail, "LastMailNo")
  Watchdog,      // nothing heard for the watchdog's time
  PortLost,      // the device went away
};

// A step's phases; failure events lead from any phase to Failed:
//
//                   CommandSent
//                     +----+
//                     |    v          FileStarted
//   (start) ------> Waiting -----------------------------> SendingFile
//            Begun   ^  |  ^             FileSent              |  |
//                    |  |  +-----------------------------------+  |
//                    |  |                                         | FileStopped
//                    |  +-- LinkLost, EndCommand, LogNotOpened ---+---> DoneAborted
//                    |  +-- Complete ------------------------------->  DoneNormal
//                    |  +-- NothingSent ---------------------------->  DoneAtOnce
//                    |                                                    |
//                    +------- Begun (a run's next step, from any Done*) --+
//
//   any phase --- FileFailed, LogFailed, NotRecorded,
//                 Watchdog, PortLost ---> Failed
//
// While a file goes out, LinkLost and EndCommand leave SendingFile as it
// is: the file loop notices the cleared run flag and reports FileStopped.
// A finished phase (Done*) leaves with Begun, when a run takes its next
// step in the same frame (or fails when the sent queue cannot be
// recorded); Failed is final.
constexpr StepPhase NextPhase(StepPhase from, StepEvent event) {
  using P = StepPhase;
  using E = StepEvent;
  if (from == P::Failed) return from;
  switch (event) {
    case E::Begun:
      return P::Waiting;
    case E::FileFailed:
    case E::LogFailed:
    case E::NotRecorded:
    case E::Watchdog:
    case E::PortLost:
      return P::Failed;
    default:
      break;
  }
  if (from == P::Waiting) {
    switch (event) {
      case E::CommandSent:
        return P::Waiting;
      case E::FileStarted:
        return P::SendingFile;
      case E::Complete:
        return P::DoneNormal;
      case E::NothingSent:
        return P::DoneAtOnce;
      case E::LogNotOpened:
      case E::LinkLost:
      case E::EndCommand:
        return P::DoneAborted;
      default:
        return from;
    }
  }
  if (from == P::SendingFile) {
    if (event == E::FileSent) return P::Waiting;
    if (event == E::FileStopped) return P::DoneAborted;
  }
  return from;
}

}  // namespace nami
