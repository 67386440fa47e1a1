// The transfer commands of both panes, the automation's transfer requests
// and the clipboard texts, on one document.
//
// The upload and the paste-sends are senders on the document's sender
// stack: the shell calls doc.Senders.Step() whenever the port may take more
// bytes (see link/WritePacer.h), and only the newest sender sends, so a
// paste-send started during an upload holds the upload until it has ended.
// The capture is fed by the receive tick. All flags live in the document
// (Uploading, Capturing, PasteSending); menu items are enabled from them.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

#include "link/Clock.h"
#include "terminal/NamiDoc.h"
#include "transfer/Capture.h"
#include "transfer/MarkedLines.h"
#include "transfer/PasteSender.h"
#include "transfer/TransferNames.h"
#include "transfer/Upload.h"

namespace nami {

class CTransfers {
 public:
  CTransfers(CNamiDoc& doc, IClock& clock);
  ~CTransfers();
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
  void CaptureStop();

  std::string MarkedText() const;
  bool CopyMarkedLinesToFile(const std::string& path);

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

  // UTF-8, e.g. "アップロード中 120/4000 バイト"; empty when nothing is sent.
  std::string ProgressText() const;

  // Enabling rules of the commands.
  bool CanUpload() const { return !doc_.Uploading; }
  bool CanStopUpload() const { return doc_.Uploading; }
  bool CanCapture() const { return !doc_.Capturing; }
  bool CanStopCapture() const { return doc_.Capturing; }
  bool CanPasteSend() const { return !doc_.PasteSending; }
  bool CanStopPasteSend() const { return doc_.PasteSending; }

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
