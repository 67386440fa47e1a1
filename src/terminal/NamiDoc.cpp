#include "terminal/NamiDoc.h"

#include <algorithm>

namespace nami {

CNamiDoc::CNamiDoc(CSettings& settings, IUiSink& ui) : settings_(settings), ui_(ui) {}

void CNamiDoc::SetPathName(const std::string& path) {
  path_ = path;
  settings_.SetProfileSection(path.empty() ? CSettings::UntitledTitle() : CSettings::TitleForPath(path));
}

void CNamiDoc::OpenPort(const std::string& comstatus) {
  AutoIdle = AutoList = AutoRead = AutoSend = SendDone = true;
  // A capture cannot stay open once its flag is gone (an upload notices its
  // cleared flag at its next step and closes its file itself).
  if (Capturing && !CaptureFile.Close()) ui_.ShowMessage(msg::CannotCloseFile);
  Uploading = Capturing = PasteSending = false;
  ListReading = MailReading = false;
  MarkFirst = MarkLast = 0;

  for (std::size_t n = 0; n < Responses.size(); ++n) {
    Responses[n] = AutoResponse{};
    std::string trigger = settings_.Raw(keys::Event[n]);
    if (trigger.empty()) continue;
    Responses[n].trigger = std::move(trigger);
    Responses[n].response = settings_.Raw(keys::Response[n]);
  }

  if (!port_) return;
  port_->Close();
  if (!port_->Open(comstatus)) ui_.ShowMessage(msg::ReconfigurePort);
}

void CNamiDoc::OpenPortFromProfile() { OpenPort(settings_.Get(keys::ComStatus)); }

void CNamiDoc::ClosePort() {
  if (port_) port_->Close();
}

std::size_t CNamiDoc::SendText(std::string_view bytes) { return port_ ? port_->SendText(bytes) : 0; }

std::size_t CNamiDoc::SendOwn(std::string_view bytes) {
  if (activity_) activity_->AddSent(bytes);
  return SendText(bytes);
}

void CNamiDoc::Report(ActivityKind kind, std::string text) {
  if (activity_) activity_->Add(kind, std::move(text));
}

std::size_t CNamiDoc::ReadAvailable(char* buffer, std::size_t capacity) {
  return port_ ? port_->ReadAvailable(buffer, capacity) : 0;
}

bool CNamiDoc::WriteCapturedLine(std::string_view line) {
  if (CaptureFile.WriteLine(line)) {
    CaptureWriteFailed = false;
    return true;
  }
  if (!CaptureWriteFailed) ui_.ShowMessage(msg::CannotWriteFile);
  CaptureWriteFailed = true;
  return false;
}

bool CNamiDoc::WriteLogLine(std::string_view line) {
  if (LogFile.WriteLine(line)) {
    LogWriteFailed = false;
    return true;
  }
  if (!LogWriteFailed) ui_.ShowMessage(msg::CannotWriteFile);
  LogWriteFailed = true;
  return false;
}

std::string CNamiDoc::MarkedText() const {
  std::string text;
  const auto count = static_cast<std::int64_t>(LineCount());
  const std::int64_t first = std::max<std::int64_t>(MarkFirst, 0);
  const std::int64_t last = std::min<std::int64_t>(MarkLast, count - 1);
  for (std::int64_t i = first; i <= last && text.size() < kMarkedTextLimit; ++i) {
    text += LineAt(static_cast<std::size_t>(i));
    text += "\r\n";
  }
  return text;
}

int CNamiDoc::TransmitQueueCount() { return port_ ? port_->TransmitQueueCount() : 0; }

}  // namespace nami
