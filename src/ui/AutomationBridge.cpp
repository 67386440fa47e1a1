#include "ui/AutomationBridge.h"

#if NAMI_HAVE_AUTOMATION
#include <QTimer>

namespace nami {

CAutomationBridge::CAutomationBridge(CSession& session, QWidget* window) : session_(session), window_(window) {}

void CAutomationBridge::ShowWindow() {
  if (!window_) return;
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void CAutomationBridge::UploadFile(const std::string& path, std::function<void()> done) {
  CNamiDoc& doc = session_.Doc();
#if NAMI_HAVE_TRANSFERS
  if (!doc.Uploading) session_.Transfers()->UploadByName(path);
#else
  (void)path;
#endif
  if (!doc.Uploading) {
    if (done) done();
    return;
  }
  // The reply waits until the upload has ended; events keep flowing.
  auto* poll = new QTimer(window_);
  poll->setInterval(50);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, &doc, done = std::move(done)] {
    if (doc.Uploading) return;
    poll->stop();
    poll->deleteLater();
    if (done) done();
  });
  poll->start();
}

void CAutomationBridge::DownloadFile(const std::string& path) {
#if NAMI_HAVE_TRANSFERS
  if (!session_.Doc().Capturing) session_.Transfers()->CaptureByName(path);
#else
  (void)path;
#endif
}

void CAutomationBridge::SendOut(const std::string& text) { session_.Doc().SendText(text + "\r"); }

std::string CAutomationBridge::GetLine(int n) {
  const std::size_t count = session_.Doc().LineCount();
  if (n < 1 || static_cast<std::size_t>(n) > count) return {};
  return session_.Doc().LineAt(count - static_cast<std::size_t>(n));
}

void CAutomationBridge::DownloadStop() {
#if NAMI_HAVE_TRANSFERS
  session_.Transfers()->CaptureStop();
#endif
}

}  // namespace nami
#endif
