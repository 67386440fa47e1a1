#include "link/TcpLink.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <locale.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/Messages.h"

namespace nami {
namespace {

// The catalogue's words for the error (UTF-8; the TNC engine puts them on
// the link's byte stream in CP932).
std::string ErrorText(int err) { return msg::SystemErrorText(err); }

}  // namespace

bool CTcpLink::Fail(const std::string& why) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  state_ = State::Closed;
  out_.clear();
  error_ = name_ + ": " + why;
  peerClosed_ = false;
  return false;
}

bool CTcpLink::Connect(const std::string& host, int port) {
  Close();
  error_.clear();
  peerClosed_ = false;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  if (int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list); rc != 0)
    return Fail(msg::Format(msg::HostNotFound, {{"host", host}, {"reason", msg::NameErrorText(rc)}}));
  int err = 0;
  for (addrinfo* a = list; a; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      err = errno;
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || errno == EINPROGRESS) {
      fd_ = fd;
      state_ = State::Connecting;
      break;
    }
    err = errno;
    ::close(fd);
  }
  ::freeaddrinfo(list);
  if (fd_ < 0) return Fail(ErrorText(err));
  return Poll();
}

void CTcpLink::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  state_ = State::Closed;
  out_.clear();
}

bool CTcpLink::Poll() {
  if (state_ == State::Closed) return false;
  if (state_ == State::Connecting) {
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, 0) <= 0) return true;  // still connecting
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
    if (err != 0) return Fail(ErrorText(err));
    state_ = State::Open;
  }
  return Flush();
}

bool CTcpLink::Flush() {
  while (!out_.empty() && state_ == State::Open) {
    ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
    if (n > 0) {
      out_.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      break;
    } else if (n < 0 && errno != EINTR) {
      return Fail(msg::Format(msg::ConnectionLostBecause, {{"reason", ErrorText(errno)}}));
    }
  }
  return true;
}

bool CTcpLink::Read(std::string& into, std::size_t max) {
  if (state_ != State::Open) return state_ == State::Connecting;
  char buf[4096];
  std::size_t total = 0;
  while (total < max) {
    ssize_t n = ::recv(fd_, buf, std::min(sizeof buf, max - total), 0);
    if (n > 0) {
      into.append(buf, static_cast<std::size_t>(n));
      total += static_cast<std::size_t>(n);
    } else if (n == 0) {
      Fail(msg::ServerClosed);
      peerClosed_ = true;
      return false;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      break;
    } else if (errno != EINTR) {
      return Fail(msg::Format(msg::ConnectionLostBecause, {{"reason", ErrorText(errno)}}));
    }
  }
  return true;
}

void CTcpLink::Write(std::string_view bytes) {
  if (state_ == State::Closed) return;
  out_.append(bytes);
  if (state_ == State::Open) Flush();
}

std::size_t CTcpLink::Unsent() const {
  int queued = 0;
  if (fd_ >= 0 && state_ == State::Open && ::ioctl(fd_, SIOCOUTQ, &queued) != 0) queued = 0;
  return out_.size() + static_cast<std::size_t>(queued > 0 ? queued : 0);
}

}  // namespace nami
