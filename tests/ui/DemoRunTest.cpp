// The program itself: `nami --demo --headless` performs one autopilot run
// against the built-in simulator and prints what the terminal pane shows.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/TestSupport.h"

namespace nami {
namespace {

struct Result {
  int status = -1;
  std::string out;
};

Result RunCommand(const std::string& command) {
  Result r;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int raw = ::pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

TEST(DemoRun, HeadlessDemoCompletesARunAndPrintsTheBbsLines) {
  test::TempDir dir;
  // The demo keeps its settings and logs under XDG_RUNTIME_DIR.
  const std::string command = "cd '" + dir.Path() + "' && XDG_RUNTIME_DIR='" + dir.Path() +
                              "' NAMI_HEADLESS_TIMEOUT=120 '" NAMI_BINARY_DIR "/nami' --demo --headless 2>&1";
  Result r = RunCommand(command);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("*** CONNECTED to QZ1ABC"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("QZ1ABC BBS>"), std::string::npos);
  EXPECT_NE(r.out.find("年末年始の運用について"), std::string::npos) << "a Japanese subject, printed as UTF-8";
  const std::string listLog = dir.Path() + "/nami-demo/templist.dat";
  const std::string mailLog = dir.Path() + "/nami-demo/tempmail.dat";
  EXPECT_NE(r.out.find("list log: " + listLog + "\nmail log: " + mailLog + "\n"), std::string::npos) << r.out;
  // The logs hold what the BBS sent, with CR LF line ends.
  const std::string list = test::ReadFile(listLog);
  const std::string mail = test::ReadFile(mailLog);
  EXPECT_NE(list.find("1230 "), std::string::npos);
  EXPECT_NE(list.find("\r\n"), std::string::npos);
  EXPECT_NE(mail.find(test::Sjis("良いお年を。") + "\r\n"), std::string::npos);
  // The user's own folder and settings are untouched.
  EXPECT_FALSE(test::FileExists(dir.Path() + "/templist.dat"));
}

}  // namespace
}  // namespace nami
