// The states of one autopilot step (a frame of the autopilot) and of the
// run around it, and the events that move them. NextPhase() holds every
// transition of a step, NextRun() every transition of the run; the
// autopilot only raises events and acts on the phase it gets back.
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
  NothingAsked,  // a listed mail was not asked for: the prompt still standing ends the wait
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
//                     +----+       NothingAsked (the standing prompt ends the wait)
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
      case E::NothingAsked:
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

// The run around the steps: whether a step runs, whether the run flag is up
// (a step's wait goes on) and whether the commands are enabled.
enum class RunPhase {
  Idle,        // nothing runs; every command is enabled
  Linked,      // nothing runs; the last step ended on its prompt (the link is up)
  Stepping,    // a step runs (a command, or a step of an auto-mode run); the run flag is up
  LinkDown,    // the disconnect notice came: the step ends aborted at its next pass
  LogMissing,  // the step's log did not open: it ends aborted, an auto-mode run logs off
  Ending,      // the end command logged off: the step ends aborted; the commands are enabled
  Held,        // a step aborted with the link up: only the end command is enabled
};

enum class RunEvent {
  StepBegun,     // a step starts: a command, an auto-mode run, or the run's next step
  StepEnded,     // a single step's closing actions are done
  LinkLost,      // the receive tick saw the TNC's disconnect notice and not the prompt
  LogNotOpened,  // the list or mail log could not be opened
  EndCommand,    // the end command logged off
  RunEnded,      // an auto-mode run's end is recorded, or an abort ended every step
  StepFault,     // a single step failed on a file with the link up
  PortReopened,  // the document starts over (File New, the port opened again)
};

// The run's phases. "flag" is the run flag a step's wait and a mail file
// going out watch; "enabled" are the commands other than the end command.
//
//                       StepBegun (from any phase)
//    +--------------------------------------------------------------+
//    |                                                              v
//   Idle <---- LinkLost ----- Linked <------- StepEnded -------- Stepping
//  (enabled)              (enabled, flag)                        (flag)
//    ^                                                           |  |  |
//    |                 LinkDown   <-------- LinkLost ------------+  |  |
//    +-- StepEnded --  LogMissing <-------- LogNotOpened -----------+  |
//    |                 Ending     <-------- EndCommand (any phase)     |
//    |                 (enabled)                                       |
//    |                 Held       <-------- StepFault -----------------+
//    |                 (a step aborted: the commands wait for the end command)
//    |
//    +---- RunEnded (from any phase): a run's end, or an abort that ended every step
//
//   Held disables every command but the end command; it leaves with EndCommand,
//   RunEnded or PortReopened.
//   PortReopened: Stepping, Linked -> Linked; Ending stays; the rest -> Idle.
//
// A step in LinkDown, LogMissing or Ending ends aborted at its next pass;
// an auto-mode run then ends (RunEnded) with the outcome its phase names:
// the link lost, a file error, or ended by the user. A run takes its next
// step with StepBegun while the flag is up. Events a phase does not name
// leave it as it is.
constexpr RunPhase NextRun(RunPhase from, RunEvent event) {
  using P = RunPhase;
  using E = RunEvent;
  switch (event) {
    case E::StepBegun:
      return P::Stepping;
    case E::EndCommand:
      return P::Ending;
    case E::RunEnded:
      return P::Idle;
    case E::StepFault:
      return P::Held;
    case E::LogNotOpened:
      return from == P::Stepping ? P::LogMissing : from;
    case E::LinkLost:
      if (from == P::Stepping) return P::LinkDown;
      if (from == P::Linked) return P::Idle;
      return from;
    case E::StepEnded:
      if (from == P::Stepping) return P::Linked;
      if (from == P::LinkDown || from == P::LogMissing || from == P::Ending) return P::Idle;
      return from;
    case E::PortReopened:
      if (from == P::Stepping || from == P::Linked) return P::Linked;
      if (from == P::Ending) return from;
      return P::Idle;
  }
  return from;
}

// The run flag: a step's wait goes on, a mail file keeps going out.
constexpr bool FlagUp(RunPhase phase) { return phase == RunPhase::Stepping || phase == RunPhase::Linked; }
// The commands other than the end command are enabled.
constexpr bool CommandsEnabled(RunPhase phase) {
  return phase == RunPhase::Idle || phase == RunPhase::Linked || phase == RunPhase::Ending;
}

}  // namespace nami
