// The serial port on Linux: POSIX termios on a tty or a pseudo-terminal.
//
// Open takes the device from the first 4 characters of "comstatus" (COM1 ..
// COM9, mapped to a path by section "Devices" of the settings), opens it
// exclusively and without blocking, applies the line settings and the
// flow-control letter, sets raw binary mode with XON 0x11 / XOFF 0x13,
// raises DTR and clears any break. On a pseudo-terminal the modem-line and
// break calls fail with ENOTTY; that is not an error. A read or write error
// or a hang-up (a USB adapter pulled, the far end of a pseudo-terminal gone)
// closes the port; Failure() then says why and TakeLost() reports it once.
#pragma once

#include <functional>
#include <string>

#include <termios.h>

#include "link/ComConfig.h"
#include "link/Port.h"

namespace nami {

// Fills `t` from a parsed "comstatus": the line settings (kept as they were
// when the mode string was rejected), the flow-control letter, then binary
// mode, no parity checking, XON 0x11 / XOFF 0x13 and reads that never wait.
void ConfigureTermios(termios& t, const ComConfig& config);

class CSerialPort final : public IPort {
 public:
  // Maps a 4-character port name ("COM2") to a device path; empty = none.
  using DeviceResolver = std::function<std::string(const std::string& comName)>;

  explicit CSerialPort(DeviceResolver resolver);
  ~CSerialPort() override;
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  bool Open(const std::string& comstatus) override;
  std::size_t ReadAvailable(char* buffer, std::size_t capacity) override;
  std::size_t SendText(std::string_view bytes) override;
  std::size_t TrySendText(std::string_view bytes) override;
  int TransmitQueueCount() override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  int PollFd() const override { return fd_; }
  std::string Failure() const override;
  SPortError Error() const override { return error_; }
  bool TakeLost() override;

  // The path opened last (for messages and tests).
  const std::string& DevicePath() const { return path_; }
  // How long SendText waits for the port to take the bytes.
  static constexpr int kWriteTimeoutMs = 1000;

 private:
  DeviceResolver resolver_;
  // Closes the port after a line error (errno) or a hang-up (0).
  void Lose(int error);
  // Keeps why Open failed; always false.
  bool Refuse(PortFault fault, int error);
  // Locks the open descriptor and applies the settings; false (and the
  // error kept) when it is no usable serial device.
  bool Configure(int fd, const ComConfig& config);

  std::string name_;  // the port name of the last Open ("COM2")
  std::string path_;
  int fd_ = -1;
  SPortError error_;
  bool lost_ = false;
};

// The process holding a device open or locked (from /proc/locks, then the
// open descriptors under /proc), or 0 when none is found.
int DeviceHolder(const std::string& path);
// The kind of failure an errno from opening a device stands for.
PortFault OpenFault(int error);
// The reason a serial device at `path` is not open, for the user: the
// system's text, with what to do about it where there is something.
std::string PortErrorText(const std::string& path, const SPortError& error);

}  // namespace nami
