// The port behind a COM port name: what its `[Devices]` value names decides
// the kind at every Open. A serial device is the serial port (a TNC2 in the
// hardware); an AGWPE server, a telnet BBS or a KISS TNC get nami's built-in
// TNC2 in front of them; "sim:" is the built-in simulated TNC and BBS.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "time/Clock.h"
#include "link/FarSide.h"
#include "link/LinkAddress.h"
#include "link/Port.h"
#include "link/Tnc2Engine.h"
#include "text/FileFault.h"

namespace nami {

// nami's TNC2 engine and a far side as a port. Its descriptor is the far
// side's socket (or device), watched like a serial port's; the engine's
// timers are its NextEventMs; senders pace themselves by TransmitQueueCount,
// which falls as the far side acknowledges.
class CTnc2Port final : public IPort {
 public:
  CTnc2Port(IClock& clock, std::unique_ptr<IFarSide> far, STnc2Options options);

  bool Open(const std::string& comstatus) override;
  std::size_t ReadAvailable(char* buffer, std::size_t capacity) override;
  std::size_t SendText(std::string_view bytes) override;
  int TransmitQueueCount() override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  // While open: the far side's last failure (server gone, login refused)
  // until the next link comes up; empty otherwise.
  std::string Failure() const override { return open_ ? engine_.LastFailure() : std::string(); }
  int PollFd() const override { return open_ ? far_->PollFd() : -1; }
  std::int64_t NextEventMs() const override { return open_ ? engine_.NextEventMs() : -1; }
  bool WantsWritable() const override { return open_ && far_->WantsWritable(); }
  bool PacedByPeer() const override { return true; }
  // Ends the link (after what was queued has gone) and waits for the far
  // side's answer, at most FRACK x RETRY and `timeoutMs`.
  void Release(int timeoutMs) override;
  bool BeginRelease(int timeoutMs) override;
  bool ReleaseStep() override;

  CTnc2Engine& Engine() { return engine_; }
  IFarSide& Far() { return *far_; }

 private:
  IClock& clock_;
  std::unique_ptr<IFarSide> far_;
  CTnc2Engine engine_;
  bool open_ = false;
  std::chrono::steady_clock::time_point releaseEnd_;  // real time bounds a release
};

struct SLinkHooks {
  // The `[Devices]` value of a 4-character port name ("COM2").
  std::function<std::string(const std::string& comName)> device;
  // The station's call (section "Devices", key "MYCALL") and where a
  // changed one is kept.
  std::function<std::string()> myCall;
  std::function<void(const std::string&)> setMyCall;
  // The password of a telnet link, by its `[Devices]` value.
  std::function<std::string(const std::string& link, FileFault& fault)> password;
  // Whether the terminal echoes what is typed itself. The built-in TNC2
  // then powers on with ECHO OFF, as its user would set it, so that each
  // typed character is shown once (it echoes in command mode only).
  std::function<bool()> localEcho;
  // Makes the built-in simulated TNC and BBS ("sim:"), with its ECHO.
  std::function<std::unique_ptr<IPort>(bool echo)> simulator;
};

class CLinkPort final : public IPort {
 public:
  CLinkPort(IClock& clock, SLinkHooks hooks);

  // Builds the port the value names and opens it; false (Failure() says
  // why, naming the value; Error() gives the kind) when the value is none
  // of the kinds or the port does not open.
  bool Open(const std::string& comstatus) override;
  std::size_t ReadAvailable(char* buffer, std::size_t capacity) override;
  std::size_t SendText(std::string_view bytes) override;
  std::size_t TrySendText(std::string_view bytes) override;
  int TransmitQueueCount() override;
  void Close() override;
  bool IsOpen() const override { return inner_ && inner_->IsOpen(); }
  int PollFd() const override { return inner_ ? inner_->PollFd() : -1; }
  std::int64_t NextEventMs() const override { return inner_ ? inner_->NextEventMs() : kPolled; }
  bool WantsWritable() const override { return inner_ && inner_->WantsWritable(); }
  bool PacedByPeer() const override { return inner_ && inner_->PacedByPeer(); }
  void Release(int timeoutMs) override {
    if (inner_) inner_->Release(timeoutMs);
  }
  bool BeginRelease(int timeoutMs) override { return inner_ && inner_->BeginRelease(timeoutMs); }
  bool ReleaseStep() override { return !inner_ || inner_->ReleaseStep(); }

  // Why the value names no port or did not open (naming the COM name and
  // the link), else what the port itself reports.
  std::string Failure() const override;
  // Settings for a value that names no usable port, else the inner port's.
  SPortError Error() const override;
  bool TakeLost() override { return inner_ && inner_->TakeLost(); }
  LinkKind Kind() const { return kind_; }

  // The port a value names, not yet opened; null (and `error`) for none.
  static std::unique_ptr<IPort> Make(const SLinkAddress& address, IClock& clock, const SLinkHooks& hooks,
                                     const std::string& value, std::string& error);

 private:
  IClock& clock_;
  SLinkHooks hooks_;
  std::unique_ptr<IPort> inner_;
  LinkKind kind_ = LinkKind::Invalid;
  std::string value_;
  std::string error_;
};

}  // namespace nami
