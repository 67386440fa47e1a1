// The Dire Wolf pair as a C++ test sees it: ports that answer, and a frame
// sent into A's KISS port heard on B's after crossing the relayed audio.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

#include "support/DirewolfRig.h"

namespace {

int ConnectLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Reads until `want` bytes arrived, the peer closed, or the time ran out.
std::string ReadFor(int fd, size_t want, int timeoutMs) {
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < want) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[1024];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

std::string Address(const std::string& call, bool last) {
  std::string out;
  for (size_t i = 0; i < 6; ++i) out += static_cast<char>((i < call.size() ? call[i] : ' ') << 1);
  out += static_cast<char>(0x60 | (last ? 1 : 0));
  return out;
}

TEST(DirewolfRig, AgwAnswersAndKissFrameCrossesTheAudio) {
  nami::test::DirewolfRig rig({"--txdelay", "10"});
  ASSERT_TRUE(rig.Ok()) << rig.Error();
  for (const char* key : {"A_AGW", "A_KISS", "B_AGW", "B_KISS", "A_PID", "B_PID"}) {
    EXPECT_GT(rig.Port(key), 0) << key;
  }

  // AGW version request 'R': a 36-byte header answered by 'R' with 8 bytes of data.
  int agw = ConnectLoopback(rig.Port("A_AGW"));
  ASSERT_GE(agw, 0);
  std::string req(36, '\0');
  req[4] = 'R';
  ASSERT_EQ(write(agw, req.data(), req.size()), 36);
  std::string reply = ReadFor(agw, 36 + 8, 5000);
  close(agw);
  ASSERT_EQ(reply.size(), 44u);
  EXPECT_EQ(reply[4], 'R');

  // A UI frame into A's KISS port comes out of B's, byte for byte.
  int kissB = ConnectLoopback(rig.Port("B_KISS"));
  int kissA = ConnectLoopback(rig.Port("A_KISS"));
  ASSERT_GE(kissA, 0);
  ASSERT_GE(kissB, 0);
  std::string frame = Address("BEACON", false) + Address("N0ABC", true) + "\x03\xf0nami rig";
  std::string kiss = "\xc0" + std::string(1, '\0') + frame + "\xc0";
  ASSERT_EQ(write(kissA, kiss.data(), kiss.size()), static_cast<ssize_t>(kiss.size()));
  std::string heard = ReadFor(kissB, kiss.size(), 10000);
  close(kissA);
  close(kissB);
  EXPECT_EQ(heard, kiss);
}

TEST(DirewolfRig, ReportsWhyItDidNotStart) {
  nami::test::DirewolfRig rig({"--sample-rate", "fast"});
  EXPECT_FALSE(rig.Ok());
  EXPECT_NE(rig.Error().find("sample-rate"), std::string::npos) << rig.Error();
  EXPECT_EQ(rig.Port("A_AGW"), 0);
}

}  // namespace
