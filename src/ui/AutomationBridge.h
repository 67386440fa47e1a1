// What the automation interface calls, carried out on the running session:
// show the window, upload, capture, send a line, read a stored line.
// Strings are CP932 here; the D-Bus server converts at the bus edge.
#pragma once

#include <QObject>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "automation/AutomationTarget.h"
#include "ui/Session.h"

namespace nami {

class CAutomationBridge final : public IAutomationTarget {
 public:
  // `window` gives the main window, creating it when there is none yet;
  // `afterCommand` runs after a call that may have started a sender (it
  // hands the sender to the pacing and updates the window's commands).
  CAutomationBridge(CSession& session, std::function<QWidget*()> window, std::function<void()> afterCommand = {});
  ~CAutomationBridge() override;

  void ShowWindow() override;
  void UploadFile(const std::string& path, std::function<void()> done) override;
  void DownloadFile(const std::string& path) override;
  void SendOut(const std::string& text) override;
  std::string GetLine(int n) override;
  void DownloadStop() override;

  // Callers still waiting for the end of an upload started here.
  int PendingUploads() const { return static_cast<int>(pending_.size()); }
  // Answers the waiting callers once no upload runs (quitting calls it
  // after the session has ended every operation).
  void FinishPending();
  // Calls taken so far (the window-less instance ends when it stays idle).
  std::uint64_t Calls() const { return calls_; }

 private:
  void AfterCommand();

  CSession& session_;
  std::function<QWidget*()> window_;
  std::function<void()> afterCommand_;
  std::vector<std::function<void()>> pending_;
  QTimer watch_;  // runs while callers wait for an upload's end
  std::uint64_t calls_ = 0;
};

}  // namespace nami
