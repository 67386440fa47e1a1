// Drives the document's sender stack from the write pacer: the glue the
// shell uses so that uploads, paste-sends and mail files go out as fast as
// the port's rule allows and the user-interface thread never waits.
//
//   CSendPump pump(doc, pacer);
//   QSocketNotifier on pacer.NotifyFd() (Read)  -> pump.OnReady();
//   after a command that may have started a sender -> pump.Kick();
//   after the port is (re)opened                   -> pump.Attach();
//
// On each signal it collects one batch (CWritePacer::BatchBytes: about
// 30 ms of line time) from the newest sender's steps, hands it to the port
// in one write, and arms the pacer again while senders remain or bytes of
// the batch wait for the port. A port without a descriptor whose queue is
// not empty gets no batch: its senders keep their own queue rule.
#pragma once

#include "send/WritePacer.h"
#include "terminal/NamiDoc.h"

namespace nami {

class CSendPump {
 public:
  static constexpr int kBurst = static_cast<int>(CWritePacer::kNoPortBatch);

  CSendPump(CNamiDoc& doc, CWritePacer& pacer) : doc_(doc), pacer_(pacer) {}

  // Watches the document's current port.
  void Attach();
  // A sender may have been pushed: ask for the next signal.
  void Kick();
  // The pacer's descriptor is readable. Returns the number of steps made.
  int OnReady();

 private:
  CNamiDoc& doc_;
  CWritePacer& pacer_;
};

}  // namespace nami
