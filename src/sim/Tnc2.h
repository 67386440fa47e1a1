// A TNC2-style TNC in front of the simulated BBS, as a byte-in/byte-out
// engine with time: what the terminal sends goes in through Receive, what
// the TNC and the BBS answer comes out through TakeDue once its time has come
// (a delay before each answer and per line, like a radio link).
//
// Command mode: prompt "cmd:", typed characters echoed (ECHO), a line is
// interpreted on CR: CONNECT/C call [VIA digi,...], DISCONNECT/D, CONVERSE/K,
// MYCALL, ECHO; anything else "?EH". 0x03 returns to command mode at any
// time. In converse mode every byte goes to the BBS.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "link/Clock.h"
#include "sim/Bbs.h"

namespace nami::sim {

enum class LineEnd { Cr, CrLf, Lf };
enum class LinkFailure { None, Connect, Busy, Silent, DropAfter };

struct STncOptions {
  LineEnd lineEnd = LineEnd::CrLf;  // the TNC adds LF after CR (AUTOLF)
  LinkFailure failure = LinkFailure::None;
  int dropAfterLines = 0;           // DropAfter: the link fails after this many BBS lines
  int connectDelayMs = 800;         // per hop
  int answerDelayMs = 100;          // before the first line of an answer
  int lineDelayMs = 20;             // before each further line
  bool echo = true;
  std::string myCall = "QZ1XYZ";
};

class CTnc2 {
 public:
  CTnc2(CBbs& bbs, IClock& clock, STncOptions options = {});

  // A fresh TNC, as after switching it on: sign-on, command mode, no link.
  // Output not yet delivered is thrown away; a BBS session is dropped.
  void PowerOn();
  // Bytes from the terminal, in any chunking.
  void Receive(std::string_view bytes);
  // Appends to `out` at most `max` bytes of output that is due by now;
  // returns how many.
  std::size_t TakeDue(std::string& out, std::size_t max);
  // Bytes queued for the terminal, due or not.
  std::size_t PendingOutput() const { return pendingBytes_; }
  // The monotonic time of the next thing to happen (output due or the
  // connect attempt ending), or -1 when nothing is scheduled.
  std::int64_t NextEventMs() const;

  bool Connected() const { return link_ == Link::Connected; }
  bool InCommandMode() const { return commandMode_; }
  const STncOptions& Options() const { return options_; }

 private:
  enum class Link { Disconnected, Connecting, Connected };
  struct Chunk {
    std::int64_t due;
    std::string bytes;
  };

  void Advance(std::int64_t now);
  void CommandByte(char c, std::int64_t now);
  void ConverseBytes(std::string_view bytes, std::int64_t now);
  void RunCommand(const std::string& line, std::int64_t now);
  void Connect(const std::vector<std::string>& words, std::int64_t now);
  void DeliverBbs(const std::vector<std::string>& lines, std::int64_t at);
  void LinkDown(const char* reason, std::int64_t at);

  void Emit(std::string bytes, std::int64_t at, int delayMs);
  void EmitLine(const std::string& text, std::int64_t at, int delayMs = 0);
  void NewLine(std::int64_t at);
  void CmdPrompt(std::int64_t at);
  std::string End() const;

  CBbs& bbs_;
  IClock& clock_;
  STncOptions options_;

  Link link_ = Link::Disconnected;
  bool commandMode_ = true;
  bool echo_ = true;
  std::string myCall_;
  std::string command_;
  std::string peer_;      // the station connected or being called, with its path
  bool peerIsBbs_ = false;
  std::int64_t connectAt_ = 0;
  int sessionLines_ = 0;

  std::deque<Chunk> out_;
  std::size_t pendingBytes_ = 0;
  std::int64_t lastDue_ = 0;
  bool atLineStart_ = true;
};

}  // namespace nami::sim
