#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdlib>

namespace nami::test {

QApplication& App() {
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    // The screenshot is made on a real X server (Xvfb) when there is one;
    // every other test stays on the offscreen platform (each test runs in a
    // process of its own under ctest).
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const bool screenshot = info && std::string(info->name()).find("Screenshot") != std::string::npos;
    if (screenshot && std::getenv("NAMI_ARTIFACTS") && std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    return new QApplication(argc, argv);
  }();
  return *app;
}

FrameFixture::FrameFixture(const std::string& iniText, IFileOps& ops) {
  App();
  const std::string ini = dir.File("NAMI.INI");
  if (!iniText.empty()) WriteFile(ini, iniText);
  settings = std::make_unique<CSettings>(ini, ops);
  session = std::make_unique<CStation>(*settings, clock, false);
  auto fake = std::make_unique<FakePort>();
  port = fake.get();
  session->SetPort(std::move(fake));
  recent = std::make_unique<CRecentFiles>(CRecentFiles::PathBeside(ini));
  frame = std::make_unique<CMainFrame>(*session, *recent);
  frame->messageHandler = [this](const QString& m) { messages << m; };
  frame->Router().chooseFile = [this](const FileRequest&) { return nextFile; };
  frame->askOnExit = [this](const QString& question) {
    exitQuestions << question;
    return exitChoice;
  };
  session->NewDocument();
}

FrameFixture::~FrameFixture() {
  frame.reset();
  session.reset();
}

void FrameFixture::Pump(int ms) {
  QElapsedTimer t;
  t.start();
  do {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  } while (t.elapsed() < ms);
}

}  // namespace nami::test
