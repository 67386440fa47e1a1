#include "app/LatencyProbe.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <algorithm>
#include <ctime>

namespace nami {

CLatencyProbe* CLatencyProbe::StartFromEnvironment(QObject* parent) {
  const QString path = qEnvironmentVariable("NAMI_LATENCY_REPORT");
  if (path.isEmpty()) return nullptr;
  return new CLatencyProbe(path, parent);
}

CLatencyProbe::CLatencyProbe(QString path, QObject* parent) : QObject(parent), path_(std::move(path)) {
  clock_.start();
  lastNs_ = clock_.nsecsElapsed();
  probe_.setTimerType(Qt::PreciseTimer);
  probe_.setInterval(kIntervalMs);
  connect(&probe_, &QTimer::timeout, this, [this] { OnProbe(); });
  probe_.start();
  report_.setInterval(1000);
  connect(&report_, &QTimer::timeout, this, [this] { Write(); });
  report_.start();
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { Write(); });
}

CLatencyProbe::~CLatencyProbe() { Write(); }

void CLatencyProbe::OnProbe() {
  const std::int64_t now = clock_.nsecsElapsed();
  const std::int64_t lateUs = std::max<std::int64_t>(0, (now - lastNs_) / 1000 - kIntervalMs * 1000);
  lastNs_ = now;
  ++samples_;
  maxLateUs_ = std::max(maxLateUs_, lateUs);
  if (lateUs > 100000) ++over100ms_;
  ++buckets_[static_cast<std::size_t>(std::min<std::int64_t>(lateUs / 1000, buckets_.size() - 1))];
}

void CLatencyProbe::Write() const {
  std::uint64_t seen = 0;
  std::size_t p99 = 0;
  for (; p99 < buckets_.size(); ++p99) {
    seen += buckets_[p99];
    if (samples_ && seen * 100 >= samples_ * 99) break;
  }
  timespec cpu{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  QSaveFile f(path_);
  if (!f.open(QIODevice::WriteOnly)) return;
  const QString text = QStringLiteral("samples %1\nmax_late_ms %2\np99_late_ms %3\nover_100ms %4\ncpu_s %5\nwall_s %6\n")
                           .arg(samples_)
                           .arg(maxLateUs_ / 1000.0, 0, 'f', 1)
                           .arg(samples_ ? static_cast<double>(p99 + 1) : 0.0)
                           .arg(over100ms_)
                           .arg(cpu.tv_sec + cpu.tv_nsec / 1e9, 0, 'f', 3)
                           .arg(clock_.nsecsElapsed() / 1e9, 0, 'f', 3);
  f.write(text.toUtf8());
  f.commit();
}

}  // namespace nami
