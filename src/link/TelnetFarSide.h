// A BBS's telnet port as the far side of the TNC2 engine. CONNECT opens the
// TCP connection (whatever call is given: the host is the station); every
// telnet option the server offers or asks for is refused, IAC sequences are
// taken out of the text and 0xFF is doubled on sending. CR from the
// terminal goes out as CR LF. The BBS's login prompts ("Callsign :",
// "login:", "Password :" ...) are answered with MYCALL and the link's
// password; when the BBS closes the connection, what it said stays on the
// screen and the link reads as disconnected.
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
  // descriptor readable), the engine looks again every kUnsentMs.
  std::int64_t NextEventMs() const override;
  static constexpr int kUnsentMs = 20;
  void SetInputRoom(std::size_t bytes) override { inputRoom_ = bytes; }
  void Reset() override { Close(); }
  void Close() override;
  std::string SignOn(const std::string& myCall) const override;

  // Telnet negotiation a server may send before it is taken for a flood.
  static constexpr std::size_t kMaxNegotiation = 4096;

 private:
  enum class State { Idle, Connecting, Connected, Closing };
  enum class Iac { Data, Command, Option, Sub, SubIac };

  // Takes the telnet commands out of `in`; returns the text.
  std::string Strip(std::string_view in);
  void AnswerPrompt();

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
};

}  // namespace nami
