// The far side of nami's built-in TNC2: whatever carries a connection once
// the TNC2 command has been interpreted (the simulated BBS, an AGWPE server,
// a telnet BBS, nami's own AX.25 link layer over KISS).
//
// The TNC2 engine (link/Tnc2Engine.h) owns the terminal side: command mode,
// echo, converse mode, the status lines and line ends. It calls the far side
// with plain requests and the far side answers through IFarSideEvents. All of
// it runs on one thread; nothing here blocks.
//
// Rules both sides keep:
//  - Connect, Disconnect and SendData never call back into the events
//    synchronously; every answer comes out of Poll (so the engine is never
//    re-entered while it is interpreting a command).
//  - Every event carries `atMs`, the monotonic time (IClock::MonotonicMs) at
//    which it happened. A far side working in real time passes the `nowMs`
//    Poll was called with; a simulated one may pass an earlier, scheduled
//    time (the engine then releases its output as if it had been polled
//    exactly then).
//  - After OnDisconnected, OnRetryExceeded, OnBusy or OnFailure the link is
//    down; the engine prints the status line and returns to command mode.
//    The next Connect starts afresh (a far side that lost its server
//    reconnects to it there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/TncParams.h"

namespace nami {

class IFarSideEvents {
 public:
  virtual ~IFarSideEvents() = default;

  // The link is up: "*** CONNECTED to <peer>". `peer` is the station as the
  // engine shows it, e.g. "JA1ABC-1" or "JA1ABC-1 VIA JA1DIG".
  virtual void OnConnected(std::int64_t atMs, const std::string& peer) = 0;
  // The link is down after either side ended it: "*** DISCONNECTED".
  virtual void OnDisconnected(std::int64_t atMs) = 0;
  // The called station answered DM: "*** <call> busy", then DISCONNECTED.
  virtual void OnBusy(std::int64_t atMs, const std::string& call) = 0;
  // No answer after all retries (connect, or an established link that
  // stopped answering): "*** retry count exceeded", then DISCONNECTED.
  virtual void OnRetryExceeded(std::int64_t atMs) = 0;
  // Information received on the connected link, as the peer sent it (CR
  // line ends; the engine turns them into the TNC2's line ends).
  virtual void OnData(std::int64_t atMs, std::string_view bytes) = 0;
  // One monitored frame while monitoring is on, already in TNC2 form
  // without a line end: "JA1ABC>BEACON: text" (text CP932 as received).
  virtual void OnMonitor(std::int64_t atMs, const std::string& line) = 0;
  // The far side itself failed (server unreachable, connection lost,
  // protocol error, login refused). `reason` names the link and says why,
  // e.g. "agw://localhost:8000: connection refused". A link that was up is
  // down now; the engine shows "*** <reason>" and then DISCONNECTED.
  virtual void OnFailure(std::int64_t atMs, const std::string& reason) = 0;
};

class IFarSide {
 public:
  virtual ~IFarSide() = default;

  // Where events go; set once by the engine before anything else.
  virtual void SetEvents(IFarSideEvents* events) = 0;

  // MYCALL as the command set it: upper case, a callsign with an optional
  // SSID (the engine checked it). The engine passes it once after it is
  // attached and again whenever it changes. Returns false when this far side
  // cannot take it (the engine then answers "?bad parameter" and keeps the
  // old one).
  virtual bool SetMyCall(const std::string& call) = 0;
  // A TNC2 parameter (link/TncParams.h) and its value, already within the
  // table's range (1/0 for a switch). The engine passes every far-side
  // parameter once after it is attached and again whenever one changes.
  // Returns false when this far side cannot take the value (the engine then
  // answers "?bad parameter" and keeps the old one). A far side ignores the
  // parameters that mean nothing to it; this default ignores them all.
  virtual bool SetParameter(ETncParam param, int value) {
    (void)param;
    (void)value;
    return true;
  }

  // Starts connecting to `call` (upper case, with SSID if any) through up to
  // 8 digipeaters. Answered later by OnConnected, OnBusy, OnRetryExceeded or
  // OnFailure.
  virtual void Connect(const std::string& call, const std::vector<std::string>& via) = 0;
  // Ends the link (or the attempt); answered later by OnDisconnected.
  virtual void Disconnect() = 0;
  // One packet of information for the connected link (at most PACLEN bytes,
  // as the engine cut it). Returns false when there is no link to carry it.
  virtual bool SendData(std::string_view bytes) = 0;
  // Bytes handed to SendData that the far side has not yet passed on
  // (the radio has not yet sent or the peer not yet acknowledged, the
  // socket has not yet taken); the port's transmit queue count, by which
  // uploads and mail sending pace themselves.
  virtual std::size_t OutstandingBytes() const = 0;

  // Does the far side's I/O and timers and delivers the events due by
  // `nowMs`. Never blocks. Called on every port read and write.
  virtual void Poll(std::int64_t nowMs) = 0;
  // The monotonic time of the next timer, or -1 when none is set (sockets
  // are watched through PollFd instead).
  virtual std::int64_t NextEventMs() const { return -1; }
  // A descriptor that becomes readable when Poll has work, or -1.
  virtual int PollFd() const { return -1; }
  // True while bytes wait for PollFd to become writable (a socket that did
  // not take everything, or a connect in progress).
  virtual bool WantsWritable() const { return false; }
  // How many bytes Poll may read from the link at most, so that a peer
  // sending faster than the terminal takes it waits in the network (set
  // before every Poll; 0: read nothing now, timers still run).
  virtual void SetInputRoom(std::size_t bytes) { (void)bytes; }

  // Switching the TNC on (port opened): forget any link, no events pending.
  virtual void Reset() = 0;
  // The port is closed: drop the link and every socket, quietly.
  virtual void Close() = 0;

  // The first line the TNC prints after switching on, e.g.
  // "nami TNC2 on agw://localhost:8000/0".
  virtual std::string SignOn(const std::string& myCall) const = 0;
};

}  // namespace nami
