// "nami mail" end to end on real files: compose into outbox/ and sendN,
// its refusals, and import / list / show / search on the store.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "mailbox/MailCli.h"
#include "settings/Settings.h"
#include "sim/Bbs.h"
#include "sim/MessageBase.h"
#include "support/TestSupport.h"
#include "text/Cp932.h"
#include "text/IniPath.h"

namespace nami::mailbox {
namespace {

struct SRun {
  int code;
  std::string out, err;
};

// Runs "nami mail ARGS" in a UTF-8 locale, `input` on its standard input.
SRun Mail(std::vector<std::string> args, const std::string& input = "") {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C.UTF-8");
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  SMailCliEnv env;
  env.in = in;
  env.out = out;
  env.err = err;
  SRun r;
  r.code = RunMailCommand(args, env);
  for (auto [f, into] : {std::pair{out, &r.out}, std::pair{err, &r.err}}) {
    std::rewind(f);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) into->append(buf, n);
    std::fclose(f);
  }
  std::fclose(in);
  std::setlocale(LC_ALL, previous.c_str());
  return r;
}

TEST(MailCli, ComposeWritesACp932MailFileAndQueuesItInTheFirstFreeSlot) {
  test::TempDir dir;
  const std::string folder = dir.File("局の設定");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string ini = folder + "/NAMI.INI";
  {
    CSettings s(ini);
    s.SetProfileSection(Utf8ToCp932("移動"));
    ASSERT_TRUE(s.Set(keys::Send[0], "C:\\mail\\old.txt"));  // taken
  }
  const SRun r = Mail({"compose", "--ini", ini, "--profile", "移動", "--to", "qz2klm", "--at", "QZ1ABC", "--subject",
                       "移動運用のお知らせ", "--json"},
                      "土曜日に運用します。\n73\n");
  ASSERT_EQ(r.code, 0) << r.err;
  CSettings s(ini);
  s.SetProfileSection(Utf8ToCp932("移動"));
  const std::string file = s.SendPath(1);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file.rfind(folder + "/outbox/", 0), 0u) << file;
  EXPECT_EQ(test::ReadFile(file),
            test::Sjis("SP QZ2KLM @ QZ1ABC\r\n移動運用のお知らせ\r\n土曜日に運用します。\r\n73\r\n"));
  EXPECT_NE(r.out.find("\"slot\":2"), std::string::npos) << r.out;

  // No BBS: "@ {at}" is left out; a bulletin uses its own template.
  const SRun b = Mail({"compose", "--ini", ini, "--profile", "移動", "--to", "ALL", "--bulletin", "--subject", "x"}, "y\n");
  ASSERT_EQ(b.code, 0) << b.err;
  EXPECT_EQ(test::ReadFile(s.SendPath(2)).substr(0, 8), "SB ALL\r\n");
}

TEST(MailCli, ComposeRefusesWhatItCannotQueue) {
  test::TempDir dir;
  const std::string ini = dir.File("NAMI.INI");
  struct Case {
    const char* name;
    int takenSlots;
    std::string body;
    const char* says;
  } cases[] = {
      {"all five slots taken", 5, "text\n", "all five send slots"},
      {"a character without a CP932 form", 0, "アンテナ📡設置\n", "📡 (U+1F4E1)"},
      {"Ctrl-Z in the body", 0, "a\x1A" "b\n", "Ctrl-Z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      CSettings s(ini);
      s.SetProfileSection(CSettings::UntitledTitle());
      for (int i = 0; i < 5; ++i) ASSERT_TRUE(s.Set(keys::Send[static_cast<std::size_t>(i)], i < c.takenSlots ? "x.txt" : ""));
    }
    const SRun r = Mail({"compose", "--ini", ini, "--to", "QZ2KLM", "--subject", "s"}, c.body);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    // Nothing written, nothing queued.
    if (std::filesystem::exists(dir.File("outbox"))) {
      EXPECT_TRUE(std::filesystem::is_empty(dir.File("outbox")));
    }
    CSettings s(ini);
    s.SetProfileSection(CSettings::UntitledTitle());
    EXPECT_EQ(s.Raw(keys::Send[4]), c.takenSlots == 5 ? "x.txt" : "");
  }
}

TEST(MailCli, ImportListShowAndSearch) {
  test::TempDir dir;
  const std::string ini = dir.File("NAMI.INI");
  sim::CMessageBase base = sim::CMessageBase::BuiltIn();
  sim::CBbs bbs(base);
  bbs.Connect("QZ1XYZ", 0);
  std::string log;
  for (int n : {1204, 1206})
    for (const std::string& line : bbs.Receive("R " + std::to_string(n) + "\r", 0)) log += line + "\r\n";
  test::WriteFile(dir.File("tempmail.dat"), log);
  {
    CSettings s(ini);
    s.SetProfileSection(CSettings::UntitledTitle());
    ASSERT_TRUE(s.Set(keys::Prompt, "QZ1ABC BBS>"));
  }
  SRun r = Mail({"import", "--ini", ini, dir.File("tempmail.dat")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("2 message(s) added"), std::string::npos) << r.out;
  r = Mail({"import", "--ini", ini, dir.File("tempmail.dat")});
  EXPECT_NE(r.out.find("0 message(s) added, 2 already"), std::string::npos) << r.out;

  r = Mail({"list", "--ini", ini, "--unread", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"number\":1206"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("関東地方 週末の天気"), std::string::npos) << r.out;

  r = Mail({"show", "--ini", ini, "1204"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("土曜日: 晴れ時々曇り"), std::string::npos) << r.out;
  r = Mail({"list", "--ini", ini, "--unread", "--json"});
  EXPECT_EQ(r.out.find("\"number\":1204"), std::string::npos) << "read now: " << r.out;

  r = Mail({"search", "--ini", ini, "txdelay", "--json"});
  EXPECT_NE(r.out.find("\"number\":1206"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\"number\":1204"), std::string::npos) << r.out;
  // A damaged store: every command says so and leaves it; rebuild sets it
  // aside and builds a new one from the profile's logs.
  const std::string garbage(8192, 'Z');
  test::WriteFile(dir.File("mailbox.sqlite"), garbage);
  ::unlink(dir.File("mailbox.sqlite-wal").c_str());
  ::unlink(dir.File("mailbox.sqlite-shm").c_str());
  r = Mail({"list", "--ini", ini});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("nami mail rebuild"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFile(dir.File("mailbox.sqlite")), garbage);
  {
    CSettings s(ini);
    s.SetProfileSection(CSettings::UntitledTitle());
    ASSERT_TRUE(s.Set(keys::MailFile, *FsPathToIni(dir.File("tempmail.dat"))));
  }
  r = Mail({"rebuild", "--ini", ini});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto at = r.err.find("set aside as ");
  ASSERT_NE(at, std::string::npos) << r.err;
  const std::string moved = r.err.substr(at + 13, r.err.find('\n', at) - at - 13);
  EXPECT_EQ(test::ReadFile(moved), garbage);
  EXPECT_NE(r.out.find("2 message(s) added"), std::string::npos) << r.out;

  r = Mail({"show", "--ini", ini, "999"});
  EXPECT_EQ(r.code, 1);
  r = Mail({"frobnicate", "--ini", ini});
  EXPECT_EQ(r.code, 2);
}

}  // namespace
}  // namespace nami::mailbox
