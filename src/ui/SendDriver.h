// Steps the document's senders (upload, paste-send, a mail file) whenever
// the port may take the next byte, without ever holding the
// user-interface thread.
//
// A port with a file descriptor (the serial port) is watched by the write
// pacer's helper thread; its notification descriptor wakes this object
// through a QSocketNotifier. A port without one (the in-process simulator,
// a test's fake port, a closed port) is stepped by a short timer instead,
// which runs only while senders exist, so nothing spins.
//
// Kick() after every command that may have started a sender and after the
// port was (re)opened: it follows the document's current port by itself.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

#include "send/WritePacer.h"
#include "terminal/NamiDoc.h"
#include "transfer/SendPump.h"

namespace nami {

class CSendDriver : public QObject {
  Q_OBJECT

 public:
  // Interval of the timer used for ports without a descriptor.
  static constexpr int kFallbackMs = 5;

  explicit CSendDriver(CNamiDoc& doc, QObject* parent = nullptr);
  ~CSendDriver() override;

  // Watches the current port and asks for the next step while senders exist.
  void Kick();
  // Stops watching the port (before it is closed for good).
  void Detach();
  // Whether a step has been asked for (pacer armed or timer running).
  bool Active() const { return active_; }
  // Steps made so far (measurements, tests).
  long long Steps() const { return steps_; }

 private:
  void SyncPort();
  void OnReady();
  void OnFallback();

  CNamiDoc& doc_;
  CWritePacer pacer_;
  CSendPump pump_;
  QSocketNotifier* notifier_ = nullptr;
  QTimer fallback_;
  int attachedFd_ = -2;  // -2: nothing attached yet
  bool active_ = false;
  long long steps_ = 0;
};

}  // namespace nami
