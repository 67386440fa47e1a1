// A BBS's telnet port as the far side of the TNC2 engine. CONNECT opens the
// TCP connection (whatever call is given: the host is the station); every
// telnet option the server offers or asks for is refused, IAC sequences are
// taken out of the text and 0xFF is doubled on sending. CR from the
// terminal goes out as CR LF. The BBS's login prompts ("Callsign :",
// "login:", "Password :" ...) are answered with MYCALL and the link's
// password, each once and only during the login: until the first line the
// BBS ends after the password went out, its first prompt of another kind
// ("JA1XYZ BBS>"), or kLoginMs after the connection came up. Once sent, the
// password never reaches the terminal: the BBS echoing it shows "********"
// (text that may be its beginning waits up to kHoldMs for the rest). When
// the BBS closes the connection, what it said stays on the screen and the
// link reads as disconnected.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "link/FarSide.h"
#include "link/TcpLink.h"
#include "text/FileFault.h"

namespace nami {

class CTelnetFarSide final : public IFarSide {
 public:
  // Returns the link's password (empty when none is kept, with `fault` when
  // one is kept but cannot be used); asked only when the BBS prompts for one.
  using PasswordSource = std::function<std::string(FileFault& fault)>;

  CTelnetFarSide(std::string name, std::string host, int port, PasswordSource password);

  void SetEvents(IFarSideEvents* events) override { events_ = events; }
  bool SetMyCall(const std::string& call) override;
  void Connect(const std::string& call, const std::vector<std::string>& via) override;
  void Disconnect() override;
  bool SendData(std::string_view bytes) override;
  std::size_t OutstandingBytes() const override { return tcp_.Unsent(); }
  void Poll(std::int64_t nowMs) override;
  int PollFd() const override { return tcp_.Fd(); }
  bool WantsWritable() const override { return tcp_.WantsWritable(); }
  // While the kernel still holds sent bytes (their acknowledgements make no
  // descriptor readable), the engine looks again every kUnsentMs; text
  // kept back as a possible echoed password is due kHoldMs after it came.
  std::int64_t NextEventMs() const override;
  static constexpr int kUnsentMs = 20;
  void SetInputRoom(std::size_t bytes) override { inputRoom_ = bytes; }
  void Reset() override { Close(); }
  void Close() override;
  std::string SignOn(const std::string& myCall) const override;

  // Telnet negotiation a server may send before it is taken for a flood.
  static constexpr std::size_t kMaxNegotiation = 4096;
  // How long after the connection came up login prompts are answered.
  static constexpr std::int64_t kLoginMs = 30000;
  // How long text that may begin an echoed password waits for the rest.
  static constexpr std::int64_t kHoldMs = 500;

 private:
  enum class State { Idle, Connecting, Connected, Closing };
  enum class Iac { Data, Command, Option, Sub, SubIac };

  // Takes the telnet commands out of `in`; returns the text.
  std::string Strip(std::string_view in);
  void AnswerPrompt();
  // Text from the BBS on its way to the terminal: the password masked,
  // then the login followed and its prompts answered. `more`: text may
  // follow (a tail that may begin the password waits for it).
  void Deliver(std::string text, std::int64_t now, bool more = true);
  // Whether the login is still on after text arrived: `lines` are the
  // lines it ended or began, whole; `ended` whether it ended one.
  void FollowLogin(const std::string& lines, bool ended, std::int64_t now);
  // `text` with every copy of the sent password masked; with `hold`, a tail
  // that may begin another copy is kept back in held_.
  std::string Mask(std::string text, bool hold);

  std::string name_;
  std::string host_;
  int port_;
  PasswordSource password_;
  CTcpLink tcp_;
  IFarSideEvents* events_ = nullptr;
  std::string myCall_ = "NOCALL";
  State state_ = State::Idle;
  std::string call_;
  std::string failure_;
  std::size_t inputRoom_ = 65536;
  std::int64_t polledAt_ = 0;

  Iac iac_ = Iac::Data;
  unsigned char verb_ = 0;
  std::set<int> answered_;  // options already refused (answered once each)
  std::size_t negotiation_ = 0;
  std::string partial_;  // the line the BBS has not ended yet
  bool sentCall_ = false;
  bool sentPassword_ = false;
  bool loggingIn_ = false;        // login prompts are answered
  std::int64_t loginEndsAt_ = 0;  // kLoginMs after the connection came up
  std::string secret_;            // the password once it went out (masked in what comes back)
  std::string held_;              // received text that may begin the echoed password
  std::int64_t heldAt_ = 0;
};

}  // namespace nami
