// The heartbeat runs the receive tick when the port has data: over a real
// pseudo-terminal it runs promptly on arrival, takes a flood whole over
// several passes, sleeps while nothing arrives, beats once a second while a
// run waits, and polls a hung-up line or a port without a descriptor instead
// of spinning.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <string>

#include "UiTestSupport.h"
#include "link/SerialPort.h"
#include "ui/Heartbeat.h"
#include "ui/MainFrame.h"
#include "ui/NamiView.h"

namespace nami {
namespace {

using test::FakePort;
using test::TempDir;

void Pump(
    int ms, const std::function<bool()>& done = [] { return false; }) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A session whose port is the slave of a pseudo-terminal this test writes.
struct PtyStation {
  PtyStation() {
    test::App();
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(master, 0);
    ::grantpt(master);
    ::unlockpt(master);
    WriteIni(std::string("[Devices]\r\nCOM2=") + ::ptsname(master) + "\r\n");
    settings = std::make_unique<CSettings>(dir.File("NAMI.INI"));
    session = std::make_unique<CStation>(*settings, clock, false);
    CSettings* s = settings.get();
    session->SetPort(std::make_unique<CSerialPort>([s](const std::string& com) { return s->DevicePath(com); }));
    session->NewDocument();
    EXPECT_TRUE(session->Doc().Port()->IsOpen());
    watch = std::make_unique<CHeartbeat>(*session);
    watch->afterTick = [this](int) { ++ticks; };
  }
  ~PtyStation() {
    watch.reset();
    session.reset();
    if (master >= 0) ::close(master);
  }
  void WriteIni(const std::string& text) { test::WriteFile(dir.File("NAMI.INI"), text); }
  // Writes all of `data`, letting the event loop run while the line is full.
  void Send(const std::string& data) {
    std::size_t done = 0;
    QElapsedTimer t;
    t.start();
    while (done < data.size() && t.elapsed() < 20000) {
      const ssize_t n = ::write(master, data.data() + done, data.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    ASSERT_EQ(done, data.size());
  }

  TempDir dir;
  CManualClock clock{1796000000};
  int master = -1;
  std::unique_ptr<CSettings> settings;
  std::unique_ptr<CStation> session;
  std::unique_ptr<CHeartbeat> watch;
  int ticks = 0;
};

TEST(ReceiveWatch, TicksWhenDataArrivesAndSleepsOtherwise) {
  PtyStation st;
  st.watch->Start();
  EXPECT_EQ(st.watch->WatchedFd(), st.session->Doc().Port()->PollFd());
  Pump(300);
  EXPECT_EQ(st.ticks, 0) << "no data, no run: no tick";

  st.Send("over the air\r\n");
  Pump(2000, [&] { return st.session->Doc().Lines().LineCount() > 0; });
  ASSERT_EQ(st.session->Doc().Lines().LineCount(), 1u);
  EXPECT_EQ(st.session->Doc().Lines().LastLine(), "over the air");
  const int afterData = st.ticks;
  EXPECT_GE(afterData, 1);
  Pump(300);
  EXPECT_EQ(st.ticks, afterData) << "quiet again";

  st.watch->Stop();
  st.Send("later\r\n");
  Pump(200);
  EXPECT_EQ(st.session->Doc().Lines().LineCount(), 1u) << "a stopped watch reads nothing";
}

// A station on a fake port without a descriptor, its document opened.
struct FakeStation {
  FakeStation() {
    test::App();
    auto fake = std::make_unique<FakePort>();
    port = fake.get();
    station.SetPort(std::move(fake));
    station.NewDocument();
  }
  TempDir dir;
  CSettings settings{dir.File("NAMI.INI")};
  CManualClock clock{1796000000};
  CStation station{settings, clock, false};
  FakePort* port = nullptr;
};

// A tty read returns at most 4,095 bytes: a short read does not mean the
// port is empty. A tick reads on until the port has nothing, up to its bound.
TEST(ReceiveWatch, OneTickReadsPastShortReadsUpToItsBound) {
  FakeStation f;
  CStation& session = f.station;
  FakePort* port = f.port;
  const struct {
    int reads;
    std::size_t firstTick;
  } cases[] = {
      {1, 4095}, {5, 5 * 4095}, {40, 16 * 4095},  // the bound: no read that could pass kMaxPerTick
  };
  for (const auto& c : cases) {
    for (int i = 0; i < c.reads; ++i) port->Deliver(std::string(4095, 'x'));
    const std::size_t first = session.Core().Tick();
    EXPECT_EQ(first, c.firstTick) << c.reads;
    EXPECT_LE(first, CTerminalCore::kMaxPerTick);
    std::size_t total = first;
    for (int i = 0; i < 100 && !port->input.empty(); ++i) total += session.Core().Tick();
    EXPECT_EQ(total, static_cast<std::size_t>(c.reads) * 4095) << "nothing lost past the bound";
  }
}

TEST(ReceiveWatch, AFloodBeyondOnePassArrivesWholeAndInOrder) {
  PtyStation st;
  st.watch->Start();
  std::string flood;
  const int lines = 4000;  // about 240 kB: several passes of 64 kB
  for (int i = 0; i < lines; ++i) flood += "flood line " + std::to_string(i) + " ------------------------------\r\n";
  st.Send(flood);
  Pump(10000, [&] { return st.session->Doc().Lines().LineCount() >= static_cast<std::size_t>(lines); });
  ASSERT_EQ(st.session->Doc().Lines().LineCount(), static_cast<std::size_t>(lines));
  for (int i : {0, 1, lines / 2, lines - 1})
    EXPECT_EQ(st.session->Doc().Lines().LineAt(static_cast<std::size_t>(i)),
              "flood line " + std::to_string(i) + " ------------------------------");
  EXPECT_GE(st.ticks, static_cast<int>(flood.size() / CTerminalCore::kMaxPerTick));
}

TEST(ReceiveWatch, PollsAHungUpLineAndAPortWithoutADescriptor) {
  {
    PtyStation st;
    st.watch->Start();
    ::close(st.master);  // the other end goes away
    st.master = -1;
    Pump(500);
    EXPECT_GT(st.ticks, 2) << "polled";
    EXPECT_LT(st.ticks, 30) << "not spinning on a line that stays readable";
  }
  {
    FakeStation f;
    CStation& session = f.station;
    FakePort* port = f.port;
    int ticks = 0;
    CHeartbeat watch(session);
    watch.afterTick = [&](int) { ++ticks; };
    watch.Start();
    EXPECT_EQ(watch.WatchedFd(), -1);
    port->Deliver("no descriptor\n");
    Pump(2000, [&] { return session.Doc().Lines().LineCount() > 0; });
    EXPECT_EQ(session.Doc().Lines().LastLine(), "no descriptor");
    const int before = ticks;
    Pump(300);
    EXPECT_GE(ticks - before, 2) << "every 50 ms";
  }
}

struct CountingSender : ISender {
  int steps = 0;
  bool Step() override { return ++steps < 1000000; }  // never done by itself
};

// The heartbeat steps the senders after each tick; once stopped (the window
// closing, the headless run finished) nothing is stepped or ticked until it
// starts again.
TEST(ReceiveWatch, AStoppedHeartbeatTicksAndStepsNothingUntilStarted) {
  FakeStation f;
  CStation& station = f.station;
  FakePort* port = f.port;
  CHeartbeat beat(station);
  int ticks = 0;
  beat.afterTick = [&](int) { ++ticks; };
  CountingSender sender;
  station.Doc().Sending().Push(&sender);
  const struct {
    const char* phase;
    bool start;
    bool stepsAndTicks;
  } phases[] = {{"started", true, true}, {"stopped", false, false}, {"started again", true, true}};
  for (const auto& ph : phases) {
    if (ph.start)
      beat.Start();
    else
      beat.Stop();
    EXPECT_EQ(beat.Active(), ph.start) << ph.phase;
    Pump(100);  // let a stepping that went on after Stop() show itself
    const int steps = sender.steps;
    const int before = ticks;
    port->Deliver("line\n");
    beat.TickSoon();
    Pump(300);
    EXPECT_EQ(sender.steps > steps, ph.stepsAndTicks) << ph.phase;
    EXPECT_EQ(ticks > before, ph.stepsAndTicks) << ph.phase;
    EXPECT_EQ(station.Doc().Sending().Active(), ph.stepsAndTicks) << ph.phase;
  }
  beat.Stop();
  station.Doc().Sending().Clear();
}

// A device that vanishes closes the port: the watch polls until the session
// opens it again, then watches the new descriptor and sleeps once more.
TEST(ReceiveWatch, AVanishedDeviceIsPolledUntilReopenedThenWatchedAgain) {
  PtyStation st;
  st.session->SetReopenPort(true);
  st.watch->Start();
  ASSERT_GE(st.watch->WatchedFd(), 0);
  ::close(st.master);  // the device goes
  st.master = -1;
  Pump(2000, [&] { return !st.session->Doc().PortOpen(); });
  ASSERT_FALSE(st.session->Doc().PortOpen());
  EXPECT_EQ(st.watch->WatchedFd(), -1);

  const int back = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);  // and comes back
  ASSERT_GE(back, 0);
  ::grantpt(back);
  ::unlockpt(back);
  st.master = back;
  ASSERT_TRUE(st.settings->SetDevicePath("COM2", ::ptsname(back)));
  st.clock.AdvanceMs(CStation::kReopenMs);
  Pump(2000, [&] { return st.session->Doc().PortOpen(); });
  ASSERT_TRUE(st.session->Doc().PortOpen());
  Pump(100);
  EXPECT_EQ(st.watch->WatchedFd(), st.session->Doc().Port()->PollFd());

  st.Send("back on the air\r\n");
  Pump(2000, [&] { return st.session->Doc().Lines().LineCount() > 0 && st.session->Doc().Lines().LastLine() == "back on the air"; });
  EXPECT_EQ(st.session->Doc().Lines().LastLine(), "back on the air");
  const int ticks = st.ticks;
  Pump(300);
  EXPECT_EQ(st.ticks, ticks) << "watched, not polled";
}

TEST(ReceiveWatch, BeatsOnceASecondWhileARunWaitsAndTickSoonRunsAtOnce) {
  PtyStation st;
  st.watch->Start();
  st.session->Autopilot().Run(AutoCommand::Connect);  // the BBS never answers
  ASSERT_TRUE(st.session->Autopilot().Busy());
  st.watch->TickSoon();
  Pump(50);
  const int start = st.ticks;
  EXPECT_GE(start, 1) << "TickSoon";
  Pump(2600);
  EXPECT_GE(st.ticks - start, 1) << "the heartbeat";
  EXPECT_LE(st.ticks - start, 4) << "about once a second, not every 50 ms";

  // The end command clears AutoRunning; the next tick ends the wait.
  st.session->Autopilot().State().AutoRunning = false;
  st.watch->TickSoon();
  Pump(1000, [&] { return !st.session->Autopilot().Busy(); });
  EXPECT_FALSE(st.session->Autopilot().Busy());
}

// Text streaming in over a real pseudo-terminal: the window's pane repaints
// at most about once per 50 ms, however many ticks the data starts, and
// shows the newest line in the end.
TEST(ReceiveWatch, ThePaneRepaintsAtMostOncePer50MsWhileDataStreams) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(master, 0);
  ::grantpt(master);
  ::unlockpt(master);
  test::FrameFixture f(std::string("[Devices]\r\nCOM2=") + ::ptsname(master) + "\r\n");
  CSettings* settings = f.settings.get();
  f.session->SetPort(
      std::make_unique<CSerialPort>([settings](const std::string& com) { return settings->DevicePath(com); }));
  f.session->NewDocument();
  f.frame->show();
  CNamiView* view = f.frame->TerminalPane();
  f.frame->Heartbeat().Start();
  test::FrameFixture::Pump(100);
  ASSERT_GE(f.frame->Heartbeat().WatchedFd(), 0);

  const int paintsBefore = view->PaintCount();
  QElapsedTimer t;
  t.start();
  int line = 0;
  while (t.elapsed() < 1000) {  // a few lines every millisecond or two
    std::string text;
    for (int i = 0; i < 3; ++i) text += "streamed line " + std::to_string(line++) + "\r\n";
    ASSERT_EQ(::write(master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  const qint64 elapsed = t.elapsed();
  test::FrameFixture::Pump(200);
  const int paints = view->PaintCount() - paintsBefore;
  EXPECT_EQ(f.session->Doc().Lines().LastLine(), "streamed line " + std::to_string(line - 1));
  EXPECT_GE(paints, 1);
  // One per 50 ms, and the caret's own small repaints beside them.
  EXPECT_LE(paints, 2 * static_cast<int>((elapsed + 200) / 50) + 4) << line << " lines";
  f.frame->Heartbeat().Stop();
  ::close(master);
}

}  // namespace
}  // namespace nami
