// The automation object on the D-Bus session bus.
//
// Object "/Document" carries interface "Nami.Document" with six methods:
// ShowWindow(s), UploadFile(s) -> b, DownloadFile(s) -> b, SendOut(s) -> b,
// GetLine(n) -> s and DownloadStop(s). Method names are matched without
// regard to letter case. Every method takes exactly one argument: a call
// without it is refused with "Nami.Error.ParamNotOptional", a call with more
// with "Nami.Error.BadParamCount", and the method is then not run. Strings
// arrive as UTF-8 and reach the target as CP932; GetLine's result goes back
// as UTF-8.
//
// Each instance owns the bus name "Nami.Document.Instance_<pid>"; the first
// instance on the bus also owns "Nami.Document", which the service file
// activates (`nami --automation`) when no instance runs.
#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

#include "automation/AutomationTarget.h"

namespace nami {

class CAutomationObject;

class CAutomationServer {
 public:
  static constexpr const char* kServiceName = "Nami.Document";
  static constexpr const char* kInterfaceName = "Nami.Document";
  static constexpr const char* kObjectPath = "/Document";
  static constexpr const char* kInstancePrefix = "Nami.Document.Instance_";
  static constexpr const char* kErrorParamNotOptional = "Nami.Error.ParamNotOptional";
  static constexpr const char* kErrorBadParamCount = "Nami.Error.BadParamCount";
  // UploadFile, DownloadFile or SendOut could not do its work; the message says why.
  static constexpr const char* kErrorFailed = "Nami.Error.Failed";

  explicit CAutomationServer(IAutomationTarget& target);
  ~CAutomationServer();
  CAutomationServer(const CAutomationServer&) = delete;
  CAutomationServer& operator=(const CAutomationServer&) = delete;

  // Registers the object and the bus names on the session bus (never the
  // system bus). On success `busNameOut` receives this instance's own name
  // (the one to print for `nami --automation`). False when there is no
  // session bus or the object or the instance name cannot be registered;
  // LastError() then says why.
  bool Start(QString* busNameOut = nullptr);
  // Releases the names and the object. Uploads still running reply when
  // they end, as long as the bus connection lives.
  void Stop();

  bool IsRunning() const { return running_; }
  QString BusName() const { return running_ ? busName_ : QString(); }
  QString LastError() const { return lastError_; }

  static QString InstanceBusName(qint64 pid);

 private:
  IAutomationTarget& target_;
  std::unique_ptr<CAutomationObject> object_;
  QString busName_;
  QString lastError_;
  bool running_ = false;
  bool ownsServiceName_ = false;
};

}  // namespace nami
