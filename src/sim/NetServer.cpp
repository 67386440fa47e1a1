#include "sim/NetServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/Agw.h"
#include "link/TcpLink.h"
#include "link/Tnc2Engine.h"

namespace nami::sim {
namespace {

constexpr std::size_t kFrameData = 256;  // data per 'D' frame, like an AX.25 PACLEN
constexpr int kHangupQueryMs = 300;

std::string Normal(std::string call) {
  for (char& c : call) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (call.size() > 2 && call.compare(call.size() - 2, 2, "-0") == 0) call.resize(call.size() - 2);
  return call;
}

std::string Le32(std::uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}

int Listen(const std::string& bind, int port, int& bound, std::string* error) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  if (fd < 0 || ::inet_pton(AF_INET, bind.c_str(), &a.sin_addr) != 1 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0) {
    if (error) *error = bind + ":" + std::to_string(port) + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return -1;
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  bound = ntohs(a.sin_port);
  return fd;
}

}  // namespace

struct CNetServer::Client {
  enum class State { Idle, Connecting, Connected };
  int fd = -1;
  bool agw = false;
  bool outgoing = false;  // --agw-bbs: our connection to another AGWPE server
  std::string out;
  bool closeWhenSent = false;
  bool closed = false;
  // AGWPE
  agw::CDecoder decoder;
  std::string call;    // registered by the client (server) or the BBS's call (--agw-bbs)
  std::string remote;  // the station at the other end of the connection
  State state = State::Idle;
  bool toBbs = false;
  std::int64_t connectAt = -1;
  int sessionLines = 0;
  bool hangup = false;  // --agw-bbs: disconnect once everything is delivered
  std::int64_t queryAt = -1;
  // telnet
  int stage = 0;  // 0 call, 1 password, 2 BBS
  std::string line;
  std::string user;
  int iac = 0;
  bool afterCr = false;
};

CNetServer::CNetServer(CBbs& bbs, IClock& clock, SNetOptions options)
    : bbs_(bbs), clock_(clock), options_(std::move(options)) {}

CNetServer::~CNetServer() {
  for (auto& c : clients_)
    if (c->fd >= 0) ::close(c->fd);
  for (int fd : {agwListen_, telnetListen_, wake_[0], wake_[1]})
    if (fd >= 0) ::close(fd);
}

bool CNetServer::Start(std::string* error) {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  if (options_.agwPort >= 0 && (agwListen_ = Listen(options_.bind, options_.agwPort, agwBound_, error)) < 0)
    return false;
  if (options_.telnetPort >= 0 && (telnetListen_ = Listen(options_.bind, options_.telnetPort, telnetBound_, error)) < 0)
    return false;
  if (!options_.agwBbs.empty()) {
    std::size_t colon = options_.agwBbs.rfind(':');
    int port = colon == std::string::npos ? 8000 : std::atoi(options_.agwBbs.c_str() + colon + 1);
    std::string host = options_.agwBbs.substr(0, colon);
    CTcpLink link("agw://" + options_.agwBbs);
    // Wait for the connection here: nothing else to serve before it stands.
    if (!link.Connect(host, port)) {
      if (error) *error = link.Error();
      return false;
    }
    for (int i = 0; i < 500 && link.GetState() == CTcpLink::State::Connecting; ++i) {
      ::usleep(10000);
      if (!link.Poll()) break;
    }
    if (!link.IsOpen()) {
      if (error) *error = link.Error().empty() ? "agw://" + options_.agwBbs + ": no answer" : link.Error();
      return false;
    }
    auto c = std::make_unique<Client>();
    c->fd = ::dup(link.Fd());
    ::fcntl(c->fd, F_SETFD, FD_CLOEXEC);
    c->agw = true;
    c->outgoing = true;
    c->call = bbs_.Call();
    clients_.push_back(std::move(c));
    AgwFrame(*clients_.back(), 'X', bbs_.Call(), "", "");
  }
  return true;
}

void CNetServer::RequestStop() {
  stop_ = true;
  if (wake_[1] >= 0) {
    char b = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
  }
}

void CNetServer::AgwFrame(Client& c, char kind, const std::string& from, const std::string& to,
                          const std::string& data) {
  agw::SFrame f;
  f.kind = kind;
  f.from = from;
  f.to = to;
  f.data = data;
  f.pid = kind == 'D' ? 0xF0 : 0;
  c.out += agw::Encode(f);
}

// BBS lines to the station as 'D' frames of at most kFrameData bytes.
void CNetServer::AgwBbsData(Client& c, const std::string& remote, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) {
    if (options_.tnc.failure == LinkFailure::DropAfter && !c.outgoing &&
        c.sessionLines >= options_.tnc.dropAfterLines) {
      c.sessionLines = -1;
      break;
    }
    ++c.sessionLines;
    text += l + "\r";
  }
  // A server's data frames come from the station; ours, at another server,
  // go to it.
  for (std::size_t i = 0; i < text.size(); i += kFrameData) {
    if (c.outgoing)
      AgwFrame(c, 'D', c.call, remote, text.substr(i, kFrameData));
    else
      AgwFrame(c, 'D', remote, c.call, text.substr(i, kFrameData));
  }
  if (c.sessionLines < 0) {  // the simulated link breaks
    EndSession(c);
    AgwFrame(c, 'd', remote, c.call, "*** DISCONNECTED RETRYOUT With " + remote + "\r");
    c.state = Client::State::Idle;
    return;
  }
  if (!bbs_.InSession() && session_ == &c) {
    session_ = nullptr;
    // The station logged off ("B"): said on the error stream, so that a rig
    // can tell a log-off that arrived from a link that merely ended.
    std::fprintf(stderr, "nami-tncsim: %s logged off\n", remote.c_str());
    if (c.outgoing) {
      c.hangup = true;  // after the last frame is delivered
      c.queryAt = clock_.MonotonicMs();
    } else {
      AgwFrame(c, 'd', remote, c.call, "*** DISCONNECTED From Station " + remote + "\r");
      c.state = Client::State::Idle;
    }
  }
}

void CNetServer::EndSession(Client& c) {
  if (session_ != &c) return;
  if (bbs_.InSession()) bbs_.Drop();
  session_ = nullptr;
}

void CNetServer::ServeAgw(Client& c, std::int64_t now) {
  agw::SFrame f;
  std::string error;
  for (;;) {
    auto r = c.decoder.Next(f, error);
    if (r == agw::CDecoder::Result::NeedMore) return;
    if (r == agw::CDecoder::Result::Bad) {
      c.closed = true;
      return;
    }
    if (c.outgoing) {
      if (!AgwAsStation(c, f)) return;
    } else {
      AgwAsServer(c, f, now);
    }
  }
}

// A frame from the server where we are the BBS's station; false when the
// server refused our call.
bool CNetServer::AgwAsStation(Client& c, const agw::SFrame& f) {
  if (f.kind == 'X' && (f.data.empty() || f.data[0] != 1)) {
    std::fprintf(stderr, "nami-tncsim: the AGWPE server refused the call %s\n", c.call.c_str());
    c.closed = true;
    return false;
  }
  if (f.kind == 'C') {
    if (session_ || c.state != Client::State::Idle) {
      AgwFrame(c, 'd', c.call, f.from, "");
      return true;
    }
    c.state = Client::State::Connected;
    c.remote = f.from;
    c.hangup = false;
    session_ = &c;
    AgwBbsData(c, c.remote, bbs_.Connect(f.from, clock_.Now()));
  } else if (f.kind == 'D' && c.state == Client::State::Connected && f.from == c.remote) {
    if (session_ == &c) AgwBbsData(c, c.remote, bbs_.Receive(f.data, clock_.Now()));
  } else if (f.kind == 'd' && f.from == c.remote) {
    EndSession(c);
    c.state = Client::State::Idle;
    c.hangup = false;
  } else if (f.kind == 'Y' && c.hangup && f.data.size() >= 4 && f.data.substr(0, 4) == Le32(0)) {
    AgwFrame(c, 'd', c.call, c.remote, "");
    c.hangup = false;
  }
  return true;
}

// A frame from a client of our AGWPE server.
void CNetServer::AgwAsServer(Client& c, const agw::SFrame& f, std::int64_t now) {
  switch (f.kind) {
    case 'R':
      AgwFrame(c, 'R', "", "", Le32(2005) + Le32(127));
      break;
    case 'G':
      AgwFrame(c, 'G', "", "", "1;Port1 nami-tncsim simulated radio;");
      break;
    case 'X':
      c.call = f.from;
      AgwFrame(c, 'X', f.from, "", std::string(1, '\1'));
      break;
    case 'C':
    case 'v':
      AgwConnect(c, f, now);
      break;
    case 'D':
      if (c.state == Client::State::Connected && session_ == &c)
        AgwBbsData(c, c.remote, bbs_.Receive(f.data, clock_.Now()));
      break;
    case 'd':
      if (c.state != Client::State::Idle) {
        EndSession(c);
        c.state = Client::State::Idle;
        AgwFrame(c, 'd', c.remote, c.call, "*** DISCONNECTED From Station " + c.remote + "\r");
      }
      break;
    case 'Y':
      AgwFrame(c, 'Y', f.from, f.to, Le32(0));
      break;
    default:
      break;  // 'm', 'x', 'M', 'V' ...: nothing to do for a simulated radio
  }
}

// A connect request ('C', or 'v' with digipeaters): answered by Timers once
// the connect time has passed.
void CNetServer::AgwConnect(Client& c, const agw::SFrame& f, std::int64_t now) {
  if (c.state != Client::State::Idle) return;
  std::vector<std::string> via;
  if (f.kind == 'v' && !agw::ParseViaData(f.data, via)) return;
  c.remote = f.to;
  c.state = Client::State::Connecting;
  c.toBbs = Normal(f.to) == Normal(bbs_.Call());
  int factor = (options_.tnc.failure == LinkFailure::Connect || !c.toBbs) ? 3 : 1;
  c.connectAt = options_.tnc.failure == LinkFailure::Silent
                    ? -1
                    : now + static_cast<std::int64_t>(options_.tnc.connectDelayMs) *
                                static_cast<std::int64_t>(via.size() + 1) * factor;
}

void CNetServer::Timers(std::int64_t now) {
  for (auto& cp : clients_) {
    Client& c = *cp;
    if (c.outgoing && c.hangup && now >= c.queryAt) {
      AgwFrame(c, 'Y', c.call, c.remote, "");
      c.queryAt = now + kHangupQueryMs;
    }
    if (c.state != Client::State::Connecting || c.connectAt < 0 || now < c.connectAt) continue;
    c.connectAt = -1;
    if (!c.toBbs || options_.tnc.failure == LinkFailure::Connect) {
      c.state = Client::State::Idle;
      AgwFrame(c, 'd', c.remote, c.call, "*** DISCONNECTED RETRYOUT With " + c.remote + "\r");
    } else if (options_.tnc.failure == LinkFailure::Busy || session_) {
      c.state = Client::State::Idle;
      AgwFrame(c, 'd', c.remote, c.call, "*** DISCONNECTED From Station " + c.remote + "\r");
    } else {
      c.state = Client::State::Connected;
      c.sessionLines = 0;
      session_ = &c;
      AgwFrame(c, 'C', c.remote, c.call, "*** CONNECTED With Station " + c.remote + "\r");
      AgwBbsData(c, c.remote, bbs_.Connect(c.call, clock_.Now()));
    }
  }
}

// The bytes received since the last pass (`c.line`), without the telnet
// option negotiation, with CR LF and LF as CR.
std::string CNetServer::TelnetText(Client& c) {
  std::string text;
  for (char ch : c.line) {
    auto b = static_cast<unsigned char>(ch);
    if (c.iac == 1) {  // after IAC
      c.iac = b == 255 ? 0 : (b >= 251 ? 2 : 0);
      if (b == 255) text.push_back(ch);
      continue;
    }
    if (c.iac == 2) {  // the option of WILL/WONT/DO/DONT
      c.iac = 0;
      continue;
    }
    if (b == 255) {
      c.iac = 1;
      continue;
    }
    if (ch == '\n' && c.afterCr) {
      c.afterCr = false;
      continue;
    }
    c.afterCr = ch == '\r';
    text.push_back(ch == '\n' ? '\r' : ch);
  }
  c.line.clear();
  return text;
}

void CNetServer::ServeTelnet(Client& c) {
  std::string text = TelnetText(c);
  if (c.stage == 2) {
    if (session_ != &c) return;
    for (const std::string& l : bbs_.Receive(text, clock_.Now())) c.out += l + "\r\n";
    if (!bbs_.InSession()) {
      session_ = nullptr;
      c.closeWhenSent = true;
    }
    return;
  }
  c.user += text;
  std::size_t cr;
  while (c.stage < 2 && (cr = c.user.find('\r')) != std::string::npos) {
    std::string entry = c.user.substr(0, cr);
    c.user.erase(0, cr + 1);
    while (!entry.empty() && entry.back() == ' ') entry.pop_back();
    if (!TelnetLogin(c, entry)) return;
  }
}

// One line typed at "Callsign :" or "Password :"; false when the
// connection is to close. Once logged in, the BBS greets and takes the rest.
bool CNetServer::TelnetLogin(Client& c, std::string entry) {
  if (c.stage == 0) {
    for (char& x : entry) x = static_cast<char>(std::toupper(static_cast<unsigned char>(x)));
    if (!CTnc2Engine::IsCall(entry)) {
      c.out += "Invalid callsign\r\n";
      c.closeWhenSent = true;
      return false;
    }
    c.call = entry;
    if (!options_.password.empty()) {
      c.out += "Password :";
      c.stage = 1;
      return true;
    }
  } else if (entry != options_.password) {
    c.out += "Login refused\r\n";
    c.closeWhenSent = true;
    return false;
  }
  if (session_) {
    c.out += "BBS busy, try again later\r\n";
    c.closeWhenSent = true;
    return false;
  }
  c.stage = 2;
  session_ = &c;
  for (const std::string& l : bbs_.Connect(c.call, clock_.Now())) c.out += l + "\r\n";
  std::string rest;
  rest.swap(c.user);
  if (!rest.empty()) {
    c.line = rest;
    c.afterCr = false;
    ServeTelnet(c);
  }
  return true;
}

void CNetServer::Accept(int listenFd, bool agw) {
  int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) return;
  auto c = std::make_unique<Client>();
  c->fd = fd;
  c->agw = agw;
  if (!agw) c->out = "nami-tncsim telnet BBS " + bbs_.Call() + "\r\n\r\nCallsign :";
  clients_.push_back(std::move(c));
}

// The poll timeout: the next connect to answer or hang-up query, at most 1 s.
int CNetServer::PollTimeout(std::int64_t now) const {
  int timeout = 1000;
  for (auto& c : clients_) {
    if (c->connectAt >= 0) timeout = static_cast<int>(std::clamp<std::int64_t>(c->connectAt - now, 0, timeout));
    if (c->hangup) timeout = std::min(timeout, kHangupQueryMs);
  }
  return timeout;
}

void CNetServer::ReadClient(Client& c, std::int64_t now) {
  char buf[4096];
  ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
  if (n > 0) {
    if (c.agw) {
      c.decoder.Feed(std::string_view(buf, static_cast<std::size_t>(n)));
      ServeAgw(c, now);
    } else {
      c.line.append(buf, static_cast<std::size_t>(n));
      ServeTelnet(c);
    }
  } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
    c.closed = true;
  }
}

void CNetServer::FlushClients() {
  for (auto& c : clients_) {
    while (!c->closed && !c->out.empty()) {
      ssize_t n = ::send(c->fd, c->out.data(), c->out.size(), MSG_NOSIGNAL);
      if (n > 0)
        c->out.erase(0, static_cast<std::size_t>(n));
      else if (n < 0 && errno == EAGAIN)
        break;
      else
        c->closed = true;
    }
    if (c->closeWhenSent && c->out.empty()) c->closed = true;
  }
}

// Closes the connections that ended; true when one was ours to the AGWPE
// server of --agw-bbs.
bool CNetServer::CloseEnded() {
  bool lostServer = false;
  for (auto it = clients_.begin(); it != clients_.end();) {
    if ((*it)->closed) {
      EndSession(**it);
      if ((*it)->outgoing) lostServer = true;
      ::close((*it)->fd);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
  return lostServer;
}

bool CNetServer::Run() {
  while (!stop_) {
    std::vector<pollfd> fds;
    fds.push_back({wake_[0], POLLIN, 0});
    if (agwListen_ >= 0) fds.push_back({agwListen_, POLLIN, 0});
    if (telnetListen_ >= 0) fds.push_back({telnetListen_, POLLIN, 0});
    const std::size_t first = fds.size();
    for (auto& c : clients_) fds.push_back({c->fd, static_cast<short>(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
    if (::poll(fds.data(), fds.size(), PollTimeout(clock_.MonotonicMs())) < 0 && errno != EINTR) break;
    const std::int64_t now = clock_.MonotonicMs();
    if (fds[0].revents) {
      char b[16];
      while (::read(wake_[0], b, sizeof b) > 0) {
      }
    }
    for (std::size_t i = 1; i < first; ++i)
      if (fds[i].revents & POLLIN) Accept(fds[i].fd, fds[i].fd == agwListen_);
    for (std::size_t i = first; i < fds.size(); ++i)
      if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) ReadClient(*clients_[i - first], now);
    Timers(now);
    FlushClients();
    if (CloseEnded()) {
      std::fprintf(stderr, "nami-tncsim: the AGWPE server agw://%s closed the connection\n", options_.agwBbs.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace nami::sim
