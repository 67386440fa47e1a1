// A real station on each network link kind against a hostile peer on a real
// loopback socket, one table per kind: an AGWPE server and a KISS peer that
// stop taking the mail, a telnet BBS that asks for the password in the
// session or echoes it. The station runs on a manual clock as the shell
// drives it; the peer is polled in the same loop, so every row is exact.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "ax25/Frame.h"
#include "ax25/Kiss.h"
#include "link/Agw.h"
#include "support/StationRig.h"

namespace nami::test {
namespace {

// One TCP connection on 127.0.0.1, accepted and read without blocking.
class LoopbackPeer {
 public:
  LoopbackPeer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_, 2);
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~LoopbackPeer() {
    if (fd_ >= 0) ::close(fd_);
    ::close(listen_);
  }
  int Port() const { return port_; }
  // What arrived since the last call (accepting the connection first).
  std::string Read() {
    if (fd_ < 0) {
      fd_ = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd_ < 0) return {};
      const int one = 1;
      ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    std::string got;
    char buf[65536];
    for (ssize_t n; (n = ::recv(fd_, buf, sizeof buf, 0)) > 0;) got.append(buf, static_cast<std::size_t>(n));
    total_ += got.size();
    if (received_.size() < (1u << 20)) received_ += got;
    return got;
  }
  bool Accepted() const { return fd_ >= 0; }
  void Write(const std::string& bytes) {
    for (std::size_t at = 0; fd_ >= 0 && at < bytes.size();) {
      const ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
  }
  // Every byte nami sent, and how many.
  const std::string& Received() const { return received_; }
  std::size_t Total() const { return total_; }

 private:
  int listen_ = -1;
  int fd_ = -1;
  int port_ = 0;
  std::string received_;
  std::size_t total_ = 0;
};

// A station whose COM2 is `device`, with the BBS JA1BBS and its prompt
// "JA1BBS>", a short watchdog and an 8 KB mail queued.
struct LinkStation {
  LinkStation(const std::string& device, int watchdogSeconds, PasswordLookup password = {})
      : settings(dir.File("NAMI.INI")), clock(1796680000), station(settings, clock, false, std::move(password)) {
    station.SetEvents(&shell);
    settings.SetMyCall("JA1XYZ");
    settings.Set(keys::Call, "JA1BBS");
    settings.Set(keys::Prompt, "JA1BBS>");
    settings.Set(keys::Field[0], "L");
    settings.Set(keys::ListFile, dir.File("list.log"));
    settings.Set(keys::MailFile, dir.File("mail.log"));
    settings.Set(keys::Watchdog, std::to_string(watchdogSeconds));
    settings.SetDevicePath("COM2", device);
    settings.Set(keys::ComStatus, "COM2:9600,n,8,1,n");
    std::string mail = "SP JA1ABC\r\nA long mail\r\n";
    while (mail.size() < 8192) mail += "This line of the mail is one of many that make it long.\r\n";
    WriteFile(dir.File("mail.txt"), mail);
    settings.Set(keys::Send[0], dir.File("mail.txt"));
    station.NewDocument();
  }
  // 50 ms of the shell's loop (the send engine's passes, the station's
  // tick), then the peer's turn.
  void Cycle(const std::function<void()>& peer) {
    for (int i = 0; i < 10; ++i) {
      clock.AdvanceMs(5);
      station.Doc().Sending().Run();
    }
    station.Tick();
    peer();
  }
  // Runs until `done` or `ms` of simulated time; the time it took.
  int RunUntil(const std::function<bool()>& done, const std::function<void()>& peer, int ms) {
    int t = 0;
    for (; t < ms && !done(); t += 50) Cycle(peer);
    return t;
  }
  // The terminal's lines and the line being received.
  std::string Text() {
    std::string all;
    for (std::size_t i = 0; i < station.Doc().Lines().LineCount(); ++i) all += station.Doc().Lines().LineAt(i) + "\n";
    return all + station.Core().CurrentLine();
  }

  TempDir dir;
  CSettings settings;
  RecordingShell shell;
  CManualClock clock;
  CStation station;
};

// ---- AGWPE ----

std::string Agw(char kind, const std::string& from, const std::string& to, const std::string& data = {}) {
  agw::SFrame f;
  f.kind = kind;
  f.from = from;
  f.to = to;
  f.data = data;
  if (kind == 'D') f.pid = 0xF0;
  return agw::Encode(f);
}

// An AGWPE server with JA1BBS on its radio port, whose outstanding-frame
// count ('Y') never falls: each frame nami sends stays "on the air".
class AgwServer {
 public:
  void Poll() {
    decoder_.Feed(peer.Read());
    agw::SFrame f;
    std::string error;
    while (decoder_.Next(f, error) == agw::CDecoder::Result::Frame) {
      kinds += f.kind;
      switch (f.kind) {
        case 'X':
          peer.Write(Agw('X', f.from, "", std::string(1, '\x01')));
          break;
        case 'G':
          peer.Write(Agw('G', "", "", "1;Port1 test;"));
          break;
        case 'C':
          peer.Write(Agw('C', "JA1BBS", "JA1XYZ", "*** CONNECTED With Station JA1BBS\r"));
          peer.Write(Agw('D', "JA1BBS", "JA1XYZ", "Welcome\rJA1BBS>\r"));
          break;
        case 'D':
          ++dataFrames_;
          break;
        case 'd':
          peer.Write(Agw('d', "JA1BBS", "JA1XYZ", "*** DISCONNECTED From Station JA1BBS\r"));
          break;
        case 'Y': {
          const std::string count = {static_cast<char>(dataFrames_ & 0xFF), static_cast<char>(dataFrames_ >> 8 & 0xFF),
                                     0, 0};
          peer.Write(Agw('Y', "JA1XYZ", "JA1BBS", count));
          break;
        }
        default:
          break;
      }
    }
  }
  LoopbackPeer peer;
  std::string kinds;  // the kind letters of every frame nami sent, in order

 private:
  agw::CDecoder decoder_;
  unsigned dataFrames_ = 0;
};

TEST(HostilePeer, AgwServerWhoseQueueNeverFallsEndsTheRunAsNoAnswerAndLogsOff) {
  AgwServer server;
  LinkStation st("agw://127.0.0.1:" + std::to_string(server.peer.Port()) + "/0", 10);
  CAutopilot& pilot = st.station.Autopilot();
  const auto poll = [&] { server.Poll(); };
  st.station.Run(AutoCommand::AutoMode);
  st.RunUntil([&] { return pilot.State().Phase() == RunPhase::Stepping && st.station.Sending(); }, poll, 10000);
  ASSERT_TRUE(st.station.Sending()) << st.Text();
  const int took = st.RunUntil([&] { return !pilot.Busy(); }, poll, 30000);
  EXPECT_LE(took, 11000) << "the run ends within the watchdog's time";
  EXPECT_EQ(pilot.LastEnd().outcome, RunOutcome::NoAnswer) << DescribeRunEnd(pilot.LastEnd());
  EXPECT_EQ(pilot.LastEnd().detail, "nothing received and nothing sent for 10 s");
  st.RunUntil([] { return false; }, poll, 500);
  EXPECT_NE(server.kinds.rfind('d'), std::string::npos) << "logged off: the server was asked to disconnect";
}

// ---- KISS ----

// A KISS TNC whose station JA1BBS answers the call and sends its prompt,
// then treats nami's I frames as the row says.
class KissPeer {
 public:
  enum class Kind { NeverAcks, BusyForEver, RejectsEverything };
  explicit KissPeer(Kind kind) : kind_(kind) {}

  void Poll() {
    std::vector<std::string> frames;
    deframer_.Feed(peer.Read(), frames);
    for (const std::string& bytes : frames) {
      const auto f = ax25::Decode(bytes);
      if (!f) continue;
      if (f->kind == ax25::EKind::SABM) {
        Send(ax25::EKind::UA, false, f->pf);
        ax25::SFrame i = Frame(ax25::EKind::I, true, false);
        i.info = "Welcome\rJA1BBS>\r";
        Send(i);
      } else if (f->kind == ax25::EKind::DISC) {
        Send(ax25::EKind::UA, false, f->pf);
        ++discs;
      } else if (f->kind == ax25::EKind::I) {
        ++iFrames;
        if (kind_ == Kind::RejectsEverything) Send(ax25::EKind::REJ, false, false);
        if (kind_ == Kind::BusyForEver) Send(ax25::EKind::RNR, false, false);
      } else if (f->IsCommand() && f->pf) {
        // A poll: answered, and nothing ever acknowledged.
        Send(kind_ == Kind::BusyForEver         ? ax25::EKind::RNR
             : kind_ == Kind::RejectsEverything ? ax25::EKind::REJ
                                                : ax25::EKind::RR,
             false, true);
      }
    }
  }
  LoopbackPeer peer;
  int iFrames = 0;
  int discs = 0;

 private:
  ax25::SFrame Frame(ax25::EKind kind, bool command, bool pf) const {
    ax25::SFrame f;
    f.dest = *ax25::SAddress::Parse("JA1XYZ");
    f.src = *ax25::SAddress::Parse("JA1BBS");
    f.kind = kind;
    f.SetCommand(command);
    f.pf = pf;
    f.nr = 0;  // nami's frames are never taken
    f.ns = 0;
    return f;
  }
  void Send(ax25::EKind kind, bool command, bool pf) { Send(Frame(kind, command, pf)); }
  void Send(const ax25::SFrame& f) { peer.Write(ax25::KissWrap(ax25::Encode(f))); }

  Kind kind_;
  ax25::CKissDeframer deframer_;
};

TEST(HostilePeer, KissPeersThatTakeNothingEndTheRunWithinItsLimit) {
  struct Case {
    const char* name;
    KissPeer::Kind kind;
    int watchdog;
    RunOutcome outcome;
    const char* detail;  // in the run's end
    int limitMs;         // from the first I frame
  };
  const Case cases[] = {
      {"never acknowledges", KissPeer::Kind::NeverAcks, 10, RunOutcome::NoAnswer,
       "nothing received and nothing sent for 10 s", 11000},
      {"busy for ever", KissPeer::Kind::BusyForEver, 10, RunOutcome::NoAnswer,
       "nothing received and nothing sent for 10 s", 11000},
      // The watchdog left long: the link itself gives up on the peer.
      {"rejects every frame", KissPeer::Kind::RejectsEverything, 600, RunOutcome::LinkLost,
       "JA1BBS keeps rejecting: 10 retransmissions without an acknowledgement", 300000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    KissPeer peer(c.kind);
    LinkStation st("kiss://127.0.0.1:" + std::to_string(peer.peer.Port()) + "/0", c.watchdog);
    CAutopilot& pilot = st.station.Autopilot();
    const auto poll = [&] { peer.Poll(); };
    st.station.Run(AutoCommand::AutoMode);
    st.RunUntil([&] { return peer.iFrames > 0; }, poll, 20000);
    ASSERT_GT(peer.iFrames, 0) << st.Text();
    // A peer answering every frame with REJs must not make nami resend
    // without end: give up on a flood instead of running out of memory.
    const int took =
        st.RunUntil([&] { return !pilot.Busy() || peer.peer.Total() > (4u << 20); }, poll, c.limitMs + 5000);
    EXPECT_LT(peer.peer.Total(), 256u * 1024) << "bytes nami sent to the TNC";
    EXPECT_LE(took, c.limitMs);
    EXPECT_EQ(pilot.LastEnd().outcome, c.outcome) << DescribeRunEnd(pilot.LastEnd());
    EXPECT_NE(pilot.LastEnd().detail.find(c.detail), std::string::npos) << pilot.LastEnd().detail;
    if (c.outcome == RunOutcome::NoAnswer) {
      // Logged off as far as the link allows: the second DISCONNECT lets go
      // of the unacknowledged mail and calls DISC at once.
      st.RunUntil([&] { return peer.discs > 0; }, poll, 10000);
      EXPECT_GT(peer.discs, 0);
    }
  }
}

// ---- telnet ----

constexpr const char* kPassword = "s3cr3t-pw";

// A telnet BBS that plays `script`: a step waits until nami has sent
// `after` in the session and then sends `say`; one step per turn, so each
// reaches nami in a read of its own.
class TelnetBbs {
 public:
  struct Step {
    std::string after;
    std::string say;
  };
  explicit TelnetBbs(std::vector<Step> script) : script_(std::move(script)) {}
  void Poll() {
    peer.Read();
    if (peer.Accepted() && next_ < script_.size() && peer.Received().find(script_[next_].after) != std::string::npos)
      peer.Write(script_[next_++].say);
  }
  LoopbackPeer peer;

 private:
  std::vector<Step> script_;
  std::size_t next_ = 0;
};

TEST(HostilePeer, TelnetPasswordIsOnlyGivenAtLoginAndNeverShown) {
  struct Case {
    const char* name;
    std::vector<TelnetBbs::Step> script;
    std::string sent;   // what nami sent to the BBS, in the order the BBS asked
    const char* shown;  // on the terminal
  };
  const Case cases[] = {
      {"password asked after the login",
       {{"", "Callsign : "}, {"JA1XYZ\r\n", "Welcome\r\nJA1BBS>\r\n"}, {"", "Change your password: "}},
       "JA1XYZ\r\n",
       "Change your password: "},
      {"login asked after the BBS prompt", {{"", "Welcome\r\nJA1BBS>"}, {"", "\r\nlogin: "}}, "", "login: "},
      {"password echoed in two pieces",
       {{"", "Callsign : "},
        {"JA1XYZ\r\n", "Password : "},
        {std::string(kPassword) + "\r\n", "s3cr"},
        {"", "3t-pw\r\nJA1BBS>\r\n"}},
       "JA1XYZ\r\n" + std::string(kPassword) + "\r\n",
       "Password : ********"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TelnetBbs bbs(c.script);
    LinkStation st("telnet://127.0.0.1:" + std::to_string(bbs.peer.Port()), 10,
                   [](const std::string&, FileFault&) { return std::string(kPassword); });
    ASSERT_TRUE(st.station.Capture(st.dir.File("capture.txt")));
    const auto poll = [&] { bbs.Poll(); };
    st.station.Run(AutoCommand::Connect);
    st.RunUntil([] { return false; }, poll, 3000);
    EXPECT_EQ(bbs.peer.Received(), c.sent);
    const std::string text = st.Text() + st.station.Doc().Lines().LastLine();
    EXPECT_NE(text.find(c.shown), std::string::npos) << text;
    st.station.StopTransfer(CStation::Transfer::Capture);
    for (const std::string& seen : {text, ReadFile(st.dir.File("capture.txt"))}) {
      EXPECT_EQ(seen.find("s3cr"), std::string::npos) << seen;
    }
  }
}

}  // namespace
}  // namespace nami::test
