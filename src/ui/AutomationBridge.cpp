#include "ui/AutomationBridge.h"

#include <QTimer>

#include "automation/AutomationActions.h"

namespace nami {
namespace {
constexpr int kUploadWatchMs = 50;
}

CAutomationBridge::CAutomationBridge(CSession& session, std::function<QWidget*()> window,
                                     std::function<void()> afterCommand)
    : session_(session), window_(std::move(window)), afterCommand_(std::move(afterCommand)) {
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
  if (session_.Doc().Uploading) return;
  watch_.stop();
  std::vector<std::function<void()>> callers;
  callers.swap(pending_);
  for (auto& done : callers)
    if (done) done();
}

void CAutomationBridge::UploadFile(const std::string& path, std::function<void()> done) {
  ++calls_;
  CNamiDoc& doc = session_.Doc();
  // An upload already running is left alone; this call then waits for
  // nothing.
  bool started = false;
  if (!doc.Uploading) {
    session_.Transfers()->UploadByName(path);
    started = doc.Uploading;
  }
  AfterCommand();
  if (!started) {
    if (done) done();
    return;
  }
  // The reply waits until the upload has ended; events keep flowing.
  pending_.push_back(std::move(done));
  if (!watch_.isActive()) watch_.start();
}

void CAutomationBridge::DownloadFile(const std::string& path) {
  ++calls_;
  if (!session_.Doc().Capturing) session_.Transfers()->CaptureByName(path);
  AfterCommand();
}

void CAutomationBridge::SendOut(const std::string& text) {
  ++calls_;
  AutomationSendOut(session_.Doc(), text);
}

std::string CAutomationBridge::GetLine(int n) {
  ++calls_;
  return AutomationGetLine(session_.Doc().Lines(), n);
}

void CAutomationBridge::DownloadStop() {
  ++calls_;
  session_.Transfers()->CaptureStop();
  AfterCommand();
}

}  // namespace nami
