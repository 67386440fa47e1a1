// The fuzz bodies of the network links and the settings file: the AGWPE
// decoder, the telnet far side on a real loopback connection, and NAMI.INI.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string_view>

#include "FuzzBodies.h"
#include "link/Agw.h"
#include "link/TelnetFarSide.h"
#include "settings/FileOps.h"
#include "settings/IniFile.h"

namespace nami::fuzz {
namespace {

std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

std::uint32_t Next(std::uint32_t& rng) {
  rng = rng * 1103515245u + 12345u;
  return rng >> 16;
}

}  // namespace

std::string CheckAgw(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return {};
  std::uint32_t rng = data[0] * 2654435761u + 3;
  const std::string_view stream = Bytes(data + 1, size - 1);
  agw::CDecoder decoder;
  std::size_t pos = 0;
  while (pos < stream.size()) {
    std::size_t n = 1 + Next(rng) % 200;
    if (n > stream.size() - pos) n = stream.size() - pos;
    decoder.Feed(stream.substr(pos, n));
    pos += n;
    for (;;) {
      agw::SFrame frame;
      std::string error;
      const agw::CDecoder::Result r = decoder.Next(frame, error);
      if (r == agw::CDecoder::Result::NeedMore) break;
      if (r == agw::CDecoder::Result::Bad) {
        if (error.empty()) return "a refused stream without a reason";
        decoder.Clear();  // as the link does: the connection ends
        break;
      }
      if (frame.data.size() > agw::kMaxData) return "a frame over the data limit";
      // A decoded frame encodes and decodes back to itself.
      agw::CDecoder again;
      again.Feed(agw::Encode(frame));
      agw::SFrame back;
      if (again.Next(back, error) != agw::CDecoder::Result::Frame) return "a decoded frame does not decode again";
      // A call field holds at most 9 characters and its NUL; a server's
      // 10-character field is sent back cut to 9.
      if (back.port != frame.port || back.kind != frame.kind || back.pid != frame.pid ||
          back.from != frame.from.substr(0, 9) || back.to != frame.to.substr(0, 9) || back.data != frame.data)
        return "a decoded frame changes when encoded again";
      if (frame.kind == 'v' || frame.kind == 'V') {
        std::vector<std::string> via;
        if (agw::ParseViaData(frame.data, via) && via.size() > 8) return "more than 8 digipeaters";
      }
    }
    // Memory stays bounded: what waits is less than one largest frame.
    if (decoder.Buffered() >= agw::kHeaderSize + agw::kMaxData) return "the decoder holds more than one frame";
  }
  return {};
}

namespace {

constexpr unsigned char kIac = 255, kWill = 251, kWont = 252, kDo = 253, kDont = 254, kSb = 250, kSe = 240;

struct Recorder final : IFarSideEvents {
  void OnConnected(std::int64_t, const std::string&) override { connected = true; }
  void OnDisconnected(std::int64_t) override { down = true; }
  void OnBusy(std::int64_t, const std::string&) override { down = true; }
  void OnRetryExceeded(std::int64_t) override { down = true; }
  void OnData(std::int64_t, std::string_view bytes) override { text.append(bytes); }
  void OnMonitor(std::int64_t, const std::string&) override {}
  void OnFailure(std::int64_t, const std::string& reason) override {
    down = true;
    failure = reason;
  }
  bool connected = false;
  bool down = false;
  std::string failure;
  std::string text;
};

// A listening socket on loopback, for the life of the process.
struct Listener {
  Listener() {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      std::abort();
    port = ntohs(a.sin_port);
  }
  int fd = -1;
  int port = 0;
};

bool WaitFor(int fd, short events, int ms) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, ms) == 1;
}

// What a telnet client must make of the server's bytes: the text without
// the commands (IAC IAC is 0xFF, NUL is dropped), and the options offered
// or asked for, in order.
std::string ExpectedText(std::string_view in) {
  std::string text;
  enum { Data, Command, Option, Sub, SubIac } s = Data;
  for (char ch : in) {
    const auto c = static_cast<unsigned char>(ch);
    switch (s) {
      case Data:
        if (c == kIac)
          s = Command;
        else if (c != 0)
          text.push_back(ch);
        break;
      case Command:
        if (c == kIac) {
          text.push_back(ch);
          s = Data;
        } else {
          s = c == kWill || c == kWont || c == kDo || c == kDont ? Option : c == kSb ? Sub : Data;
        }
        break;
      case Option:
        s = Data;
        break;
      case Sub:
        if (c == kIac) s = SubIac;
        break;
      case SubIac:
        s = c == kSe ? Data : Sub;
        break;
    }
  }
  return text;
}

// Checks what the client sent back: refusals only (DONT for WILL, WONT for
// DO), each at most once per option and direction, and plain lines.
std::string CheckReplies(std::string_view replies) {
  std::set<int> seen;
  for (std::size_t i = 0; i < replies.size();) {
    const auto c = static_cast<unsigned char>(replies[i]);
    if (c != kIac) {
      ++i;
      continue;
    }
    if (i + 2 >= replies.size()) return "a cut telnet reply";
    const auto verb = static_cast<unsigned char>(replies[i + 1]);
    if (verb != kDont && verb != kWont) return "a reply that is not a refusal";
    if (!seen.insert(verb << 8 | static_cast<unsigned char>(replies[i + 2])).second) return "an option refused twice";
    i += 3;
  }
  return {};
}

}  // namespace

std::string CheckTelnet(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return {};
  static Listener listener;
  std::uint32_t rng = data[0] * 2654435761u + 11;
  const std::string_view stream = Bytes(data + 1, size - 1);

  Recorder events;
  CTelnetFarSide far("telnet://fuzz", "127.0.0.1", listener.port, [](FileFault&) { return std::string("s3cret"); });
  far.SetEvents(&events);
  far.SetMyCall("JA1ABC");
  far.Connect("BBS", {});
  std::int64_t now = 0;
  int server = -1;
  for (int i = 0; i < 200 && server < 0; ++i) {
    far.Poll(++now);
    if (WaitFor(listener.fd, POLLIN, 10)) server = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
  }
  if (server < 0) return "no connection on loopback";
  for (int i = 0; i < 200 && !events.connected && !events.down; ++i) {
    far.Poll(++now);
    if (!events.connected) WaitFor(far.PollFd(), POLLOUT | POLLIN, 10);
  }
  if (!events.connected) {
    ::close(server);
    return "the connection did not come up: " + events.failure;
  }

  // The server's bytes in pseudo-random pieces, the client polled between
  // them; then the server ends its side and the client must see the end.
  std::string replies;
  char buf[4096];
  auto drain = [&] {
    for (;;) {
      const ssize_t n = ::recv(server, buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) return;
      replies.append(buf, static_cast<std::size_t>(n));
    }
  };
  std::size_t pos = 0;
  while (pos < stream.size() && !events.down) {
    std::size_t n = 1 + Next(rng) % 300;
    if (n > stream.size() - pos) n = stream.size() - pos;
    const ssize_t w = ::send(server, stream.data() + pos, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w > 0) pos += static_cast<std::size_t>(w);
    far.Poll(++now);
    drain();
  }
  ::shutdown(server, SHUT_WR);
  for (int i = 0; i < 2000 && !events.down; ++i) {
    if (far.PollFd() >= 0) WaitFor(far.PollFd(), POLLIN, 10);
    far.Poll(++now);
    drain();
  }
  far.Close();
  WaitFor(server, POLLIN, 100);
  drain();
  ::close(server);
  if (!events.down) return "the end of the connection was not noticed";

  if (std::string e = CheckReplies(replies); !e.empty()) return e;
  const std::string expected = ExpectedText(stream.substr(0, pos));
  // A server that floods the negotiation is cut off: the text then stops early.
  const bool cut = events.failure.find("floods") != std::string::npos;
  if (cut ? expected.compare(0, events.text.size(), events.text) != 0 : events.text != expected)
    return "the text differs from the server's bytes less the telnet commands";
  return {};
}

namespace {

// No flushing to the disk: a fuzz run writes the file a million times.
struct FastOps final : IFileOps {
  ssize_t Write(int fd, const void* data, std::size_t size) override { return ::write(fd, data, size); }
  int Sync(int) override { return 0; }
  int Rename(const char* from, const char* to) override { return ::rename(from, to); }
};

struct IniDir {
  IniDir() { dir = MakeFuzzDir("nami-fuzz-ini"); }
  ~IniDir() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
};

}  // namespace

std::string CheckIni(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return {};
  static IniDir dir;
  static FastOps ops;
  const std::string path = dir.dir + "/NAMI.INI";
  const std::uint8_t pick = data[0];
  // The value written: printable ASCII, with blanks and quotes at its ends
  // as often as not.
  std::string value;
  for (std::size_t i = 1; i < size && i < 12; ++i) value.push_back(static_cast<char>(0x20 + data[i] % 0x5F));
  const std::string_view text = Bytes(data + 1, size - 1);
  if (!WriteFileAtomically(path, text, ops)) return "the test file could not be written";

  // "無題" and "‐" (whose second byte is "]") in CP932, and plain names;
  // the written key is one of them.
  const char* const sections[] = {"\x96\xb3\x91\xe8", "Devices", "x", "\x81\x5d"};
  const char* const keys[] = {"send1", "min", "COM2", "call"};
  const char* section = sections[pick & 3];
  const char* key = keys[(pick >> 2) & 3];

  // Besides the written key, one key of each section (another key in the
  // written one) is read before and after: it must keep its value.
  CIniFile ini(path, ops);
  std::string before[4];
  int other[4];
  for (int s = 0; s < 4; ++s) {
    other[s] = (pick >> 4 >> (s & 1)) & 3;
    if (s == (pick & 3) && other[s] == ((pick >> 2) & 3)) other[s] = (other[s] + 1) & 3;
    before[s] = ini.ReadString(sections[s], keys[other[s]], 4096);
  }
  if (!ini.WriteString(section, key, value)) return {};  // e.g. a file nami cannot read: it is never written
  const std::string back = ini.ReadString(section, key, 4096);
  if (back != value) return "a written value reads back as \"" + back + "\", not \"" + value + "\"";
  for (int s = 0; s < 4; ++s)
    if (ini.ReadString(sections[s], keys[other[s]], 4096) != before[s])
      return std::string("writing changed the value of ") + keys[other[s]];
  return {};
}

}  // namespace nami::fuzz
