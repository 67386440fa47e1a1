// The command line: each option, the document, and what is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace nami {
namespace {

TEST(CommandLine, OptionsDocumentAndErrors) {
  struct Expect {
    std::string document{}, ini{}, error{};
    bool automation = false, demo = false, headless = false, stay = false, help = false, version = false;
  };
  const struct {
    std::vector<std::string> args;
    Expect want;
  } cases[] = {
      {{}, {}},
      {{"station.nmi"}, {.document = "station.nmi"}},
      {{"日本語/局.nmi"}, {.document = "日本語/局.nmi"}},
      {{"--ini", "my.ini", "a.nmi"}, {.document = "a.nmi", .ini = "my.ini"}},
      {{"--ini=other.ini"}, {.ini = "other.ini"}},
      {{"--ini"}, {.error = "--ini needs a file name"}},
      {{"--automation"}, {.automation = true}},
      {{"--embedding"}, {.automation = true}},
      {{"-Automation"}, {.automation = true}},
      {{"-Embedding"}, {.automation = true}},
      {{"--demo", "--headless", "--stay"}, {.demo = true, .headless = true, .stay = true}},
      {{"-h"}, {.help = true}},
      {{"--help"}, {.help = true}},
      {{"-v"}, {.version = true}},
      {{"--version"}, {.version = true}},
      {{"--bogus"}, {.error = "unknown option: --bogus"}},
      {{"a.nmi", "b.nmi"}, {.document = "a.nmi", .error = "only one document can be opened: b.nmi"}},
  };
  for (const auto& c : cases) {
    const CommandLine got = ParseCommandLine(c.args);
    const std::string name = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(got.documentPath, c.want.document) << name;
    EXPECT_EQ(got.iniPath, c.want.ini) << name;
    EXPECT_EQ(got.error, c.want.error) << name;
    EXPECT_EQ(got.automation, c.want.automation) << name;
    EXPECT_EQ(got.demo, c.want.demo) << name;
    EXPECT_EQ(got.headless, c.want.headless) << name;
    EXPECT_EQ(got.stay, c.want.stay) << name;
    EXPECT_EQ(got.help, c.want.help) << name;
    EXPECT_EQ(got.version, c.want.version) << name;
  }
  EXPECT_NE(std::string(CommandLineHelp()).find("--headless"), std::string::npos);
}

}  // namespace
}  // namespace nami
