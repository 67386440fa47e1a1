// What the automation object on D-Bus drives: the application implements it
// with its document, its terminal pane and the transfers. Link text that
// crosses this interface is CP932 and paths are file-system names; the
// server converts at the bus edge.
#pragma once

#include <functional>
#include <string>

namespace nami {

// What the D-Bus object calls; the application implements it. Text is CP932, paths file-system names.
class IAutomationTarget {
 public:
  virtual ~IAutomationTarget() = default;
  // How a call ended: ok, or the reason (UTF-8) it did not do its work.
  using Done = std::function<void(bool ok, const std::string& why)>;

  virtual void ShowWindow() = 0;
  // Starts the upload; calls `done` once it has ended, at once with false
  // and the reason when none could start. The D-Bus reply is delayed until
  // then, while other events keep flowing.
  virtual void UploadFile(const std::string& path, Done done) = 0;
  // Starts the capture; calls `done` at once, with false and the reason
  // when it could not.
  virtual void DownloadFile(const std::string& path, Done done) = 0;
  // Sends text then CR, no echo; calls `done` once all of it is on the line,
  // with false when it could not be sent.
  virtual void SendOut(const std::string& text, Done done) = 0;
  virtual std::string GetLine(int n) = 0;
  virtual void DownloadStop() = 0;
};

// Registers object "/Document", interface "Nami.Document" on the session bus and the bus names.
class CAutomationServer;  // see src/automation/AutomationServer.h

}  // namespace nami
