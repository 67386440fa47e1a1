// The mailbox with 100,000 generated messages (about 150 MB of mail log):
// search, the newest headers, importing, the read step's write, and the
// store's size against the logs. The corpus and its store are made once
// per run in a temporary folder (this takes a minute).
//   scripts/bench --benchmark_filter=Mailbox
// scripts/measure-mailbox compares the search with grep over the mail log.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "MailCorpus.h"
#include "mailbox/Import.h"
#include "mailbox/MailStore.h"
#include "mailbox/Recorder.h"
#include "support/TestSupport.h"

namespace {

using namespace nami;
using namespace nami::mailbox;

constexpr int kMessages = 100000;

long long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

// The corpus as logs and as a store, made at first use.
struct SCorpus {
  test::TempDir dir;
  std::string mailLog = dir.File("mail.log"), listLog = dir.File("list.log"), store = dir.File("mailbox.sqlite");
  long long logBytes = 0;
  double importSeconds = 0;

  SCorpus() {
    corpus::CGenerator gen;
    gen.WriteLogs(mailLog, listLog, 1, kMessages);
    logBytes = FileSize(mailLog) + FileSize(listLog);
    CMailStore s(store);
    if (s.Open()) std::abort();
    SImportReport report;
    if (ImportLogs(s, {"p", "QZ1ABC", mailLog, listLog, corpus::kPrompt}, report, 1)) std::abort();
    if (report.messagesAdded != kMessages) std::abort();
    s.Close();
  }
  static SCorpus& Get() {
    static SCorpus c;
    return c;
  }
};

void BM_MailboxSearchThreeOrMoreCharacters(benchmark::State& state) {
  CMailStore s(SCorpus::Get().store);
  if (s.Open()) state.SkipWithError("open");
  std::vector<SMessageRow> rows;
  for (auto _ : state) {
    if (s.Search("p", corpus::kRareWord, 200, rows)) state.SkipWithError("search");
    benchmark::DoNotOptimize(rows.data());
  }
  state.counters["hits"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_MailboxSearchThreeOrMoreCharacters)->Unit(benchmark::kMillisecond);

void BM_MailboxSearchTwoCharacters(benchmark::State& state) {
  CMailStore s(SCorpus::Get().store);
  if (s.Open()) state.SkipWithError("open");
  std::vector<SMessageRow> rows;
  for (auto _ : state) {
    if (s.Search("p", corpus::kRareTwo, 200, rows)) state.SkipWithError("search");
    benchmark::DoNotOptimize(rows.data());
  }
  state.counters["hits"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_MailboxSearchTwoCharacters)->Unit(benchmark::kMillisecond);

void BM_MailboxNewest200Headers(benchmark::State& state) {
  CMailStore s(SCorpus::Get().store);
  if (s.Open()) state.SkipWithError("open");
  std::vector<SMessageRow> rows;
  for (auto _ : state) {
    if (s.List({"p", false, "", "inbox", 200}, rows)) state.SkipWithError("list");
    benchmark::DoNotOptimize(rows.data());
  }
  state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_MailboxNewest200Headers)->Unit(benchmark::kMillisecond);

// The read step's write: one message through the recorder, as a run does
// it, into the full store.
void BM_MailboxRecorderWritePerMessage(benchmark::State& state) {
  SRecorderSetup setup;
  setup.storePath = SCorpus::Get().store;
  setup.profile = "p";
  setup.bbs = "QZ1ABC";
  setup.run = "bench";
  setup.prompt = corpus::kPrompt;
  CMailboxRecorder rec(setup);
  corpus::CGenerator gen(7);
  std::vector<std::string> lines;
  std::string listLine;
  int number = 500000;
  for (auto _ : state) {
    state.PauseTiming();
    gen.Message(number, lines, listLine);
    state.ResumeTiming();
    rec.OnReadCommand(number++);
    for (const auto& l : lines) rec.OnMessageLine(l);
    rec.OnMessageLine(corpus::kPrompt);
    if (rec.OnPromptAfterRead()) state.SkipWithError("write");
  }
}
BENCHMARK(BM_MailboxRecorderWritePerMessage)->Unit(benchmark::kMicrosecond);

// Importing a 50 MB mail log (about a third of the corpus) into a new store.
void BM_MailboxImport50MB(benchmark::State& state) {
  test::TempDir dir;
  const std::string log = dir.File("mail50.log");
  corpus::CGenerator gen(9);
  long long bytes = 0;
  int count = 30000;
  bytes = gen.WriteLogs(log, "", 1, count);
  for (auto _ : state) {
    state.PauseTiming();
    ::unlink(dir.File("s.sqlite").c_str());
    ::unlink(dir.File("s.sqlite-wal").c_str());
    ::unlink(dir.File("s.sqlite-shm").c_str());
    CMailStore s(dir.File("s.sqlite"));
    if (s.Open()) state.SkipWithError("open");
    state.ResumeTiming();
    SImportReport report;
    if (ImportLogs(s, {"p", "QZ1ABC", log, "", corpus::kPrompt}, report, 1)) state.SkipWithError("import");
  }
  state.counters["log_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_MailboxImport50MB)->Unit(benchmark::kSecond)->Iterations(1);

// Not a time: the store's size against the logs it holds (checkpointed).
void BM_MailboxStoreSizeAgainstLogs(benchmark::State& state) {
  SCorpus& c = SCorpus::Get();
  {
    CMailStore s(c.store);
    if (s.Open()) state.SkipWithError("open");
  }
  for (auto _ : state) benchmark::DoNotOptimize(c.logBytes);
  const double store = static_cast<double>(FileSize(c.store) + FileSize(c.store + "-wal"));
  state.counters["logs_MB"] = static_cast<double>(c.logBytes) / 1e6;
  state.counters["store_MB"] = store / 1e6;
  state.counters["ratio"] = store / static_cast<double>(c.logBytes);
}
BENCHMARK(BM_MailboxStoreSizeAgainstLogs)->Iterations(1);

}  // namespace
