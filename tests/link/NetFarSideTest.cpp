// The AGWPE and telnet links of the built-in TNC2 against scripted servers
// on real sockets: what a broken or hostile server leads to on the terminal.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

// An AGWPE server that registers the call, takes the connect and answers
// the outstanding-frame queries with `held` frames `heldAnswers` times, then
// 0; it notes each frame kind it gets, and "0" where it first answered 0.
class AgwPeer {
 public:
  explicit AgwPeer(int heldAnswers) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 1);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, heldAnswers] {
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      timeval tv{0, 100000};
      ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
      agw::CDecoder decoder;
      int answers = 0;
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(8);
      while (std::chrono::steady_clock::now() < end && kinds_.find('d') == std::string::npos) {
        char buf[4096];
        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n == 0) break;
        if (n > 0) decoder.Feed(std::string_view(buf, static_cast<std::size_t>(n)));
        agw::SFrame f;
        std::string error;
        while (decoder.Next(f, error) == agw::CDecoder::Result::Frame) {
          kinds_ += f.kind;
          std::string reply;
          if (f.kind == 'X') reply = AgwFrame('X', f.from, "", "\x01");
          if (f.kind == 'C') reply = AgwFrame('C', f.to, f.from, "*** CONNECTED With Station " + f.to + "\r");
          if (f.kind == 'Y') {
            const bool held = answers++ < heldAnswers;
            if (!held) kinds_ += '0';
            reply = AgwFrame('Y', f.from, f.to, std::string(held ? "\x01" : "\x00", 1) + std::string(3, '\0'));
          }
          if (f.kind == 'd') reply = AgwFrame('d', f.to, f.from, "*** DISCONNECTED From Station " + f.to + "\r");
          ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
      }
      ::close(c);
    });
  }
  ~AgwPeer() {
    ::shutdown(fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(fd_);
  }
  int Port() const { return port_; }
  // Waits for the connection's end (the disconnect, or 8 s).
  std::string Kinds() {
    if (thread_.joinable()) thread_.join();
    return kinds_;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::string kinds_;
};

// The log-off "B" followed at once by DISCONNECT: the disconnect request
// goes to the server only once it reports nothing outstanding, so the BBS
// gets the "B" before the link ends.
TEST(AgwFarSide, DisconnectWaitsUntilTheServerHasDeliveredWhatWasQueued) {
  AgwPeer server(2);
  CSystemClock clock;
  auto port = AgwPort(clock, server.Port());
  ReadUntil(*port, "cmd:");
  port->SendText("C JA1BBS\r");
  ASSERT_NE(ReadUntil(*port, "*** CONNECTED").find("*** CONNECTED to JA1BBS"), std::string::npos);
  port->SendText("B\r\x03" "D\r");
  const std::string got = ReadUntil(*port, "*** DISCONNECTED");
  EXPECT_NE(got.find("*** DISCONNECTED"), std::string::npos) << got;
  const std::string kinds = server.Kinds();
  const std::size_t data = kinds.find('D');
  const std::size_t zero = kinds.find('0');
  ASSERT_NE(data, std::string::npos) << kinds;
  ASSERT_NE(zero, std::string::npos) << kinds;
  EXPECT_EQ(kinds.find('d'), zero + 1) << "no disconnect before the queue was empty: " << kinds;
}

// A server sending far faster than the terminal reads: the TNC holds at
// most its bound for the terminal and the rest waits in the network.
TEST(NetLinks, AFloodingServerIsReadNoFasterThanTheTerminalTakesIt) {
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(listener, 1);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  std::atomic<bool> stop{false};
  std::thread flood([&] {
    int c = ::accept(listener, nullptr, nullptr);
    if (c < 0) return;
    timeval tv{0, 100000};
    ::setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    const std::string line = std::string(78, 'x') + "\r\n";
    std::string chunk;
    while (chunk.size() < 65536) chunk += line;
    while (!stop) ::send(c, chunk.data(), chunk.size(), MSG_NOSIGNAL);
    ::close(c);
  });
  CSystemClock clock;
  const int serverPort = ntohs(a.sin_port);
  CTnc2Port port(clock,
                 std::make_unique<CTelnetFarSide>("telnet://127.0.0.1", "127.0.0.1", serverPort,
                                                  [](FileFault&) { return ""; }),
                 STnc2Options{});
  port.Open("COM1");
  port.SendText("C BBS\r");
  ReadUntil(port, "*** CONNECTED");
  std::size_t most = 0;
  std::size_t read = 0;
  for (int i = 0; i < 3000; ++i) {
    char buf[4096];
    read += port.ReadAvailable(buf, sizeof buf);
    most = std::max(most, port.Engine().PendingOutput());
    if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  stop = true;
  port.Close();
  ::shutdown(listener, SHUT_RDWR);
  flood.join();
  ::close(listener);
  EXPECT_GT(read, 4u << 20) << "the text kept flowing";
  EXPECT_LE(most, CTnc2Engine::kMaxPendingOutput + 65536) << "held for the terminal";
}

}  // namespace
}  // namespace nami
