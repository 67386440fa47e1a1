// The send engine: every byte nami sends goes through it, in order, and
// nothing is dropped while the port stays open.
//
// It holds the outgoing queue (Outgoing.h), the senders that put files and
// pasted text on the link (upload, paste-send, a mail file) and the write
// pacer (WritePacer.h), and runs them in one loop, Run(). Only the newest
// sender sends: one started while another runs holds the older one until it
// has finished, then the older one goes on where it stopped. Whatever the
// port has not taken goes before any sender's next byte.
//
// A pass of the loop is paced by the port:
//  - a port with a descriptor (a serial port, a link kind's socket): the
//    pacer's helper thread says when the port may take the next batch (the
//    driver's queue due to drain, TIOCOUTQ; writability on a
//    pseudo-terminal); the pass collects one batch of about 30 ms of line
//    time from the senders' steps and hands it over in one write;
//  - a port paced by its peer (nami's TNC2 in front of a network link or
//    KISS, IPort::PacedByPeer): a pass collects one batch of kPeerBatch
//    bytes and hands it over; passes follow each other at the event loop's
//    next turn until the port's queue count is above 0, and then wait for
//    the next Kick, which the shell gives after every receive tick (the
//    acknowledgements arrive on the watched socket), with no timer;
//  - a port without one (the in-process simulator, a closed port): a pass
//    every kTimerMs steps the senders directly, each byte as it is sent,
//    until the port's queue holds bytes (link kinds report what the far side
//    still holds as their queue).
//
// The engine has no clock or event loop of its own. The shell watches
// ReadyFd() for reading and runs a timer of TimerMs() while that is >= 0;
// either calls Run(). Kick() after anything that may have started a sender
// or changed the port. Tests call Step() for one step, or Run() as the
// shell does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "link/Port.h"
#include "send/Outgoing.h"
#include "send/WritePacer.h"

namespace nami {

class ISender {
 public:
  virtual ~ISender() = default;
  // Sends its next piece if the engine's queue count is 0. Returns false
  // once the sender has finished (it is then removed).
  virtual bool Step() = 0;
};

class CSendEngine {
 public:
  // Passes on a port without a descriptor: every kTimerMs, at most kBurst
  // steps or a millisecond.
  static constexpr int kTimerMs = 5;
  static constexpr int kBurst = static_cast<int>(CWritePacer::kNoPortBatch);
  // One pass's batch on a port paced by its peer.
  static constexpr std::size_t kPeerBatch = 1024;

  CSendEngine();
  ~CSendEngine();
  CSendEngine(const CSendEngine&) = delete;
  CSendEngine& operator=(const CSendEngine&) = delete;

  // ---- The port ----
  // The port written to (the document's); nullptr for none.
  void SetPort(IPort* port);
  // The port is closed or reopened: what it has not taken is thrown away.
  void Discard() { out_.Discard(); }
  // Called when a write found the port gone (it closed itself): the shell
  // runs a receive tick soon, which reports the lost link.
  void OnPortLost(std::function<void()> lost) { out_.OnPortLost = std::move(lost); }

  // ---- Text ----
  // Every sender's one write: what the port does not take at once waits in
  // the queue and goes out as the port takes it. Returns the count
  // accepted: all of it, or 0 when the port is not open.
  std::size_t Send(std::string_view bytes) { return out_.Send(bytes); }
  // What senders check before each piece: the port's transmit queue plus
  // what waits here (within a paced pass: 0 until the batch is full).
  int QueueCount() { return out_.QueueCount(); }
  // See COutgoing: bytes accepted, taken by the port, thrown away; queued now.
  std::uint64_t Accepted() const { return out_.Accepted(); }
  std::uint64_t Written() const { return out_.Written(); }
  std::uint64_t Discarded() const { return out_.Discarded(); }
  std::size_t Queued() const { return out_.Queued(); }

  // ---- Senders ----
  void Push(ISender* sender);
  // Removes a sender wherever it is (a stop command, quitting).
  void Remove(ISender* sender);
  void Clear() { senders_.clear(); }
  bool Contains(const ISender* sender) const;
  // The sender that sends now (the newest); nullptr when there is none.
  ISender* Newest() const { return senders_.empty() ? nullptr : senders_.back(); }
  // Nothing queued and no sender left.
  bool Idle() const { return senders_.empty() && out_.Queued() == 0; }
  // One step: the queue when it holds bytes, else the newest sender's. True
  // while there is more to do.
  bool Step();

  // ---- The loop ----
  // One pass as the port's pace allows, then Kick().
  void Run();
  // Follows the port and asks for the next pass while there is work: arms
  // the pacer, or wants the timer.
  void Kick();
  // Stops watching the port (before it is closed for good) and wants no
  // pass until the next Kick().
  void Stop();
  // Readable when the pacer says the port may take the next batch.
  int ReadyFd() { return Pacer().NotifyFd(); }
  // The timer the shell runs for the next pass, in ms; -1 for none.
  int TimerMs() const { return timerMs_; }
  // Whether a pass has been asked for (pacer armed or timer wanted).
  bool Active() const { return active_; }
  // Steps made by Run() so far (measurements, tests).
  long long Steps() const { return steps_; }
  // Measurements and tests: the pacer reads the driver's queue through
  // `count`. Makes a new pacer: call it before ReadyFd() is watched.
  void UseQueueCounter(CWritePacer::QueueCounter count);
  CWritePacer& Pacer();

 private:
  void SyncPort();
  bool PeerPaced() const { return port_ && port_->IsOpen() && port_->PacedByPeer(); }
  // After a pass on a port paced by its peer: the next pass at once while
  // the port takes more, else none until the next Kick.
  void KickPeer();
  // One pass: steps until the batch is full (paced) or the port holds bytes
  // (direct), the step bound or the time bound; returns the steps made.
  int Pass(bool paced, std::size_t batch);

  COutgoing out_;
  IPort* port_ = nullptr;
  std::vector<ISender*> senders_;
  CWritePacer::QueueCounter queueCount_;
  std::unique_ptr<CWritePacer> pacer_;  // made when first needed: one helper thread
  int attachedFd_ = -2;                 // -2: nothing attached yet
  int timerMs_ = -1;
  bool active_ = false;
  bool peerIdlePass_ = false;  // the last pass on a peer-paced port sent nothing
  long long steps_ = 0;
};

}  // namespace nami
