// Drives the document's sender stack from the write pacer: the glue the
// shell uses so that uploads, paste-sends and mail files go out as fast as
// the port's rule allows and the user-interface thread never waits.
//
//   CSendPump pump(doc, pacer);
//   QSocketNotifier on pacer.NotifyFd() (Read)  -> pump.OnReady();
//   after a command that may have started a sender -> pump.Kick();
//   after the port is (re)opened                   -> pump.Attach();
//
// On each signal it steps the newest sender, and steps it again while the
// port still may take the next byte at once (a pseudo-terminal takes many;
// a UART with an empty queue takes the next one while the previous byte is
// still on the line), at most kBurst steps or about a millisecond, then
// arms the pacer again while senders remain.
#pragma once

#include "link/WritePacer.h"
#include "terminal/NamiDoc.h"

namespace nami {

class CSendPump {
 public:
  static constexpr int kBurst = 64;

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
