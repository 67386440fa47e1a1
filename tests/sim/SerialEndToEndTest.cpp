// nami's own serial port against nami-tncsim's server: the bytes of an
// autopilot run, and a close and reopen as at File New.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/SerialPort.h"
#include "sim/PtyServer.h"
#include "support/TestSupport.h"
#include "text/ShiftJis.h"

namespace nami::sim {
namespace {

std::string ReadUntil(IPort& port, const std::string& until, int ms = 5000) {
  std::string got;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (got.find(until) == std::string::npos && std::chrono::steady_clock::now() < end) {
    char buf[4096];
    std::size_t n = port.ReadAvailable(buf, sizeof buf);
    if (n) got.append(buf, n);
    else std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return got;
}

TEST(SerialEndToEnd, AutopilotBytesOverThePseudoTerminal) {
  test::TempDir dir;
  CSystemClock clock;
  CMessageBase base = CMessageBase::BuiltIn();
  CBbs bbs(base);
  STncOptions o;
  o.connectDelayMs = 50;
  o.answerDelayMs = 5;
  o.lineDelayMs = 1;
  CTnc2 tnc(bbs, clock, o);
  SPtyOptions po;
  po.linkPath = dir.File("tnc");
  po.logPath = dir.File("log");
  CPtyServer server(tnc, clock, po);
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  std::thread thread([&] { server.Run(); });

  CSerialPort port([&](const std::string&) { return po.linkPath; });
  ASSERT_TRUE(port.Open("COM2:9600,n,8,1,n"));
  EXPECT_NE(ReadUntil(port, "cmd:").find("TNC-2 simulator"), std::string::npos);
  std::string sent;
  auto send = [&](const std::string& bytes) {
    EXPECT_EQ(port.SendText(bytes), bytes.size());
    sent += bytes;
  };
  const std::string prompt = "QZ1ABC BBS>\r\n";
  send("\x03\rCONNECT QZ1ABC\r");
  ReadUntil(port, prompt);
  std::string mail = "SP QZ2KLM\r" + test::Sjis("件名") + "\rline 1\rline 2\r";
  for (char c : mail) send(std::string(1, c));  // one byte at a time, as mail files go
  send("\x1A\r");
  EXPECT_NE(ReadUntil(port, "stored.\r\n\r\n" + prompt).find("Message #1231 stored."), std::string::npos);
  send("L\r");
  std::string list = ReadUntil(port, prompt);
  EXPECT_NE(list.find("\r\n1231 "), std::string::npos);
  send("R 1231\r");
  EXPECT_NE(ReadUntil(port, prompt).find("line 1\r\nline 2\r\n\r\n" + prompt), std::string::npos);
  send("B\r");
  send("\x03" "D\r");
  EXPECT_NE(ReadUntil(port, "Not while disconnected").find("*** DISCONNECTED"), std::string::npos);

  // File New: the port is closed and opened again at once.
  port.Close();
  ASSERT_TRUE(port.Open("COM2:9600,n,8,1,n"));
  EXPECT_NE(ReadUntil(port, "cmd:").find("TNC-2 simulator"), std::string::npos);
  port.Close();

  server.RequestStop();
  thread.join();
  // The log shows exactly the bytes nami sent.
  std::string log = test::ReadFile(po.logPath);
  std::string logged;
  for (std::size_t p = 0; p < log.size();) {
    std::size_t e = log.find('\n', p);
    std::string line = log.substr(p, e - p);
    p = e + 1;
    if (line.empty() || line[0] == '#') continue;
    logged += line.substr(line.find(' ') + 1);
  }
  EXPECT_EQ(logged, CPtyServer::EscapeBytes(sent));
}

}  // namespace
}  // namespace nami::sim
