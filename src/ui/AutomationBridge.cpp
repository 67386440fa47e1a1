#include "ui/AutomationBridge.h"

#include <unistd.h>

#include <QTimer>

#include "automation/AutomationActions.h"
#include "files/UserFile.h"
#include "text/Cp932.h"

namespace nami {
namespace {
constexpr int kUploadWatchMs = 50;
}

CAutomationBridge::CAutomationBridge(CStation& station, std::function<QWidget*()> window,
                                     std::function<void()> afterCommand)
    : station_(station), window_(std::move(window)), afterCommand_(std::move(afterCommand)) {
  watch_.setInterval(kUploadWatchMs);
  QObject::connect(&watch_, &QTimer::timeout, [this] { FinishPending(); });
}

CAutomationBridge::~CAutomationBridge() = default;

void CAutomationBridge::AfterCommand() {
  if (afterCommand_) afterCommand_();
}

void CAutomationBridge::ShowWindow() {
  ++calls_;
  QWidget* window = window_ ? window_() : nullptr;
  if (!window) return;
  if (window->isMinimized())
    window->showNormal();
  else
    window->show();
  window->raise();
  window->activateWindow();
}

void CAutomationBridge::FinishPending() {
  CNamiDoc& doc = station_.Doc();
  // A text has left once every byte up to its end is written or discarded.
  const std::uint64_t resolved = doc.Sending().Written() + doc.Sending().Discarded();
  std::vector<PendingSend> sent;
  for (auto it = sends_.begin(); it != sends_.end();) {
    if (resolved >= it->end) {
      sent.push_back(std::move(*it));
      it = sends_.erase(it);
    } else {
      ++it;
    }
  }
  std::vector<Done> uploads;
  std::string failure;
  if (!station_.Transferring(CStation::Transfer::Upload)) {
    uploads.swap(pending_);
    failure = station_.Transfers().UploadFailure();
  }
  if (pending_.empty() && sends_.empty()) watch_.stop();
  for (auto& s : sent) {
    const bool whole = doc.Sending().Discarded() == s.discarded;
    if (s.done) s.done(whole, whole ? std::string() : "the port was closed before the text went out");
  }
  for (auto& done : uploads)
    if (done) done(failure.empty(), failure);
}

void CAutomationBridge::UploadFile(const std::string& path, Done done) {
  ++calls_;
  std::string why;
  if (station_.Transferring(CStation::Transfer::Upload)) {
    why = "an upload is already running";
  } else if (!station_.Doc().PortOpen()) {
    why = "the port is not open: " + station_.Doc().PortFailure();
  } else if (!station_.Upload(path)) {  // tells the user when it cannot open the file
    why = path + ": " + FileFaultText(station_.Transfers().UploadOpenFault());
  }
  AfterCommand();
  if (!why.empty()) {
    if (done) done(false, why);
    return;
  }
  // The reply waits until the upload has ended; events keep flowing.
  pending_.push_back(std::move(done));
  if (!watch_.isActive()) watch_.start();
}

void CAutomationBridge::DownloadFile(const std::string& path, Done done) {
  ++calls_;
  std::string why;
  if (station_.Transferring(CStation::Transfer::Capture)) {
    why = "a download capture is already running";
  } else {
    station_.Capture(path);
    AfterCommand();
    if (!station_.Transferring(CStation::Transfer::Capture))
      why = path + ": cannot be opened for writing (" + FileFaultText(station_.CaptureFault()) + ")";
  }
  if (done) done(why.empty(), why);
}

void CAutomationBridge::SendOut(const std::string& text, Done done) {
  ++calls_;
  CNamiDoc& doc = station_.Doc();
  const std::uint64_t discarded = doc.Sending().Discarded();
  if (AutomationSendOut(doc, text) == 0) {
    if (done) done(false, "the port is not open");
    return;
  }
  AfterCommand();  // hands any queued rest to the pacing
  sends_.push_back(PendingSend{doc.Sending().Accepted(), discarded, std::move(done)});
  FinishPending();
  if (!sends_.empty() && !watch_.isActive()) watch_.start();
}

std::string CAutomationBridge::GetLine(int n) {
  ++calls_;
  return AutomationGetLine(station_.Doc().Lines(), n);
}

void CAutomationBridge::DownloadStop() {
  ++calls_;
  station_.StopTransfer(CStation::Transfer::Capture);
  AfterCommand();
}

}  // namespace nami
