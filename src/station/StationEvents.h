// What a running station tells its shell: the one outward interface of
// CStation. The window and the headless runner each implement it and hand
// it to the station once (CStation::SetEvents); nothing else of the station
// calls out.
//
// The core's own requests come with it (IUiSink): the message box (UTF-8),
// the beep and the terminal pane's repaints. Every event arrives on the
// thread that drives the station, inside the station's call that caused it
// (a tick, a command, the minute timer). A handler must not destroy the
// station; only ProgressChanged, the last thing a tick does, may shut it
// down (the headless runner ends there).
#pragma once

#include <string>
#include <string_view>

#include "autopilot/RunOutcome.h"
#include "autopilot/RunSummary.h"
#include "activity/Activity.h"
#include "terminal/UiSink.h"

namespace nami {

class IStationEvents : public IUiSink {
 public:
  // A received line (CP932) was completed, in the order of arrival; the
  // receive tick delivers it as the last of its listeners.
  virtual void LineReceived(std::string_view /*line*/) {}
  // A receive tick stored `count` new lines (evicted ones counted too).
  virtual void LinesAdded(int /*count*/) {}
  // The last thing every receive tick does: what Progress() says and what
  // the commands may do may have changed.
  virtual void ProgressChanged() {}
  // A short note about the port (waiting for the device, the device is
  // back), UTF-8; no box.
  virtual void Notice(const std::string& /*text*/) {}
  // A step of the autopilot or an auto-mode run began (the station was
  // idle before).
  virtual void RunStarted() {}
  // An auto-mode run ended (also one refused at its start), after its
  // summary went to the activity.
  virtual void RunEnded(const RunEnd& /*end*/, const RunSummary& /*summary*/) {}
  // A step or run was aborted because the settings or a log could not be
  // written (UTF-8 reason); the run's end tells the same again.
  virtual void WriteFailure(const std::string& /*reason*/) {}
  // The port opened, closed itself, or a write found it gone: the shell
  // looks at the port again (a tick soon reports a lost link).
  virtual void PortChanged() {}
  // One entry of the run activity (steps, text sent on nami's own, run ends).
  virtual void ActivityAdded(const ActivityEntry& /*entry*/) {}
};

}  // namespace nami
