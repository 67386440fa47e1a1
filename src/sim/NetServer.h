// The simulated BBS on the network, for tests and for trying other programs
// against it:
//  - as an AGWPE server (`nami-tncsim --agw PORT`): a client registers its
//    call, connects ('C'/'v') to the BBS's call and exchanges data ('D'); any
//    other call ends in "RETRYOUT" after three connect times;
//  - on a telnet port (`--telnet PORT`): "Callsign :" (and "Password :" when
//    one is set), then the BBS; "B" closes the connection;
//  - as an AGWPE client of another server (`--agw-bbs HOST:PORT`): it
//    registers the BBS's call there and answers the stations that connect to
//    it (through Dire Wolf, over the air) with the BBS.
// One BBS session at a time; a second caller finds the BBS busy.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "time/Clock.h"
#include "sim/Bbs.h"
#include "sim/BbsFarSide.h"

namespace nami::agw {
struct SFrame;
}

namespace nami::sim {

struct SNetOptions {
  int agwPort = -1;     // listen as an AGWPE server; -1 = no
  int telnetPort = -1;  // listen as a telnet BBS; -1 = no
  std::string agwBbs;   // HOST:PORT of an AGWPE server to serve the BBS through
  std::string bind = "127.0.0.1";
  std::string password;  // telnet: asked for when not empty
  STncOptions tnc;       // connect delay and failures (AGWPE server)
};

class CNetServer {
 public:
  CNetServer(CBbs& bbs, IClock& clock, SNetOptions options);
  ~CNetServer();
  CNetServer(const CNetServer&) = delete;
  CNetServer& operator=(const CNetServer&) = delete;

  // Opens the listening sockets (and the AGWPE client connection).
  bool Start(std::string* error);
  // The ports actually listened on (useful with port 0).
  int AgwPort() const { return agwBound_; }
  int TelnetPort() const { return telnetBound_; }
  // Serves until RequestStop (safe from a signal handler) or, for
  // --agw-bbs, until the server closes the connection (returns false then).
  bool Run();
  void RequestStop();

  struct Client;

 private:
  void Accept(int listenFd, bool agw);
  void ServeAgw(Client& c, std::int64_t now);
  bool AgwAsStation(Client& c, const agw::SFrame& f);
  void AgwAsServer(Client& c, const agw::SFrame& f, std::int64_t now);
  void AgwConnect(Client& c, const agw::SFrame& f, std::int64_t now);
  void ServeTelnet(Client& c);
  static std::string TelnetText(Client& c);
  bool TelnetLogin(Client& c, std::string entry);
  int PollTimeout(std::int64_t now) const;
  void ReadClient(Client& c, std::int64_t now);
  void FlushClients();
  bool CloseEnded();
  void AgwFrame(Client& c, char kind, const std::string& from, const std::string& to, const std::string& data);
  void AgwBbsData(Client& c, const std::string& remote, const std::vector<std::string>& lines);
  void EndSession(Client& c);
  void Timers(std::int64_t now);

  CBbs& bbs_;
  IClock& clock_;
  SNetOptions options_;
  int agwListen_ = -1;
  int telnetListen_ = -1;
  int agwBound_ = -1;
  int telnetBound_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  std::vector<std::unique_ptr<Client>> clients_;
  Client* session_ = nullptr;  // the client whose station is in the BBS
};

}  // namespace nami::sim
