#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "time/Clock.h"
#include "link/LinkPort.h"
#include "link/SerialPort.h"

namespace nami {
namespace {

// A pseudo-terminal pair: the port under test opens the slave, the test
// plays the TNC on the master.
class PtyPair {
 public:
  PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
    slave_ = ptsname(master_);
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
  }
  ~PtyPair() { ::close(master_); }
  int Master() const { return master_; }
  const std::string& Slave() const { return slave_; }
  std::string ReadAll(int waitMs = 200) {
    std::string out;
    char buf[4096];
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0) {
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) out.append(buf, static_cast<std::size_t>(n));
      } else if (!out.empty()) {
        break;
      }
    }
    return out;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

termios SettingsOf(int fd) {
  termios t{};
  tcgetattr(fd, &t);
  return t;
}

TEST(SerialPort, BytesGoBothWaysInOrderWithoutBlocking) {
  PtyPair pty;
  std::vector<std::string> asked;
  CSerialPort port([&](const std::string& name) {
    asked.push_back(name);
    return pty.Slave();
  });
  ASSERT_TRUE(port.Open("COM2:9600,n,8,1,n"));
  EXPECT_EQ(asked.back(), "COM2");

  char buf[4096];
  EXPECT_EQ(port.ReadAvailable(buf, sizeof buf), 0u);  // nothing arrived: no wait

  std::string sent;
  for (int i = 0; i < 256; ++i) sent += static_cast<char>(i);  // every byte value, 0x03 and 0x11/0x13 included
  EXPECT_EQ(port.SendText(sent), sent.size());
  EXPECT_EQ(pty.ReadAll(), sent);

  const std::string reply = "*** CONNECTED to QZ1ABC\r\n\x11\x13";
  ASSERT_EQ(::write(pty.Master(), reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
  std::string got;
  for (int i = 0; i < 50 && got.size() < reply.size(); ++i) {
    std::size_t n = port.ReadAvailable(buf, sizeof buf);
    got.append(buf, n);
    if (n == 0) ::usleep(10000);
  }
  EXPECT_EQ(got, reply);  // raw: no CR/LF translation, XON/XOFF bytes delivered as data
  EXPECT_EQ(port.TransmitQueueCount(), 0);

  // A "comstatus" naming COM10 opens COM1's device.
  port.Close();
  ASSERT_TRUE(port.Open("COM10:9600,n,8,1,n"));
  EXPECT_EQ(asked.back(), "COM1");
}

TEST(SerialPort, LineSettingsAndFlowControlReadBack) {
  PtyPair pty;
  CSerialPort port([&](const std::string&) { return pty.Slave(); });

  ASSERT_TRUE(port.Open("COM2:9600,n,8,1,n"));
  termios t = SettingsOf(pty.Master());
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & CSTOPB);
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
  EXPECT_FALSE(t.c_iflag & (ICRNL | INPCK));
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);

  // A pseudo-terminal ignores data bits and parity, so those are checked on
  // the settings the port asks for.
  termios wanted = t;
  ConfigureTermios(wanted, ParseComConfig("COM1:4800,e,7,2,x"));
  EXPECT_EQ(wanted.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
  EXPECT_TRUE(wanted.c_cflag & PARENB);
  EXPECT_FALSE(wanted.c_cflag & PARODD);
  ConfigureTermios(wanted, ParseComConfig("COM1:4800,o,8,1,x"));
  EXPECT_EQ(wanted.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB | PARODD));
  EXPECT_EQ(wanted.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

  ASSERT_TRUE(port.Open("COM1:4800,e,7,2,x"));
  t = SettingsOf(pty.Master());
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800));
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_FALSE(t.c_cflag & CRTSCTS);

  ASSERT_TRUE(port.Open("COM1:4800,n,8,1,h"));
  t = SettingsOf(pty.Master());
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

  // A rejected mode string keeps the line settings; the flow letter still applies.
  ASSERT_TRUE(port.Open("COM1:1234,n,8,1,x"));
  t = SettingsOf(pty.Master());
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800));
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);

  // Any other letter leaves the flow control as it was.
  ASSERT_TRUE(port.Open("COM1:4800,n,8,1,?"));
  EXPECT_TRUE(SettingsOf(pty.Master()).c_iflag & IXON);
}

TEST(SerialPort, AFullPortGivesUpAfterOneSecond) {
  PtyPair pty;
  CSerialPort port([&](const std::string&) { return pty.Slave(); });
  ASSERT_TRUE(port.Open("COM2:9600,n,8,1,n"));
  // Nobody reads the master: fill the pty until it takes nothing more.
  const std::string block(1 << 16, 'x');
  std::size_t taken = port.SendText(block);
  EXPECT_LT(taken, block.size());
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.SendText("y"), 0u);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 900);
  EXPECT_LT(ms, 2500);
}

TEST(SerialPort, MissingDeviceGivesAPortThatReadsNothing) {
  CSerialPort port([](const std::string&) { return std::string("/nonexistent/ttyNAMI"); });
  EXPECT_FALSE(port.Open("COM2:9600,n,8,1,n"));
  EXPECT_FALSE(port.IsOpen());
  char buf[16];
  EXPECT_EQ(port.ReadAvailable(buf, sizeof buf), 0u);
  EXPECT_EQ(port.SendText("abc"), 0u);
  EXPECT_EQ(port.TransmitQueueCount(), 0);
  port.Close();  // harmless

  // A name that is no port at all.
  CSerialPort none([](const std::string&) { return std::string(); });
  EXPECT_FALSE(none.Open("XY"));
  // A regular file is not a serial device.
  CSerialPort file([](const std::string&) { return std::string("/etc/hostname"); });
  EXPECT_FALSE(file.Open("COM2:9600,n,8,1,n"));
}

// A port that cannot be opened says which device and why.
TEST(SerialPort, AFailedOpenNamesTheDeviceAndTheReason) {
  PtyPair pty;
  CSerialPort holder([&](const std::string&) { return pty.Slave(); });
  ASSERT_TRUE(holder.Open("COM2:9600,n,8,1,n"));
  char dir[] = "/tmp/nami-port-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string plain = std::string(dir) + "/plain";
  ::close(::open(plain.c_str(), O_CREAT | O_WRONLY, 0600));
  struct Case {
    std::string device;
    std::string reason;
  };
  const Case cases[] = {
      {std::string(dir) + "/missing", "ファイルまたはデバイスがありません"},
      {plain, "シリアルデバイスではありません (端末ではありません)"},
      {pty.Slave(), "プロセス " + std::to_string(::getpid()) + " が使用中です"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    CSerialPort port([&](const std::string&) { return c.device; });
    EXPECT_FALSE(port.Open("COM2:9600,n,8,1,n"));
    EXPECT_EQ(port.Failure(), c.device + ": " + c.reason);
  }
  // Refused access: joining the device's group is advised only when the
  // group may use the device; else it allows only its owner.
  const struct {
    mode_t mode;
    const char* advice;
  } modes[] = {{0660, "ユーザーをグループ "}, {0600, "このデバイスは所有者 "}, {0640, "このデバイスは所有者 "}};
  for (const auto& m : modes) {
    ::chmod(plain.c_str(), m.mode);
    const std::string text = PortErrorText(plain, {PortFault::Permission, EACCES, 0});
    EXPECT_EQ(text.rfind("アクセスが拒否されました: ", 0), 0u) << text;
    EXPECT_NE(text.find(m.advice), std::string::npos) << m.mode << ": " << text;
  }
  ::unlink(plain.c_str());
  ::rmdir(dir);
}

// Opening keeps the kind of failure and the system's errno, from real paths.
TEST(SerialPort, AFailedOpenKeepsItsKindAndErrno) {
  PtyPair pty, held;
  CSerialPort holder([&](const std::string&) { return held.Slave(); });
  ASSERT_TRUE(holder.Open("COM2:9600,n,8,1,n"));
  char dir[] = "/tmp/nami-kind-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string base = dir;
  const std::string plain = base + "/plain";
  ::close(::open(plain.c_str(), O_CREAT | O_WRONLY, 0600));
  struct Case {
    std::string device;
    PortFault fault;
    std::vector<int> errors;  // the errno the system may give
  };
  const Case cases[] = {
      {pty.Slave(), PortFault::None, {0}},
      {"", PortFault::NoDevice, {0}},
      {base + "/missing", PortFault::NotFound, {ENOENT}},
      {plain + "/below", PortFault::NotFound, {ENOTDIR}},
      {base, PortFault::NotATerminal, {EISDIR}},
      {plain, PortFault::NotATerminal, {ENOTTY}},
      // Another holder: refused by the exclusive flag, or (for root) by the lock.
      {held.Slave(), PortFault::Busy, {EBUSY, EWOULDBLOCK}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    CSerialPort port([&](const std::string&) { return c.device; });
    EXPECT_EQ(port.Open("COM2:9600,n,8,1,n"), c.fault == PortFault::None);
    const SPortError e = port.Error();
    EXPECT_EQ(e.fault, c.fault);
    EXPECT_NE(std::find(c.errors.begin(), c.errors.end(), e.error), c.errors.end()) << e.error;
    EXPECT_EQ(port.Failure().empty(), c.fault == PortFault::None) << port.Failure();
  }
  ::unlink(plain.c_str());
  ::rmdir(dir);
}

// A device the user may not open: Permission with EACCES. Root opens any
// file, so the open runs in a child that has given up root.
TEST(SerialPort, ADeviceTheUserMayNotOpenIsAPermissionFault) {
  char dir[] = "/tmp/nami-perm-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string locked = std::string(dir) + "/locked";
  ::close(::open(locked.c_str(), O_CREAT | O_WRONLY, 0600));
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    CSerialPort port([&](const std::string&) { return locked; });
    const bool opened = port.Open("COM2:9600,n,8,1,n");
    const SPortError e = port.Error();
    const int report[2] = {opened ? -1 : static_cast<int>(e.fault), e.error};
    ::_exit(::write(fds[1], report, sizeof report) == sizeof report ? 0 : 3);
  }
  ::close(fds[1]);
  int report[2] = {-2, -2};
  const ssize_t got = ::read(fds[0], report, sizeof report);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) {
    ::unlink(locked.c_str());
    ::rmdir(dir);
    GTEST_SKIP() << "root without the right to give up root: cannot try an unprivileged open";
  }
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_EQ(got, static_cast<ssize_t>(sizeof report));
  EXPECT_EQ(report[0], static_cast<int>(PortFault::Permission));
  EXPECT_EQ(report[1], EACCES);
  ::unlink(locked.c_str());
  ::rmdir(dir);
}

// The link port passes the serial port's kind on, and calls a value that
// names no usable port a settings fault; the text names the port once.
TEST(SerialPort, TheLinkPortKeepsTheKindBehindItsMessage) {
  struct Case {
    std::string value;
    PortFault fault;
    int error;
    std::string failure;
  };
  const Case cases[] = {
      {"/nonexistent/ttyNAMI", PortFault::NotFound, ENOENT,
       "COM2 を開けません: /nonexistent/ttyNAMI: ファイルまたはデバイスがありません"},
      {"nonsense", PortFault::Settings, 0,
       "COM2 \"nonsense\": デバイスのパスでも agw://HOST:PORT, telnet://HOST:PORT, kiss://HOST:PORT, kiss:DEVICE, "
       "sim: でもありません"},
      {"sim:", PortFault::Settings, 0, "COM2 \"sim:\": このリンクの種類はここでは使えません"},
  };
  CManualClock clock;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    SLinkHooks hooks;
    hooks.device = [&](const std::string&) { return c.value; };
    CLinkPort port(clock, hooks);
    EXPECT_FALSE(port.Open("COM2:9600,n,8,1,n"));
    EXPECT_EQ(port.Error().fault, c.fault);
    EXPECT_EQ(port.Error().error, c.error);
    EXPECT_EQ(port.Failure(), c.failure);
  }
}

// The far end going away (a USB adapter pulled) closes the port once.
TEST(SerialPort, AVanishedDeviceClosesThePortAndSaysSo) {
  auto pty = std::make_unique<PtyPair>();
  const std::string slave = pty->Slave();
  CSerialPort port([&](const std::string&) { return slave; });
  ASSERT_TRUE(port.Open("COM2:9600,n,8,1,n"));
  char buf[64];
  EXPECT_EQ(port.ReadAvailable(buf, sizeof buf), 0u);
  EXPECT_FALSE(port.TakeLost());
  pty.reset();
  EXPECT_EQ(port.ReadAvailable(buf, sizeof buf), 0u);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_TRUE(port.TakeLost());
  EXPECT_FALSE(port.TakeLost());
  EXPECT_NE(port.Failure().find(slave + ": デバイスが失われました"), std::string::npos) << port.Failure();
  EXPECT_EQ(port.Error().fault, PortFault::Lost);
}

}  // namespace
}  // namespace nami
