// The AX.25 v2.0 connected-mode data link for one connection, as a TNC runs
// it: frames in through Receive, frames out through IDataLinkEvents::Transmit,
// time from an IClock so that tests drive the timers. No Qt, no I/O, one
// thread; nothing blocks.
//
// States and what moves between them (V(S) send, V(R) receive, V(A)
// acknowledged sequence numbers, modulo 8; RC the retry count):
//
//   Disconnected
//     Connect()              -> send SABM(P), start T1         -> AwaitingConnection
//     SABM for us, CONOK on  -> send UA(F=P), reset V(*)       -> Connected  [OnConnected]
//     SABM for us, CONOK off -> send DM(F=P)                   (stays)
//     DISC / other command P -> send DM(F=P)                   (stays)
//   AwaitingConnection
//     UA                     -> stop T1, reset V(*)            -> Connected  [OnConnected]
//     DM                     ->                                -> Disconnected [OnBusy]
//     SABM (both called)     -> send UA                        (stays)
//     T1 expiry, RC < N2     -> resend SABM(P), RC+1           (stays)
//     T1 expiry, RC = N2     ->                                -> Disconnected [OnRetryExceeded]
//   Connected
//     I, N(S) = V(R)         -> deliver, V(R)+1; ack at once when P, else after T2 or with our next I
//     I, N(S) != V(R)        -> drop; REJ once (reject exception), RR(F) when P
//     RR / RNR / REJ         -> V(A) = N(R); peer busy on RNR; REJ resends from N(R),
//                               once per reject condition (a REJ naming the N(R)
//                               being resent is ignored until V(A) moves or T1
//                               expires); the N2+1-th REJ without V(A) moving
//                               -> send DM                      -> Disconnected [OnFailure]
//     command with P         -> answer RR/RNR with F
//     N(R) outside V(A)..V(S)-> send FRMR(Z)                   -> Disconnected [OnFailure]
//     unknown control        -> send FRMR(W)                   (stays)
//     DISC                   -> send UA                        -> Disconnected [OnDisconnected]
//     DM                     ->                                -> Disconnected [OnDisconnected]
//     FRMR                   ->                                -> Disconnected [OnFailure]
//     SABM (peer reset)      -> send UA, reset V(*), drop the unacknowledged window  [OnConnected]
//     T1 expiry / T3 expiry  -> send RR/RNR(P), RC = 1, start T1 -> TimerRecovery
//     Disconnect()           -> when all is acknowledged: send DISC(P), start T1 -> AwaitingRelease
//   TimerRecovery (as Connected, but waiting for the answer to our poll)
//     response with F        -> V(A) = N(R); resend from N(R)  -> Connected
//     T1 expiry, RC < N2     -> send RR/RNR(P), RC+1           (stays)
//     T1 expiry, RC = N2     -> send DM                        -> Disconnected [OnRetryExceeded]
//   AwaitingRelease
//     UA / DM                ->                                -> Disconnected [OnDisconnected]
//     T1 expiry, RC < N2     -> resend DISC(P), RC+1           (stays)
//     T1 expiry, RC = N2     ->                                -> Disconnected [OnRetryExceeded]
//
// T1 (the FRACK timer) runs while something we sent awaits an answer. Its
// value starts at FRACK x (2 x digipeaters + 1) and then follows the measured
// round trip (twice the smoothed time from the end of a frame's estimated
// transmission to its acknowledgement; frames sent more than once are not
// measured), never below 1 s x (2 x digipeaters + 1) nor above twice the
// starting value; each retry adds a quarter. The estimated transmission end
// accounts for the frames queued ahead at the TNC at the channel's bit rate
// and the transmitter's key-up, so a full window on a slow channel does not
// time out while it is still being sent; frames heard from others hold T1 as
// a carrier would. T3 (link check) runs while nothing is outstanding.
//
// Sending: bytes given to Send are kept in order and cut into I frames of at
// most PACLEN bytes as the window (k = MAXFRAME, 1..7) opens. Every byte
// reaches the peer once and in order, or the link ends with an event saying
// it failed.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "ax25/Frame.h"
#include "time/Clock.h"

namespace nami::ax25 {

struct SLinkParams {
  int maxFrame = 4;       // k, 1..7 (MAXFRAME)
  int pacLen = 128;       // bytes per I frame, 1..256 (PACLEN)
  int retries = 10;       // N2 (RETRY)
  int frackMs = 3000;     // T1 base (FRACK, in seconds on the TNC)
  int minT1Ms = 1000;     // lower bound of the adapted T1 (per hop)
  int t2Ms = 500;         // delay before acknowledging received I frames (RESPTIME)
  int t3Ms = 180000;      // link check while idle (CHECK)
  bool conOk = true;      // accept connect requests (CONOK)
  int bitsPerSecond = 0;  // channel rate for the transmission estimate; 0 = instant
  int keyUpMs = 0;        // transmitter key-up and channel access, once per transmission
};

enum class ELinkState : std::uint8_t { Disconnected, AwaitingConnection, Connected, TimerRecovery, AwaitingRelease };
const char* LinkStateName(ELinkState state);

class IDataLinkEvents {
 public:
  virtual ~IDataLinkEvents() = default;
  // A frame to send on the channel.
  virtual void Transmit(const SFrame& frame) = 0;
  // The link is up (we called, or `incoming`: the peer called us).
  virtual void OnConnected(const SAddress& peer, bool incoming) = 0;
  // Either side ended the link.
  virtual void OnDisconnected() = 0;
  // The called station answered DM.
  virtual void OnBusy(const SAddress& peer) = 0;
  // N2 polls or connect requests went unanswered.
  virtual void OnRetryExceeded() = 0;
  // The link broke off on a protocol error (FRMR); `reason` says which.
  virtual void OnFailure(const std::string& reason) = 0;
  // Information received in sequence.
  virtual void OnData(std::string_view bytes) = 0;
};

class CDataLink {
 public:
  struct SStats {
    std::uint64_t iSent = 0;           // I frames sent, first time
    std::uint64_t iResent = 0;         // I frames sent again
    std::uint64_t iReceived = 0;       // I frames taken in sequence
    std::uint64_t iOutOfSequence = 0;  // I frames dropped as out of sequence (duplicates, gaps)
    std::uint64_t polls = 0;           // RR/RNR with P sent on T1 or T3 expiry
    std::uint64_t rejectsSent = 0;
    std::uint64_t rejectsIgnored = 0;  // REJs naming the frames already being resent
    std::uint64_t framesIgnored = 0;   // frames that meant nothing in the state they came in
    std::uint64_t bytesDelivered = 0;
  };

  CDataLink(const IClock& clock, IDataLinkEvents& events, SLinkParams params = {});

  void SetMyCall(const SAddress& call) { myCall_ = call; }
  const SAddress& MyCall() const { return myCall_; }
  // Takes effect for the next connection (k and PACLEN also for the next frame).
  void SetParams(const SLinkParams& params);
  const SLinkParams& Params() const { return params_; }

  // Starts calling `peer` through `via` (up to 8 digipeaters). False when a
  // link exists or is being set up.
  bool Connect(const SAddress& peer, const std::vector<SAddress>& via = {});
  // Ends the link once what was sent is acknowledged; a second call (or a
  // call while connecting) ends it at once.
  void Disconnect();
  // Drops the link without a word to the peer (port closed).
  void Abort();
  // Queues bytes for the peer. False when not connected.
  bool Send(std::string_view bytes);

  // A frame heard on the channel. Frames not addressed to MYCALL, or still
  // to be repeated by a digipeater, are ignored. Returns whether the frame
  // was ours.
  bool Receive(const SFrame& frame);
  // A frame of `bytes` was heard on the channel (any station's, before
  // Receive): the channel was busy that long, so T1 waits that much longer,
  // as a TNC holds T1 while it detects a carrier.
  void ChannelHeard(std::size_t bytes);
  // Runs the timers that have expired by now.
  void Tick();
  // The monotonic time at which Tick has work, or -1.
  std::int64_t NextTimerMs() const;

  ELinkState State() const { return state_; }
  bool IsUp() const { return state_ == ELinkState::Connected || state_ == ELinkState::TimerRecovery; }
  const SAddress& Peer() const { return peer_; }
  const std::vector<SAddress>& Path() const { return via_; }
  // Bytes not yet acknowledged by the peer plus those still queued.
  std::size_t Outstanding() const;
  // The current T1 value and the smoothed round trip, in ms.
  int T1Ms() const { return t1v_; }
  int RoundTripMs() const { return srt_; }
  const SStats& Stats() const { return stats_; }

 private:
  struct SOutFrame {
    std::string data;
    std::int64_t txEnd = 0;  // estimated end of its last transmission
    bool resent = false;
  };

  SFrame Make(EKind kind, bool command, bool pf) const;
  void Emit(const SFrame& f) { events_.Transmit(f); }
  void SendS(EKind kind, bool command, bool pf);
  void SendU(EKind kind, bool command, bool pf);
  void AnswerDm(const SFrame& in);

  void Establish();  // sends SABM, starts T1
  void EnterConnected(bool incoming);
  void Reset();  // clears sequence numbers, window, queues and timers
  void GoDisconnected();
  void Released();  // the link is down by the peer's or our own release

  // A frame from another station than the peer: a call or a poll gets DM.
  bool FromStranger(const SFrame& f);
  void OnFrameConnected(const SFrame& f);
  void OnConnectedI(const SFrame& f);
  void OnConnectedSupervisory(const SFrame& f);
  void OnPeerReset(const SFrame& f);  // SABM on a link that is up
  void OnFrameAwaitingConnection(const SFrame& f);
  void OnFrameAwaitingRelease(const SFrame& f);
  void OnFrameDisconnected(const SFrame& f);

  void TakeI(const SFrame& f);
  bool NrValid(int nr) const;
  void AckUpTo(int nr);  // V(A) = N(R), RTT measured
  void AfterAck();       // T1/T3 as the window now stands
  void Retransmit();     // from V(A) again
  // A REJ from the peer asks for the frames from V(A) again: resent once per
  // reject condition; the link ends when the peer keeps rejecting.
  enum class EReject { Ignored, Resent, Ended };
  EReject OnReject();
  void Pump();      // I frames while the window allows
  void Enquire();   // RR/RNR with P, T1
  void FlushAck();  // send the pending acknowledgement
  void FrameReject(std::uint8_t why, const SFrame& f, bool fatal);

  int InitialT1() const;
  void StartT1();
  void StopT1() { t1At_ = -1; }
  void StartT3() { t3At_ = clock_.MonotonicMs() + params_.t3Ms; }
  void StopT3() { t3At_ = -1; }
  void StartDisconnect();
  std::int64_t TxEnd(std::size_t bytes);

  const IClock& clock_;
  IDataLinkEvents& events_;
  SLinkParams params_;
  SAddress myCall_;

  ELinkState state_ = ELinkState::Disconnected;
  SAddress peer_;
  std::vector<SAddress> via_;
  int vs_ = 0, vr_ = 0, va_ = 0;
  int rc_ = 0;
  bool peerBusy_ = false;
  bool rejectSent_ = false;  // the reject exception: one REJ per gap
  int resendingFrom_ = -1;   // V(A) the frames are being resent from, until V(A) moves or T1 expires
  int rejectsUnmoved_ = 0;   // REJs acted on since V(A) last moved
  bool ackDue_ = false;
  bool disconnectWanted_ = false;
  int k_ = 4;  // window fixed for the connection

  std::deque<SOutFrame> window_;  // from V(A): sent (first V(S)-V(A)) then cut but unsent
  std::size_t sent_ = 0;          // how many of window_ have been sent since the last retransmission
  std::string queue_;             // bytes not yet cut into frames
  std::size_t windowBytes_ = 0;

  std::int64_t t1At_ = -1, t2At_ = -1, t3At_ = -1;
  int t1v_ = 3000;
  int srt_ = 1500;
  std::int64_t channelFreeAt_ = 0;  // estimated end of what the TNC is sending

  SStats stats_;
};

}  // namespace nami::ax25
