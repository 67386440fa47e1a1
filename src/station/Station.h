// One running station: the document, the terminal core, the autopilot, the
// transfers, the radio link's state and the activity log, and the port
// behind them. The layer between the core and the shell: the window and the
// headless runner both drive one, so it holds no Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "autopilot/Autopilot.h"
#include "time/Clock.h"
#include "settings/Settings.h"
#include "activity/Activity.h"
#include "station/LinkState.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"
#include "terminal/UiSink.h"
#include "text/FileFault.h"
#include "transfer/Transfers.h"

namespace nami {

// Passes the core's requests on to whoever shows them now (the terminal
// pane, the console); drops them while nobody does.
class CUiRelay final : public IUiSink {
 public:
  void SetTarget(IUiSink* target) { target_ = target; }
  IUiSink* Target() const { return target_; }
  void ShowMessage(const std::string& text) override;
  void Beep() override;
  void DrawDirect() override;
  void InvalidateAll() override;
  void ScrollLines(int lines) override;
  void RedrawBottomRow(bool clearRest) override;

 private:
  IUiSink* target_ = nullptr;
};

// The password of a telnet link (CP932) by its `[Devices]` value; `fault`
// says why none was found where one was looked for.
using PasswordLookup = std::function<std::string(const std::string& link, FileFault& fault)>;

class CStation {
 public:
  // `demo` takes the in-process simulator as the port instead of the
  // serial port named by the profile. Without `password` the passwords of
  // telnet links come from the file beside NAMI.INI.
  CStation(CSettings& settings, IClock& clock, bool demo, PasswordLookup password = {});
  ~CStation();
  CStation(const CStation&) = delete;
  CStation& operator=(const CStation&) = delete;

  CSettings& Settings() { return settings_; }
  CUiRelay& Ui() { return relay_; }
  CNamiDoc& Doc() { return doc_; }
  CTerminalCore& Core() { return core_; }
  IClock& Clock() { return clock_; }
  CAutopilot& Autopilot() { return autopilot_; }
  CTransfers& Transfers() { return transfers_; }
  // What the autopilot and the transfers did, for the activity pane and the
  // headless error stream.
  CActivity& Activity() { return activity_; }
  // The radio link as the TNC reports it, fed by Tick().
  const CLinkState& Link() const { return link_; }
  // The port for the status bar (UTF-8): its device path, or the
  // simulator's name in the demo.
  const std::string& PortName();

  // Replaces the port (tests); the next NewDocument/OpenDocument opens it.
  void SetPort(std::unique_ptr<IPort> port);

  // File New: empties the store and the current line, takes the untitled
  // profile and opens the port with its "comstatus".
  void NewDocument();
  // File Open: loads the file into the emptied store; on failure the
  // document is left as it was and `fault` says why.
  bool OpenDocument(const std::string& path, FileFault& fault);
  // Writes the store to `path` (atomically). Saving under another name
  // switches the profile section to the new title and copies the old
  // profile into it.
  bool SaveDocument(const std::string& path, FileFault& fault);

  // A termination signal: writes the received text to the document's own
  // file, or for a never-saved document to "nami-YYYYMMDD-HHMMSS.nmi" in
  // `folder` (the profile and the settings file are not touched). Returns the
  // path written, "" when there was nothing to save or it failed (`fault`).
  std::string SaveForTermination(const std::string& folder, FileFault& fault);

  // One receive tick and the autopilot's wait pass; returns the number of
  // lines completed by it (evicted lines included).
  int Tick();
  void ScheduleTick();
  // Shows the first settings-file problem (an unreadable, read-only or
  // unwritable NAMI.INI) once; each tick calls it.
  void AnnounceSettingsProblem();
  // Quitting: ends every running operation at once and closes the port.
  void Shutdown();

  // Called with each completed line (CP932) after a tick; the headless
  // runner prints them.
  std::function<void(const std::string&)> OnLine;
  // Short notes about the port (waiting for the device, the device is
  // back), UTF-8; the window shows them in the status bar, the headless
  // runner on the error stream.
  std::function<void(const std::string&)> OnNotice;

  // With `on`, a port that is not open (a device that vanished or never
  // opened) is tried again every kReopenMs by the station's clock, quietly,
  // until it opens; each tick checks whether the time has come.
  void SetReopenPort(bool on) { reopen_ = on; }
  static constexpr int kReopenMs = 5000;

 private:
  void InstallLinkPort();
  void Reinitialise();
  // After each receive tick: a port that closed itself ends the run as
  // link lost; a closed port is tried again when reopening is on.
  void CheckPort();
  void ReopenIfDue(IPort& port);
  void PortOpened();
  void Notice(const std::string& text);

  CSettings& settings_;
  IClock& clock_;
  bool demo_;
  PasswordLookup password_;
  CUiRelay relay_;
  CActivity activity_;
  CLinkState link_;
  std::string portName_;
  CNamiDoc doc_;
  CTerminalCore core_;
  CAutopilot autopilot_;
  CTransfers transfers_;
  bool reopen_ = false;
  bool waiting_ = false;  // for the port to open again
  bool waitSaid_ = false;
  std::int64_t reopenAtMs_ = 0;
};

}  // namespace nami
