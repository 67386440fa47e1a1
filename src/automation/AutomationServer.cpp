#include "automation/AutomationServer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QVariant>
#include <climits>
#include <cmath>
#include <memory>
#include <string>

#include "qt/Cp932String.h"

namespace nami {

namespace {

// The six methods in the order of their dispatch ids (1 to 6).
enum class Method { None = 0, ShowWindow, UploadFile, DownloadFile, SendOut, GetLine, DownloadStop };

struct MethodInfo {
  Method id;
  const char* name;
};

constexpr MethodInfo kMethods[] = {
    {Method::ShowWindow, "ShowWindow"}, {Method::UploadFile, "UploadFile"}, {Method::DownloadFile, "DownloadFile"},
    {Method::SendOut, "SendOut"},       {Method::GetLine, "GetLine"},       {Method::DownloadStop, "DownloadStop"},
};

const char kInvalidArgs[] = "org.freedesktop.DBus.Error.InvalidArgs";
const char kUnknownMethod[] = "org.freedesktop.DBus.Error.UnknownMethod";

Method FindMethod(const QString& member) {
  for (const MethodInfo& m : kMethods) {
    if (member.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0) return m.id;
  }
  return Method::None;
}

// A "v" argument is taken for the value it carries.
QVariant Unwrapped(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
    return qvariant_cast<QDBusVariant>(value).variant();
  }
  return value;
}

int ClampToInt(long long v) {
  if (v < INT_MIN) return INT_MIN;
  if (v > INT_MAX) return INT_MAX;
  return static_cast<int>(v);
}

// The line number of GetLine. The interface declares a 16-bit integer, but a
// client may send any integer type (or a numeral as text); values are taken
// as they are and clamped to int, since no value outside 1..LineCount names
// a line anyway.
bool ToLineNumber(const QVariant& value, int* out) {
  switch (value.metaType().id()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UChar:
    case QMetaType::LongLong:
      *out = ClampToInt(value.toLongLong());
      return true;
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
      const qulonglong v = value.toULongLong();
      *out = v > static_cast<qulonglong>(INT_MAX) ? INT_MAX : static_cast<int>(v);
      return true;
    }
    case QMetaType::Double: {
      const double d = value.toDouble();
      if (!std::isfinite(d)) return false;
      const double r = std::round(d);
      *out = r < INT_MIN ? INT_MIN : r > INT_MAX ? INT_MAX : static_cast<int>(r);
      return true;
    }
    case QMetaType::QString: {
      bool ok = false;
      const long long v = value.toString().trimmed().toLongLong(&ok);
      if (!ok) return false;
      *out = ClampToInt(v);
      return true;
    }
    default:
      return false;
  }
}

const char kIntrospection[] =
    "  <interface name=\"Nami.Document\">\n"
    "    <method name=\"ShowWindow\">\n"
    "      <annotation name=\"Nami.DispatchId\" value=\"1\"/>\n"
    "      <arg name=\"unused\" type=\"s\" direction=\"in\"/>\n"
    "    </method>\n"
    "    <method name=\"UploadFile\">\n"
    "      <annotation name=\"Nami.DispatchId\" value=\"2\"/>\n"
    "      <arg name=\"path\" type=\"s\" direction=\"in\"/>\n"
    "      <arg name=\"result\" type=\"b\" direction=\"out\"/>\n"
    "    </method>\n"
    "    <method name=\"DownloadFile\">\n"
    "      <annotation name=\"Nami.DispatchId\" value=\"3\"/>\n"
    "      <arg name=\"path\" type=\"s\" direction=\"in\"/>\n"
    "      <arg name=\"result\" type=\"b\" direction=\"out\"/>\n"
    "    </method>\n"
    "    <method name=\"SendOut\">\n"
    "      <annotation name=\"Nami.DispatchId\" value=\"4\"/>\n"
    "      <arg name=\"text\" type=\"s\" direction=\"in\"/>\n"
    "      <arg name=\"result\" type=\"b\" direction=\"out\"/>\n"
    "    </method>\n"
    "    <method name=\"GetLine\">\n"
    "      <annotation name=\"Nami.DispatchId\" value=\"5\"/>\n"
    "      <arg name=\"n\" type=\"n\" direction=\"in\"/>\n"
    "      <arg name=\"line\" type=\"s\" direction=\"out\"/>\n"
    "    </method>\n"
    "    <method name=\"DownloadStop\">\n"
    "      <annotation name=\"Nami.DispatchId\" value=\"6\"/>\n"
    "      <arg name=\"unused\" type=\"s\" direction=\"in\"/>\n"
    "    </method>\n"
    "  </interface>\n";

}  // namespace

// Receives every message to "/Document" and dispatches it by hand, so that
// method names can be matched without regard to case.
class CAutomationObject : public QDBusVirtualObject {
 public:
  explicit CAutomationObject(IAutomationTarget& target) : target_(target) {}

  QString introspect(const QString& path) const override {
    Q_UNUSED(path);
    return QString::fromLatin1(kIntrospection);
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    const QString iface = message.interface();
    const bool ours = iface.compare(QLatin1String(CAutomationServer::kInterfaceName), Qt::CaseInsensitive) == 0;
    if (!ours && !iface.isEmpty()) return false;  // Introspectable, Peer, Properties: Qt answers
    const Method method = FindMethod(message.member());
    if (method == Method::None) {
      if (!ours) return false;
      Reply(message, connection,
            message.createErrorReply(
                QLatin1String(kUnknownMethod),
                QStringLiteral("No method \"%1\" in interface Nami.Document").arg(message.member())));
      return true;
    }

    message.setDelayedReply(true);
    const QList<QVariant> args = message.arguments();
    if (args.isEmpty()) {
      Reply(message, connection,
            message.createErrorReply(QLatin1String(CAutomationServer::kErrorParamNotOptional),
                                     QStringLiteral("%1 needs its argument").arg(message.member())));
      return true;
    }
    if (args.size() > 1) {
      Reply(message, connection,
            message.createErrorReply(
                QLatin1String(CAutomationServer::kErrorBadParamCount),
                QStringLiteral("%1 takes exactly one argument, got %2").arg(message.member()).arg(args.size())));
      return true;
    }
    const QVariant arg = Unwrapped(args.front());

    switch (method) {
      // The argument of ShowWindow and DownloadStop is ignored, whatever it is.
      case Method::ShowWindow:
        target_.ShowWindow();
        break;
      case Method::DownloadStop:
        target_.DownloadStop();
        break;
      case Method::GetLine:
        return AnswerGetLine(arg, message, connection);
      default:
        return DispatchText(method, arg, message, connection);
    }
    Reply(message, connection, message.createReply());
    return true;
  }

 private:
  bool AnswerGetLine(const QVariant& arg, const QDBusMessage& message, const QDBusConnection& connection) {
    int n = 0;
    if (!ToLineNumber(arg, &n)) {
      Reply(message, connection,
            message.createErrorReply(
                QLatin1String(kInvalidArgs),
                QStringLiteral("GetLine takes an integer (int16), not %1").arg(QLatin1String(arg.metaType().name()))));
      return true;
    }
    Reply(message, connection, message.createReply(FromCp932(target_.GetLine(n))));
    return true;
  }

  // UploadFile, DownloadFile and SendOut: one string argument.
  bool DispatchText(Method method, const QVariant& arg, const QDBusMessage& message,
                    const QDBusConnection& connection) {
    if (arg.metaType().id() != QMetaType::QString) {
      Reply(
          message, connection,
          message.createErrorReply(
              QLatin1String(kInvalidArgs),
              QStringLiteral("%1 takes a string, not %2").arg(message.member(), QLatin1String(arg.metaType().name()))));
      return true;
    }
    // Paths go to the file system as they came (UTF-8); only link text
    // becomes CP932.
    const bool isPath = method == Method::UploadFile || method == Method::DownloadFile;
    const std::string text = isPath ? QFile::encodeName(arg.toString()).toStdString() : ToCp932(arg.toString());
    auto done = Answerer(message, connection);
    switch (method) {
      case Method::UploadFile:
        target_.UploadFile(text, done);
        return true;
      case Method::SendOut:
        target_.SendOut(text, done);
        return true;
      case Method::DownloadFile:
        target_.DownloadFile(text, done);
        return true;
      default:
        break;
    }
    Reply(message, connection, message.createReply(QVariant(true)));
    return true;
  }

  // UploadFile and SendOut answer once their work has ended; each answer is
  // sent once, however often the answerer is called. A failure is the error
  // Nami.Error.Failed with the reason.
  static IAutomationTarget::Done Answerer(const QDBusMessage& call, const QDBusConnection& bus) {
    auto answered = std::make_shared<bool>(false);
    return [answered, call, bus](bool ok, const std::string& why) {
      if (*answered) return;
      *answered = true;
      if (!call.isReplyRequired()) return;
      bus.send(ok ? call.createReply(QVariant(true))
                  : call.createErrorReply(QLatin1String(CAutomationServer::kErrorFailed), QString::fromStdString(why)));
    };
  }

  static void Reply(const QDBusMessage& call, const QDBusConnection& connection, const QDBusMessage& reply) {
    if (call.isReplyRequired()) connection.send(reply);
  }

  IAutomationTarget& target_;
};

CAutomationServer::CAutomationServer(IAutomationTarget& target) : target_(target) {}

CAutomationServer::~CAutomationServer() { Stop(); }

QString CAutomationServer::InstanceBusName(qint64 pid) { return QLatin1String(kInstancePrefix) + QString::number(pid); }

bool CAutomationServer::Start(QString* busNameOut) {
  if (running_) {
    if (busNameOut) *busNameOut = busName_;
    return true;
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    lastError_ = QStringLiteral("no D-Bus session bus: %1").arg(bus.lastError().message());
    return false;
  }
  object_ = std::make_unique<CAutomationObject>(target_);
  if (!bus.registerVirtualObject(QLatin1String(kObjectPath), object_.get(), QDBusConnection::SingleNode)) {
    lastError_ = QStringLiteral("cannot register the object %1").arg(QLatin1String(kObjectPath));
    object_.reset();
    return false;
  }
  busName_ = InstanceBusName(QCoreApplication::applicationPid());
  if (!bus.registerService(busName_)) {
    lastError_ = QStringLiteral("cannot own the bus name %1: %2").arg(busName_, bus.lastError().message());
    bus.unregisterObject(QLatin1String(kObjectPath));
    object_.reset();
    return false;
  }
  // Only the first instance gets the shared name; the others are reached by
  // their own names.
  ownsServiceName_ = bus.registerService(QLatin1String(kServiceName));
  running_ = true;
  lastError_.clear();
  if (busNameOut) *busNameOut = busName_;
  return true;
}

void CAutomationServer::Stop() {
  if (!running_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (ownsServiceName_) bus.unregisterService(QLatin1String(kServiceName));
  bus.unregisterService(busName_);
  bus.unregisterObject(QLatin1String(kObjectPath));
  object_.reset();
  running_ = false;
  ownsServiceName_ = false;
}

}  // namespace nami
