// The connected-mode rules one at a time: each state's answer to each frame,
// the timers and the retries, the window, segmentation, busy and REJ.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ax25/DataLink.h"

namespace nami::ax25 {
namespace {

SAddress A(const char* text) { return *SAddress::Parse(text); }

struct SRecorder final : IDataLinkEvents {
  std::vector<SFrame> sent;
  std::vector<std::string> events;
  std::string data;
  void Transmit(const SFrame& f) override { sent.push_back(f); }
  void OnConnected(const SAddress& peer, bool incoming) override {
    events.push_back(std::string(incoming ? "connected in " : "connected out ") + peer.ToString());
  }
  void OnDisconnected() override { events.push_back("disconnected"); }
  void OnBusy(const SAddress& peer) override { events.push_back("busy " + peer.ToString()); }
  void OnRetryExceeded() override { events.push_back("retry"); }
  void OnFailure(const std::string&) override { events.push_back("failure"); }
  void OnData(std::string_view bytes) override { data.append(bytes); }
};

// What a frame looks like in the tables: kind, "c"/"r", and "P"/"F" when set.
std::string Describe(const SFrame& f) {
  std::string s = KindName(f.kind);
  if (f.kind == EKind::I) s += std::to_string(f.ns);
  if (f.kind == EKind::I || f.kind == EKind::RR || f.kind == EKind::RNR || f.kind == EKind::REJ)
    s += "/" + std::to_string(f.nr);
  s += f.IsCommand() ? " c" : " r";
  if (f.pf) s += f.IsCommand() ? "P" : "F";
  return s;
}

class Fixture {
 public:
  explicit Fixture(SLinkParams p = Params()) : link(clock, rec, p) { link.SetMyCall(A("JA1ABC")); }
  static SLinkParams Params() {
    SLinkParams p;
    p.frackMs = 3000;
    p.retries = 3;
    p.t2Ms = 500;
    p.t3Ms = 60000;
    p.maxFrame = 4;
    p.pacLen = 128;
    return p;
  }

  // A frame from the peer (JA1XYZ) to us.
  static SFrame From(EKind kind, bool command, bool pf, int ns = 0, int nr = 0, std::string info = {}) {
    SFrame f;
    f.dest = A("JA1ABC");
    f.src = A("JA1XYZ");
    f.kind = kind;
    f.SetCommand(command);
    f.pf = pf;
    f.ns = ns;
    f.nr = nr;
    f.info = std::move(info);
    if (kind == EKind::Unknown) f.control = 0x8F;
    return f;
  }

  void ToState(ELinkState s) {
    if (s == ELinkState::Disconnected) return;
    link.Connect(A("JA1XYZ"));
    if (s == ELinkState::AwaitingConnection) return Clear();
    link.Receive(From(EKind::UA, false, true));
    if (s == ELinkState::TimerRecovery) {
      clock.AdvanceMs(link.Params().t3Ms);
      link.Tick();
    }
    if (s == ELinkState::AwaitingRelease) link.Disconnect();
    ASSERT_EQ(link.State(), s);
    Clear();
  }
  void Clear() {
    rec.sent.clear();
    rec.events.clear();
  }
  std::string Sent() const {
    std::string s;
    for (const auto& f : rec.sent) s += (s.empty() ? "" : ", ") + Describe(f);
    return s;
  }
  std::string Events() const {
    std::string s;
    for (const auto& e : rec.events) s += (s.empty() ? "" : ", ") + e;
    return s;
  }
  void Run(std::int64_t ms) {
    const std::int64_t end = clock.MonotonicMs() + ms;
    while (true) {
      const std::int64_t next = link.NextTimerMs();
      if (next < 0 || next > end) break;
      clock.AdvanceMs(std::max<std::int64_t>(0, next - clock.MonotonicMs()));
      link.Tick();
    }
    clock.AdvanceMs(end - clock.MonotonicMs());
  }

  CManualClock clock;
  SRecorder rec;
  CDataLink link;
};

using S = ELinkState;

TEST(DataLink, EachStateAnswersEachFrame) {
  const struct {
    S state;
    SFrame in;
    const char* sent;  // frames we answer with
    S after;
    const char* events;
  } cases[] = {
      {S::Disconnected, Fixture::From(EKind::SABM, true, true), "UA rF", S::Connected, "connected in JA1XYZ"},
      {S::Disconnected, Fixture::From(EKind::SABME, true, true), "DM rF", S::Disconnected, ""},
      {S::Disconnected, Fixture::From(EKind::DISC, true, true), "DM rF", S::Disconnected, ""},
      {S::Disconnected, Fixture::From(EKind::RR, true, true), "DM rF", S::Disconnected, ""},
      {S::Disconnected, Fixture::From(EKind::I, true, false, 0, 0, "x"), "", S::Disconnected, ""},
      {S::Disconnected, Fixture::From(EKind::UA, false, true), "", S::Disconnected, ""},
      {S::Disconnected, Fixture::From(EKind::DM, false, true), "", S::Disconnected, ""},
      {S::Disconnected, Fixture::From(EKind::UI, true, false), "", S::Disconnected, ""},

      {S::AwaitingConnection, Fixture::From(EKind::UA, false, true), "", S::Connected, "connected out JA1XYZ"},
      {S::AwaitingConnection, Fixture::From(EKind::DM, false, true), "", S::Disconnected, "busy JA1XYZ"},
      {S::AwaitingConnection, Fixture::From(EKind::SABM, true, true), "UA rF", S::AwaitingConnection, ""},
      {S::AwaitingConnection, Fixture::From(EKind::DISC, true, true), "DM rF", S::AwaitingConnection, ""},
      {S::AwaitingConnection, Fixture::From(EKind::I, true, false, 0, 0, "x"), "", S::AwaitingConnection, ""},
      {S::AwaitingConnection, Fixture::From(EKind::RR, false, true), "", S::AwaitingConnection, ""},

      {S::Connected, Fixture::From(EKind::I, true, false, 0, 0, "hi"), "", S::Connected, ""},
      {S::Connected, Fixture::From(EKind::I, true, true, 0, 0, "hi"), "RR/1 rF", S::Connected, ""},
      {S::Connected, Fixture::From(EKind::I, true, false, 3, 0, "hi"), "REJ/0 r", S::Connected, ""},
      {S::Connected, Fixture::From(EKind::I, true, true, 3, 0, "hi"), "REJ/0 rF", S::Connected, ""},
      {S::Connected, Fixture::From(EKind::RR, true, true), "RR/0 rF", S::Connected, ""},
      {S::Connected, Fixture::From(EKind::RR, false, false), "", S::Connected, ""},
      {S::Connected, Fixture::From(EKind::RNR, true, true), "RR/0 rF", S::Connected, ""},
      {S::Connected, Fixture::From(EKind::RR, false, false, 0, 3), "FRMR r", S::Disconnected, "failure"},
      {S::Connected, Fixture::From(EKind::DISC, true, true), "UA rF", S::Disconnected, "disconnected"},
      {S::Connected, Fixture::From(EKind::DM, false, true), "", S::Disconnected, "disconnected"},
      {S::Connected, Fixture::From(EKind::FRMR, false, false), "DM r", S::Disconnected, "failure"},
      {S::Connected, Fixture::From(EKind::Unknown, true, false), "FRMR r", S::Connected, ""},
      {S::Connected, Fixture::From(EKind::UA, false, true), "", S::Connected, ""},
      {S::Connected, Fixture::From(EKind::SABM, true, true), "UA rF", S::Connected, ""},

      {S::TimerRecovery, Fixture::From(EKind::RR, false, true), "", S::Connected, ""},
      {S::TimerRecovery, Fixture::From(EKind::RR, false, false), "", S::TimerRecovery, ""},
      {S::TimerRecovery, Fixture::From(EKind::RR, true, true), "RR/0 rF", S::TimerRecovery, ""},
      {S::TimerRecovery, Fixture::From(EKind::RNR, false, true), "", S::Connected, ""},
      {S::TimerRecovery, Fixture::From(EKind::I, true, true, 0, 0, "x"), "RR/1 rF", S::TimerRecovery, ""},
      {S::TimerRecovery, Fixture::From(EKind::DISC, true, true), "UA rF", S::Disconnected, "disconnected"},
      {S::TimerRecovery, Fixture::From(EKind::DM, false, false), "", S::Disconnected, "disconnected"},

      {S::AwaitingRelease, Fixture::From(EKind::UA, false, true), "", S::Disconnected, "disconnected"},
      {S::AwaitingRelease, Fixture::From(EKind::DM, false, true), "", S::Disconnected, "disconnected"},
      {S::AwaitingRelease, Fixture::From(EKind::DISC, true, true), "UA rF", S::Disconnected, "disconnected"},
      {S::AwaitingRelease, Fixture::From(EKind::SABM, true, true), "DM rF", S::AwaitingRelease, ""},
      {S::AwaitingRelease, Fixture::From(EKind::RR, true, true), "DM rF", S::AwaitingRelease, ""},
      {S::AwaitingRelease, Fixture::From(EKind::I, true, false, 0, 0, "x"), "", S::AwaitingRelease, ""},
  };
  for (const auto& c : cases) {
    Fixture fx;
    fx.ToState(c.state);
    const std::string what = std::string(LinkStateName(c.state)) + " <- " + Describe(c.in);
    EXPECT_TRUE(fx.link.Receive(c.in)) << what;
    EXPECT_EQ(fx.Sent(), c.sent) << what;
    EXPECT_EQ(fx.link.State(), c.after) << what;
    EXPECT_EQ(fx.Events(), c.events) << what;
  }
}

TEST(DataLink, ConnectRefusedWhenConokIsOff) {
  SLinkParams p = Fixture::Params();
  p.conOk = false;
  Fixture fx(p);
  fx.link.Receive(Fixture::From(EKind::SABM, true, true));
  EXPECT_EQ(fx.Sent(), "DM rF");
  EXPECT_EQ(fx.link.State(), S::Disconnected);
  EXPECT_EQ(fx.Events(), "");
}

TEST(DataLink, FramesForOthersOrNotYetRepeatedAreNotOurs) {
  Fixture fx;
  SFrame other = Fixture::From(EKind::SABM, true, true);
  other.dest = A("JA1ABC-1");
  EXPECT_FALSE(fx.link.Receive(other));
  SFrame viaDigi = Fixture::From(EKind::SABM, true, true);
  viaDigi.digis = {A("JA1DIG")};
  EXPECT_FALSE(fx.link.Receive(viaDigi));  // still on its way to the digipeater
  viaDigi.digis[0].bit = true;
  EXPECT_TRUE(fx.link.Receive(viaDigi));
  // Our answer goes back through the same digipeater, not yet repeated.
  ASSERT_EQ(fx.rec.sent.size(), 1u);
  ASSERT_EQ(fx.rec.sent[0].digis.size(), 1u);
  EXPECT_EQ(fx.rec.sent[0].digis[0].ToString(), "JA1DIG");
  EXPECT_FALSE(fx.rec.sent[0].digis[0].bit);
}

TEST(DataLink, AnotherStationCallingWhileConnectedGetsDm) {
  Fixture fx;
  fx.ToState(S::Connected);
  SFrame sabm = Fixture::From(EKind::SABM, true, true);
  sabm.src = A("JA2QQQ");
  fx.link.Receive(sabm);
  ASSERT_EQ(fx.Sent(), "DM rF");
  EXPECT_EQ(fx.rec.sent[0].dest.ToString(), "JA2QQQ");
  EXPECT_EQ(fx.link.State(), S::Connected);
}

struct STimerCase {
  const char* what;
  S state;
  int digis;
  std::int64_t runMs;
  const char* sent;
  S after;
  const char* events;
};

TEST(DataLink, TimersExpireAndRetriesRunOut) {
  // N2 = 3, FRACK 3 s; a retry waits a quarter longer each time.
  const STimerCase cases[] = {
      {"connect unanswered", S::AwaitingConnection, 0, 100000, "SABM cP, SABM cP, SABM cP", S::Disconnected, "retry"},
      {"first connect retry after T1", S::AwaitingConnection, 0, 3000, "SABM cP", S::AwaitingConnection, ""},
      {"no retry before T1", S::AwaitingConnection, 0, 2999, "", S::AwaitingConnection, ""},
      {"T1 scaled by two digipeaters", S::AwaitingConnection, 2, 14999, "", S::AwaitingConnection, ""},
      {"T1 scaled by two digipeaters, expired", S::AwaitingConnection, 2, 15000, "SABM cP", S::AwaitingConnection, ""},
      {"idle link checked after T3", S::Connected, 0, 60000, "RR/0 cP", S::TimerRecovery, ""},
      {"polls unanswered", S::TimerRecovery, 0, 100000, "RR/0 cP, RR/0 cP, DM r", S::Disconnected, "retry"},
      {"disconnect unanswered", S::AwaitingRelease, 0, 100000, "DISC cP, DISC cP, DISC cP", S::Disconnected, "retry"},
  };
  for (const auto& c : cases) {
    Fixture fx;
    if (c.digis > 0) {
      std::vector<SAddress> via;
      for (int i = 0; i < c.digis; ++i) via.push_back(A(("DIGI" + std::to_string(i)).c_str()));
      fx.link.Connect(A("JA1XYZ"), via);
      fx.Clear();
    } else {
      fx.ToState(c.state);
    }
    fx.Run(c.runMs);
    EXPECT_EQ(fx.Sent(), c.sent) << c.what;
    EXPECT_EQ(fx.link.State(), c.after) << c.what;
    EXPECT_EQ(fx.Events(), c.events) << c.what;
  }
}

TEST(DataLink, PaclenCutsAndTheWindowLimitsWhatIsInFlight) {
  SLinkParams p = Fixture::Params();
  p.maxFrame = 2;
  p.pacLen = 100;
  Fixture fx(p);
  fx.ToState(S::Connected);
  ASSERT_TRUE(fx.link.Send(std::string(250, 'a')));
  EXPECT_EQ(fx.Sent(), "I0/0 c, I1/0 c");
  EXPECT_EQ(fx.rec.sent[0].info.size(), 100u);
  EXPECT_EQ(fx.link.Outstanding(), 250u);
  fx.Clear();
  fx.link.Receive(Fixture::From(EKind::RR, false, false, 0, 1));
  EXPECT_EQ(fx.Sent(), "I2/0 c");
  EXPECT_EQ(fx.rec.sent[0].info.size(), 50u);
  EXPECT_EQ(fx.link.Outstanding(), 150u);
  fx.Clear();
  fx.link.Receive(Fixture::From(EKind::RR, false, false, 0, 3));
  EXPECT_EQ(fx.link.Outstanding(), 0u);
  EXPECT_EQ(fx.Sent(), "");
}

TEST(DataLink, RejectResendsFromItsNr) {
  Fixture fx;
  fx.ToState(S::Connected);
  fx.link.Send(std::string(300, 'a'));
  fx.link.Send(std::string(100, 'b'));
  EXPECT_EQ(fx.Sent(), "I0/0 c, I1/0 c, I2/0 c, I3/0 c");
  fx.Clear();
  fx.link.Receive(Fixture::From(EKind::REJ, false, false, 0, 2));
  EXPECT_EQ(fx.Sent(), "I2/0 c, I3/0 c");
  EXPECT_EQ(fx.link.Stats().iResent, 2u);
}

TEST(DataLink, OneResendPerRejectAndAPeerThatKeepsRejectingEndsTheLink) {
  Fixture fx;  // RETRY 3
  fx.ToState(S::Connected);
  fx.link.Send(std::string(300, 'a'));
  fx.Clear();
  // A REJ for each frame of the window: the frames go again once.
  for (int i = 0; i < 3; ++i) fx.link.Receive(Fixture::From(EKind::REJ, false, false, 0, 0));
  EXPECT_EQ(fx.Sent(), "I0/0 c, I1/0 c, I2/0 c");
  // Every poll answered by another REJ, nothing ever acknowledged.
  std::string polls;
  for (int i = 0; i < 10 && fx.link.IsUp(); ++i) {
    fx.Clear();
    fx.clock.AdvanceMs(fx.link.NextTimerMs() - fx.clock.MonotonicMs());
    fx.link.Tick();
    polls += fx.Sent() + "; ";
    fx.link.Receive(Fixture::From(EKind::REJ, false, true, 0, 0));
  }
  EXPECT_EQ(polls, "RR/0 cP; RR/0 cP; RR/0 cP; ");
  EXPECT_EQ(fx.Sent(), "RR/0 cP, DM r");  // the last poll, then the end
  EXPECT_EQ(fx.Events(), "failure");
  EXPECT_EQ(fx.link.State(), S::Disconnected);
}

TEST(DataLink, ARemoteBusyStationIsPolledNotSentTo) {
  Fixture fx;
  fx.ToState(S::Connected);
  fx.link.Receive(Fixture::From(EKind::RNR, false, false));
  fx.link.Send("hello");
  EXPECT_EQ(fx.Sent(), "");
  fx.Run(3000);  // T1 runs while the peer is busy
  EXPECT_EQ(fx.Sent(), "RR/0 cP");
  fx.Clear();
  fx.link.Receive(Fixture::From(EKind::RNR, false, true));
  EXPECT_EQ(fx.Sent(), "");
  EXPECT_EQ(fx.link.State(), S::Connected);
  fx.link.Receive(Fixture::From(EKind::RR, false, false));
  EXPECT_EQ(fx.Sent(), "I0/0 c");
}

TEST(DataLink, TimerRecoveryResendsWhatThePollAnswerLacks) {
  Fixture fx;
  fx.ToState(S::Connected);
  fx.link.Send(std::string(300, 'a'));
  fx.Clear();
  fx.Run(3000);
  EXPECT_EQ(fx.Sent(), "RR/0 cP");
  fx.Clear();
  fx.link.Receive(Fixture::From(EKind::RR, false, true, 0, 1));
  EXPECT_EQ(fx.Sent(), "I1/0 c, I2/0 c");
  EXPECT_EQ(fx.link.State(), S::Connected);
}

TEST(DataLink, ReceivedFramesAreAcknowledgedAfterT2OrWithOurData) {
  Fixture fx;
  fx.ToState(S::Connected);
  fx.link.Receive(Fixture::From(EKind::I, true, false, 0, 0, "one "));
  fx.link.Receive(Fixture::From(EKind::I, true, false, 1, 0, "two"));
  EXPECT_EQ(fx.Sent(), "");
  fx.Run(499);
  EXPECT_EQ(fx.Sent(), "");
  fx.Run(1);
  EXPECT_EQ(fx.Sent(), "RR/2 r");
  EXPECT_EQ(fx.rec.data, "one two");
  fx.Clear();
  // A duplicate is dropped, answered by one REJ carrying what we expect.
  fx.link.Receive(Fixture::From(EKind::I, true, false, 1, 0, "two"));
  fx.link.Receive(Fixture::From(EKind::I, true, false, 1, 0, "two"));
  EXPECT_EQ(fx.Sent(), "REJ/2 r");
  EXPECT_EQ(fx.rec.data, "one two");
  fx.Clear();
  fx.link.Receive(Fixture::From(EKind::I, true, false, 2, 0, "!"));
  fx.link.Send("back");
  EXPECT_EQ(fx.Sent(), "I0/3 c");  // the acknowledgement rides on our I frame
  fx.Run(1000);
  EXPECT_EQ(fx.Sent(), "I0/3 c");
}

TEST(DataLink, T1FollowsTheMeasuredRoundTrip) {
  Fixture fx;
  fx.ToState(S::Connected);
  EXPECT_EQ(fx.link.T1Ms(), 3000);
  for (int i = 0; i < 30; ++i) {
    fx.link.Send("x");
    fx.clock.AdvanceMs(200);
    fx.link.Receive(Fixture::From(EKind::RR, false, false, 0, (i + 1) & 7));
  }
  // 200 ms round trips bring T1 down to its floor of 1 s.
  EXPECT_EQ(fx.link.T1Ms(), 1000);
  EXPECT_LT(fx.link.RoundTripMs(), 400);
  for (int i = 30; i < 60; ++i) {
    fx.link.Send("x");
    fx.clock.AdvanceMs(2500);
    fx.link.Receive(Fixture::From(EKind::RR, false, false, 0, (i + 1) & 7));
  }
  // Slow answers raise it again, up to twice FRACK.
  EXPECT_GT(fx.link.T1Ms(), 4500);
  EXPECT_LE(fx.link.T1Ms(), 6000);
}

TEST(DataLink, DisconnectWaitsForTheAcknowledgement) {
  Fixture fx;
  fx.ToState(S::Connected);
  fx.link.Send("bye");
  fx.link.Disconnect();
  EXPECT_EQ(fx.Sent(), "I0/0 c");
  EXPECT_FALSE(fx.link.Send("more"));
  fx.Clear();
  fx.link.Receive(Fixture::From(EKind::RR, false, false, 0, 1));
  EXPECT_EQ(fx.Sent(), "DISC cP");
  fx.link.Receive(Fixture::From(EKind::UA, false, true));
  EXPECT_EQ(fx.Events(), "disconnected");
}

}  // namespace
}  // namespace nami::ax25
