// Runs the receive tick when the port has data, instead of every 50 ms.
//
// Watches the port's descriptor (a tty, a pseudo-terminal, or a socket for
// link kinds that have one) with a QSocketNotifier and runs the tick as soon
// as it is readable. A tick reads until the port would block, up to
// CTerminalCore::kMaxPerTick bytes; with more waiting, the descriptor stays
// readable and the next pass comes after the event loop has had its turn,
// so the window stays responsive under a flood.
//
// Without data nothing runs, except a heartbeat tick once a second while
// the autopilot has a run (it ends a step whose run was stopped, and checks
// what waits on time). A port without a descriptor (the in-process
// simulator, a closed port) or a line that has hung up is polled every
// 50 ms as before; a write that finds the port gone asks for a tick. TickSoon()
// runs one tick at the next turn of the event loop, for commands that
// change what the tick acts on.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>

#include "ui/Session.h"

namespace nami {

class CReceiveWatch : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPollMs = 50;         // a port without a descriptor
  static constexpr int kHeartbeatMs = 1000;  // while a run is under way

  // `tick` runs one receive tick and whatever the shell does after it.
  CReceiveWatch(CSession& session, std::function<void()> tick, QObject* parent = nullptr);
  ~CReceiveWatch() override;

  void Start();
  void Stop();
  bool Active() const { return active_; }
  void TickSoon();
  // True while the running tick was started by data arriving (the pane
  // then coalesces its repaints).
  bool InDataTick() const { return inDataTick_; }
  // The descriptor watched now (-1: polling or stopped), for tests.
  int WatchedFd() const { return fd_; }

 private:
  void RunTick(bool data);
  // Follows the port (reopened, closed) and sets the timer for what comes
  // next: the poll, the heartbeat or nothing.
  void Arrange();

  CSession& session_;
  std::function<void()> tick_;
  QSocketNotifier* notifier_ = nullptr;
  QTimer timer_;
  int fd_ = -1;
  bool active_ = false;
  bool inDataTick_ = false;
  bool hungUp_ = false;  // the watched line hung up: polled until the port changes
};

}  // namespace nami
