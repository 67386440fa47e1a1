// Hooks for the measuring scripts (scripts/measure-*), off unless asked for.
//
// NAMI_LATENCY_REPORT=FILE measures how responsive the event loop is. A
// timer asks to run every 10 ms; each time it runs, how late it came is
// noted (a late timer means some other event held the loop). Once a second,
// and at exit, one line is added to FILE:
//   <unix time> <samples> <largest lateness in ms> <samples over 100 ms> <CPU seconds>
// covering the time since the line before; the CPU time is the process's
// total so far.
//
// NAMI_STORE_DUMP=FILE: on SIGUSR1 the line store is written to FILE, oldest
// line first, each line's bytes followed by LF.
#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>

namespace nami {

class CNamiDoc;

class CMeasureProbe : public QObject {
 public:
  // Starts what the environment asks for; null when it asks for nothing.
  static CMeasureProbe* StartFromEnvironment(QObject* parent, const CNamiDoc& doc);

  CMeasureProbe(const QString& reportPath, const QString& dumpPath, const CNamiDoc& doc, QObject* parent);
  ~CMeasureProbe() override;

 private:
  void OnProbe();
  void WriteReport();
  void DumpStore();

  static constexpr int kIntervalMs = 10;
  const CNamiDoc& doc_;
  QFile report_;
  QString dumpPath_;
  QTimer probe_;
  QTimer reportTimer_;
  QElapsedTimer clock_;
  std::int64_t lastNs_ = 0;
  std::uint64_t samples_ = 0;
  std::int64_t maxLateUs_ = 0;
  std::uint64_t over100ms_ = 0;
};

}  // namespace nami
