// What the automation interface calls, carried out on the running session:
// show the window, upload, capture, send a line, read a stored line.
#pragma once

#if __has_include("automation/AutomationTarget.h")
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "automation/AutomationTarget.h"
#include "ui/Session.h"

#define NAMI_HAVE_AUTOMATION 1

namespace nami {

class CAutomationBridge final : public IAutomationTarget {
 public:
  CAutomationBridge(CSession& session, QWidget* window);
  void ShowWindow() override;
  void UploadFile(const std::string& path, std::function<void()> done) override;
  void DownloadFile(const std::string& path) override;
  void SendOut(const std::string& text) override;
  std::string GetLine(int n) override;
  void DownloadStop() override;

 private:
  CSession& session_;
  QPointer<QWidget> window_;
};

}  // namespace nami
#else
#define NAMI_HAVE_AUTOMATION 0
#endif
