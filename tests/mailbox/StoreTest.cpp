// The mailbox store on real SQLite files: importing, the recorder seam, and
// the faults a run must survive (read-only folder, full disk, a second
// process, a damaged file).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "mailbox/Import.h"
#include "mailbox/MailStore.h"
#include "mailbox/Recorder.h"
#include "sim/Bbs.h"
#include "sim/MessageBase.h"
#include "support/TestSupport.h"
#include "text/Cp932.h"

namespace nami::mailbox {
namespace {

using test::Sjis;
using test::TempDir;

// A real session with the simulated BBS as the run logs it: the list log
// from "L", the mail log from reading `numbers` (each answer ending at the
// prompt line), both with CR LF line ends.
struct SLogs {
  std::string list, mail;
};

SLogs SimulatorLogs(const std::vector<int>& numbers) {
  sim::CMessageBase base = sim::CMessageBase::BuiltIn();
  sim::CBbs bbs(base);
  bbs.Connect("QZ1XYZ", 0);
  SLogs logs;
  for (const std::string& line : bbs.Receive("LL 40\r", 0)) logs.list += line + "\r\n";
  for (int n : numbers)
    for (const std::string& line : bbs.Receive("R " + std::to_string(n) + "\r", 0)) logs.mail += line + "\r\n";
  return logs;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto end = text.find("\r\n", at);
    out.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 2;
  }
  return out;
}

long long Count(CMailStore& store, const std::string& profile = "p") {
  long long n = -1;
  EXPECT_FALSE(store.CountMessages(profile, n));
  return n;
}

TEST(MailStore, ImportingTheSameLogsTwiceAddsNothing) {
  TempDir dir;
  const SLogs logs = SimulatorLogs({1203, 1205, 1207});
  test::WriteFile(dir.File("list.log"), logs.list);
  test::WriteFile(dir.File("mail.log"), logs.mail);
  CMailStore store(dir.File("mailbox.sqlite"));
  ASSERT_FALSE(store.Open());
  const SImportSource src{"p", "QZ1ABC", dir.File("mail.log"), dir.File("list.log"), "QZ1ABC BBS>"};
  SImportReport first, second;
  ASSERT_FALSE(ImportLogs(store, src, first, 100));
  ASSERT_FALSE(ImportLogs(store, src, second, 200));
  EXPECT_EQ(first.messagesAdded, 3);
  EXPECT_GT(first.listAdded, 20);
  EXPECT_EQ(second.messagesAdded, 0);
  EXPECT_EQ(second.messagesKnown, 3);
  EXPECT_EQ(second.listAdded, 0);
  EXPECT_EQ(Count(store), 3);

  // Joined to the list entry by number; Japanese text searchable both ways.
  SMessageRow row;
  bool found = false;
  ASSERT_FALSE(store.Find("p", 1203, row, found));
  ASSERT_TRUE(found);
  EXPECT_EQ(row.from, "QZ3ABD");
  EXPECT_EQ(row.to, "SALE");
  EXPECT_EQ(row.at, "JPN");
  EXPECT_EQ(row.subject, "売ります: 144MHz FMトランシーバー");
  EXPECT_NE(row.body.find("ハンディ機 1台"), std::string::npos);
  EXPECT_EQ(row.raw.find(Sjis("ハンディ機")) != std::string::npos, true);
  std::vector<SMessageRow> hits;
  ASSERT_FALSE(store.Search("p", "トランシーバー", 10, hits));
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].number, 1203);
  ASSERT_FALSE(store.Search("p", "売り", 10, hits));  // two characters: the scan
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].number, 1203);
  ASSERT_FALSE(store.Search("p", "bulletin", 10, hits));  // any letter case
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].number, 1205);
}

TEST(MailStore, SearchFindsTextHoldingLikeWildcardsAsItIs) {
  TempDir dir;
  CMailStore store(dir.File("mailbox.sqlite"));
  ASSERT_FALSE(store.Open());
  ASSERT_FALSE(store.AddMessage({"p", "QZ1ABC", 1, {"Subject: SWR 100% OK", "", "file_name C:\\LOG"}, "", 1}));
  ASSERT_FALSE(store.AddMessage({"p", "QZ1ABC", 2, {"Subject: SWR 1000 OK", "", "file name C:/LOG"}, "", 1}));
  struct Case {
    const char* text;
    std::vector<long long> numbers;
  } cases[] = {
      {"100% OK", {1}}, {"0%", {1}}, {"file_name", {1}}, {"e_n", {1}}, {":\\LOG", {1}}, {"100", {2, 1}},
      {"1000", {2}},    {"%", {1}},  {"_", {1}},         {"e n", {2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<SMessageRow> hits;
    ASSERT_FALSE(store.Search("p", c.text, 10, hits));
    std::vector<long long> numbers;
    for (const SMessageRow& r : hits) numbers.push_back(r.number);
    EXPECT_EQ(numbers, c.numbers);
  }
}

TEST(MailStore, BadInputImportsWhatItCanAndSaysWhatItSkipped) {
  TempDir dir;
  const SLogs logs = SimulatorLogs({1204});
  struct Case {
    const char* name;
    std::string text;
    long long added;
    const char* skipped;  // part of a skipped note
  } cases[] = {
      {"not text", std::string("\x7f" "ELF\0\0\0\x01\x02", 9) + "\r\n" + std::string(3000, '\0'), 0, "NUL"},
      {"no prompts", logs.mail.substr(0, logs.mail.find("QZ1ABC BBS>")), 1, "no BBS prompt"},
      {"a 10 MB line", std::string(10 << 20, 'x') + "\r\n" + logs.mail, 1, "longer than"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteFile(dir.File("mail.log"), c.text);
    CMailStore store(dir.File(std::string(c.name) + ".sqlite"));
    ASSERT_FALSE(store.Open());
    SImportReport report;
    EXPECT_FALSE(ImportLogs(store, {"p", "QZ1ABC", dir.File("mail.log"), "", "QZ1ABC BBS>"}, report, 1));
    EXPECT_EQ(report.messagesAdded, c.added);
    bool named = false;
    for (const std::string& s : report.skipped) named = named || s.find(c.skipped) != std::string::npos;
    EXPECT_TRUE(named) << (report.skipped.empty() ? "(nothing skipped)" : report.skipped[0]);
  }
}

TEST(MailStore, ADamagedFileIsReportedAndSetAsideNeverEmptied) {
  TempDir dir;
  const std::string path = dir.File("mailbox.sqlite");
  {
    CMailStore store(path);
    ASSERT_FALSE(store.Open());
    SMessageIn m{"p", "QZ1ABC", 7, Lines(SimulatorLogs({1202}).mail), "", 1};
    ASSERT_FALSE(store.AddMessage(m));
  }
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  const std::string whole = test::ReadFile(path);
  const std::string cases[] = {whole.substr(0, whole.size() / 3), std::string(4096, 'Z')};
  for (const std::string& damaged : cases) {
    test::WriteFile(path, damaged);
    CMailStore store(path);
    const StoreFault f = store.Open();
    EXPECT_EQ(f.kind, FaultKind::Corrupt) << f.Text();
    EXPECT_NE(f.Text().find(path), std::string::npos);
    EXPECT_EQ(test::ReadFile(path), damaged);  // left as it was
    std::string moved;
    ASSERT_FALSE(store.SetAside(moved));
    EXPECT_NE(moved.find("mailbox.sqlite.corrupt-20"), std::string::npos);
    EXPECT_EQ(test::ReadFile(moved), damaged);
    ASSERT_FALSE(store.Open());
    EXPECT_EQ(Count(store), 0);
    store.Close();
    ::unlink(path.c_str());
  }
}

TEST(MailStore, WorksInAJapaneseFolder) {
  TempDir dir;
  const std::string folder = dir.File("無線局 メール");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string ini = folder + "/NAMI.INI";
  EXPECT_EQ(CMailStore::PathBeside(ini), folder + "/mailbox.sqlite");
  const SLogs logs = SimulatorLogs({1201});
  test::WriteFile(folder + "/受信メール.log", logs.mail);
  CMailStore store(CMailStore::PathBeside(ini));
  ASSERT_FALSE(store.Open());
  SImportReport report;
  ASSERT_FALSE(ImportLogs(store, {"無題", "QZ1ABC", folder + "/受信メール.log", "", ""}, report, 1));
  EXPECT_EQ(report.messagesAdded, 1);
  EXPECT_TRUE(test::FileExists(folder + "/mailbox.sqlite"));
}

// ---- the recorder seam ----

SRecorderSetup RecorderSetup(const std::string& folder) {
  SRecorderSetup s;
  s.storePath = folder + "/mailbox.sqlite";
  s.profile = "p";
  s.bbs = "QZ1ABC";
  s.run = "20261208-0900";
  s.prompt = "QZ1ABC BBS>";
  s.listLog = folder + "/list.log";
  s.mailLog = folder + "/mail.log";
  s.now = [] { return std::int64_t{1000}; };
  return s;
}

// Feeds the recorder one read as the run does: the command, each line the
// mail log got (prompt line included), then the prompt.
std::optional<StoreFault> Read(CMailboxRecorder& rec, int number, const std::string& mailLog, std::string& log) {
  rec.OnReadCommand(number);
  const SLogs one = SimulatorLogs({number});
  log += one.mail;
  for (const std::string& line : Lines(one.mail)) rec.OnMessageLine(line);
  (void)mailLog;
  return rec.OnPromptAfterRead();
}

TEST(MailboxRecorder, FillsTheStoreJoinedToTheListAndMarksMailSent) {
  TempDir dir;
  CMailboxRecorder rec(RecorderSetup(dir.Path()));
  for (const std::string& line : Lines(SimulatorLogs({}).list)) EXPECT_FALSE(rec.OnListLine(line));
  std::string log;
  EXPECT_FALSE(Read(rec, 1206, dir.File("mail.log"), log));
  // A sent mail: queued by compose, answered by the BBS.
  CMailStore store(dir.File("mailbox.sqlite"));
  ASSERT_FALSE(store.Open());
  SOutgoing out{0, "p", "QZ1ABC", "QZ2KLM", "", false, "test", "body", "/x", "queued", 1, "", 5, 0};
  ASSERT_FALSE(store.AddOutgoing(out));
  EXPECT_FALSE(rec.OnMailSent(1, "Message #1240 stored."));

  SMessageRow row;
  bool found = false;
  ASSERT_FALSE(store.Find("p", 1206, row, found));
  ASSERT_TRUE(found);
  EXPECT_EQ(row.run, "20261208-0900");
  EXPECT_EQ(row.format, "sim");
  EXPECT_EQ(row.subject, "TNCのパラメーター設定について");
  EXPECT_EQ(row.body.find("QZ1ABC BBS>"), std::string::npos);  // the prompt is no part of it
  std::vector<SOutgoing> sent;
  ASSERT_FALSE(store.Outgoing("p", sent));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].state, "sent");
  EXPECT_EQ(sent[0].answer, "Message #1240 stored.");
  EXPECT_EQ(sent[0].sentAt, 1000);

  // The same message imported from the log later is recognised.
  test::WriteFile(dir.File("mail.log"), log);
  SImportReport report;
  ASSERT_FALSE(ImportLogs(store, {"p", "QZ1ABC", dir.File("mail.log"), "", "QZ1ABC BBS>"}, report, 2));
  EXPECT_EQ(report.messagesAdded, 0);
  EXPECT_EQ(report.messagesKnown, 1);
}

// Runs `body` in a child process (as "nobody" when we are root, so that
// file permissions hold); the child's exit status.
template <class Fn>
int InChild(Fn body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(90);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(MailboxRecorder, AReadOnlyFolderOrAFullDiskIsToldOnceAndCaughtUpFromTheLogs) {
  for (const bool fullDisk : {false, true}) {
    SCOPED_TRACE(fullDisk ? "full disk" : "read-only folder");
    TempDir dir;
    // The child, "nobody" when we are root, owns the folder and changes its mode.
    if (::geteuid() == 0) {
      ASSERT_EQ(::chown(dir.Path().c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    const int code = InChild([&]() -> int {
      CMailboxRecorder rec(RecorderSetup(dir.Path()));
      std::string log;
      test::WriteFile(dir.File("mail.log"), "");  // the run's log exists and stays writable
      if (fullDisk && Read(rec, 1201, "", log)) return 1;  // works at first
      {
        if (!fullDisk) ::chmod(dir.Path().c_str(), 0555);  // no store can be made here
        std::optional<test::FullDisk> full;
        if (fullDisk) full.emplace();
        std::optional<StoreFault> first = Read(rec, 1206, "", log);
        if (!first) return 2;
        // Past the file size limit SQLite sees a failed write, not always ENOSPC.
        const bool expected = fullDisk ? first->kind == FaultKind::Full || first->kind == FaultKind::Io
                                       : first->kind == FaultKind::ReadOnly;
        if (!expected) {
          std::fprintf(stderr, "%s (code %d, errno %d)\n", first->Text().c_str(), first->code, first->sysErrno);
          return 3;
        }
        if (first->Text().find(dir.Path()) == std::string::npos) return 4;
        if (Read(rec, 1207, "", log)) return 5;  // told once
        if (!rec.Behind()) return 6;
      }
      ::chmod(dir.Path().c_str(), 0755);
      test::WriteFile(dir.File("mail.log"), log);  // what the run logged meanwhile
      if (Read(rec, 1208, "", log)) return 7;  // works again and catches up
      return rec.Behind() ? 8 : 0;
    });
    ASSERT_EQ(code, 0);
    CMailStore store(dir.File("mailbox.sqlite"));
    ASSERT_FALSE(store.Open());
    for (int n : {1206, 1207, 1208}) {
      SMessageRow row;
      bool found = false;
      ASSERT_FALSE(store.Find("p", n, row, found));
      EXPECT_TRUE(found) << n;
    }
  }
}

TEST(MailStore, AKilledWriterLeavesAnIntactStoreWithEveryCommittedMessage) {
  TempDir dir;
  const std::string path = dir.File("mailbox.sqlite");
  const std::vector<std::string> lines = Lines(SimulatorLogs({1203}).mail);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFds[0]);
    CMailboxRecorder rec(RecorderSetup(dir.Path()));
    for (int n = 1;; ++n) {
      rec.OnReadCommand(n);
      for (const std::string& line : lines) rec.OnMessageLine(line);
      if (rec.OnPromptAfterRead()) ::_exit(1);
      // Told only once the message is committed.
      if (::write(pipeFds[1], &n, sizeof n) != sizeof n) ::_exit(2);
    }
  }
  ::close(pipeFds[1]);
  int committed = 0, n = 0;
  while (committed < 40 && ::read(pipeFds[0], &n, sizeof n) == sizeof n) committed = n;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  while (::read(pipeFds[0], &n, sizeof n) == sizeof n) committed = n;
  ::close(pipeFds[0]);

  CSqlDb db;
  ASSERT_EQ(db.Open(path, SQLITE_OPEN_READWRITE), SQLITE_OK);
  CStmt check(db, "PRAGMA integrity_check");
  ASSERT_EQ(check.Step(), SQLITE_ROW);
  EXPECT_EQ(check.Text(0), "ok");
  CStmt count(db, "SELECT count(*), min(number), max(number) FROM messages");
  ASSERT_EQ(count.Step(), SQLITE_ROW);
  EXPECT_GE(count.Int(0), committed);
  EXPECT_EQ(count.Int(1), 1);
  EXPECT_GE(count.Int(2), committed);
}

TEST(MailStore, TwoProcessesWriteAndReadOneStoreWithoutLockFailures) {
  TempDir dir;
  const std::string path = dir.File("mailbox.sqlite");
  const std::vector<std::string> lines = Lines(SimulatorLogs({1206}).mail);
  std::vector<pid_t> children;
  constexpr int kWriters = 3, kEach = 150;
  std::fflush(nullptr);
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      CMailStore store(path);
      if (const StoreFault f = store.Open()) {
        std::fprintf(stderr, "writer %d: %s\n", w, f.Text().c_str());
        ::_exit(1);
      }
      for (int i = 0; i < kEach; ++i) {
        SMessageIn m{"p", "QZ1ABC", w * 1000 + i, lines, "", 1};
        const StoreFault f = InTransaction(store, [&] { return store.AddMessage(m); });
        if (f) {
          std::fprintf(stderr, "writer %d: %s\n", w, f.Text().c_str());
          ::_exit(2);
        }
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  // Meanwhile this process reads, as a window would.
  CMailStore reader(path);
  int reads = 0;
  std::vector<int> statuses;
  for (bool running = true; running; ++reads) {
    if (!reader.IsOpen()) {
      const StoreFault f = reader.Open();
      ASSERT_TRUE(!f || f.kind == FaultKind::None) << f.Text();
    }
    std::vector<SMessageRow> rows;
    const StoreFault f = reader.List({"p", false, "", "", 200}, rows);
    ASSERT_FALSE(f) << f.Text();
    running = statuses.size() < children.size();
    int status = 0;
    if (running && ::waitpid(-1, &status, WNOHANG) > 0) statuses.push_back(status);
  }
  for (int status : statuses) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(Count(reader), kWriters * kEach);
  EXPECT_GT(reads, 0);
}

// The folder's files: name, size and modification time, to see that a
// reader wrote nothing.
std::vector<std::string> FolderState(const std::string& dir) {
  std::vector<std::string> out;
  for (const char* name : {"mailbox.sqlite", "mailbox.sqlite-wal", "mailbox.sqlite-shm"}) {
    struct stat st {};
    if (::stat((dir + "/" + name).c_str(), &st) == 0)
      out.push_back(std::string(name) + " " + std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_nsec));
  }
  return out;
}

TEST(MailStore, AReadOnlyFolderIsSearchedWithoutWriting) {
  struct Case {
    const char* name;
    bool killedWriter;   // a writer died with 1205 only in the -wal file
    bool shmGone;        // ... and the -shm file is gone too
    bool finds1205;
  } cases[] = {
      {"a store closed cleanly", false, false, true},
      {"a writer killed, -wal and -shm left", true, false, true},
      {"a writer killed, only -wal left", true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (::geteuid() == 0) {
      ASSERT_EQ(::chown(dir.Path().c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    const SLogs logs = SimulatorLogs({1203, 1205});
    const std::vector<std::string> mail = Lines(logs.mail);
    const auto split = std::find(mail.begin() + 1, mail.end(), "QZ1ABC BBS>") + 1;
    const int made = InChild([&]() -> int {
      CMailStore store(dir.File("mailbox.sqlite"));
      if (store.Open() || store.AddMessage({"p", "QZ1ABC", 1203, {mail.begin(), split}, "", 1})) return 1;
      if (!c.killedWriter) return store.AddMessage({"p", "QZ1ABC", 1205, {split, mail.end()}, "", 1}) ? 2 : 0;
      store.Close();
      CMailStore writer(dir.File("mailbox.sqlite"));
      if (writer.Open() || writer.AddMessage({"p", "QZ1ABC", 1205, {split, mail.end()}, "", 1})) return 3;
      ::_exit(0);  // never closed: 1205 stays in the -wal file
    });
    ASSERT_EQ(made, 0);
    ASSERT_EQ(test::FileExists(dir.File("mailbox.sqlite-wal")), c.killedWriter);
    if (c.shmGone) {
      ASSERT_EQ(::unlink(dir.File("mailbox.sqlite-shm").c_str()), 0);
    }
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    const std::vector<std::string> before = FolderState(dir.Path());
    const int code = InChild([&]() -> int {
      CMailStore store(dir.File("mailbox.sqlite"));
      bool missing = true;
      if (const StoreFault f = store.OpenForReading(missing)) {
        std::fprintf(stderr, "%s\n", f.Text().c_str());
        return 1;
      }
      std::vector<SMessageRow> a, b;
      if (missing || store.Search("p", "トランシーバー", 10, a) || store.Search("p", "bulletin", 10, b)) return 2;
      if (a.size() != 1 || a[0].number != 1203) return 3;
      if (b.size() != (c.finds1205 ? 1u : 0u)) return 4;
      // What cannot be read is said, and only then.
      return store.ReadingNote().empty() == c.finds1205 ? 0 : 5;
    });
    ::chmod(dir.Path().c_str(), 0777);
    EXPECT_EQ(code, 0);
    if (!c.killedWriter) {
      EXPECT_EQ(FolderState(dir.Path()), before);
    }
  }
}

TEST(MailStore, AStoreOfTheFirstSchemaIsUpgradedKeepingItsMessages) {
  TempDir dir;
  const std::string path = dir.File("mailbox.sqlite");
  const SLogs logs = SimulatorLogs({1203, 1205, 1207});
  test::WriteFile(dir.File("mail.log"), logs.mail);
  {
    CMailStore store(path);
    ASSERT_FALSE(store.Open());
    SImportReport report;
    ASSERT_FALSE(ImportLogs(store, {"p", "QZ1ABC", dir.File("mail.log"), "", "QZ1ABC BBS>"}, report, 1));
  }
  {
    // What the first schema was: the same tables, the index's own merge settings.
    CSqlDb db;
    ASSERT_EQ(db.Open(path, SQLITE_OPEN_READWRITE), SQLITE_OK);
    ASSERT_EQ(db.Exec("DELETE FROM messages_fts_config WHERE k IN ('automerge', 'crisismerge'); "
                      "PRAGMA user_version=1"),
              SQLITE_OK);
  }
  CMailStore store(path);
  bool missing = true;
  ASSERT_FALSE(store.OpenForReading(missing));  // upgraded on the way, as it can be written
  EXPECT_FALSE(missing);
  std::vector<SMessageRow> hits;
  ASSERT_FALSE(store.Search("p", "トランシーバー", 10, hits));
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].number, 1203);
  EXPECT_EQ(Count(store), 3);
  store.Close();
  CSqlDb db;
  ASSERT_EQ(db.Open(path, SQLITE_OPEN_READONLY), SQLITE_OK);
  CStmt v(db, "SELECT (SELECT user_version FROM pragma_user_version), "
              "(SELECT v FROM messages_fts_config WHERE k = 'automerge')");
  ASSERT_EQ(v.Step(), SQLITE_ROW);
  EXPECT_EQ(v.Int(0), CMailStore::kSchemaVersion);
  EXPECT_EQ(v.Int(1), 16);
  // Importing again still knows every message.
  CMailStore again(path);
  ASSERT_FALSE(again.Open());
  SImportReport report;
  ASSERT_FALSE(ImportLogs(again, {"p", "QZ1ABC", dir.File("mail.log"), "", "QZ1ABC BBS>"}, report, 2));
  EXPECT_EQ(report.messagesAdded, 0);
  EXPECT_EQ(report.messagesKnown, 3);
}

}  // namespace
}  // namespace nami::mailbox
