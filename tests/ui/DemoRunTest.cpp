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

TEST(DemoRun, HeadlessPrintsTheActivityToStderrAndTheSummaryToStdout) {
  test::TempDir dir;
  const std::string err = dir.File("stderr.txt");
  const std::string command = "cd '" + dir.Path() + "' && XDG_RUNTIME_DIR='" + dir.Path() +
                              "' NAMI_HEADLESS_TIMEOUT=120 '" NAMI_BINARY_DIR "/nami' --demo --headless 2>'" + err +
                              "'";
  Result r = RunCommand(command);
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string activity = test::ReadFile(err);
  // Time-stamped, in the order they happened.
  std::size_t at = 0;
  for (const char* step : {"  自動モード開始\n", "  相手局に接続: QZ1ABC\n", "  > CONNECT QZ1ABC\n",
                           "  メールファイル demo-mail.UPL (64 バイト)\n", "  > L\n", "  > R 1224\n", "  ログオフ\n",
                           "  > B\n", "  完了 (completed) — 送信 1 通, "}) {
    const std::size_t found = activity.find(step, at);
    ASSERT_NE(found, std::string::npos) << step << " after " << at << " in\n" << activity;
    EXPECT_EQ(activity[found - 3], ':') << "a time stamp before it";
    at = found;
  }
  // The output frames the run: its start line, and one end line that holds
  // the outcome and the summary; not the steps.
  EXPECT_NE(r.out.find(" 自動モード開始 (run started) ----\n"), std::string::npos) << r.out;
  const std::string summary = " 完了 (completed) — 送信 1 通, リスト 33 行, 読み出し 10 通 (QZ1XYZ 宛 1 通), ";
  const std::size_t end = r.out.find(summary);
  ASSERT_NE(end, std::string::npos) << r.out;
  EXPECT_EQ(r.out.compare(end - 24, 5, "==== "), 0) << "the end line carries the summary:\n" << r.out;
  EXPECT_EQ(r.out.find(summary, end + 1), std::string::npos) << "one end line:\n" << r.out;
  EXPECT_EQ(r.out.find("====", r.out.find('\n', end)), std::string::npos) << "one end line:\n" << r.out;
  EXPECT_EQ(r.out.find("> CONNECT QZ1ABC"), std::string::npos);
}

}  // namespace
}  // namespace nami
