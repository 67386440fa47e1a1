// An AGWPE server (Dire Wolf, soundmodem, UZ7HO) as the far side of the
// TNC2 engine: MYCALL is registered ('X') on the radio port, CONNECT is 'C'
// (or 'v' with digipeaters), data 'D', DISCONNECT 'd', and the connection's
// outstanding frames ('Y', asked after each packet and while any are left)
// give the bytes the radio has not yet delivered; DISCONNECT goes to the
// server only once they are all delivered (or FRACK x RETRY has passed),
// since the server drops what it still holds when it ends the link. With MONITOR ON the
// monitored frames ('m') print as a TNC2 shows them ("JA1ABC>BEACON: text"),
// except while connected (as a TNC2 with MCON OFF).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "link/Agw.h"
#include "link/FarSide.h"
#include "link/TcpLink.h"

namespace nami {

class CAgwFarSide final : public IFarSide {
 public:
  // `name` names the link in messages ("agw://localhost:8000/0").
  CAgwFarSide(std::string name, std::string host, int port, int radioPort);

  void SetEvents(IFarSideEvents* events) override { events_ = events; }
  bool SetMyCall(const std::string& call) override;
  bool SetParameter(ETncParam param, int value) override;
  void Connect(const std::string& call, const std::vector<std::string>& via) override;
  void Disconnect() override;
  bool SendData(std::string_view bytes) override;
  std::size_t OutstandingBytes() const override;
  void Poll(std::int64_t nowMs) override;
  std::int64_t NextEventMs() const override;
  int PollFd() const override { return tcp_.Fd(); }
  bool WantsWritable() const override { return tcp_.WantsWritable(); }
  void SetInputRoom(std::size_t bytes) override { inputRoom_ = bytes; }
  void Reset() override;
  void Close() override;
  std::string SignOn(const std::string& myCall) const override;

  // How often the outstanding-frame count is asked while frames are out.
  static constexpr int kQueryMs = 200;

 private:
  enum class State { Idle, Connecting, Connected, Disconnecting };

  void Open();
  void Send(char kind, const std::string& from, const std::string& to, std::string data = {}, int pid = 0);
  void OnFrame(const agw::SFrame& f, std::int64_t now);
  void OnPortList(const agw::SFrame& f, std::int64_t now);      // 'G'
  void OnConnected(const agw::SFrame& f, std::int64_t now);     // 'C'
  void OnDisconnected(const agw::SFrame& f, std::int64_t now);  // 'd'
  void OnOutstanding(const agw::SFrame& f, std::int64_t now);   // 'Y'
  void Down(std::int64_t now);
  // The disconnect request, once the server has sent what was queued.
  void SendDisconnect();
  void Fail(std::int64_t now, const std::string& why);

  std::string name_;
  std::string host_;
  int port_;
  int radio_;
  CTcpLink tcp_;
  agw::CDecoder decoder_;
  IFarSideEvents* events_ = nullptr;

  std::string myCall_ = "NOCALL";
  bool monitor_ = false;
  bool serverMonitor_ = false;  // what 'm' (a toggle) has left the server at
  bool conok_ = false;
  bool wasOpen_ = false;
  bool registered_ = false;
  std::string failure_;  // a failure to report at the next Poll

  State state_ = State::Idle;
  bool connectSent_ = false;
  std::string remote_;
  std::vector<std::string> via_;
  std::string refused_;  // an incoming call being turned away

  std::deque<std::size_t> unacked_;  // sizes of the frames the server still holds
  std::int64_t nextQuery_ = -1;
  // DISCONNECT waits for the outstanding count to reach 0, at most until
  // this time (FRACK x RETRY); -1 when no disconnect waits.
  std::int64_t disconnectBy_ = -1;
  int frackMs_ = 3000;
  int retries_ = 10;
  std::size_t inputRoom_ = 65536;
  std::int64_t now_ = 0;
};

}  // namespace nami
