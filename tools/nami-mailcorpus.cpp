// The generated mail corpus of the mailbox measurements (scripts/measure-mailbox).
//   nami-mailcorpus MAILLOG LISTLOG [COUNT [FIRST]]
//       writes COUNT messages (default 100000) as a mail log and a list log
//   nami-mailcorpus --time STORE PROFILE TEXT [RUNS]
//       the median time of the store's search for TEXT, inside one process
//   nami-mailcorpus --time-list STORE PROFILE [RUNS]
//       the median time of reading the newest 200 headers of the inbox
//   nami-mailcorpus --time-write STORE PROFILE [RUNS]
//       the median (and mean) time the read step's store write adds per
//       message: one generated message through the run's recorder, committed
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "MailCorpus.h"
#include "mailbox/MailStore.h"
#include "mailbox/Recorder.h"

namespace {

template <class Fn>
int Median(int runs, Fn fn) {
  std::vector<double> ms;
  std::size_t hits = 0;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!fn(hits)) return 1;
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  double sum = 0;
  for (double m : ms) sum += m;
  std::printf("%.3f ms median of %d, %.3f ms mean, %zu rows\n", ms[ms.size() / 2], runs, sum / runs, hits);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace nami::mailbox;
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "--time-write" && argc >= 4) {
    SRecorderSetup setup;
    setup.storePath = argv[2];
    setup.profile = argv[3];
    setup.bbs = "QZ1ABC";
    setup.run = "measure";
    setup.prompt = nami::corpus::kPrompt;
    CMailboxRecorder rec(setup);
    nami::corpus::CGenerator gen(7);
    std::vector<std::string> lines;
    std::string listLine;
    int number = 900000;
    return Median(argc > 4 ? std::atoi(argv[4]) : 99, [&](std::size_t& hits) {
      gen.Message(number, lines, listLine);
      rec.OnReadCommand(number++);
      for (const auto& l : lines) rec.OnMessageLine(l);
      rec.OnMessageLine(nami::corpus::kPrompt);
      hits = 1;
      return !rec.OnPromptAfterRead();
    });
  }
  if ((mode == "--time" && argc >= 5) || (mode == "--time-list" && argc >= 4)) {
    CMailStore store(argv[2]);
    if (const StoreFault f = store.Open()) {
      std::fprintf(stderr, "%s\n", f.Text().c_str());
      return 1;
    }
    const std::string profile = argv[3];
    std::vector<SMessageRow> rows;
    if (mode == "--time") {
      const std::string text = argv[4];
      return Median(argc > 5 ? std::atoi(argv[5]) : 9, [&](std::size_t& hits) {
        const bool ok = !store.Search(profile, text, 200, rows);
        hits = rows.size();
        return ok;
      });
    }
    return Median(argc > 4 ? std::atoi(argv[4]) : 9, [&](std::size_t& hits) {
      const bool ok = !store.List({profile, false, "", "inbox", 200}, rows);
      hits = rows.size();
      return ok;
    });
  }
  if (argc < 3 || mode.rfind("--", 0) == 0) {
    std::fprintf(stderr,
                 "usage: nami-mailcorpus MAILLOG LISTLOG [COUNT [FIRST]]\n"
                 "       nami-mailcorpus --time STORE PROFILE TEXT [RUNS]\n"
                 "       nami-mailcorpus --time-list STORE PROFILE [RUNS]\n"
                 "       nami-mailcorpus --time-write STORE PROFILE [RUNS]\n");
    return 2;
  }
  const int count = argc > 3 ? std::atoi(argv[3]) : 100000;
  const int first = argc > 4 ? std::atoi(argv[4]) : 1;
  const long long bytes = nami::corpus::CGenerator().WriteLogs(argv[1], argv[2], first, count);
  std::printf("%d messages, %lld bytes of mail log\n", count, bytes);
  return 0;
}
