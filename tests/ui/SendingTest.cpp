// The running frame puts uploads and mail files on the link through the
// write pacer, shows how far they are in the status bar, and quitting ends
// them at once with every file closed.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStatusBar>
#include <climits>
#include <string>

#include "UiTestSupport.h"
#include "link/SerialPort.h"
#include "ui/Command.h"

namespace nami {
namespace {

using test::FrameFixture;

// How many of this process's descriptors refer to `path`.
int OpenCount(const std::string& path) {
  int count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return -1;
  char target[PATH_MAX];
  while (dirent* e = ::readdir(dir)) {
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == path) ++count;
  }
  ::closedir(dir);
  return count;
}

QString StatusMessage(FrameFixture& f) { return f.frame->statusBar()->currentMessage(); }

TEST(Sending, UploadThroughTheFrameOverAPseudoTerminalDeliversEveryByteInOrder) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  FrameFixture f(std::string("[Devices]\r\nCOM2=") + ::ptsname(master) + "\r\n");
  CSettings* settings = f.settings.get();
  f.session->SetPort(
      std::make_unique<CSerialPort>([settings](const std::string& com) { return settings->DevicePath(com); }));
  f.session->NewDocument();
  ASSERT_TRUE(f.session->Doc().Port()->IsOpen());

  std::string file, expected;
  for (int i = 0; i < 3000; ++i) {
    const std::string line = "upload line " + std::to_string(i);
    file += line + "\r\n";
    expected += line + "\r";
  }
  const std::string path = f.dir.File("up.txt");
  test::WriteFile(path, file);
  f.nextFile = QString::fromStdString(path);
  f.frame->Action(Command::Upload)->trigger();
  ASSERT_TRUE(f.session->Transfers().Uploading());

  std::string got;
  char buf[4096];
  QElapsedTimer t;
  t.start();
  while (got.size() < expected.size() && t.elapsed() < 20000) {
    FrameFixture::Pump(2);
    ssize_t n;
    while ((n = ::read(master, buf, sizeof buf)) > 0) got.append(buf, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected) << "every byte, in order";
  FrameFixture::Pump(50);
  EXPECT_FALSE(f.session->Transfers().Uploading());
  EXPECT_EQ(OpenCount(path), 0);
  EXPECT_FALSE(f.session->Doc().Sending().Active()) << "nothing left to pace";
  f.session->Shutdown();
  ::close(master);
}

TEST(Sending, StatusBarShowsTheUploadProgressAndThenReady) {
  FrameFixture f;
  f.port->queueCount = 1;  // the port takes nothing yet
  const std::string path = f.dir.File("up.txt");
  test::WriteFile(path, std::string(1000, 'a'));
  f.nextFile = QString::fromStdString(path);
  f.frame->Action(Command::Upload)->trigger();
  FrameFixture::Pump(30);
  EXPECT_EQ(StatusMessage(f), QStringLiteral("アップロード中 0/1000 バイト"));
  EXPECT_EQ(f.port->sent, "") << "showing progress sends nothing";

  f.port->queueCount = 0;
  const QRegularExpression partly(QStringLiteral("^アップロード中 ([0-9]+)/1000 バイト$"));
  QElapsedTimer t;
  t.start();
  bool sawPart = false;
  while (f.session->Transfers().Uploading() && t.elapsed() < 5000) {
    FrameFixture::Pump(5);
    const auto m = partly.match(StatusMessage(f));
    if (m.hasMatch()) {
      const int n = m.captured(1).toInt();
      EXPECT_LE(static_cast<std::size_t>(n), f.port->sent.size() + 1);
      if (n > 0 && n < 1000) sawPart = true;
    }
  }
  EXPECT_TRUE(sawPart) << "the count grows while the file goes out";
  EXPECT_EQ(f.port->sent, std::string(1000, 'a'));
  FrameFixture::Pump(150);
  EXPECT_EQ(StatusMessage(f), QStringLiteral("レディ"));
}

TEST(Sending, QuittingDuringAnUploadEndsItAndClosesTheFileAtOnce) {
  FrameFixture f;
  f.port->queueCount = 1;
  const std::string path = f.dir.File("up.txt");
  test::WriteFile(path, std::string(5000, 'b'));
  f.nextFile = QString::fromStdString(path);
  f.frame->Action(Command::Upload)->trigger();
  ASSERT_TRUE(f.session->Transfers().Uploading());
  EXPECT_EQ(OpenCount(path), 1);

  f.nextFile.clear();  // the save dialog is cancelled
  f.frame->close();    // no event loop runs in between
  EXPECT_FALSE(f.session->Transfers().Uploading());
  EXPECT_TRUE(f.session->Doc().Sending().Idle());
  EXPECT_EQ(OpenCount(path), 0);
  EXPECT_FALSE(f.port->open);
  EXPECT_FALSE(f.session->Doc().Sending().Active());
  f.port->queueCount = 0;
  FrameFixture::Pump(50);
  EXPECT_EQ(f.port->sent, "") << "nothing more goes out";
}

TEST(Sending, MailFileProgressThenTheStepsWaitAndQuittingEndsBoth) {
  FrameFixture f;
  const std::string mail = f.dir.File("mail1.txt");
  test::WriteFile(mail, "SP JA1ABC\nHello\nBye\n");  // 20 bytes
  f.session->Settings().Set(keys::Send[0], mail);
  f.port->queueCount = 1;
  f.frame->Action(Command::MailSend)->trigger();
  ASSERT_TRUE(f.session->Autopilot().Busy());
  FrameFixture::Pump(30);
  EXPECT_EQ(StatusMessage(f), QStringLiteral("メール送信中 mail1.txt 0/20 バイト"));
  EXPECT_EQ(OpenCount(mail), 1);

  f.port->queueCount = 0;
  QElapsedTimer t;
  t.start();
  while (f.session->Autopilot().MailSender().Sending() && t.elapsed() < 5000) FrameFixture::Pump(5);
  EXPECT_EQ(f.port->sent, "SP JA1ABC\rHello\rBye\r\x1A\r");
  FrameFixture::Pump(150);
  EXPECT_EQ(StatusMessage(f), QStringLiteral("メール送信中")) << "waiting for the prompt";
  EXPECT_EQ(OpenCount(mail), 0);

  f.frame->close();
  EXPECT_FALSE(f.session->Autopilot().Busy());
  EXPECT_TRUE(f.session->Autopilot().State().AutoIdle);
  EXPECT_FALSE(f.port->open);
  EXPECT_EQ(StatusMessage(f), QStringLiteral("レディ"));
}

TEST(Sending, QuittingDuringAListWaitClosesTheLogFile) {
  FrameFixture f;
  f.session->Settings().Set(keys::ListFile, f.dir.File("list.log"));
  f.session->Settings().Set(keys::Field[0], "L");  // a step with nothing to send would end at once
  f.frame->Action(Command::ListRead)->trigger();
  ASSERT_TRUE(f.session->Autopilot().Busy());
  FrameFixture::Pump(150);
  EXPECT_EQ(StatusMessage(f), QString::fromStdString(f.session->Autopilot().StatusText()));
  EXPECT_FALSE(StatusMessage(f).isEmpty());
  EXPECT_EQ(OpenCount(f.dir.File("list.log")), 1);

  f.frame->close();
  EXPECT_FALSE(f.session->Autopilot().Busy());
  EXPECT_EQ(OpenCount(f.dir.File("list.log")), 0);
  EXPECT_FALSE(f.port->open);
}

}  // namespace
}  // namespace nami
