// A non-blocking TCP client connection for the network link kinds: connects
// in the background, keeps what the socket does not take at once and
// reports failures as text that names the link.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nami {

class CTcpLink {
 public:
  enum class State { Closed, Connecting, Open };

  // `name` is how messages name the link, e.g. "agw://localhost:8000".
  explicit CTcpLink(std::string name) : name_(std::move(name)) {}
  ~CTcpLink() { Close(); }
  CTcpLink(const CTcpLink&) = delete;
  CTcpLink& operator=(const CTcpLink&) = delete;

  // Starts connecting; false (and Error() says why) when it failed at once
  // (the name does not resolve, no socket).
  bool Connect(const std::string& host, int port);
  void Close();

  // Finishes a connect in progress and sends what is queued. Returns false
  // when the connection failed or was lost (Error() says why; the link is
  // closed then).
  bool Poll();
  // Appends what has arrived (up to `max` bytes); false when the peer closed
  // the connection or it failed (the bytes read before that are appended).
  bool Read(std::string& into, std::size_t max = 65536);
  // Queues bytes and sends what the socket takes now.
  void Write(std::string_view bytes);
  // Bytes written but not yet sent to the network: still queued here or in
  // the kernel's send queue.
  std::size_t Unsent() const;

  // A connect in progress, or bytes the socket has not taken yet: the
  // descriptor is to be watched for writability.
  bool WantsWritable() const { return state_ == State::Connecting || !out_.empty(); }
  State GetState() const { return state_; }
  bool IsOpen() const { return state_ == State::Open; }
  int Fd() const { return fd_; }
  const std::string& Error() const { return error_; }
  // The last failure was the peer closing the connection (not an error).
  bool PeerClosed() const { return peerClosed_; }
  const std::string& Name() const { return name_; }

 private:
  bool Fail(const std::string& why);
  bool Flush();

  std::string name_;
  int fd_ = -1;
  State state_ = State::Closed;
  std::string out_;
  std::string error_;
  bool peerClosed_ = false;
};

}  // namespace nami
