// The simulated BBS as the far side of the TNC2 engine, with the delays and
// failures of a radio link: a connect takes `connectDelayMs` per hop (three
// times that when it fails), only the BBS's call answers, and the options
// can make every attempt fail, the BBS busy, the link silent or dropped
// after a number of lines, or the BBS fall silent after a number of lines.
// With a fault file the failure is read from that file at each connect, so
// a long test can change it while the simulator runs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "link/FarSide.h"
#include "link/Tnc2Engine.h"
#include "sim/Bbs.h"
#include "time/Clock.h"

namespace nami::sim {

using nami::LineEnd;
enum class LinkFailure { None, Connect, Busy, Silent, DropAfter, MuteAfter };

struct STncOptions {
  LineEnd lineEnd = LineEnd::CrLf;  // the TNC adds LF after CR (AUTOLF)
  LinkFailure failure = LinkFailure::None;
  int dropAfterLines = 0;    // DropAfter: the link fails after this many BBS lines
                             // MuteAfter: the BBS says nothing more after them
  std::string faultFile;     // read at each connect: a failure as for ParseFailure
  int connectDelayMs = 800;  // per hop
  int answerDelayMs = 100;   // before the first line of an answer
  int lineDelayMs = 20;      // before each further line
  bool echo = true;
  std::string myCall = "QZ1XYZ";
};

// Sets the failure from its name: "none", "connect", "busy", "silent",
// "drop-after:N" or "mute-after:N" (surrounding blanks ignored); false when
// the text names none of them.
bool ParseFailure(std::string_view text, STncOptions& options);

// The TNC2 engine's options for a simulated link.
STnc2Options EngineOptions(const STncOptions& options);

class CBbsFarSide final : public IFarSide {
 public:
  CBbsFarSide(CBbs& bbs, IClock& clock, STncOptions options = {});

  void SetEvents(IFarSideEvents* events) override { events_ = events; }
  bool SetMyCall(const std::string& call) override;
  void Connect(const std::string& call, const std::vector<std::string>& via) override;
  void Disconnect() override;
  bool SendData(std::string_view bytes) override;
  std::size_t OutstandingBytes() const override { return 0; }
  void Poll(std::int64_t nowMs) override;
  std::int64_t NextEventMs() const override;
  void Reset() override;
  void Close() override { Reset(); }
  std::string SignOn(const std::string& myCall) const override;

  bool Connected() const { return state_ == State::Connected; }
  // The link fails now: what the BBS has not yet sent is lost, and the TNC
  // reports the failure at its next poll.
  void DropLink();
  // Bytes the BBS sends unasked while connected (CR ends a line).
  void SendUnasked(std::string_view bytes);

 private:
  enum class State { Idle, Connecting, Connected };
  void Deliver(const std::vector<std::string>& lines);
  void Down(std::int64_t at);
  void ReadFaultFile();

  CBbs& bbs_;
  IClock& clock_;
  STncOptions options_;
  IFarSideEvents* events_ = nullptr;
  std::string myCall_;
  State state_ = State::Idle;
  std::string call_;
  std::string peer_;
  bool peerIsBbs_ = false;
  std::int64_t connectAt_ = 0;
  int sessionLines_ = 0;

  // Answers waiting for the next Poll.
  std::string answer_;
  bool dropNow_ = false;     // the link fails after the answer
  bool hungUp_ = false;      // the BBS ended the session after the answer
  bool disconnect_ = false;  // DISCONNECT was asked for
};

}  // namespace nami::sim
