// The built-in TNC2 against a scripted far side: what the terminal sees for
// each command and each event, how converse bytes are cut into packets, and
// what the port reports as its transmit queue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "time/Clock.h"
#include "link/FarSide.h"
#include "link/Tnc2Engine.h"

namespace nami {
namespace {

class FakeFar final : public IFarSide {
 public:
  void SetEvents(IFarSideEvents* e) override { events = e; }
  bool SetMyCall(const std::string& call) override {
    params.push_back("MYCALL=" + call);
    return true;
  }
  bool SetParameter(ETncParam param, int value) override {
    params.push_back(std::string(TncParam(param).name) + "=" + TncValueText(param, value));
    return !(param == ETncParam::PacLen && value == 200);  // a far side that cannot take this one
  }
  void Connect(const std::string& call, const std::vector<std::string>& via) override {
    requests.push_back("connect " + call + (via.empty() ? "" : " via " + via[0]));
  }
  void Disconnect() override {
    requests.push_back("disconnect");
    disconnectAsked = true;
  }
  bool SendData(std::string_view bytes) override {
    packets.emplace_back(bytes);
    outstanding += bytes.size();
    return true;
  }
  std::size_t OutstandingBytes() const override { return outstanding; }
  void Poll(std::int64_t now) override {
    if (disconnectAsked && events) {
      disconnectAsked = false;
      events->OnDisconnected(now);
    }
  }
  void Reset() override { requests.push_back("reset"); }
  void Close() override {}
  std::string SignOn(const std::string& myCall) const override { return "fake TNC " + myCall; }

  IFarSideEvents* events = nullptr;
  std::vector<std::string> params, requests, packets;
  std::size_t outstanding = 0;
  bool disconnectAsked = false;
};

struct Rig {
  explicit Rig(STnc2Options o = {}) : engine(far, clock, o) {
    engine.PowerOn();
    Take();
    far.params.clear();
  }
  std::string Take() {
    std::string out;
    engine.TakeDue(out, 1 << 20);
    return out;
  }
  std::string Send(const std::string& bytes) {
    engine.Receive(bytes);
    return Take();
  }
  IFarSideEvents& Events() { return *far.events; }
  void Connect() {
    Send("C JA1BBS\r");
    Events().OnConnected(clock.MonotonicMs(), "JA1BBS");
    Take();
  }
  CManualClock clock;
  FakeFar far;
  CTnc2Engine engine;
};

TEST(Tnc2Engine, SignsOnWithTheFarSidesLineAndPassesEveryParameter) {
  FakeFar far;
  CManualClock clock;
  STnc2Options o;
  o.myCall = "ja1xyz-2";
  CTnc2Engine engine(far, clock, o);
  engine.PowerOn();
  std::string out;
  engine.TakeDue(out, 1000);
  EXPECT_EQ(out, "fake TNC JA1XYZ-2\r\ncmd:");
  for (const char* p : {"MYCALL=JA1XYZ-2", "MONITOR=OFF", "PACLEN=128", "MAXFRAME=4", "RETRY=10", "CONOK=OFF"})
    EXPECT_NE(std::find(far.params.begin(), far.params.end(), p), far.params.end()) << p;
}

TEST(Tnc2Engine, CommandsAnswerAsATnc2Does) {
  struct Case {
    const char* input;
    const char* output;
    const char* param;  // what reached the far side, or ""
  } cases[] = {
      {"PACLEN\r", "PACLEN\r\nPACLEN 128\r\ncmd:", ""},
      {"PACLEN 64\r", "PACLEN 64\r\ncmd:", "PACLEN=64"},
      {"PACL 300\r", "PACL 300\r\n?bad parameter\r\ncmd:", ""},
      {"PACLEN 200\r", "PACLEN 200\r\n?bad parameter\r\ncmd:", "PACLEN=200"},
      {"MAXFRAME 7\r", "MAXFRAME 7\r\ncmd:", "MAXFRAME=7"},
      {"MAXF 0\r", "MAXF 0\r\n?bad parameter\r\ncmd:", ""},
      {"TXDELAY 40\r", "TXDELAY 40\r\ncmd:", "TXDELAY=40"},
      {"RETRY x\r", "RETRY x\r\n?bad parameter\r\ncmd:", ""},
      {"FRACK 5\r", "FRACK 5\r\ncmd:", "FRACK=5"},
      {"CONOK ON\r", "CONOK ON\r\ncmd:", "CONOK=ON"},
      {"M ON\r", "M ON\r\ncmd:", "MONITOR=ON"},
      {"MONITOR\r", "MONITOR\r\nMONITOR OFF\r\ncmd:", ""},
      {"MYCALL ja1abc-15\r", "MYCALL ja1abc-15\r\ncmd:", "MYCALL=JA1ABC-15"},
      {"MYCALL JA1ABC-16\r", "MYCALL JA1ABC-16\r\n?bad callsign\r\ncmd:", ""},
      {"HELLO\r", "HELLO\r\n?EH\r\ncmd:", ""},
      {"C\r", "C\r\nLink state is: DISCONNECTED\r\ncmd:", ""},
      {"C JA1ABC VIA\r", "C JA1ABC VIA\r\n?bad callsign\r\ncmd:", ""},
      {"D\r", "D\r\nNot while disconnected\r\ncmd:", ""},
      {"K\r", "K\r\nNot while disconnected\r\ncmd:", ""},
  };
  for (const Case& c : cases) {
    Rig rig;
    EXPECT_EQ(rig.Send(c.input), c.output) << c.input;
    std::string got = rig.far.params.empty() ? "" : rig.far.params.back();
    EXPECT_EQ(got, c.param) << c.input;
  }
}

// Every parameter command as a TNC2 takes it: down to its shortest
// abbreviation (one letter less is not this command), its value after
// switching on, both ends of its range taken and passed on, just beyond them
// refused. ECHO and AUTOLF stay in the TNC.
TEST(Tnc2Engine, EveryParameterCommandTakesItsAbbreviationsAndRange) {
  struct Row {
    std::string name;
    std::size_t shortest;
    std::string initial;
    std::vector<std::string> taken, refused;
    bool passedOn;
  } rows[] = {
      {"ECHO", 1, "ON", {"OFF", "ON"}, {"1"}, false},
      {"AUTOLF", 2, "ON", {"OFF", "ON"}, {"MAYBE"}, false},
      {"MONITOR", 1, "OFF", {"ON", "OFF"}, {"0"}, true},
      {"CONOK", 4, "OFF", {"ON", "OFF"}, {"Y"}, true},
      {"FULLDUP", 4, "OFF", {"ON", "OFF"}, {"TRUE"}, true},
      {"PACLEN", 4, "128", {"1", "256"}, {"0", "257"}, true},
      {"MAXFRAME", 4, "4", {"1", "7"}, {"0", "8"}, true},
      {"TXDELAY", 3, "30", {"0", "120"}, {"121", "-1"}, true},
      {"RETRY", 2, "10", {"0", "15"}, {"16"}, true},
      {"FRACK", 2, "3", {"1", "15"}, {"0", "16"}, true},
      {"RESPTIME", 3, "5", {"0", "250"}, {"251"}, true},
      {"PERSIST", 2, "63", {"0", "255"}, {"256"}, true},
      {"SLOTTIME", 2, "10", {"0", "255"}, {"256"}, true},
      {"DWAIT", 2, "0", {"0", "255"}, {"256", "12345"}, true},
  };
  for (const Row& r : rows) {
    for (std::size_t n = r.shortest; n <= r.name.size(); ++n) {
      Rig rig;
      const std::string word = r.name.substr(0, n);
      EXPECT_EQ(rig.Send(word + "\r"), word + "\r\n" + r.name + " " + r.initial + "\r\ncmd:") << word;
    }
    if (r.shortest > 1) {
      Rig rig;
      EXPECT_EQ(rig.Send(r.name.substr(0, r.shortest - 1) + "\r").find(r.name + " "), std::string::npos) << r.name;
    }
    Rig rig;
    for (const std::string& value : r.taken) {
      EXPECT_EQ(rig.Send(r.name + " " + value + "\r").find('?'), std::string::npos) << r.name << " " << value;
      EXPECT_NE(rig.Send(r.name + "\r").find(r.name + " " + value), std::string::npos) << r.name << " " << value;
      EXPECT_EQ(rig.far.params, r.passedOn ? std::vector<std::string>{r.name + "=" + value} : std::vector<std::string>{})
          << r.name << " " << value;
      rig.far.params.clear();
    }
    for (const std::string& value : r.refused) {
      EXPECT_NE(rig.Send(r.name + " " + value + "\r").find("?bad parameter"), std::string::npos) << r.name << " " << value;
      EXPECT_NE(rig.Send(r.name + "\r").find(r.name + " " + r.taken.back()), std::string::npos) << r.name << " " << value;
      EXPECT_TRUE(rig.far.params.empty()) << r.name << " " << value;
    }
  }
}

TEST(Tnc2Engine, AutoLfOffEndsLinesWithCrOnly) {
  Rig rig;
  EXPECT_EQ(rig.Send("AUTOLF OFF\r"), "AUTOLF OFF\r\ncmd:");
  EXPECT_EQ(rig.Send("X\r"), "X\r?EH\rcmd:");
}

TEST(Tnc2Engine, MycallCommandIsKept) {
  Rig rig;
  std::string kept;
  rig.engine.OnMyCallChanged = [&](const std::string& call) { kept = call; };
  rig.Send("MY ja1new\r");
  EXPECT_EQ(kept, "JA1NEW");
  EXPECT_EQ(rig.Send("MYCALL\r"), "MYCALL\r\nMYCALL JA1NEW\r\ncmd:");
}

TEST(Tnc2Engine, FarSideEventsBecomeStatusLines) {
  struct Case {
    const char* name;
    void (*fire)(IFarSideEvents&);
    const char* output;
  } cases[] = {
      {"busy", [](IFarSideEvents& e) { e.OnBusy(0, "JA1BBS"); }, "*** JA1BBS busy\r\n*** DISCONNECTED\r\ncmd:"},
      {"retry", [](IFarSideEvents& e) { e.OnRetryExceeded(0); },
       "*** retry count exceeded\r\n*** DISCONNECTED\r\ncmd:"},
      {"failure", [](IFarSideEvents& e) { e.OnFailure(0, "agw://h:8000: Connection refused"); },
       "*** agw://h:8000: Connection refused\r\n*** DISCONNECTED\r\ncmd:"},
      {"connected", [](IFarSideEvents& e) { e.OnConnected(0, "JA1BBS VIA JA1DIG"); },
       "*** CONNECTED to JA1BBS VIA JA1DIG\r\n"},
  };
  for (const Case& c : cases) {
    Rig rig;
    EXPECT_EQ(rig.Send("C JA1BBS V JA1DIG\r"), "C JA1BBS V JA1DIG\r\n") << c.name;
    EXPECT_EQ(rig.far.requests.back(), "connect JA1BBS via JA1DIG");
    c.fire(rig.Events());
    EXPECT_EQ(rig.Take(), c.output) << c.name;
  }
}

TEST(Tnc2Engine, LinkDataLineEndsBecomeTheTncsOwn) {
  struct Case {
    std::vector<std::string> chunks;
    const char* output;
  } cases[] = {
      {{"a\rb\r"}, "a\r\nb\r\n"},         {{"a\r\nb\n"}, "a\r\nb\r\n"},
      {{"a\r", "\nb\r"}, "a\r\nb\r\n"},    // CR LF split across packets
      {{"Call", "sign :"}, "Callsign :"},  // an unfinished line goes on
      {{"x\r\r"}, "x\r\n\r\n"},            // an empty line stays
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.Connect();
    for (const std::string& chunk : c.chunks) rig.Events().OnData(rig.clock.MonotonicMs(), chunk);
    EXPECT_EQ(rig.Take(), c.output);
  }
}

TEST(Tnc2Engine, ConverseBytesGoOutAsLinesAndPaclenPieces) {
  STnc2Options o;
  o.pacTimeMs = 1000;
  Rig rig(o);
  rig.Send("PACLEN 8\r");
  rig.Connect();
  rig.Send("L\rR 12");
  EXPECT_EQ(rig.far.packets, (std::vector<std::string>{"L\r"}));
  rig.clock.AdvanceMs(999);
  rig.Take();
  EXPECT_EQ(rig.far.packets.size(), 1u) << "the unfinished line waits for PACTIME";
  rig.clock.AdvanceMs(1);
  rig.Take();
  EXPECT_EQ(rig.far.packets.back(), "R 12");
  rig.far.packets.clear();
  rig.far.outstanding = 0;  // everything acknowledged
  rig.Send("0123456789ABC\r");
  // The rest of the line waits while the first piece is still on its way.
  EXPECT_EQ(rig.far.packets, (std::vector<std::string>{"01234567"}));
  rig.clock.AdvanceMs(1000);
  rig.Take();
  EXPECT_EQ(rig.far.packets, (std::vector<std::string>{"01234567", "89ABC\r"}));
}

TEST(Tnc2Engine, LinesArePackedWhileTheLinkIsBusyAndTheQueueCountsBeyondTwoWindows) {
  STnc2Options o;
  o.pacTimeMs = 1000;
  Rig rig(o);
  rig.Send("PACLEN 10\r");
  rig.Send("MAXFRAME 2\r");
  rig.Connect();
  rig.far.outstanding = 20;  // a window's worth in flight
  rig.Send("ab\rcd\ref\rgh\r");
  EXPECT_EQ(rig.far.packets, (std::vector<std::string>{"ab\rcd\ref\rg"}));
  EXPECT_EQ(rig.engine.TransmitQueueCount(), 0);  // 30 + 3 held <= 2 * 2 * 10 = 40
  rig.Send(std::string(20, 'x'));
  EXPECT_GT(rig.engine.TransmitQueueCount(), 0);
  rig.far.outstanding = 0;  // all acknowledged
  rig.Take();
  EXPECT_EQ(rig.engine.TransmitQueueCount(), 0);
}

TEST(Tnc2Engine, CtrlCSendsWhatIsHeldAndDisconnectWaitsForTheFarSide) {
  STnc2Options o;
  o.pacTimeMs = 1000;
  Rig rig(o);
  rig.Connect();
  EXPECT_EQ(rig.Send("bye\x03"), "\r\ncmd:");
  EXPECT_EQ(rig.far.packets.back(), "bye");
  EXPECT_EQ(rig.Send("D\r"), "D\r\n*** DISCONNECTED\r\ncmd:");
  EXPECT_EQ(rig.far.requests.back(), "disconnect");
}

TEST(Tnc2Engine, MonitoredFramesShowOnlyWithMonitorOn) {
  Rig rig;
  rig.Events().OnMonitor(0, "JA1ABC>BEACON: hello");
  EXPECT_EQ(rig.Take(), "");
  rig.Send("MONITOR ON\r");
  rig.Events().OnMonitor(0, "JA1ABC>BEACON: hello");
  EXPECT_EQ(rig.Take(), "\r\nJA1ABC>BEACON: hello\r\ncmd:");
}

}  // namespace
}  // namespace nami
