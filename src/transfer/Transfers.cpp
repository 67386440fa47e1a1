#include "transfer/Transfers.h"

#include "text/Messages.h"

namespace nami {

CTransfers::CTransfers(CNamiDoc& doc, IClock& clock)
    : doc_(doc), clock_(clock), upload_(doc), capture_(doc), paste_{CPasteSender(doc), CPasteSender(doc)} {
  doc_.SetReceiveListener(ReceiveSlot::Capture, this);
  doc_.AddOpenListener(this);
}

CTransfers::~CTransfers() {
  doc_.RemoveOpenListener(this);
  if (doc_.ReceiveListener(ReceiveSlot::Capture) == this) doc_.SetReceiveListener(ReceiveSlot::Capture, nullptr);
  doc_.Sending().Remove(&upload_);
  for (CPasteSender& p : paste_) doc_.Sending().Remove(&p);
}

bool CTransfers::StartUpload(const std::string& path) {
  if (Uploading()) return false;
  if (!upload_.Open(path)) return false;
  doc_.Sending().Push(&upload_);
  return true;
}

void CTransfers::StopUpload() {
  doc_.Sending().Remove(&upload_);
  upload_.Close();
}

void CTransfers::OnPortLost(const std::string& why) {
  StopPasteSend();
  if (!Uploading()) return;
  doc_.Sending().Remove(&upload_);
  upload_.Abandon("the port was lost: " + why);
}

bool CTransfers::StartCapture(const std::string& path) {
  if (Capturing()) return false;
  return capture_.OpenCaptureFile(path);
}

bool CTransfers::StartCaptureFromCursor(const std::string& path, std::int64_t firstLine) {
  if (Capturing()) return false;
  return capture_.OpenCaptureFileFromCursor(path, firstLine);
}

void CTransfers::StopCapture() { capture_.CloseCaptureFile(); }

void CTransfers::UploadByName(const std::string& path) {
  if (Uploading()) return;
  StartUpload(path);
}

void CTransfers::CaptureByName(const std::string& path) {
  if (Capturing()) return;
  StartCapture(path);
}

void CTransfers::CaptureStop() { StopCapture(); }

bool CTransfers::CopyMarkedLinesToFile(const MarkedRange& marks, const std::string& path) {
  return nami::CopyMarkedLinesToFile(doc_, marks, path);
}

std::size_t CTransfers::StartPasteSend(int pane, const std::string& text) {
  if (PasteSending() || pane < 0 || pane > 1) return 0;
  CPasteSender& sender = paste_[static_cast<std::size_t>(pane)];
  const std::size_t cut = sender.Load(text);
  if (sender.Empty()) return cut;  // no text: nothing to send, ends at once
  sender.Start();
  doc_.Sending().Push(&sender);
  return cut;
}

void CTransfers::StopPasteSend() {
  for (CPasteSender& p : paste_) {
    p.Stop();
    doc_.Sending().Remove(&p);
  }
}

void CTransfers::Reinitialise() {
  StopPasteSend();
  StopUpload();
  StopCapture();
}

void CTransfers::Cancel() { Reinitialise(); }

std::string CTransfers::ProgressText() const {
  std::string text;
  auto add = [&text](const std::string& what, std::int64_t done, std::int64_t total) {
    if (!text.empty()) text += "  ";
    text += msg::Format(what, {{"done", std::to_string(done)}, {"total", std::to_string(total)}});
  };
  for (const CPasteSender& p : paste_) {
    if (p.Sending() && doc_.Sending().Contains(&p)) {
      add(msg::PasteProgress, static_cast<std::int64_t>(p.Position()), static_cast<std::int64_t>(p.Length()));
    }
  }
  if (upload_.Uploading()) add(msg::UploadProgress, upload_.Position(), upload_.Length());
  return text;
}

}  // namespace nami
