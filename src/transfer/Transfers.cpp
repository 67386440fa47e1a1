#include "transfer/Transfers.h"

namespace nami {

CTransfers::CTransfers(CNamiDoc& doc, IClock& clock)
    : doc_(doc), clock_(clock), upload_(doc), capture_(doc), paste_{CPasteSender(doc), CPasteSender(doc)} {}

CTransfers::~CTransfers() {
  doc_.Senders.Remove(&upload_);
  for (CPasteSender& p : paste_) doc_.Senders.Remove(&p);
}

bool CTransfers::StartUpload(const std::string& path) {
  if (doc_.Uploading) return false;
  doc_.Uploading = true;
  if (!upload_.OpenUploadFile(path)) {
    doc_.Uploading = false;
    return false;
  }
  doc_.Senders.Push(&upload_);
  return true;
}

void CTransfers::StopUpload() {
  doc_.Senders.Remove(&upload_);
  if (!doc_.Uploading) return;
  doc_.Uploading = false;
  upload_.CloseUploadFile();
}

bool CTransfers::StartCapture(const std::string& path) {
  if (doc_.Capturing) return false;
  if (!capture_.OpenCaptureFile(path)) return false;
  doc_.Capturing = true;
  return true;
}

bool CTransfers::StartCaptureFromCursor(const std::string& path, std::int64_t firstLine) {
  if (doc_.Capturing) return false;
  if (!capture_.OpenCaptureFileFromCursor(path, firstLine)) return false;
  doc_.Capturing = true;
  return true;
}

void CTransfers::StopCapture() {
  if (!doc_.Capturing) return;
  capture_.CloseCaptureFile();
  doc_.Capturing = false;
}

void CTransfers::UploadByName(const std::string& path) {
  if (doc_.Uploading) return;
  StartUpload(path);
}

void CTransfers::CaptureByName(const std::string& path) {
  if (doc_.Capturing) return;
  StartCapture(path);
}

void CTransfers::CaptureStop() { StopCapture(); }

std::string CTransfers::MarkedText() const { return doc_.MarkedText(); }

bool CTransfers::CopyMarkedLinesToFile(const std::string& path) { return nami::CopyMarkedLinesToFile(doc_, path); }

std::size_t CTransfers::StartPasteSend(int pane, const std::string& text) {
  if (doc_.PasteSending || pane < 0 || pane > 1) return 0;
  CPasteSender& sender = paste_[static_cast<std::size_t>(pane)];
  const std::size_t cut = sender.Load(text);
  if (sender.Empty()) return cut;  // no text: nothing to send, ends at once
  doc_.PasteSending = true;
  doc_.Senders.Push(&sender);
  return cut;
}

void CTransfers::StopPasteSend() {
  doc_.PasteSending = false;
  for (CPasteSender& p : paste_) doc_.Senders.Remove(&p);
}

void CTransfers::Reinitialise() {
  StopPasteSend();
  StopUpload();
  StopCapture();
}

void CTransfers::Cancel() { Reinitialise(); }

std::string CTransfers::ProgressText() const {
  std::string text;
  auto add = [&text](const char* what, std::int64_t done, std::int64_t total) {
    if (!text.empty()) text += "  ";
    text += what;
    text += ' ';
    text += std::to_string(done);
    text += '/';
    text += std::to_string(total);
    text += " バイト";
  };
  for (const CPasteSender& p : paste_) {
    if (doc_.PasteSending && doc_.Senders.Contains(&p)) {
      add("ペースト送信中", static_cast<std::int64_t>(p.Position()), static_cast<std::int64_t>(p.Length()));
    }
  }
  if (doc_.Uploading && upload_.IsOpen()) add("アップロード中", upload_.Position(), upload_.Length());
  return text;
}

}  // namespace nami
