// Speed and memory of the terminal core: the receive tick, the line store
// and the document file.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "settings/Settings.h"
#include "document/DocumentFile.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"

namespace nami {
namespace {

class QuietSink : public IUiSink {
 public:
  void ShowMessage(const std::string&) override {}
  void Beep() override {}
};

struct TempFolder {
  TempFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "nami-bench-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) path = tmpl;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

// Received text as a BBS sends it: lines of 80 bytes ended by CR LF, a third
// of the characters two-byte.
std::string RealisticText(std::size_t bytes) {
  std::mt19937 rng(1);
  std::string text;
  while (text.size() < bytes) {
    std::size_t line = 0;
    while (line < 80) {
      if (rng() % 3 == 0 && line < 79) {
        text += static_cast<char>(0x82);
        text += static_cast<char>(0xA0 + rng() % 80);
        line += 2;
      } else {
        text += static_cast<char>('a' + rng() % 26);
        ++line;
      }
    }
    text += "\r\n";
  }
  return text;
}

std::string Line80(std::size_t i) {
  std::string s = std::to_string(i);
  s.resize(80, 'x');
  return s;
}

// One tick's worth (4,096 bytes) at a time, into a store that is full from
// the start, so every completed line also evicts one.
void BM_ReceiveTick(benchmark::State& state) {
  TempFolder dir;
  CSettings settings(dir.path + "/NAMI.INI");
  // A settings file of a usual size: "serial" is read from it at every tick.
  for (const char* key : {"comstatus", "call", "prompt", "password", "readcom", "min", "echo"}) {
    settings.Set(KeySpec{Section::Profile, key, 80, ""}, "JA1XYZ-1 some value");
  }
  settings.Set(keys::Serial, "no");
  QuietSink sink;
  CNamiDoc doc(settings, sink);
  CTerminalCore core(doc);
  for (std::size_t i = 0; i < CLineStore::kCapacity; ++i) doc.Lines().AddLine(Line80(i));
  const std::string text = RealisticText(1 << 20);
  std::size_t pos = 0;
  std::size_t total = 0;
  for (auto _ : state) {
    const std::size_t n = std::min(CTerminalCore::kReadSize, text.size() - pos);
    core.Receive(text.data() + pos, n);
    pos = pos + n == text.size() ? 0 : pos + n;
    total += n;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(total));
  state.counters["lines"] = static_cast<double>(doc.Lines().LineCount());
}
BENCHMARK(BM_ReceiveTick);

// AddLine on a full store of each size: every add evicts the oldest line.
void BM_AddLineFullStore(benchmark::State& state) {
  const auto capacity = static_cast<std::size_t>(state.range(0));
  CLineStore store(capacity);
  for (std::size_t i = 0; i < capacity; ++i) store.AddLine(Line80(i));
  std::string lines[64];
  for (std::size_t i = 0; i < 64; ++i) lines[i] = Line80(i * 7);
  std::size_t i = 0;
  for (auto _ : state) {
    store.AddLine(lines[i++ & 63]);
    benchmark::DoNotOptimize(store.LineCount());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddLineFullStore)->Arg(1000)->Arg(10000)->Arg(40000)->Arg(80000);

// Heap bytes per line of a full store of 80-byte lines, everything counted.
void BM_FullStoreMemory(benchmark::State& state) {
  double perLine = 0;
  for (auto _ : state) {
    malloc_trim(0);
    const std::size_t before = mallinfo2().uordblks;
    auto* store = new CLineStore;
    for (std::size_t i = 0; i < CLineStore::kCapacity; ++i) store->AddLine(Line80(i));
    const std::size_t after = mallinfo2().uordblks;
    perLine = static_cast<double>(after - before) / CLineStore::kCapacity;
    delete store;
  }
  state.counters["bytes_per_line"] = perLine;
}
BENCHMARK(BM_FullStoreMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

CLineStore FullStore() {
  CLineStore store;
  for (std::size_t i = 0; i < CLineStore::kCapacity; ++i) store.AddLine(Line80(i));
  return store;
}

void BM_SaveDocument(benchmark::State& state) {
  TempFolder dir;
  const CLineStore store = FullStore();
  FileFault error;
  for (auto _ : state) {
    if (!SaveDocument(store, dir.path + "/bench.nmi", error)) state.SkipWithError(FileFaultText(error).c_str());
  }
}
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond);

void BM_LoadDocument(benchmark::State& state) {
  TempFolder dir;
  const std::string path = dir.path + "/bench.nmi";
  FileFault error;
  if (!SaveDocument(FullStore(), path, error)) state.SkipWithError(FileFaultText(error).c_str());
  CLineStore store;
  for (auto _ : state) {
    if (!LoadDocument(store, path, error)) state.SkipWithError(FileFaultText(error).c_str());
  }
  state.counters["lines"] = static_cast<double>(store.LineCount());
}
BENCHMARK(BM_LoadDocument)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nami

