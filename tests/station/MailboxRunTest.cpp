// Runs of the station on the simulated TNC and BBS fill the local mailbox
// beside NAMI.INI; a mailbox that cannot be written changes nothing of a
// run, is named once in the activity and catches up from the logs later.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mailbox/Import.h"
#include "mailbox/MailCli.h"
#include "mailbox/MailStore.h"
#include "station/MailboxFeed.h"
#include "support/FileFaults.h"
#include "support/StationRig.h"
#include "text/Cp932.h"
#include "text/Messages.h"
#include "text/ShiftJis.h"

namespace nami::test {
namespace {

using mailbox::CMailStore;
using mailbox::CSqlDb;
using mailbox::CStmt;

constexpr const char* kIniFolder = "無線 設定";  // the settings folder has a Japanese name

// The mail numbers the list log announces.
std::vector<long long> ListedNumbers(const std::string& log) {
  std::vector<long long> numbers;
  for (std::size_t p = 0; p < log.size();) {
    std::size_t e = log.find('\n', p);
    if (e == std::string::npos) e = log.size();
    const std::string_view line = std::string_view(log).substr(p, e - p);
    if (!line.empty() && line[0] >= '0' && line[0] <= '9') numbers.push_back(LeadingNumber(line));
    p = e + 1;
  }
  return numbers;
}

// `nami mail ARGS...` in this process (stdout and stderr into `out`/`err`).
int MailCommand(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
  char* outBuf = nullptr;
  char* errBuf = nullptr;
  std::size_t outSize = 0, errSize = 0;
  std::FILE* o = ::open_memstream(&outBuf, &outSize);
  std::FILE* e = ::open_memstream(&errBuf, &errSize);
  std::FILE* in = std::fopen("/dev/null", "r");
  mailbox::SMailCliEnv env;
  env.in = in;
  env.out = o;
  env.err = e;
  const int code = mailbox::RunMailCommand(args, env);
  std::fclose(o);
  std::fclose(e);
  std::fclose(in);
  if (out) *out = std::string(outBuf, outSize);
  if (err) *err = std::string(errBuf, errSize);
  std::free(outBuf);
  std::free(errBuf);
  return code;
}

SStationOptions DemoInJapaneseFolder() {
  SStationOptions o;
  o.tnc = FastTnc();
  o.iniFolder = kIniFolder;
  return o;
}

// A demo station whose settings live in a Japanese-named folder, with one
// mail composed by "nami mail compose" waiting in send1.
struct MailboxRig {
  MailboxRig() {
    rig.station.Activity().Listen([this](const ActivityEntry& e) {
      if (e.text.find("メールボックス") != std::string::npos) notes.push_back(e.text);
    });
    std::string err;
    const int code = MailCommand({"compose", "--ini", rig.settings.Path(), "--to", "QZ2KLM", "--subject",
                                  "nami から", "--at", "QZ1ABC"},
                                 nullptr, &err);
    EXPECT_EQ(code, 0) << err;
    EXPECT_FALSE(rig.Setting(keys::Send[0]).empty());
  }
  std::string StorePath() const { return CMailStore::PathBeside(rig.settings.Path()); }
  // One auto-mode run to its end.
  void Run() {
    rig.station.Run(AutoCommand::AutoMode);
    ASSERT_TRUE(rig.RunUntilIdle());
  }
  std::string ListLog() { return ReadFile(rig.dir.File("list.log")); }
  std::string MailLog() { return ReadFile(rig.dir.File("mail.log")); }

  StationRig rig{DemoInJapaneseFolder()};
  std::vector<std::string> notes;  // what the activity said of the mailbox
};

long long Count(const std::string& store, const char* sql) {
  CSqlDb db;
  if (db.Open(store, SQLITE_OPEN_READONLY) != SQLITE_OK) return -1;
  CStmt s(db, sql);
  return s.Step() == SQLITE_ROW ? s.Int(0) : -1;
}

TEST(MailboxRun, ARunFillsTheStoreBesideTheSettingsWithListMessagesAndTheSentMail) {
  MailboxRig m;
  m.Run();
  ASSERT_TRUE(IsCompleted(m.rig.pilot.LastEnd().outcome)) << m.rig.pilot.LastEnd().reason;
  EXPECT_TRUE(m.notes.empty()) << m.notes.front();
  const std::string store = m.rig.dir.File(std::string(kIniFolder) + "/mailbox.sqlite");
  ASSERT_EQ(m.StorePath(), store);

  CMailStore s(store);
  ASSERT_FALSE(s.Open());
  const std::string profile = Cp932ToUtf8(CSettings::UntitledTitle());
  // Every numbered line of the list log is a list entry; every mail read
  // (those above LastMailNo) a message joined to it.
  const std::vector<long long> listed = ListedNumbers(m.ListLog());
  ASSERT_FALSE(listed.empty());
  EXPECT_EQ(Count(store, "SELECT count(*) FROM list_entries"), static_cast<long long>(listed.size()));
  long long reads = 0;
  for (long long n : listed) {
    if (n <= 1220) continue;
    ++reads;
    mailbox::SMessageRow row;
    bool found = false;
    ASSERT_FALSE(s.Find(profile, n, row, found));
    ASSERT_TRUE(found) << n;
    EXPECT_EQ(row.bbs, "QZ1ABC");
    EXPECT_FALSE(row.run.empty());
    EXPECT_EQ(row.body.find("QZ1ABC BBS>"), std::string::npos) << n;  // the prompt is no part of it
    const sim::SMessage* sent = m.rig.Base().Find(static_cast<int>(n));
    ASSERT_NE(sent, nullptr);
    EXPECT_EQ(row.subject, Cp932ToUtf8(sent->subject)) << n;
    for (const std::string& line : sent->body) EXPECT_NE(row.body.find(Cp932ToUtf8(line)), std::string::npos) << n;
  }
  EXPECT_EQ(Count(store, "SELECT count(*) FROM messages"), reads);
  EXPECT_EQ(Count(store, "SELECT count(*) FROM messages WHERE list_id IS NULL"), 0);
  mailbox::SMessageRow japanese;
  bool found = false;
  ASSERT_FALSE(s.Find(profile, 1222, japanese, found));
  ASSERT_TRUE(found);
  EXPECT_EQ(japanese.subject, "衛星通信入門 (1)");
  EXPECT_EQ(japanese.from, "QZ7SAT");

  // The mail composed and queued went out; the BBS's answer is kept.
  std::vector<mailbox::SOutgoing> out;
  ASSERT_FALSE(s.Outgoing(profile, out));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].state, "sent");
  EXPECT_EQ(out[0].answer, "Message #1231 stored.");
  EXPECT_EQ(m.rig.Setting(keys::Send[0]), "");

  // What the run stored is exactly what the logs hold: importing them adds nothing.
  mailbox::SImportReport report;
  ASSERT_FALSE(mailbox::ImportLogs(
      s, {profile, "QZ1ABC", m.rig.dir.File("mail.log"), m.rig.dir.File("list.log"), "QZ1ABC BBS>"}, report, 1));
  EXPECT_EQ(report.messagesAdded, 0);
  EXPECT_EQ(report.messagesKnown, reads);

  // "nami mail" finds the store the run filled.
  std::string listing, err;
  EXPECT_EQ(MailCommand({"list", "--json", "--ini", m.rig.settings.Path()}, &listing, &err), 0) << err;
  EXPECT_NE(listing.find("衛星通信入門"), std::string::npos) << listing;
}

// What a run left that a user or the BBS sees.
struct SRunTrace {
  std::string outcome, listLog, mailLog, lastMailNo, send1, onLink;
  std::vector<std::string> boxes;
  bool operator==(const SRunTrace&) const = default;
};

SRunTrace Trace(MailboxRig& m) {
  return {DescribeOutcome(m.rig.pilot.LastEnd().outcome).english,
          m.ListLog(),
          m.MailLog(),
          m.rig.Setting(keys::LastMailNo),
          m.rig.Setting(keys::Send[0]),
          m.rig.port->sent,
          m.rig.ui.messages};
}

// Where a store cannot be written: a folder it cannot be made in, a file
// system with no room left, or a damaged file. Root may write into any
// folder, so for root the folder is a tmpfs mounted read-only.
class CBadPlace {
 public:
  enum class Kind { ReadOnlyFolder, FullDisk, DamagedFile };
  explicit CBadPlace(Kind kind) : kind_(kind) {
    if (kind == Kind::DamagedFile || (kind == Kind::ReadOnlyFolder && ::geteuid() != 0)) {
      dir_ = std::make_unique<TempDir>();
      folder_ = dir_->Path();
    } else {
      fs_ = std::make_unique<SmallTmpfs>(256 * 1024);
      if (fs_->Mounted()) folder_ = fs_->File("").substr(0, fs_->File("").size() - 1);
    }
  }
  ~CBadPlace() { Mend(); }
  // Empty when no such place can be had here (no tmpfs can be mounted).
  const std::string& Folder() const { return folder_; }
  std::string Why() const { return fs_ ? fs_->Why() : std::string(); }
  void Spoil() { Set(true); }
  void Mend() { Set(false); }

 private:
  void Set(bool bad) {
    if (folder_.empty() || bad == bad_) return;
    bad_ = bad;
    if (kind_ == Kind::DamagedFile) {
      if (bad) WriteFile(folder_ + "/mailbox.sqlite", std::string(8192, 'x'));
    } else if (kind_ == Kind::FullDisk) {
      if (bad) fs_->FillLeaving(0);
      else ::unlink(fs_->File(".filler").c_str());
    } else if (dir_) {
      ::chmod(folder_.c_str(), bad ? 0555 : 0755);
    } else {
      ::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | (bad ? MS_RDONLY : 0), nullptr);
    }
  }
  Kind kind_;
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<SmallTmpfs> fs_;
  std::string folder_;
  bool bad_ = false;
};

// The store beside NAMI.INI becomes a link to one in `folder`, so that the
// settings and the logs stay writable while the store is not.
void MoveStoreTo(const MailboxRig& m, const std::string& folder) {
  const std::string there = folder + "/mailbox.sqlite";
  WriteFile(there, ReadFile(m.StorePath()));
  ASSERT_EQ(::unlink(m.StorePath().c_str()), 0);
  ASSERT_EQ(::symlink(there.c_str(), m.StorePath().c_str()), 0);
}

TEST(MailboxRun, AStoreThatCannotBeWrittenChangesNoRunIsToldOnceAndCaughtUpByTheNextRun) {
  MailboxRig good;
  good.Run();
  const SRunTrace expected = Trace(good);
  ASSERT_EQ(expected.outcome, "completed");
  const long long messages = Count(good.StorePath(), "SELECT count(*) FROM messages");
  ASSERT_GT(messages, 5);

  using Kind = CBadPlace::Kind;
  for (const Kind kind : {Kind::ReadOnlyFolder, Kind::FullDisk, Kind::DamagedFile}) {
    SCOPED_TRACE(kind == Kind::FullDisk ? "full disk" : kind == Kind::DamagedFile ? "damaged" : "read-only folder");
    CBadPlace place(kind);
    if (place.Folder().empty()) {
      std::printf("skipped: %s\n", place.Why().c_str());
      continue;
    }
    MailboxRig m;  // composes the mail into a store that still works
    MoveStoreTo(m, place.Folder());
    place.Spoil();
    m.Run();
    EXPECT_EQ(Trace(m), expected);  // the run, its logs and the link as without a store
    ASSERT_EQ(m.notes.size(), 1u);  // told once, naming the file
    EXPECT_NE(m.notes[0].find(m.StorePath()), std::string::npos) << m.notes[0];
    // A damaged store is left as it is: only "nami mail rebuild" sets it aside.
    if (kind == Kind::DamagedFile) {
      EXPECT_EQ(ReadFile(m.StorePath()), std::string(8192, 'x'));
      continue;
    }

    // Mended: the next run takes what the logs hold, and the mail sent.
    place.Mend();
    EXPECT_EQ(Count(m.StorePath(), "SELECT count(*) FROM messages"), 0);
    m.Run();
    ASSERT_EQ(m.notes.size(), 2u);
    EXPECT_NE(m.notes[1].find(m.StorePath()), std::string::npos) << m.notes[1];
    EXPECT_EQ(Count(m.StorePath(), "SELECT count(*) FROM messages"), messages);
    EXPECT_EQ(Count(m.StorePath(), "SELECT count(*) FROM outgoing WHERE state='sent' AND "
                                   "answer='Message #1231 stored.'"),
              1);
  }
}

// A run in a child process while this one lists the mailbox again and
// again, as "nami mail list" beside a headless service does: neither sees
// the other's lock.
TEST(MailboxRun, ARunAndMailListAtTheSameTimeBothWork) {
  MailboxRig m;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    m.rig.station.Run(AutoCommand::AutoMode);
    while (m.rig.pilot.Busy()) {
      m.rig.Cycle();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const bool completed = IsCompleted(m.rig.pilot.LastEnd().outcome);
    for (const std::string& note : m.notes) std::fprintf(stderr, "run: %s\n", note.c_str());
    ::_exit(completed && m.notes.empty() ? 0 : 1);
  }
  int status = 0, lists = 0;
  std::string out, err;
  for (bool running = true; running; ++lists) {
    running = ::waitpid(pid, &status, WNOHANG) == 0;
    const int code = MailCommand({"list", "--ini", m.rig.settings.Path()}, &out, &err);
    ASSERT_EQ(code, 0) << err;
    ASSERT_EQ(err, "");
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_GT(lists, 3);
  EXPECT_NE(out.find("1230"), std::string::npos) << out;  // the last list saw the run's mail
}

// A run killed while it reads mail leaves a sound store holding every
// message whose prompt had arrived.
TEST(MailboxRun, ARunKilledWhileReadingLeavesASoundStoreWithEveryAnsweredMessage) {
  MailboxRig m;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    m.rig.station.Run(AutoCommand::AutoMode);
    while (m.rig.pilot.Busy()) {
      m.rig.Cycle();
      // Once the next read command is out, the message before it is answered.
      const int answered = std::max(0, m.rig.Reads() - 1);
      if (::write(fds[1], &answered, sizeof answered) != sizeof answered) ::_exit(2);
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    ::_exit(1);  // not killed in time
  }
  ::close(fds[1]);
  int answered = 0, n = 0;
  while (answered < 4 && ::read(fds[0], &n, sizeof n) == sizeof n) answered = n;
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  while (::read(fds[0], &n, sizeof n) == sizeof n) answered = n;
  ::close(fds[0]);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it was killed";

  CSqlDb db;
  ASSERT_EQ(db.Open(m.StorePath(), SQLITE_OPEN_READWRITE), SQLITE_OK);
  CStmt check(db, "PRAGMA integrity_check");
  ASSERT_EQ(check.Step(), SQLITE_ROW);
  EXPECT_EQ(check.Text(0), "ok");
  CStmt count(db, "SELECT count(*) FROM messages");
  ASSERT_EQ(count.Step(), SQLITE_ROW);
  EXPECT_GE(count.Int(0), answered);
  EXPECT_GE(answered, 4);
}

}  // namespace
}  // namespace nami::test
