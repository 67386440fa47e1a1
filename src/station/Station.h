// One running station: the document, the terminal core, the autopilot, the
// transfers, the radio link's state and the activity log, and the port
// behind them. The layer between the core and the shell: the window and the
// headless runner both drive one, so it holds no Qt.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "autopilot/Autopilot.h"
#include "time/Clock.h"
#include "settings/Settings.h"
#include "activity/Activity.h"
#include "station/LinkState.h"
#include "station/MailboxFeed.h"
#include "station/StationEvents.h"
#include "terminal/HistoryModel.h"
#include "terminal/KeyMap.h"
#include "terminal/Layout.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"
#include "terminal/UiSink.h"
#include "text/FileFault.h"
#include "transfer/Transfers.h"

namespace nami {

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

  // ---- The shell ----
  // Where every event of the station goes (StationEvents.h): each shell
  // hands itself over once and takes itself back (nullptr) before it goes.
  // Without one the events are dropped.
  void SetEvents(IStationEvents* events) { relay_.events = events; }

  // The parts, for the core's tests and the few shell parts that work on
  // one directly (the history pane, the settings dialogs).
  CSettings& Settings() { return settings_; }
  CNamiDoc& Doc() { return doc_; }
  CTerminalCore& Core() { return core_; }
  IClock& Clock() { return clock_; }
  CAutopilot& Autopilot() { return autopilot_; }
  CTransfers& Transfers() { return transfers_; }
  // What the autopilot and the transfers did (the events carry each entry).
  CActivity& Activity() { return activity_; }
  // The radio link as the TNC reports it, fed by the receive tick.
  const CLinkState& Link() const { return link_; }
  // What the runs put into the local mailbox (MailboxFeed.h).
  const CMailboxFeed& Mailbox() const { return mailbox_; }

  // ---- What runs ----
  // Something is under way that quitting would cut off: an autopilot step
  // or run, an upload, a capture, a paste-send, or text still going out.
  bool Busy() const;
  // An autopilot step or auto-mode run is under way (the heartbeat beats).
  bool Running() const { return autopilot_.Busy(); }
  // Whether the autopilot command may run now: End always, the others
  // while no step or run is busy.
  bool CanRun(AutoCommand command) const { return autopilot_.IsEnabled(command); }
  // A menu/toolbar command of the autopilot (a disabled one does nothing).
  void Run(AutoCommand command);
  // The 60 s timer: the schedule may start a run.
  void OnMinuteTimer();
  // The minute timer starts: the first scheduled run counts from now.
  void StartSchedule() { autopilot_.ArmSchedule(); }
  // The local minute of the next scheduled run; -1 when none is set.
  int NextRunMinute() const;
  // What the message pane shows while a step runs or something is sent
  // (UTF-8): the step, then the paste-sends and the upload; empty otherwise.
  std::string Progress() const;
  // Text is still going out (a sender is on the document's stack).
  bool Sending() const { return !doc_.Sending().Idle(); }

  // ---- Transfers (CTransfers) ----
  enum class Transfer { Paste, Upload, Capture };
  bool Transferring(Transfer transfer) const;
  // Ends it; its file is closed.
  void StopTransfer(Transfer transfer);
  // Paste-send of CP932 text from pane 0 (terminal) or 1 (history); the
  // count of bytes cut off (see CTransfers::StartPasteSend).
  std::size_t PasteSend(int pane, const std::string& cp932) { return transfers_.StartPasteSend(pane, cp932); }
  // False while one runs or when the file cannot be opened (told to the user).
  bool Upload(const std::string& path) { return transfers_.StartUpload(path); }
  bool Capture(const std::string& path) { return transfers_.StartCapture(path); }
  // Why the last capture file did not open.
  const FileFault& CaptureFault() const { return transfers_.CaptureFault(); }
  // A capture that starts with the stored lines from `firstLine` on.
  bool CaptureFrom(const std::string& path, std::int64_t firstLine) {
    return transfers_.StartCaptureFromCursor(path, firstLine);
  }
  // Appends the lines of `marks` to `path` (see MarkedLines.h).
  bool CopyLines(const MarkedRange& marks, const std::string& path) {
    return transfers_.CopyMarkedLinesToFile(marks, path);
  }

  // ---- The terminal pane ----
  // A key typed in the terminal pane: its bytes (KeyMap.h) go to the link,
  // echoed when the profile says so. False when the key sends nothing (it
  // is the window's).
  bool Type(const KeyStroke& key);
  // Text an input method committed (CP932), byte by byte as typed.
  void TypeText(std::string_view cp932);
  // The pane's height in text rows (at least 1); the core's repaint
  // requests count in them.
  void SetRows(int rows) { core_.SetRows(rows); }
  int Rows() const { return core_.Rows(); }
  // Draws the newest lines and the line being received, bottom-aligned;
  // where the caret goes.
  CaretPos DrawTerminal(IDrawSurface& surface, int lineHeight, int paneHeight) const;

  // ---- The port and the link, for the status bar ----
  struct LinkStatus {
    bool portOpen = false;
    std::string portFailure;  // why the port is not open: device and reason (UTF-8)
    LinkPhase phase = LinkPhase::Disconnected;
    std::string text;  // the link state's text now (UTF-8)
  };
  LinkStatus Status() const;
  // The port for the status bar (UTF-8): its device path or link value,
  // the simulator's name for "sim:".
  const std::string& PortName();
  // The descriptor to watch for received data; -1 when the port has none
  // or is not open (it is then polled).
  int PollFd();
  // When the port has timed work of its own, in ms from now (0: due
  // already), -1 for none, IPort::kPolled when it is to be polled.
  std::int64_t PortWakeInMs();
  // The port holds bytes for its descriptor that go once it is writable.
  bool PortWantsWritable();
  std::time_t Now() const { return clock_.Now(); }

  // Replaces the port (tests); the next NewDocument/OpenDocument opens it.
  void SetPort(std::unique_ptr<IPort> port);

  // ---- The document ----
  // The title ("無題" untitled, CP932), the file (empty: never saved) and
  // whether any line was received.
  const std::string& Title() const { return doc_.Title(); }
  const std::string& PathName() const { return doc_.PathName(); }
  bool HasText() const { return doc_.Lines().LineCount() > 0; }
  // File New: empties the store and the current line, takes the untitled
  // profile and opens the port with its "comstatus".
  void NewDocument();
  // The port settings changed: ends what runs (a run, the transfers, text
  // still going out) and opens the port anew with the profile's "comstatus";
  // the received text stays.
  void ReopenPort();
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
  // lines completed by it (evicted lines included). The received lines
  // reach the link state and the shell as the tick completes them.
  int Tick();
  // Shows the first settings-file problem (an unreadable, read-only or
  // unwritable NAMI.INI) once; each tick calls it.
  void AnnounceSettingsProblem();
  // Quitting: ends every running operation at once, ends the link the port
  // carries (IPort::Release, at most `releaseMs`) and closes the port.
  // During a release begun by BeginShutdown it closes the port at once.
  void Shutdown(int releaseMs = kReleaseMs);
  // Shutdown for a caller that keeps its event loop running: true while the
  // link's release goes on; ShutdownStep then serves it and is true once it
  // has ended (or timed out) and the port is closed. PollFd/PortWakeInMs
  // say when to call it again.
  bool BeginShutdown(int releaseMs = kReleaseMs);
  bool ShutdownStep();
  bool Releasing() const { return releasing_; }
  // A termination signal, before Shutdown: a mail file going out may finish
  // for up to `finishMs` (else it ends with ^Z), then the run logs off.
  // Runs the port and the senders itself meanwhile (the heartbeat stopped).
  void Terminate(int finishMs = kFinishMs);
  // Within the user unit's stop timeout (30 s): the file, then the link.
  static constexpr int kFinishMs = 10000;
  static constexpr int kReleaseMs = 15000;

  // With `on`, a port that is not open (a device that vanished or never
  // opened) is tried again every kReopenMs by the station's clock, quietly,
  // until it opens; each tick checks whether the time has come.
  void SetReopenPort(bool on) { reopen_ = on; }
  static constexpr int kReopenMs = 5000;

 private:
  // Passes the core's requests and the received lines on to the shell's
  // events; drops them while there is none.
  class CRelay final : public IUiSink, public IReceiveListener {
   public:
    void ShowMessage(const std::string& text) override;
    void Beep() override;
    void DrawDirect() override;
    void InvalidateAll() override;
    void ScrollLines(int lines) override;
    void RedrawBottomRow(bool clearRest) override;
    void OnLine(std::string_view line) override;
    IStationEvents* events = nullptr;
  };

  void InstallLinkPort();
  void WireParts();
  void Reinitialise();
  // After each receive tick: a port that closed itself ends the run as
  // link lost; a closed port is tried again when reopening is on.
  void CheckPort();
  void ReopenIfDue(IPort& port);
  void PortOpened();
  // Cancels every running operation and lets the queued bytes go.
  void StopForShutdown();
  void Notice(const std::string& text);
  // Tells the shell when the autopilot went from idle to busy.
  void FollowRun();

  CSettings& settings_;
  IClock& clock_;
  bool demo_;
  PasswordLookup password_;
  CRelay relay_;
  CActivity activity_;
  CMailboxFeed mailbox_;
  CLinkState link_;
  std::string portName_;
  CNamiDoc doc_;
  CTerminalCore core_;
  CAutopilot autopilot_;
  CTransfers transfers_;
  bool reopen_ = false;
  bool releasing_ = false;  // BeginShutdown's release under way
  bool waiting_ = false;  // for the port to open again
  bool waitSaid_ = false;
  bool running_ = false;  // the autopilot was busy when last looked at
  std::int64_t reopenAtMs_ = 0;
};

}  // namespace nami
