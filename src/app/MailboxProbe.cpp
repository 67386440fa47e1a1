#include "app/MailboxProbe.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "mailwin/MailboxWindow.h"

namespace nami {
namespace {

long ResidentKb() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  long size = 0, resident = 0;
  if (f) {
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The slowest of `steps` runs of `step`, each followed by the paint it asked for.
template <class Step>
double Slowest(CMailboxWindow& w, int steps, Step step) {
  double worst = 0;
  for (int i = 0; i < steps; ++i) {
    QElapsedTimer t;
    t.start();
    step(i);
    // The paint the step asked for, as the event loop does it.
    w.List()->viewport()->update();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    worst = std::max(worst, t.nsecsElapsed() / 1e6);
  }
  return worst;
}

}  // namespace

void StartMailboxProbe(CMailboxWindow& w) {
  QTimer::singleShot(0, &w, [&w] {
    CMailListModel& m = *w.Model();
    QScrollBar* bar = w.List()->verticalScrollBar();
    // The window shown and laid out first, so the list has its pages.
    QElapsedTimer shown;
    shown.start();
    while ((!w.List()->viewport()->isVisible() || bar->maximum() == 0) && shown.elapsed() < 5000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    m.ResetSlowestFetch();
    const double moves = Slowest(w, 300, [&](int i) { w.List()->setCurrentIndex(m.index(i, 0)); });
    const double moveFetch = m.SlowestFetchMs();
    const int moveFetches = m.Fetches();
    m.ResetSlowestFetch();
    const double pages = Slowest(w, 300, [&](int) { bar->setValue(bar->value() + bar->pageStep()); });
    std::mt19937 random(7);
    const double jumps = Slowest(w, 100, [&](int) {
      bar->setValue(std::uniform_int_distribution<int>(0, std::max(0, bar->maximum()))(random));
    });
    const double scrollFetch = m.SlowestFetchMs();
    const int scrollFetches = m.Fetches();
    std::fprintf(stderr,
                 "mailbox-probe: %d rows; moving row by row: slowest step %.2f ms (model %.2f ms, %d pages); "
                 "scrolling and jumping: slowest step %.2f ms (model %.2f ms, %d pages); resident %ld kB\n",
                 m.rowCount(), moves, moveFetch, moveFetches, std::max(pages, jumps), scrollFetch, scrollFetches,
                 ResidentKb());
    std::fflush(stderr);
    QCoreApplication::exit(0);
  });
}

}  // namespace nami
