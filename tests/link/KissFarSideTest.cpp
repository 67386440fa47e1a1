// The built-in TNC2 on a KISS TNC over real TCP: a test TNC on a loopback
// socket whose far end is a station running our own data link, so what nami
// sends crosses KISS framing, AX.25 encoding and the link both ways.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>

#include "ax25/DataLink.h"
#include "ax25/Frame.h"
#include "ax25/Kiss.h"
#include "link/KissFarSide.h"
#include "link/LinkAddress.h"
#include "link/LinkPort.h"
#include "link/Tnc2Engine.h"
#include "text/Cp932.h"

namespace nami {
namespace {

using namespace std::string_literals;

// A KISS TNC on 127.0.0.1 whose radio side is a station JA1BBS.
class CTestTnc final : public ax25::IDataLinkEvents {
 public:
  explicit CTestTnc(IClock& clock) : station(clock, *this) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listenFd_, 4);
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    ax25::SLinkParams p;
    p.conOk = true;
    p.t2Ms = 100;
    station.SetParams(p);
    station.SetMyCall(*ax25::SAddress::Parse("JA1BBS"));
  }
  ~CTestTnc() override {
    if (fd_ >= 0) ::close(fd_);
    ::close(listenFd_);
  }

  void Poll() {
    if (fd_ < 0) {
      fd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK);
      if (fd_ < 0) return;
      const int one = 1;  // the test runs faster than TCP's delayed acknowledgement
      ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    Flush();
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd_, buf, sizeof buf, 0)) > 0) {
      raw.append(buf, static_cast<std::size_t>(n));
      std::vector<std::string> frames;
      deframer_.Feed(std::string_view(buf, static_cast<std::size_t>(n)), frames);
      for (const auto& f : frames) {
        auto frame = ax25::Decode(f);
        ASSERT_TRUE(frame) << "nami sent a frame that does not decode";
        heard.push_back(*frame);
        if (digipeat)
          for (auto& d : frame->digis) d.bit = true;
        if (!silent) station.Receive(*frame);
      }
    }
    station.Tick();
  }
  // Queued; what the socket does not take now goes at the next Poll.
  void SendRaw(const std::string& bytes) {
    out_ += bytes;
    Flush();
  }
  void Flush() {
    while (fd_ >= 0 && !out_.empty()) {
      const ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
      if (n <= 0) break;
      out_.erase(0, static_cast<std::size_t>(n));
    }
  }
  void Hangup() {
    ::close(fd_);
    fd_ = -1;
  }

  // ax25::IDataLinkEvents
  void Transmit(const ax25::SFrame& f) override {
    ax25::SFrame copy = f;
    if (digipeat)
      for (auto& d : copy.digis) d.bit = true;
    SendRaw(ax25::KissWrap(ax25::Encode(copy)));
  }
  void OnConnected(const ax25::SAddress&, bool) override { events += "connected;"; }
  void OnDisconnected() override { events += "disconnected;"; }
  void OnBusy(const ax25::SAddress&) override { events += "busy;"; }
  void OnRetryExceeded() override { events += "retry;"; }
  void OnFailure(const std::string&) override { events += "failure;"; }
  void OnData(std::string_view bytes) override { received.append(bytes); }

  int port = 0;
  ax25::CDataLink station;
  std::string raw;       // every byte nami sent
  std::string received;  // what the station got on the link
  std::string events;
  std::vector<ax25::SFrame> heard;
  bool silent = false;    // hears nothing (a station that is not there)
  bool digipeat = false;  // plays the digipeaters of the path, both ways

 private:
  int listenFd_ = -1;
  int fd_ = -1;
  std::string out_;
  ax25::CKissDeframer deframer_;
};

// nami's TNC2 engine on a KISS far side connected to the test TNC.
class CRig {
 public:
  CRig() : tnc(clock) {}

  void Start(const std::string& device = {}) {
    std::string error;
    auto ep = ParseKissDevice(device.empty() ? "kiss://127.0.0.1:" + std::to_string(tnc.port) : device, &error);
    ASSERT_TRUE(ep) << error;
    far = std::make_unique<CKissFarSide>(clock, *ep, MakeTcpStream(ep->host, ep->port, ep->ToString()));
    STnc2Options o;
    o.myCall = "JA1ABC";
    engine = std::make_unique<CTnc2Engine>(*far, clock, o);
    engine->PowerOn();
    Run(100);
  }
  // Advances the clock in 10 ms steps, collecting what the TNC2 prints.
  void Run(std::int64_t ms) {
    for (std::int64_t t = 0; t < ms; t += 10) {
      tnc.Poll();
      engine->TakeDue(out, 1 << 20);
      clock.AdvanceMs(10);
    }
  }
  bool RunUntil(const std::string& text, std::int64_t ms) {
    for (std::int64_t t = 0; t < ms; t += 10) {
      Run(10);
      if (out.find(text) != std::string::npos) return true;
    }
    return false;
  }
  void Type(const std::string& s) { engine->Receive(s); }

  CManualClock clock;
  CTestTnc tnc;
  std::unique_ptr<CKissFarSide> far;
  std::unique_ptr<CTnc2Engine> engine;
  std::string out;
};

TEST(KissFarSide, ConnectTalkAndDisconnectOverTcp) {
  CRig rig;
  rig.Start();
  EXPECT_NE(rig.out.find("nami TNC2 on kiss://127.0.0.1:" + std::to_string(rig.tnc.port) + "/0"), std::string::npos)
      << rig.out;
  rig.Type("CONNECT JA1BBS\r");
  ASSERT_TRUE(rig.RunUntil("*** CONNECTED to JA1BBS", 5000)) << rig.out;
  // The KISS parameters went to the TNC before the first frame.
  EXPECT_EQ(rig.tnc.raw.substr(0, 16), "\xC0\x01\x1E\xC0\xC0\x02\x3F\xC0\xC0\x03\x0A\xC0\xC0\x05\x00\xC0"s);
  // Parameters changed later go to the TNC at once.
  rig.Type("\x03");
  rig.Type("TXDELAY 20\rFULLDUP ON\rCONV\r");
  rig.Run(100);
  EXPECT_NE(rig.tnc.raw.find("\xC0\x01\x14\xC0\xC0\x05\x01\xC0"s), std::string::npos);
  rig.Type("hello BBS\r");
  rig.Type(std::string(600, 'x') + "\r");
  rig.Run(3000);
  EXPECT_EQ(rig.tnc.received, "hello BBS\r" + std::string(600, 'x') + "\r");
  EXPECT_EQ(rig.far->OutstandingBytes(), 0u);
  ASSERT_TRUE(rig.tnc.station.Send("Welcome to the BBS\r"));
  ASSERT_TRUE(rig.RunUntil("Welcome to the BBS", 3000)) << rig.out;
  rig.Type("\x03");
  rig.Type("D\r");
  ASSERT_TRUE(rig.RunUntil("*** DISCONNECTED", 5000)) << rig.out;
  EXPECT_EQ(rig.tnc.events, "connected;disconnected;");
}

TEST(KissFarSide, StatusLinesComeFromTheLinksEvents) {
  const struct {
    const char* what;
    bool silent;
    bool conOk;
    const char* commands;
    const char* expected;
  } cases[] = {
      {"nobody answers", true, true, "RETRY 2\rFRACK 1\rC JA1BBS\r", "*** retry count exceeded\r\n*** DISCONNECTED"},
      {"station busy", false, false, "C JA1BBS\r", "*** JA1BBS busy\r\n*** DISCONNECTED"},
      {"by digipeater", false, true, "C JA1BBS VIA JA1DIG\r", "*** CONNECTED to JA1BBS VIA JA1DIG"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CRig rig;
    auto& tnc = rig.tnc;
    tnc.silent = c.silent;
    ax25::SLinkParams p = tnc.station.Params();
    p.conOk = c.conOk;
    tnc.station.SetParams(p);
    rig.Start();
    tnc.digipeat = true;
    rig.Type(c.commands);
    EXPECT_TRUE(rig.RunUntil(c.expected, 30000)) << rig.out;
  }
}

TEST(KissFarSide, IncomingConnectAnsweredOnlyWithConok) {
  CRig rig;
  rig.Start();
  rig.tnc.station.Connect(*ax25::SAddress::Parse("JA1ABC"));
  rig.Run(500);
  EXPECT_EQ(rig.tnc.events, "busy;");  // CONOK is off by default
  rig.Type("CONOK ON\r");
  rig.Run(100);
  rig.tnc.station.Connect(*ax25::SAddress::Parse("JA1ABC"));
  ASSERT_TRUE(rig.RunUntil("*** CONNECTED to JA1BBS", 3000)) << rig.out;
}

TEST(KissFarSide, MonitorPrintsHeardFrames) {
  CRig rig;
  rig.Start();
  rig.Type("MONITOR ON\r");
  rig.Run(100);
  ax25::SFrame ui;
  ui.dest = *ax25::SAddress::Parse("BEACON");
  ui.src = *ax25::SAddress::Parse("JA1QQQ-7");
  ui.digis = {*ax25::SAddress::Parse("JA1DIG")};
  ui.digis[0].bit = true;
  ui.info = "hello all";
  rig.tnc.SendRaw(ax25::KissWrap(ax25::Encode(ui)));
  EXPECT_TRUE(rig.RunUntil("JA1QQQ-7>BEACON,JA1DIG*:hello all", 1000)) << rig.out;
}

TEST(KissFarSide, GarbageFromTheTncIsDroppedAndCounted) {
  CRig rig;
  rig.Start();
  rig.Type("C JA1BBS\r");
  ASSERT_TRUE(rig.RunUntil("*** CONNECTED to JA1BBS", 5000)) << rig.out;
  // Garbage between FENDs, a short frame, an address without end bit, an
  // over-long frame, a bad escape, another port.
  std::string noEnd(20, static_cast<char>('A' << 1));
  rig.tnc.SendRaw("\xC0\x00garbage\xC0\xC0\x00\x01\x02\xC0"s + ax25::KissWrap(noEnd) +
                  ax25::KissWrap(std::string(100000, 'x')) + "\xC0\x00\xDB\x41\xC0"s + ax25::KissWrap("abc", 3));
  rig.Run(500);
  const auto counts = rig.far->Counts();
  EXPECT_EQ(counts.badFrames, 3u);    // garbage, short, no end bit
  EXPECT_EQ(counts.kissDropped, 3u);  // over-long, bad escape, port 3
  // The link goes on as if nothing happened.
  rig.tnc.station.Send("still here\r");
  EXPECT_TRUE(rig.RunUntil("still here", 3000)) << rig.out;
}

TEST(KissFarSide, TncClosingMidFrameEndsTheLink) {
  CRig rig;
  rig.Start();
  rig.Type("C JA1BBS\r");
  ASSERT_TRUE(rig.RunUntil("*** CONNECTED to JA1BBS", 5000)) << rig.out;
  rig.tnc.SendRaw("\xC0\x00half a fr"s);
  rig.Run(50);
  rig.tnc.Hangup();
  ASSERT_TRUE(rig.RunUntil("*** DISCONNECTED", 2000)) << rig.out;
  EXPECT_NE(rig.out.find(Utf8ToCp932("サーバーが接続を閉じました")), std::string::npos) << rig.out;
  EXPECT_EQ(rig.far->Counts().kissDropped, 1u);
}

TEST(KissFarSide, UnreachableTncIsNamedInTheMessage) {
  CRig rig;
  rig.Start("kiss://127.0.0.1:1");
  rig.Type("C JA1BBS\r");
  ASSERT_TRUE(rig.RunUntil("*** DISCONNECTED", 2000)) << rig.out;
  EXPECT_NE(rig.out.find(Utf8ToCp932("*** kiss://127.0.0.1:1/0: 接続を拒否されました")), std::string::npos) << rig.out;
}

TEST(KissFarSide, SerialDeviceCarriesKiss) {
  // A pseudo-terminal stands in for the TNC's serial port.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  CManualClock clock;
  const auto ep = ParseKissDevice("kiss:" + slave);
  ASSERT_TRUE(ep);
  CKissFarSide far(clock, *ep, MakeSerialStream(slave, "COM4:9600,n,8,1,n"));
  STnc2Options o;
  o.myCall = "JA1ABC";
  CTnc2Engine engine(far, clock, o);
  engine.PowerOn();
  engine.Receive("MONITOR ON\r");
  std::string out, fromNami;
  ax25::SFrame ui;
  ui.dest = *ax25::SAddress::Parse("ID");
  ui.src = *ax25::SAddress::Parse("JA1QQQ");
  ui.info = "on the air";
  const std::string frame = ax25::KissWrap(ax25::Encode(ui));
  ASSERT_EQ(::write(master, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  for (int i = 0; i < 200 && out.find("JA1QQQ>ID:on the air") == std::string::npos; ++i) {
    char buf[256];
    ssize_t n;
    while ((n = ::read(master, buf, sizeof buf)) > 0) fromNami.append(buf, static_cast<std::size_t>(n));
    engine.TakeDue(out, 1 << 20);
    clock.AdvanceMs(10);
    ::usleep(1000);
  }
  EXPECT_NE(out.find("JA1QQQ>ID:on the air"), std::string::npos) << out;
  EXPECT_EQ(fromNami.substr(0, 4), "\xC0\x01\x1E\xC0"s);  // TXDELAY first
  ::close(master);
}

TEST(KissFarSide, ACommPortNamingKissGetsTheTnc2OnIt) {
  CManualClock clock;
  CTestTnc tnc(clock);
  SLinkHooks hooks;
  const std::string value = "kiss://127.0.0.1:" + std::to_string(tnc.port);
  hooks.device = [&](const std::string& com) { return com == "COM2" ? value : std::string(); };
  hooks.myCall = [] { return std::string("JA1ABC"); };
  CLinkPort port(clock, hooks);
  ASSERT_TRUE(port.Open("COM2:9600,n,8,1,n")) << port.Failure();
  EXPECT_EQ(port.Kind(), LinkKind::Kiss);
  std::string out;
  auto run = [&](const std::string& until) {
    for (int i = 0; i < 1000 && out.find(until) == std::string::npos; ++i) {
      tnc.Poll();
      char buf[512];
      out.append(buf, port.ReadAvailable(buf, sizeof buf));
      clock.AdvanceMs(10);
    }
    return out.find(until) != std::string::npos;
  };
  ASSERT_TRUE(run("cmd:")) << out;
  EXPECT_NE(out.find(value + "/0"), std::string::npos) << out;
  port.SendText("C JA1BBS\r");
  ASSERT_TRUE(run("*** CONNECTED to JA1BBS")) << out;
  // The transmit queue counts what the peer has not yet acknowledged
  // (beyond the two windows the TNC2 keeps ready).
  port.SendText(std::string(3000, 'm') + "\r");
  clock.AdvanceMs(1100);  // PACTIME: the bytes go out as packets
  port.ReadAvailable(nullptr, 0);
  EXPECT_GT(port.TransmitQueueCount(), 0);
  run("never");
  EXPECT_EQ(port.TransmitQueueCount(), 0);
  EXPECT_EQ(tnc.received, std::string(3000, 'm') + "\r");
}

// A TNC that takes nothing nami writes (its end of the stream stopped
// reading) while its station still answers each poll: what waits for it
// stays within the cap, however long the link keeps trying.
class CStuckStream final : public IByteStream {
 public:
  bool Open(std::string&) override {
    open_ = true;
    return true;
  }
  bool Poll(std::string&) override { return true; }
  bool Read(std::string& into, std::size_t, std::string&) override {
    into += std::exchange(in, {});
    return true;
  }
  void Write(std::string_view bytes) override { written += bytes.size(); }
  std::size_t Unsent() const override { return written; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  int Fd() const override { return -1; }

  std::string in;           // what the TNC hands nami next
  std::size_t written = 0;  // every byte nami left for it

 private:
  bool open_ = false;
};

TEST(KissFarSide, WhatWaitsForATncThatTakesNothingStaysWithinTheCap) {
  CManualClock clock;
  auto owned = std::make_unique<CStuckStream>();
  CStuckStream& tnc = *owned;
  CKissFarSide far(clock, *ParseKissDevice("kiss://stuck"), std::move(owned));
  STnc2Options o;
  o.myCall = "JA1ABC";
  CTnc2Engine engine(far, clock, o);
  engine.PowerOn();
  engine.Receive("C JA1BBS\r");
  const auto answer = [&](ax25::EKind kind) {
    ax25::SFrame f;
    f.dest = *ax25::SAddress::Parse("JA1ABC");
    f.src = *ax25::SAddress::Parse("JA1BBS");
    f.kind = kind;
    f.SetCommand(false);
    f.pf = true;
    tnc.in += ax25::KissWrap(ax25::Encode(f));
  };
  std::string out;
  bool sent = false;
  for (int t = 0; t < 20 * 60 * 1000; t += 10) {
    if (far.Link().State() == ax25::ELinkState::AwaitingConnection) answer(ax25::EKind::UA);
    if (far.Link().State() == ax25::ELinkState::TimerRecovery) answer(ax25::EKind::RR);  // nothing acknowledged
    engine.TakeDue(out, 1 << 20);
    if (!sent && engine.Connected()) {
      engine.Receive(std::string(4000, 'm') + "\r");
      sent = true;
    }
    clock.AdvanceMs(10);
  }
  ASSERT_TRUE(sent) << out;
  EXPECT_GT(far.Counts().framesHeld, 0u);
  EXPECT_LE(tnc.written, CKissFarSide::kMaxUnsent + 400);  // the cap and the last frame over it
}

TEST(KissDevice, LinkAddressesNameKissTncs) {
  const struct {
    const char* value;
    LinkKind kind;
    const char* text;  // normal form, or the error's end
  } cases[] = {
      {"kiss://localhost", LinkKind::Kiss, "kiss://localhost:8001/0"},
      {"kiss://10.0.0.2:8100/1", LinkKind::Kiss, "kiss://10.0.0.2:8100/1"},
      {"kiss:/dev/ttyUSB0", LinkKind::Kiss, "kiss:/dev/ttyUSB0"},
      {"kiss://host:0", LinkKind::Invalid, "the TCP port must be 1 to 65535"},
      {"kiss:", LinkKind::Invalid, "no serial device given"},
      {"/dev/ttyUSB0", LinkKind::Serial, "/dev/ttyUSB0"},
  };
  for (const auto& c : cases) {
    const SLinkAddress a = ParseLinkAddress(c.value);
    EXPECT_EQ(a.kind, c.kind) << c.value;
    if (c.kind == LinkKind::Invalid) {
      EXPECT_NE(a.error.find(c.value), std::string::npos) << a.error;
      EXPECT_NE(a.error.find(c.text), std::string::npos) << a.error;
    } else {
      EXPECT_EQ(a.Text(), c.text);
    }
  }
}

TEST(KissDevice, ValuesParse) {
  const struct {
    const char* text;
    const char* shown;  // nullptr: refused
  } cases[] = {
      {"kiss://localhost", "kiss://localhost:8001/0"},
      {"kiss://localhost:8100", "kiss://localhost:8100/0"},
      {"kiss://10.0.0.2:8001/2", "kiss://10.0.0.2:8001/2"},
      {"kiss://[::1]:9000/1", "kiss://::1:9000/1"},
      {"kiss:/dev/ttyUSB0", "kiss:/dev/ttyUSB0"},
      {"kiss:/dev/serial/by-id/usb-Mobilinkd", "kiss:/dev/serial/by-id/usb-Mobilinkd"},
      {"kiss://", nullptr},
      {"kiss://host:0", nullptr},
      {"kiss://host:70000", nullptr},
      {"kiss://host:80/16", nullptr},
      {"kiss://host:x", nullptr},
      {"kiss:", nullptr},
      {"agw://host", nullptr},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto ep = ParseKissDevice(c.text, &error);
    if (c.shown) {
      ASSERT_TRUE(ep) << c.text << ": " << error;
      EXPECT_EQ(ep->ToString(), c.shown);
    } else {
      EXPECT_FALSE(ep) << c.text;
      EXPECT_NE(error.find(c.text), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace nami
