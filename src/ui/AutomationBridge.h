// What the automation interface calls, carried out on the running station:
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
#include "station/Station.h"

namespace nami {

class CAutomationBridge final : public IAutomationTarget {
 public:
  // `window` gives the main window, creating it when there is none yet;
  // `afterCommand` runs after a call that may have started a sender (it
  // hands the sender to the pacing and updates the window's commands).
  CAutomationBridge(CStation& station, std::function<QWidget*()> window, std::function<void()> afterCommand = {});
  ~CAutomationBridge() override;

  void ShowWindow() override;
  void UploadFile(const std::string& path, Done done) override;
  void DownloadFile(const std::string& path, Done done) override;
  void SendOut(const std::string& text, Done done) override;
  std::string GetLine(int n) override;
  void DownloadStop() override;

  // Callers still waiting for the end of an upload started here.
  int PendingUploads() const { return static_cast<int>(pending_.size()); }
  // Answers the waiting callers whose work has ended (quitting calls it
  // after the station has ended every operation: text still queued then
  // was not sent).
  void FinishPending();
  // Calls taken so far (the window-less instance ends when it stays idle).
  std::uint64_t Calls() const { return calls_; }

 private:
  void AfterCommand();

  CStation& station_;
  std::function<QWidget*()> window_;
  std::function<void()> afterCommand_;
  struct PendingSend {
    std::uint64_t end;        // Accepted() after the text
    std::uint64_t discarded;  // Discarded() when it was sent
    Done done;
  };
  std::vector<Done> pending_;
  std::vector<PendingSend> sends_;
  QTimer watch_;  // runs while callers wait
  std::uint64_t calls_ = 0;
};

}  // namespace nami
