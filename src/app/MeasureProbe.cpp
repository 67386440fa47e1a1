#include "app/MeasureProbe.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSaveFile>
#include <QSocketNotifier>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "terminal/NamiDoc.h"

namespace nami {
namespace {

int gDumpPipe[2] = {-1, -1};

extern "C" void OnDumpSignal(int) {
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(gDumpPipe[1], &c, 1);
}

}  // namespace

CMeasureProbe* CMeasureProbe::StartFromEnvironment(QObject* parent, const CNamiDoc& doc) {
  const QString report = qEnvironmentVariable("NAMI_LATENCY_REPORT");
  const QString dump = qEnvironmentVariable("NAMI_STORE_DUMP");
  if (report.isEmpty() && dump.isEmpty()) return nullptr;
  return new CMeasureProbe(report, dump, doc, parent);
}

CMeasureProbe::CMeasureProbe(const QString& reportPath, const QString& dumpPath, const CNamiDoc& doc,
                             QObject* parent)
    : QObject(parent), doc_(doc), report_(reportPath), dumpPath_(dumpPath) {
  if (!reportPath.isEmpty()) {
    if (!report_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
      std::fprintf(stderr, "nami: cannot write %s\n", qPrintable(reportPath));
    clock_.start();
    lastNs_ = clock_.nsecsElapsed();
    probe_.setTimerType(Qt::PreciseTimer);
    probe_.setInterval(kIntervalMs);
    connect(&probe_, &QTimer::timeout, this, [this] { OnProbe(); });
    probe_.start();
    reportTimer_.setInterval(1000);
    connect(&reportTimer_, &QTimer::timeout, this, [this] { WriteReport(); });
    reportTimer_.start();
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { WriteReport(); });
  }
  if (!dumpPath.isEmpty() && gDumpPipe[0] < 0 && ::pipe2(gDumpPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    auto* notifier = new QSocketNotifier(gDumpPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
      char buf[16];
      while (::read(gDumpPipe[0], buf, sizeof buf) > 0) {
      }
      DumpStore();
    });
    struct sigaction sa {};
    sa.sa_handler = OnDumpSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR1, &sa, nullptr);
  }
}

CMeasureProbe::~CMeasureProbe() { WriteReport(); }

void CMeasureProbe::OnProbe() {
  const std::int64_t now = clock_.nsecsElapsed();
  const std::int64_t lateUs = std::max<std::int64_t>(0, (now - lastNs_) / 1000 - kIntervalMs * 1000);
  lastNs_ = now;
  ++samples_;
  maxLateUs_ = std::max(maxLateUs_, lateUs);
  if (lateUs > 100000) ++over100ms_;
}

void CMeasureProbe::WriteReport() {
  if (!report_.isOpen()) return;
  timespec cpu{};
  timespec wall{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  ::clock_gettime(CLOCK_REALTIME, &wall);
  char line[160];
  const int n = std::snprintf(line, sizeof line, "%lld.%03ld %llu %.1f %llu %.3f\n", static_cast<long long>(wall.tv_sec),
                              wall.tv_nsec / 1000000, static_cast<unsigned long long>(samples_), maxLateUs_ / 1000.0,
                              static_cast<unsigned long long>(over100ms_), cpu.tv_sec + cpu.tv_nsec / 1e9);
  if (n > 0) report_.write(line, n);
  samples_ = 0;
  maxLateUs_ = 0;
  over100ms_ = 0;
}

void CMeasureProbe::DumpStore() {
  QSaveFile f(dumpPath_);
  if (!f.open(QIODevice::WriteOnly)) return;
  for (std::size_t i = 0; i < doc_.Lines().LineCount(); ++i) {
    const std::string& line = doc_.Lines().LineAt(i);
    f.write(line.data(), static_cast<qint64>(line.size()));
    f.write("\n", 1);
  }
  f.commit();
}

}  // namespace nami
