// NAMI_LATENCY_REPORT=FILE: measures how responsive the event loop is. A
// timer asks to run every 10 ms; each time it runs, how late it came is
// recorded (a late timer means some other event held the loop). Once a
// second and at exit FILE is rewritten with the count of samples, the
// largest lateness, the 99th percentile and the number of samples later
// than 100 ms, plus the process's CPU time (scripts/measure-flood reads it).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>

namespace nami {

class CLatencyProbe : public QObject {
 public:
  // Starts probing when the variable is set; else returns null.
  static CLatencyProbe* StartFromEnvironment(QObject* parent);

  CLatencyProbe(QString path, QObject* parent);
  ~CLatencyProbe() override;

 private:
  void OnProbe();
  void Write() const;

  static constexpr int kIntervalMs = 10;
  QString path_;
  QTimer probe_;
  QTimer report_;
  QElapsedTimer clock_;
  std::int64_t lastNs_ = 0;
  std::uint64_t samples_ = 0;
  std::int64_t maxLateUs_ = 0;
  std::uint64_t over100ms_ = 0;
  // Lateness histogram in 1 ms buckets; the last bucket takes the rest.
  std::array<std::uint64_t, 1001> buckets_{};
};

}  // namespace nami
