// The AGWPE and telnet links of the built-in TNC2 against scripted servers
// on real sockets: what a broken or hostile server leads to on the terminal.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "link/Agw.h"
#include "link/AgwFarSide.h"
#include "link/LinkPort.h"
#include "link/TelnetFarSide.h"
#include "text/Cp932.h"

namespace nami {
namespace {

// Accepts one connection, sends `script` (after reading what the client
// sent first, when `waitForClient`), then closes or holds the socket open.
class ScriptServer {
 public:
  ScriptServer(std::string script, bool closeAfter, bool waitForClient = false) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 1);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, script, closeAfter, waitForClient] {
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      char buf[4096];
      if (waitForClient) received_ += std::string(buf, std::max<ssize_t>(0, ::recv(c, buf, sizeof buf, 0)));
      ::send(c, script.data(), script.size(), MSG_NOSIGNAL);
      if (!closeAfter) {
        timeval tv{0, 300000};
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        for (int i = 0; i < 10; ++i) {
          ssize_t n = ::recv(c, buf, sizeof buf, 0);
          if (n > 0) received_.append(buf, static_cast<std::size_t>(n));
          if (n == 0) break;
        }
      }
      ::close(c);
    });
  }
  ~ScriptServer() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  int Port() const { return port_; }
  const std::string& Received() const { return received_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::string received_;
};

// Reads what the port shows until `until` appears or 5 s pass.
std::string ReadUntil(IPort& port, const std::string& until) {
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (got.find(until) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    char buf[1024];
    std::size_t n = port.ReadAvailable(buf, sizeof buf);
    got.append(buf, n);
    if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return got;
}

std::unique_ptr<CTnc2Port> AgwPort(CSystemClock& clock, int port) {
  const std::string name = "agw://127.0.0.1:" + std::to_string(port) + "/0";
  STnc2Options o;
  o.myCall = "JA1XYZ";
  auto p = std::make_unique<CTnc2Port>(clock, std::make_unique<CAgwFarSide>(name, "127.0.0.1", port, 0), o);
  p->Open("COM1:9600,n,8,1,n");
  return p;
}

std::string AgwFrame(char kind, const std::string& from, const std::string& to, const std::string& data) {
  agw::SFrame f;
  f.kind = kind;
  f.from = from;
  f.to = to;
  f.data = data;
  return agw::Encode(f);
}

TEST(AgwFarSide, ABrokenServerReadsAsADroppedLinkNamingIt) {
  std::string huge = AgwFrame('D', "JA1BBS", "JA1XYZ", "");
  huge[28] = '\xff';
  huge[29] = '\xff';
  huge[30] = '\xff';
  struct Case {
    const char* name;
    std::string script;
    const char* reason;
  } cases[] = {
      {"garbage", std::string(64, '\x01'), "bad frame from the server"},
      {"huge length", huge, "bad frame from the server (data length 16777215)"},
      {"closed mid-frame", AgwFrame('X', "JA1XYZ", "", "\x01").substr(0, 20),
       "サーバーがフレームの途中で接続を閉じました"},
      {"refused call", AgwFrame('X', "JA1XYZ", "", std::string(1, '\0')), "the server refused MYCALL JA1XYZ"},
  };
  for (const Case& c : cases) {
    ScriptServer server(c.script, false, true);
    CSystemClock clock;
    auto port = AgwPort(clock, server.Port());
    std::string got = ReadUntil(*port, "*** DISCONNECTED");
    EXPECT_NE(got.find("*** agw://127.0.0.1:" + std::to_string(server.Port()) + "/0: "), std::string::npos)
        << c.name << ": " << got;
    EXPECT_NE(got.find(Utf8ToCp932(c.reason)), std::string::npos) << c.name << ": " << got;
  }
}

TEST(AgwFarSide, RegistersAndConnectsWithItsOwnFrames) {
  ScriptServer server(AgwFrame('X', "JA1XYZ", "", "\x01"), false, true);
  CSystemClock clock;
  auto port = AgwPort(clock, server.Port());
  ReadUntil(*port, "cmd:");
  port->SendText("C JA1BBS VIA JA1DIG\r");
  ReadUntil(*port, "never");  // let the frames go out
  port->Close();
  const std::string& r = server.Received();
  EXPECT_NE(r.find(AgwFrame('X', "JA1XYZ", "", "")), std::string::npos);
  EXPECT_NE(r.find(AgwFrame('v', "JA1XYZ", "JA1BBS", agw::ViaData({"JA1DIG"}))), std::string::npos);
}

TEST(AgwFarSide, AnUnreachableServerIsNamedAndTheNextConnectTriesAgain) {
  int port;
  {
    ScriptServer closed("", true);
    port = closed.Port();
  }
  CSystemClock clock;
  auto p = AgwPort(clock, port);
  std::string got = ReadUntil(*p, "*** DISCONNECTED");
  EXPECT_NE(got.find(Utf8ToCp932("接続を拒否されました")), std::string::npos) << got;
  p->SendText("C JA1BBS\r");
  got = ReadUntil(*p, "*** DISCONNECTED");
  EXPECT_NE(got.find(Utf8ToCp932("接続を拒否されました")), std::string::npos) << got;
}

TEST(TelnetFarSide, HostileOrSilentServersEndInAClearState) {
  const std::string flood = [] {
    std::string s;
    for (int i = 0; i < 2000; ++i) s += "\xff\xfb\x01";
    return s;
  }();
  struct Case {
    const char* name;
    std::string script;
    bool close;
    const char* expect;
  } cases[] = {
      {"option flood", flood, false, "floods telnet option negotiation"},
      {"closes during login", "Callsign :", true, "Callsign :"},
      {"refused login", "Password :Login refused\r\n", true, "Login refused\r\n*** DISCONNECTED"},
  };
  for (const Case& c : cases) {
    ScriptServer server(c.script, c.close);
    CSystemClock clock;
    const std::string name = "telnet://127.0.0.1:" + std::to_string(server.Port());
    CTnc2Port port(clock,
                   std::make_unique<CTelnetFarSide>(name, "127.0.0.1", server.Port(), [](FileFault&) { return "pw"; }),
                   STnc2Options{});
    port.Open("COM1");
    port.SendText("C BBS\r");
    std::string got = ReadUntil(port, "*** DISCONNECTED");
    EXPECT_NE(got.find("*** CONNECTED to BBS"), std::string::npos) << c.name << ": " << got;
    EXPECT_NE(got.find(c.expect), std::string::npos) << c.name << ": " << got;
    EXPECT_NE(got.find("*** DISCONNECTED\r\ncmd:"), std::string::npos) << c.name << ": " << got;
  }
}

TEST(TelnetFarSide, AnswersTheLoginRefusesOptionsAndDoublesIac) {
  ScriptServer server(
      "\xff\xfd\x18\xff\xfb\x01"
      "Callsign :",
      false);
  CSystemClock clock;
  const std::string name = "telnet://127.0.0.1:" + std::to_string(server.Port());
  CTnc2Port port(clock,
                 std::make_unique<CTelnetFarSide>(name, "127.0.0.1", server.Port(), [](FileFault&) { return "pw"; }),
                 STnc2Options{});
  port.Open("COM1");
  port.SendText("MYCALL JA1XYZ-3\rC BBS\r");
  std::string got = ReadUntil(port, "Callsign :");
  EXPECT_EQ(got.find('\xff'), std::string::npos) << "IAC sequences are taken out";
  port.SendText("\xff\r");
  ReadUntil(port, "never");
  EXPECT_EQ(server.Received(),
            "\xff\xfc\x18\xff\xfe\x01"
            "JA1XYZ-3\r\n\xff\xff\r\n");
}

}  // namespace
}  // namespace nami
