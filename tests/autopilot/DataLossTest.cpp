// Repeated auto-mode runs against one BBS while settings or logs cannot be
// written: the BBS gets each mail once, and "LastMailNo" never passes a
// message that is not in the mail log.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "support/FileFaults.h"
#include "support/StationRig.h"
#include "text/ShiftJis.h"

namespace nami::test {
namespace {

struct Fault {
  const char* name;
  // Before the first run (after the profile was written).
  std::function<void(StationRig&, FaultyFileOps&)> arrange;
  // After every cycle of the first run.
  std::function<void(StationRig&)> during;
  bool settingsWritable;
  const char* reason;  // part of the first run's abort reason; "" = the first run completes
};

void Prepare(StationRig& rig) {
  rig.Messages({{99, "JA1AAA old"}, {101, "JA1BBB one"}, {102, "JA1CCC two"}, {103, "JA1DDD three"}});
  rig.settings.Set(keys::Field[0], "L #");
  rig.settings.Set(keys::LastMailNo, "100");
  rig.settings.Set(keys::ReadCom, "R");
  WriteFile(rig.dir.File("m1.txt"), "SP JA1A\r\nfirst\r\n");
  WriteFile(rig.dir.File("m2.txt"), "SP JA1B\r\nsecond\r\n");
  rig.settings.Set(keys::Send[0], rig.dir.File("m1.txt"));
  rig.settings.Set(keys::Send[1], rig.dir.File("m2.txt"));
}

// Every message at or below "LastMailNo" (and above where it started) is in the mail log.
void ExpectNothingPassedUnlogged(StationRig& rig, long long from) {
  const std::string ini = ReadFile(rig.dir.File("NAMI.INI"));
  const long long last = LeadingNumber(ini.substr(ini.find("LastMailNo=") + 11));
  const std::string log = FileExists(rig.dir.File("mail.log")) ? ReadFile(rig.dir.File("mail.log")) : "";
  for (const auto& [n, message] : rig.Base().Messages()) {
    if (n > from && n <= last) {
      EXPECT_NE(log.find("body of " + std::to_string(n)), std::string::npos) << n;
    }
  }
}

// A path on a small file system with no room left (logs are regular files:
// a device such as /dev/full is refused when opened). Empty when no tmpfs
// can be mounted here.
std::string FullDisk(std::unique_ptr<SmallTmpfs>& disk, const std::string& name) {
  disk = std::make_unique<SmallTmpfs>(64 * 1024);
  if (!disk->Mounted()) return {};
  WriteFile(disk->File(name), "");
  disk->FillLeaving(0);
  return disk->File(name);
}

TEST(DataLoss, RepeatedRunsPostEachMailOnceAndNeverSkipMail) {
  std::unique_ptr<SmallTmpfs> disk;
  const Fault faults[] = {
      {"settings folder full", [](StationRig&, FaultyFileOps& ops) { ops.writeErrno = ENOSPC; }, nullptr, false,
       "設定ファイル"},
      {"settings folder read-only", [](StationRig&, FaultyFileOps& ops) { ops.renameErrno = EROFS; }, nullptr, false,
       "設定ファイル"},
      {"NAMI.INI read-only", [](StationRig& rig, FaultyFileOps&) { ::chmod(rig.dir.File("NAMI.INI").c_str(), 0444); },
       nullptr, false, "設定ファイル"},
      {"list log on a full disk",
       [&disk](StationRig& rig, FaultyFileOps&) { rig.settings.Set(keys::ListFile, FullDisk(disk, "list.log")); },
       nullptr, true, "リストのログ"},
      {"mail log on a full disk",
       [&disk](StationRig& rig, FaultyFileOps&) { rig.settings.Set(keys::MailFile, FullDisk(disk, "mail.log")); },
       nullptr, true, "メールのログ"},
      {"mail log fills after the first message", nullptr,
       [](StationRig& rig) {
         if (rig.Reads() == 2 && rig.pilot.State().Log().Path() != "/dev/full") {
           rig.pilot.State().OpenLog(LogKind::Mail, "/dev/full", CTextFile::Mode::Append);
         }
       },
       true, "メールのログ"},
      {"link drops during the second mail", nullptr,
       [](StationRig& rig) {
         if (rig.Connected() && rig.port->sent.find("SP JA1B\rs") != std::string::npos) rig.DropLink();
       },
       true, "接続"},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.name);
    FaultyFileOps ops;
    SStationOptions options = SmallBbs();
    options.fileOps = &ops;
    StationRig rig(options);
    Prepare(rig);
    const std::string iniBefore = ReadFile(rig.dir.File("NAMI.INI"));
    disk.reset();
    if (f.arrange) f.arrange(rig, ops);
    if (disk && !disk->Mounted()) {
      std::printf("skipped \"%s\": %s\n", f.name, disk->Why().c_str());
      continue;
    }
    const std::string iniArranged = ReadFile(rig.dir.File("NAMI.INI"));

    for (int run = 0; run < 3; ++run) {
      SCOPED_TRACE("run " + std::to_string(run + 1));
      rig.pilot.Run(AutoCommand::AutoMode);
      for (int i = 0; i < 20000 && rig.pilot.Busy(); ++i) {
        rig.Cycle();
        if (run == 0 && f.during) f.during(rig);
      }
      rig.Drain();
      if (run == 0 && *f.reason) {
        EXPECT_TRUE(IsAborted(rig.pilot.LastEnd().outcome));
        EXPECT_NE(rig.pilot.LastEnd().reason.find(f.reason), std::string::npos) << rig.pilot.LastEnd().reason;
      }
      if (!f.settingsWritable) {
        // Nothing posted, nothing written: the next run would post it again.
        EXPECT_TRUE(rig.Mails().empty());
        EXPECT_EQ(rig.port->sent.find("SP "), std::string::npos);
        EXPECT_EQ(ReadFile(rig.dir.File("NAMI.INI")), iniArranged);
        EXPECT_TRUE(IsAborted(rig.pilot.LastEnd().outcome));
      }
      EXPECT_LE(rig.Mails().size(), 2u);
      ExpectNothingPassedUnlogged(rig, 100);
      if (!rig.pilot.IsEnabled(AutoCommand::AutoMode)) rig.pilot.Run(AutoCommand::End);
      rig.Drain();
      // The disk is freed again after the first run.
      if (run == 0 && f.arrange && f.settingsWritable) {
        rig.settings.Set(keys::ListFile, rig.dir.File("list.log"));
        rig.settings.Set(keys::MailFile, rig.dir.File("mail.log"));
      }
    }
    if (f.settingsWritable) {
      // Over the runs: each mail exactly once, every message read, the queue empty.
      ASSERT_EQ(rig.Mails().size(), 2u);
      EXPECT_EQ(rig.Mails()[0], "SP JA1A\nfirst\n");
      EXPECT_EQ(rig.Mails()[1], "SP JA1B\nsecond\n");
      EXPECT_EQ(rig.Setting(keys::Send[0]), "");
      EXPECT_EQ(rig.Setting(keys::Send[1]), "");
      EXPECT_EQ(rig.Setting(keys::LastMailNo), "103");
    } else {
      EXPECT_NE(iniBefore, "");
    }
  }
}

// A real small file system: the list log fills it part-way through a long list.
TEST(DataLoss, ListLogFillingARealDiskNeverSkipsMail) {
  SmallTmpfs fs(64 * 1024);
  if (!fs.Mounted()) GTEST_SKIP() << fs.Why();
  StationRig rig{SmallBbs()};
  for (int n = 101; n <= 230; ++n) rig.AddMessage(n, "JA1ZZZ message title number " + std::to_string(n));
  rig.settings.Set(keys::Field[0], "L #");
  rig.settings.Set(keys::LastMailNo, "100");
  rig.settings.Set(keys::ReadCom, "R");
  rig.settings.Set(keys::ListFile, fs.File("list.log"));
  rig.settings.Set(keys::MailFile, fs.File("mail.log"));
  fs.FillLeaving(4096);  // about 80 list lines fit

  rig.pilot.Run(AutoCommand::AutoMode);
  rig.Drain();
  EXPECT_TRUE(IsAborted(rig.pilot.LastEnd().outcome));
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "100");
  EXPECT_EQ(rig.Reads(), 0);  // a list not logged whole is not used at all
  EXPECT_FALSE(rig.ui.messages.empty());
}

}  // namespace
}  // namespace nami::test
