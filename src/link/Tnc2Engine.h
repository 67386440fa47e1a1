// A TNC2 in command and converse mode, as a byte-in/byte-out engine with
// time, in front of a pluggable far side (link/FarSide.h): the simulated
// BBS, an AGWPE server, a telnet BBS. What the terminal sends goes in through
// Receive; what the TNC answers comes out through TakeDue once its time has
// come.
//
// Command mode: prompt "cmd:", typed characters echoed (ECHO), a line is
// interpreted on CR: CONNECT/C call [VIA digi,...], DISCONNECT/D,
// CONVERSE/K, MYCALL and the parameter commands of link/TncParams.h (ECHO,
// AUTOLF, MONITOR, PACLEN, MAXFRAME, ...); anything else "?EH". 0x03 returns to command mode at
// any time. In converse mode the bytes are cut into packets (at CR or PACLEN)
// and handed to the far side.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "time/Clock.h"
#include "link/FarSide.h"
#include "link/TncParams.h"

namespace nami {

enum class LineEnd { Cr, CrLf, Lf };

struct STnc2Options {
  LineEnd lineEnd = LineEnd::CrLf;  // the TNC adds LF after CR (AUTOLF ON)
  int answerDelayMs = 0;            // before the first line of an answer
  int lineDelayMs = 0;              // before each further line
  bool echo = true;
  std::string myCall = "QZ1XYZ";
  // Converse-mode bytes without a CR wait this long for more before they go
  // out as a packet; 0 sends them at the end of each write.
  int pacTimeMs = 0;
};

class CTnc2Engine final : private IFarSideEvents {
 public:
  CTnc2Engine(IFarSide& far, IClock& clock, STnc2Options options = {});
  ~CTnc2Engine() override = default;
  CTnc2Engine(const CTnc2Engine&) = delete;
  CTnc2Engine& operator=(const CTnc2Engine&) = delete;

  // A fresh TNC, as after switching it on: sign-on, command mode, no link.
  // Output not yet delivered is thrown away; the far side is reset.
  void PowerOn();
  // Bytes from the terminal, in any chunking.
  void Receive(std::string_view bytes);
  // Lets the far side work and appends to `out` at most `max` bytes of
  // output that is due by now; returns how many.
  std::size_t TakeDue(std::string& out, std::size_t max);
  // Bytes queued for the terminal, due or not.
  std::size_t PendingOutput() const { return pendingBytes_; }
  // Throws away the output not yet delivered, as an answer lost on the air.
  void DiscardOutput() {
    out_.clear();
    pendingBytes_ = 0;
  }
  // Converse bytes the link has not yet carried away (held here or at the
  // far side): the port's transmit queue.
  std::size_t Outstanding() const;
  // What the port reports as its transmit queue: the outstanding bytes
  // beyond what the link may keep in flight (senders write while it is 0).
  int TransmitQueueCount() const;
  // The monotonic time of the next thing to happen, or -1.
  std::int64_t NextEventMs() const;

  bool Connected() const { return link_ == Link::Connected; }
  // A link is up or being set up or ended: Release waits while this holds.
  bool LinkActive() const { return link_ != Link::Disconnected; }
  // Ends the link as DISCONNECT does, unless that was asked already (the
  // far side is then waiting for its answer).
  void EndLink();
  // Lets the far side work (I/O, timers) without taking output.
  void Service() { Advance(clock_.MonotonicMs()); }
  // How long ending a link may take: FRACK x RETRY (a RETRY of 0, "for
  // ever", counts as 10).
  int ReleaseMs() const;
  // Output held for the terminal beyond which the far side reads nothing
  // more from its link (back-pressure, as a serial line has).
  static constexpr std::size_t kMaxPendingOutput = 256 * 1024;
  const std::string& MyCall() const { return myCall_; }
  // The far side's last failure, until a link comes up again.
  const std::string& LastFailure() const { return lastFailure_; }
  // Sets MYCALL as the command does (false: not a callsign); for the
  // settings the port was opened with.
  bool SetMyCall(const std::string& call);

  // Called when MYCALL is changed by the command, to keep it.
  std::function<void(const std::string&)> OnMyCallChanged;

  // A callsign with an optional SSID 0..15 ("JA1ABC", "JA1ABC-15").
  static bool IsCall(std::string_view call);

 private:
  enum class Link { Disconnected, Connecting, Connected };
  struct Chunk {
    std::int64_t due;
    std::string bytes;
  };

  // IFarSideEvents
  void OnConnected(std::int64_t atMs, const std::string& peer) override;
  void OnDisconnected(std::int64_t atMs) override;
  void OnBusy(std::int64_t atMs, const std::string& call) override;
  void OnRetryExceeded(std::int64_t atMs) override;
  void OnData(std::int64_t atMs, std::string_view bytes) override;
  void OnMonitor(std::int64_t atMs, const std::string& line) override;
  void OnFailure(std::int64_t atMs, const std::string& reason) override;

  void Advance(std::int64_t now);
  void CommandByte(char c, std::int64_t now);
  void ConverseBytes(std::string_view bytes, std::int64_t now);
  void SendPackets(bool all, std::int64_t now);
  void RunCommand(const std::string& line, std::int64_t now);
  void Connect(const std::vector<std::string>& words, std::int64_t now);
  void Parameter(const STncParam& param, const std::string& arg, std::int64_t now);
  void LinkDown(const std::string& reason, std::int64_t at);

  void Emit(std::string bytes, std::int64_t at, int delayMs);
  void EmitLine(const std::string& text, std::int64_t at, int delayMs = 0);
  void NewLine(std::int64_t at);
  void CmdPrompt(std::int64_t at);
  std::string End() const;
  void PassParameters();
  std::size_t Number(ETncParam param) const { return static_cast<std::size_t>(params_.Get(param)); }

  IFarSide& far_;
  IClock& clock_;
  STnc2Options options_;

  Link link_ = Link::Disconnected;
  bool commandMode_ = true;
  std::string myCall_;
  std::string lastFailure_;
  std::string command_;
  std::string peer_;                           // the station connected or being called, with its path
  CTncParams params_;

  std::string sendBuf_;  // converse bytes not yet cut into packets
  std::int64_t sendDue_ = -1;

  std::deque<Chunk> out_;
  std::size_t pendingBytes_ = 0;
  std::int64_t lastDue_ = 0;
  bool atLineStart_ = true;
  bool dataOpen_ = false;     // the last output was link data ending mid-line
  bool dataAfterCr_ = false;  // the last data byte was CR (an LF after it is dropped)
  bool disconnecting_ = false;  // DISCONNECT was asked; the far side's answer is awaited
};

}  // namespace nami
