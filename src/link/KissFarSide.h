// A KISS TNC as the far side of the built-in TNC2: the TNC is only a modem,
// so the AX.25 connected mode runs here (ax25/DataLink.h). The TNC is reached
// over TCP ("kiss://HOST:PORT[/CHANNEL]", port 8001 unless given, channel 0)
// or on a serial device ("kiss:DEVICE", line settings from "comstatus").
//
// On opening the TNC gets the KISS parameters TXDELAY, PERSIST, SLOTTIME and
// FULLDUP from the TNC2 commands of those names (again when one changes).
// Frames heard print as monitor lines while MONITOR is on and no link is up.
// Bytes that are not AX.25 (garbage between FENDs, short frames, bad
// addresses, over-long frames, a frame cut off by a closing connection) are
// dropped and counted.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ax25/DataLink.h"
#include "ax25/Kiss.h"
#include "time/Clock.h"
#include "link/FarSide.h"

namespace nami {

// Where the KISS TNC is.
struct SKissEndpoint {
  enum class EKind { Tcp, Serial };
  EKind kind = EKind::Tcp;
  std::string host;    // Tcp
  int port = 8001;     // Tcp
  int channel = 0;     // the KISS port nibble
  std::string device;  // Serial

  // "kiss://localhost:8001/0" or "kiss:/dev/ttyUSB0".
  std::string ToString() const;
};

// Parses "kiss://HOST[:PORT][/CHANNEL]" or "kiss:DEVICE"; nullopt with
// `error` saying what is wrong.
std::optional<SKissEndpoint> ParseKissDevice(std::string_view text, std::string* error = nullptr);
// Whether a [Devices] value names a KISS TNC at all ("kiss:" prefix).
bool IsKissDevice(std::string_view text);

// The byte stream to the TNC (a TCP connection or a serial device).
class IByteStream {
 public:
  virtual ~IByteStream() = default;
  // Starts opening; false (with `error`) when it failed at once.
  virtual bool Open(std::string& error) = 0;
  // Finishes an open in progress, sends what is queued; false when the
  // stream failed or the peer closed it (with `error`).
  virtual bool Poll(std::string& error) = 0;
  // Appends what has arrived, at most `max` bytes; false when the peer
  // closed or it failed.
  virtual bool Read(std::string& into, std::size_t max, std::string& error) = 0;
  virtual void Write(std::string_view bytes) = 0;
  // Bytes written that the TNC has not taken yet (0 where writes wait).
  virtual std::size_t Unsent() const { return 0; }
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;  // open and usable (not still connecting)
  virtual bool IsOpening() const { return false; }
  // The line settings ("comstatus") for a serial device; ignored by TCP.
  virtual void SetLineSettings(const std::string& comstatus) { (void)comstatus; }
  virtual int Fd() const = 0;
  // Bytes wait for the descriptor to become writable (or a connect).
  virtual bool WantsWritable() const { return false; }
};

// A non-blocking TCP client stream.
std::unique_ptr<IByteStream> MakeTcpStream(const std::string& host, int port, const std::string& name);
// A serial device with the line settings of "comstatus" ("COM2:9600,n,8,1,h").
std::unique_ptr<IByteStream> MakeSerialStream(const std::string& device, const std::string& comstatus);

class CKissFarSide final : public IFarSide, private ax25::IDataLinkEvents {
 public:
  struct SCounts {
    std::size_t framesIn = 0;     // AX.25 frames decoded
    std::size_t framesOut = 0;    // frames sent to the TNC
    std::size_t badFrames = 0;    // KISS frames that are not AX.25
    std::size_t kissDropped = 0;  // KISS-level drops (escapes, size, other ports, cut off)
    std::size_t framesHeld = 0;   // frames not written: the TNC had kMaxUnsent bytes still to take
  };

  CKissFarSide(IClock& clock, SKissEndpoint endpoint, std::unique_ptr<IByteStream> stream);
  ~CKissFarSide() override;

  void SetEvents(IFarSideEvents* events) override { events_ = events; }
  bool SetMyCall(const std::string& call) override;
  bool SetParameter(ETncParam param, int value) override;
  void Connect(const std::string& call, const std::vector<std::string>& via) override;
  void Disconnect() override;
  bool SendData(std::string_view bytes) override;
  // What the peer has not acknowledged and what the TNC has not taken.
  std::size_t OutstandingBytes() const override { return link_.Outstanding() + stream_->Unsent(); }
  void Poll(std::int64_t nowMs) override;
  std::int64_t NextEventMs() const override;
  int PollFd() const override { return stream_ ? stream_->Fd() : -1; }
  bool WantsWritable() const override { return stream_ && stream_->WantsWritable(); }
  void SetInputRoom(std::size_t bytes) override { inputRoom_ = bytes; }
  void Reset() override;
  void Close() override;
  std::string SignOn(const std::string& myCall) const override;

  const ax25::CDataLink& Link() const { return link_; }
  // The most bytes left waiting for a TNC that does not read: a frame
  // beyond it is not written (as if lost on the air; the link sends it
  // again), so a stuck TNC costs no more memory than this.
  static constexpr std::size_t kMaxUnsent = 16384;
  SCounts Counts() const;
  // The serial line settings ("comstatus") used at the next opening.
  void SetLineSettings(const std::string& comstatus) { stream_->SetLineSettings(comstatus); }

 private:
  // ax25::IDataLinkEvents
  void Transmit(const ax25::SFrame& frame) override;
  void OnConnected(const ax25::SAddress& peer, bool incoming) override;
  void OnDisconnected() override;
  void OnBusy(const ax25::SAddress& peer) override;
  void OnRetryExceeded() override;
  void OnFailure(const std::string& reason) override;
  void OnData(std::string_view bytes) override;

  bool EnsureOpen(std::string& error);
  void SendKissParameters();
  void SendKissParameter(ax25::EKissCommand command, int value);
  void StreamLost(const std::string& error);
  void ApplyLinkParams();
  void Later(std::function<void(IFarSideEvents&, std::int64_t)> event);
  std::string PeerText() const;

  IClock& clock_;
  SKissEndpoint endpoint_;
  std::unique_ptr<IByteStream> stream_;
  IFarSideEvents* events_ = nullptr;
  ax25::CDataLink link_;
  ax25::CKissDeframer deframer_;
  ax25::SLinkParams params_;
  int respTimeMs_ = 500;

  bool monitor_ = false;
  int txDelay_ = 30, persist_ = 63, slotTime_ = 10;
  bool fullDup_ = false;
  bool paramsSent_ = false;
  bool linkWanted_ = false;  // a CONNECT is waiting for the stream to open
  ax25::SAddress wantedPeer_;
  std::vector<ax25::SAddress> wantedVia_;
  std::int64_t reopenAt_ = -1;

  std::deque<std::function<void(IFarSideEvents&, std::int64_t)>> pending_;
  std::size_t inputRoom_ = std::size_t{1} << 20;
  std::string readBuf_;
  std::vector<std::string> frames_;
  SCounts counts_;
};

}  // namespace nami
