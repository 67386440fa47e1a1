// The transfer commands of both panes, the automation's transfer requests
// and the clipboard texts, on one document.
//
// The upload and the paste-sends are senders on the document's send engine
// (send/SendEngine.h), which steps them whenever the port may take more
// bytes, and only the newest sender sends, so a
// paste-send started during an upload holds the upload until it has ended.
// The capture is fed by the receive tick (the document's capture slot). Each part owns whether it runs
// (Uploading, Capturing, PasteSending); menu items are enabled from them.
// Reopening the port ends every transfer and closes its file.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

#include "time/Clock.h"
#include "terminal/HistoryModel.h"
#include "terminal/NamiDoc.h"
#include "transfer/Capture.h"
#include "transfer/MarkedLines.h"
#include "transfer/PasteSender.h"
#include "transfer/TransferNames.h"
#include "transfer/Upload.h"

namespace nami {

class CTransfers final : public IOpenListener, public IReceiveListener {
 public:
  CTransfers(CNamiDoc& doc, IClock& clock);
  ~CTransfers() override;
  CTransfers(const CTransfers&) = delete;
  CTransfers& operator=(const CTransfers&) = delete;

  // Upload, after the file dialog. False (and nothing changes) while an
  // upload runs or when the file cannot be opened.
  bool StartUpload(const std::string& path);
  // Upload stop: the file is closed; no further byte is sent.
  void StopUpload();
  // Download: false while a capture is on or when the file cannot be opened.
  bool StartCapture(const std::string& path);
  // Retro-download from line `firstLine` (the history pane's line cursor).
  bool StartCaptureFromCursor(const std::string& path, std::int64_t firstLine);
  // Download end.
  void StopCapture();

  // The automation's requests: an upload by name is ignored while one runs,
  // a capture by name while one is on.
  void UploadByName(const std::string& path);
  void CaptureByName(const std::string& path);
  // Why the last capture file did not open.
  const FileFault& CaptureFault() const { return capture_.Fault(); }
  // Why the last upload file did not open, and why the last upload ended
  // before the end of its file (empty when it did not).
  const FileFault& UploadOpenFault() const { return upload_.OpenFault(); }
  const std::string& UploadFailure() const { return upload_.Failure(); }
  // The port went away: the upload and the paste-sends end (nothing they
  // would send can go out); `why` is the port's reason, UTF-8.
  void OnPortLost(const std::string& why);
  void CaptureStop();

  // Appends the lines of `marks` to `path` (see MarkedLines.h).
  bool CopyMarkedLinesToFile(const MarkedRange& marks, const std::string& path);

  // Paste-send of CP932 text for pane 0 (terminal) or 1 (history); returns
  // how many bytes were cut off because they did not fit the paste buffer
  // (0 = all of it goes). Ignored while a paste-send runs.
  std::size_t StartPasteSend(int pane, const std::string& text);
  void StopPasteSend();

  // File New / File Open: an upload, paste-send or capture in progress is
  // ended and its file closed, before the document resets its flags.
  void Reinitialise();
  // Quitting: the same, at once.
  void Cancel();
  // The port is (re)opened: the same.
  void OnPortOpening() override { Reinitialise(); }
  // A completed received line: to the capture while it is on.
  void OnLine(std::string_view line) override { capture_.OnLine(line); }

  // UTF-8, e.g. "アップロード中 120/4000 バイト"; empty when nothing is sent.
  std::string ProgressText() const;

  bool Uploading() const { return upload_.Uploading(); }
  bool Capturing() const { return capture_.Capturing(); }
  // A paste-send of either pane runs.
  bool PasteSending() const { return paste_[0].Sending() || paste_[1].Sending(); }

  // Today's capture file name.
  std::string DefaultCaptureName() const { return nami::DefaultCaptureName(clock_.Now()); }

 private:
  CNamiDoc& doc_;
  IClock& clock_;
  CUpload upload_;
  CCapture capture_;
  std::array<CPasteSender, 2> paste_;
};

}  // namespace nami
