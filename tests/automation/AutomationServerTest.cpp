// The automation object on a session bus, driven by independent clients
// (gdbus and dbus-send run as child processes) while the test's event loop
// serves the calls.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "automation/AutomationActions.h"
#include "automation/AutomationServer.h"
#include "support/FakePort.h"
#include "support/TestSupport.h"
#include "BusTestSupport.h"
#include "terminal/NamiDoc.h"

namespace nami {
namespace {


// A target built like the application's: a document with a fake port, using
// the ready-made GetLine and SendOut, recording every call.
class RecordingTarget : public IAutomationTarget {
 public:
  RecordingTarget() : settings_(dir_.File("NAMI.INI")), doc_(settings_, sink_) {
    auto port = std::make_unique<test::FakePort>();
    port_ = port.get();
    doc_.SetPort(std::move(port));
    port_->Open("COM2:9600,n,8,1,n");
  }
  void ShowWindow() override { calls.push_back("ShowWindow"); }
  // Paths under /no/ cannot be opened.
  void UploadFile(const std::string& path, Done done) override {
    calls.push_back("UploadFile " + path);
    if (path.rfind("/no/", 0) == 0) {
      done(false, path + ": No such file or directory");
    } else if (finishUploadsAtOnce) {
      done(true, {});
    } else {
      pendingUpload = [done] { done(true, {}); };
    }
  }
  void DownloadFile(const std::string& path, Done done) override {
    calls.push_back("DownloadFile " + path);
    if (path.rfind("/no/", 0) != 0) {
      done(true, {});
    } else {
      done(false, path + ": Permission denied");
    }
  }
  void SendOut(const std::string& text, Done done) override {
    calls.push_back("SendOut " + text);
    const bool whole = AutomationSendOut(doc_, text) > 0 && doc_.Sending().Queued() == 0;
    done(whole, "the port did not take the text");
  }
  std::string GetLine(int n) override {
    calls.push_back("GetLine " + std::to_string(n));
    return AutomationGetLine(doc_.Lines(), n);
  }
  void DownloadStop() override { calls.push_back("DownloadStop"); }

  CNamiDoc& Doc() { return doc_; }
  test::FakePort& Port() { return *port_; }

  std::vector<std::string> calls;
  std::function<void()> pendingUpload;
  bool finishUploadsAtOnce = true;

 private:
  test::TempDir dir_;
  CSettings settings_;
  test::RecordingSink sink_;
  CNamiDoc doc_;
  test::FakePort* port_ = nullptr;
};

struct ClientResult {
  bool finished = false;
  int exitCode = -1;
  QString out;
  QString err;
};

class AutomationServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::EnsureCoreApplication(); }

  void SetUp() override {
    if (!test::SessionBusError().empty()) GTEST_SKIP() << test::SessionBusError();
    server_ = std::make_unique<CAutomationServer>(target_);
    ASSERT_TRUE(server_->Start(&busName_)) << server_->LastError().toStdString();
  }
  void TearDown() override { server_.reset(); }

  // Starts a client and serves the bus until `until` holds or the client ends.
  std::unique_ptr<QProcess> StartClient(const QString& program, const QStringList& args) {
    auto process = std::make_unique<QProcess>();
    process->start(program, args);
    EXPECT_TRUE(process->waitForStarted(5000)) << program.toStdString();
    return process;
  }
  void Serve(const std::function<bool()>& until, int timeoutMs = 10000) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (until()) loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!until()) loop.exec();
  }
  ClientResult Finish(QProcess& process) {
    Serve([&] { return process.state() == QProcess::NotRunning; });
    ClientResult r;
    r.finished = process.state() == QProcess::NotRunning;
    if (!r.finished) {
      process.kill();
      process.waitForFinished(1000);
    }
    r.exitCode = process.exitCode();
    r.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    r.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return r;
  }
  ClientResult Run(const QString& program, const QStringList& args) {
    auto process = StartClient(program, args);
    return Finish(*process);
  }
  // gdbus call; gdbus reads the introspection data to type the arguments.
  QStringList GdbusArgs(const QString& method, const QStringList& args) {
    return QStringList{QStringLiteral("call"),
                       QStringLiteral("--session"),
                       QStringLiteral("--dest"),
                       busName_,
                       QStringLiteral("--object-path"),
                       QStringLiteral("/Document"),
                       QStringLiteral("--method"),
                       QStringLiteral("Nami.Document.") + method,
                       QStringLiteral("--")} +
           args;
  }
  ClientResult Gdbus(const QString& method, const QStringList& args) {
    return Run(QStringLiteral("gdbus"), GdbusArgs(method, args));
  }
  // dbus-send sends exactly the arguments given, typed by hand.
  ClientResult DbusSend(const QString& method, const QStringList& args) {
    return Run(
        QStringLiteral("dbus-send"),
        QStringList{QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=") + busName_,
                    QStringLiteral("/Document"), QStringLiteral("Nami.Document.") + method} +
            args);
  }

  RecordingTarget target_;
  std::unique_ptr<CAutomationServer> server_;
  QString busName_;
};

TEST_F(AutomationServerTest, OwnsItsInstanceName) {
  EXPECT_EQ(busName_, CAutomationServer::InstanceBusName(QCoreApplication::applicationPid()));
  EXPECT_TRUE(busName_.startsWith(QLatin1String("Nami.Document.Instance_")));
  EXPECT_EQ(server_->BusName(), busName_);
}

TEST_F(AutomationServerTest, GetLineCountsBackFromTheNewestLine) {
  EXPECT_EQ(Gdbus("GetLine", {"1"}).out, "('',)");  // nothing received yet
  target_.Doc().Lines().AddLine("oldest");
  target_.Doc().Lines().AddLine("middle");
  target_.Doc().Lines().AddLine("newest");
  EXPECT_EQ(Gdbus("GetLine", {"1"}).out, "('newest',)");
  EXPECT_EQ(Gdbus("GetLine", {"3"}).out, "('oldest',)");
  EXPECT_EQ(Gdbus("GetLine", {"0"}).out, "('',)");
  EXPECT_EQ(Gdbus("GetLine", {"-1"}).out, "('',)");
  EXPECT_EQ(Gdbus("GetLine", {"4"}).out, "('',)");
  // Another integer type and another letter case are taken as well.
  EXPECT_EQ(DbusSend("getLINE", {"int32:2"}).out.section('\n', 1).trimmed(), "string \"middle\"");
  EXPECT_EQ(DbusSend("GetLine", {"int64:-40000"}).out.section('\n', 1).trimmed(), "string \"\"");
  const std::vector<std::string> expected{"GetLine 1",  "GetLine 1", "GetLine 3", "GetLine 0",
                                          "GetLine -1", "GetLine 4", "GetLine 2", "GetLine -40000"};
  EXPECT_EQ(target_.calls, expected);

  // A text that is no number is refused before the target is asked.
  const ClientResult bad = DbusSend("GetLine", {"string:x"});
  EXPECT_NE(bad.exitCode, 0);
  EXPECT_TRUE(bad.err.contains("org.freedesktop.DBus.Error.InvalidArgs")) << bad.err.toStdString();
  EXPECT_EQ(target_.calls.size(), expected.size());
}

TEST_F(AutomationServerTest, SendOutWritesTextAndCrInAnyCase) {
  EXPECT_EQ(Gdbus("SendOut", {"B"}).out, "(true,)");
  EXPECT_EQ(DbusSend("sendout", {"string:B"}).out.section('\n', 1).trimmed(), "boolean true");
  const std::vector<std::string> writes{"B\r", "B\r"};
  EXPECT_EQ(target_.Port().writes, writes);
  EXPECT_EQ(target_.Doc().Lines().LineCount(), 0u);  // no echo into the received text

  // A text the port does not take is an error with the reason, not a yes.
  target_.Port().failWrites = true;
  const ClientResult failed = Gdbus("SendOut", {"C"});
  EXPECT_NE(failed.exitCode, 0);
  EXPECT_TRUE(failed.err.contains("Nami.Error.Failed")) << failed.err.toStdString();
  EXPECT_TRUE(failed.err.contains("did not take")) << failed.err.toStdString();
}

TEST_F(AutomationServerTest, UploadRepliesOnlyWhenTheUploadHasEnded) {
  // A path that cannot be opened: answered at once with the error and the reason.
  const ClientResult missing = Gdbus("UploadFile", {"/no/such/file.txt"});
  EXPECT_TRUE(missing.err.contains("Nami.Error.Failed")) << missing.err.toStdString();
  EXPECT_TRUE(missing.err.contains("/no/such/file.txt: No such file")) << missing.err.toStdString();

  target_.finishUploadsAtOnce = false;
  auto upload = StartClient("gdbus", GdbusArgs("UploadFile", {"/tmp/mail.txt"}));
  Serve([&] { return static_cast<bool>(target_.pendingUpload); });
  ASSERT_TRUE(target_.pendingUpload);
  // Other calls are served while the upload runs, and their bytes go out.
  EXPECT_EQ(Gdbus("SendOut", {"X"}).out, "(true,)");
  EXPECT_EQ(Gdbus("GetLine", {"1"}).out, "('',)");
  EXPECT_EQ(target_.Port().sent, "X\r");
  EXPECT_EQ(upload->state(), QProcess::Running);  // still waiting for its answer

  target_.pendingUpload();
  target_.pendingUpload();  // a second call must not answer twice
  const ClientResult r = Finish(*upload);
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.out, "(true,)");
  ASSERT_GE(target_.calls.size(), 2u);
  EXPECT_EQ(target_.calls[0], "UploadFile /no/such/file.txt");
  EXPECT_EQ(target_.calls[1], "UploadFile /tmp/mail.txt");
}

TEST_F(AutomationServerTest, DownloadCallsReachTheTargetEachTime) {
  EXPECT_EQ(Gdbus("DownloadFile", {"/tmp/a.DWN"}).out, "(true,)");
  EXPECT_EQ(Gdbus("downloadfile", {"/tmp/b.DWN"}).out, "(true,)");
  const ClientResult refused = Gdbus("DownloadFile", {"/no/c.DWN"});
  EXPECT_TRUE(refused.err.contains("Nami.Error.Failed: /no/c.DWN: Permission denied")) << refused.err.toStdString();
  EXPECT_EQ(Gdbus("DownloadStop", {"''"}).exitCode, 0);
  const std::vector<std::string> expected{"DownloadFile /tmp/a.DWN", "DownloadFile /tmp/b.DWN",
                                          "DownloadFile /no/c.DWN", "DownloadStop"};
  EXPECT_EQ(target_.calls, expected);
}

TEST_F(AutomationServerTest, ArgumentCountIsCheckedBeforeTheMethodRuns) {
  ClientResult r = DbusSend("ShowWindow", {});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_TRUE(r.err.contains("Nami.Error.ParamNotOptional")) << r.err.toStdString();
  r = DbusSend("ShowWindow", {"string:a", "string:b"});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_TRUE(r.err.contains("Nami.Error.BadParamCount")) << r.err.toStdString();
  r = DbusSend("SendOut", {});
  EXPECT_TRUE(r.err.contains("Nami.Error.ParamNotOptional")) << r.err.toStdString();
  r = DbusSend("UploadFile", {"string:a", "int32:1"});
  EXPECT_TRUE(r.err.contains("Nami.Error.BadParamCount")) << r.err.toStdString();
  EXPECT_TRUE(target_.calls.empty());
  EXPECT_TRUE(target_.Port().writes.empty());

  // A string method given a number is refused too; the ignored argument of
  // ShowWindow may be anything.
  r = DbusSend("DownloadFile", {"int32:5"});
  EXPECT_TRUE(r.err.contains("org.freedesktop.DBus.Error.InvalidArgs")) << r.err.toStdString();
  EXPECT_TRUE(target_.calls.empty());
  EXPECT_EQ(DbusSend("showwindow", {"int32:0"}).exitCode, 0);
  EXPECT_EQ(target_.calls, std::vector<std::string>{"ShowWindow"});

  r = DbusSend("Quit", {"string:x"});
  EXPECT_TRUE(r.err.contains("org.freedesktop.DBus.Error.UnknownMethod")) << r.err.toStdString();
}

TEST_F(AutomationServerTest, KanjiCrossesAsCp932) {
  EXPECT_EQ(Gdbus("SendOut", {"'漢字でＯＫ'"}).out, "(true,)");
  ASSERT_EQ(target_.Port().writes.size(), 1u);
  EXPECT_EQ(target_.Port().writes[0], test::Sjis("漢字でＯＫ") + "\r");
  ASSERT_EQ(target_.calls.size(), 1u);
  EXPECT_EQ(target_.calls[0], "SendOut " + test::Sjis("漢字でＯＫ"));

  target_.Doc().Lines().AddLine(test::Sjis("ｱﾏﾁｭｱ無線 JA1ABC"));
  EXPECT_EQ(DbusSend("GetLine", {"int16:1"}).out.section('\n', 1).trimmed(), "string \"ｱﾏﾁｭｱ無線 JA1ABC\"");
}

TEST_F(AutomationServerTest, IntrospectionShowsTheSixMethodsInOrder) {
  const ClientResult r = Run("gdbus", {"introspect", "--session", "--dest", busName_, "--object-path", "/Document"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("interface Nami.Document {"));
  qsizetype at = 0;
  for (const char* signature : {"ShowWindow(in  s", "UploadFile(in  s path,", "DownloadFile(in  s path,",
                                "SendOut(in  s text,", "GetLine(in  n n,", "DownloadStop(in  s"}) {
    const qsizetype found = r.out.indexOf(QLatin1String(signature), at);
    EXPECT_GT(found, at) << signature;
    at = std::max(at, found);
  }
}

TEST_F(AutomationServerTest, StopReleasesTheName) {
  server_->Stop();
  EXPECT_FALSE(server_->IsRunning());
  const ClientResult r = Gdbus("GetLine", {"1"});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_TRUE(target_.calls.empty());
  QString again;
  ASSERT_TRUE(server_->Start(&again));
  EXPECT_EQ(again, busName_);
  EXPECT_EQ(Gdbus("GetLine", {"1"}).exitCode, 0);
}

}  // namespace
}  // namespace nami
