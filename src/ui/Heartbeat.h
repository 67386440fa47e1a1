// The one clock of a running station, for the window and the headless
// runner alike: the receive tick, the schedule, the send engine's notifier
// and timer, and the termination signals.
//
// The receive tick runs when the port has data, not every 50 ms: the port's
// descriptor (a tty, a pseudo-terminal, or a socket for link kinds that have
// one) is watched with a QSocketNotifier. A tick reads until the port would
// block, up to CTerminalCore::kMaxPerTick bytes; with more waiting, the
// descriptor stays readable and the next pass comes after the event loop has
// had its turn, so the window stays responsive under a flood.
//
// Without data nothing runs, except a tick once a second while the autopilot
// has a run (it ends a step whose run was stopped, and checks what waits on
// time), and a tick when the port's own next event is due (the timers of
// nami's TNC2 and its AX.25 link, IPort::NextEventMs). While the port holds
// bytes its socket has not taken, or is connecting, the descriptor is
// watched for writability as well. A port without a descriptor (the in-process simulator, a closed
// port waiting to be opened again) or a line that has hung up is polled
// every kPollMs. TickSoon() runs one tick at the next turn of the event
// loop, for commands that change what the tick acts on and for a write that
// found the port gone (the shell passes the station's PortChanged on).
// At each turn of the wall clock's minute the station's minute timer may
// start a run. The
// document's send engine (send/SendEngine.h) gets its notifier and timer
// here: its ready descriptor is watched, its timer runs as it asks, and it
// is kicked after each tick and each command.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "station/Station.h"

namespace nami {

class CHeartbeat : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPollMs = 50;         // a port without a descriptor
  static constexpr int kBeatMs = 1000;       // while a run is under way
  static constexpr int kScheduleMs = 60000;  // the schedule's check
  static constexpr int kScheduleSlackMs = 200;  // after the minute has turned

  explicit CHeartbeat(CStation& station, QObject* parent = nullptr);
  ~CHeartbeat() override;

  // Starts watching the port and the schedule.
  void Start();
  // Stops every timer and lets go of the port (before it closes for good);
  // the senders are not stepped again until Start().
  void Stop();
  bool Active() const { return active_; }
  // One tick at the next turn of the event loop (after a command).
  void TickSoon();
  // One receive tick now, then the senders.
  void RunTick();
  // True while the running tick was started by data arriving (the pane
  // then coalesces its repaints).
  bool InDataTick() const { return inDataTick_; }
  // Ticks run so far.
  std::uint64_t Ticks() const { return ticks_; }
  // The descriptor watched now (-1: polling or stopped), for tests.
  int WatchedFd() const { return fd_; }

  // Hands new senders to the send engine (after a command that may have
  // started one).
  void KickSenders();

  // SIGTERM, SIGINT and SIGHUP call `onSignal` from the event loop (a self-pipe:
  // nothing runs inside the signal handler). Installed once per process.
  void CatchTerminationSignals(std::function<void()> onSignal);

  // Calls `beat` after every tick, and runs a tick at least every `everyMs`
  // while started: the service manager's watchdog hears from the tick
  // itself, so a main loop that stopped turning stops the pings.
  void KeepBeating(int everyMs, std::function<void()> beat);

 private:
  // The minute timer, to just after the next turn of the minute.
  void ArmSchedule();
  void OnWake(bool data);
  void OnReadable();
  // Follows the port (reopened, closed) and sets the timer for what comes
  // next: the poll, the beat or nothing.
  void Arrange();
  void WatchDescriptor(int fd);
  // One pass of the send engine, then its timer as it asks.
  void RunSending();
  void ArrangeSending();

  CStation& station_;
  QSocketNotifier* sendReady_ = nullptr;
  QTimer sendTimer_;
  QSocketNotifier* notifier_ = nullptr;
  QSocketNotifier* writable_ = nullptr;
  QTimer timer_;
  QTimer schedule_;
  QTimer keepBeating_;
  std::function<void()> beat_;
  QSocketNotifier* signalNotifier_ = nullptr;
  std::function<void()> onSignal_;
  int fd_ = -1;
  bool active_ = false;
  bool stopped_ = false;  // Stop() ran: no stepping until Start()
  bool inDataTick_ = false;
  bool hungUp_ = false;  // the watched line hung up: polled until the port changes
  std::uint64_t ticks_ = 0;
};

}  // namespace nami
