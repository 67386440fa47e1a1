// History pane costs: a paint must not grow with the store, and a search
// over a full store must stay well under what a user notices.
#include <benchmark/benchmark.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <memory>
#include <string>

#include "settings/Settings.h"
#include "terminal/HistoryModel.h"
#include "terminal/Layout.h"
#include "terminal/NamiDoc.h"
#include "terminal/Search.h"
#include "ui/PainterSurface.h"

namespace nami {
namespace {

class NullSink : public IUiSink {
 public:
  void ShowMessage(const std::string&) override {}
  void Beep() override {}
};

// Text drawing needs a GUI application (fonts); off screen unless told.
QGuiApplication& GuiApp() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "nami_bench";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
  return app;
}

// A bulletin-list-like line of about 70 bytes, some of it two-byte text.
std::string ListLine(int i) {
  return std::to_string(10000 + i) + "  B  1234 JA1XYZ  ALL   12/07 " +
         "\x83\x65\x83\x58\x83\x67\x82\xCC\x8C\x8F\x96\xBC" + " title " + std::to_string(i % 97);
}

struct History {
  explicit History(int lines) : settings("/nonexistent/NAMI.INI"), doc(settings, sink), model(doc) {
    for (int i = 0; i < lines; ++i) doc.Lines().AddLine(ListLine(i));
    model.SetMetrics(16, 40 * 16 + 8);  // R = 40
    model.PreparePaint();
    model.ScrollTo(lines / 2);
    model.SetMarks({lines / 2 + 3, lines / 2 + 12});
  }
  CSettings settings;
  NullSink sink;
  CNamiDoc doc;
  CHistoryModel model;
};

// One paint of the pane with a real QPainter on an image the pane's size:
// range, evicted lines, R + 1 rows of text in a fixed-width font, the band.
void BM_HistoryPaint(benchmark::State& state) {
  GuiApp();
  History h(static_cast<int>(state.range(0)));
  QImage image(80 * 8, h.model.PaneHeight(), QImage::Format_RGB32);
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    CPainterSurface surface(painter);
    h.model.PreparePaint();
    DrawFrom(h.doc.Lines(), surface, h.model.TopLine(), h.model.LineHeight(), h.model.PaneHeight());
    benchmark::DoNotOptimize(h.model.Band());
  }
  benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(BM_HistoryPaint)->Arg(1000)->Arg(80000);

// Search down over a full store for a text that is not there: every line is
// scanned once.
void BM_HistorySearchFullStore(benchmark::State& state) {
  History h(static_cast<int>(CLineStore::kCapacity));
  const std::string text = "\x83\x65\x83\x58\x83\x67 missing";
  for (auto _ : state) {
    benchmark::DoNotOptimize(SearchDown(h.doc.Lines(), 0, text));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(CLineStore::kCapacity));
}
BENCHMARK(BM_HistorySearchFullStore)->Unit(benchmark::kMillisecond);

void BM_HistorySearchUpFullStore(benchmark::State& state) {
  History h(static_cast<int>(CLineStore::kCapacity));
  for (auto _ : state) {
    benchmark::DoNotOptimize(SearchUp(h.doc.Lines(), CLineStore::kCapacity - 1, "ZZZ"));
  }
}
BENCHMARK(BM_HistorySearchUpFullStore)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nami
