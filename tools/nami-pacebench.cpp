// Measures the upload's pacing over a pseudo-terminal pair.
//
// The far end of the pair is drained at a fixed rate (like a slow radio
// link); the near end is a real CSerialPort carrying an upload from
// CTransfers, driven the way the shell drives the document's send engine:
// wait for its ready descriptor, run one pass, which arms the pacer again. Prints the
// throughput the far end saw, the bytes handed over but not yet read, and
// the CPU time of the user-interface thread and of the rest of the sender
// side (the pacer's helper thread), per second of run time.
//
//   nami-pacebench [--drain BYTES_PER_SECOND] [--seconds N] [--steps burst|single]
//   nami-pacebench --uart 9600|115200 [--seconds N]
//   nami-pacebench --drain BYTES_PER_SECOND --seconds N --peer cat
//
// --uart runs the same upload through a model of a 16550 UART under the
// Linux driver (whose TIOCOUTQ, unlike a pseudo-terminal's, counts the
// driver's bytes) and prints the share of the line rate reached.
//
// "burst" (the default) is the send engine's paced pass: one batch of
// steps per signal; "single" is one step per signal.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "time/Clock.h"
#include "link/SerialPort.h"
#include "send/WritePacer.h"
#include "settings/Settings.h"
#include "terminal/NamiDoc.h"
#include "transfer/Transfers.h"

namespace {

double ThreadCpu() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double ProcessCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

class PrintSink : public nami::IUiSink {
 public:
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
  void Beep() override {}
};

// Counts the bytes the serial port has taken.
class CountingPort : public nami::IPort {
 public:
  explicit CountingPort(std::unique_ptr<nami::IPort> port) : port_(std::move(port)) {}
  bool Open(const std::string& comstatus) override { return port_->Open(comstatus); }
  std::size_t ReadAvailable(char* buffer, std::size_t capacity) override {
    return port_->ReadAvailable(buffer, capacity);
  }
  std::size_t SendText(std::string_view bytes) override {
    std::size_t n = port_->SendText(bytes);
    sent += static_cast<long long>(n);
    return n;
  }
  int TransmitQueueCount() override { return port_->TransmitQueueCount(); }
  void Close() override { port_->Close(); }
  bool IsOpen() const override { return port_->IsOpen(); }
  int PollFd() const override { return port_->PollFd(); }
  long long sent = 0;

 private:
  std::unique_ptr<nami::IPort> port_;
};

// A UART as the Linux 8250 driver runs a 16550: the driver's buffer (what
// TIOCOUTQ counts), a 16-byte FIFO refilled from that buffer whenever it
// runs empty, and the shift register sending one character per character
// time. Its PollFd is a pseudo-terminal that is always writable.
class UartModel : public nami::IPort {
 public:
  UartModel(double bitsPerSecond, int pollFd) : charS_(10.0 / bitsPerSecond), fd_(pollFd) {}
  bool Open(const std::string&) override { return true; }
  std::size_t ReadAvailable(char*, std::size_t) override { return 0; }
  std::size_t SendText(std::string_view bytes) override {
    std::lock_guard lock(mutex_);
    const double now = Now();
    Advance(now);
    if (driver_ == 0 && emptiedAt_ > 0) reactions_.push_back(now - emptiedAt_);
    emptiedAt_ = 0;
    driver_ += static_cast<int>(bytes.size());
    Feed(now);
    return bytes.size();
  }
  int TransmitQueueCount() override {
    std::lock_guard lock(mutex_);
    Advance(Now());
    return driver_;
  }
  void Close() override {}
  bool IsOpen() const override { return true; }
  int PollFd() const override { return fd_; }
  // Times from the driver's buffer running empty to the next write, seconds.
  std::vector<double> Reactions() {
    std::lock_guard lock(mutex_);
    return reactions_;
  }
  long long Transmitted() {
    std::lock_guard lock(mutex_);
    Advance(Now());
    return transmitted_;
  }

 private:
  static double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  }
  // At time t: the FIFO takes the driver's bytes when empty; an idle shift
  // register takes the FIFO's next byte.
  void Feed(double t) {
    if (fifo_ == 0 && driver_ > 0) {
      const int k = std::min(driver_, 16);
      fifo_ += k;
      driver_ -= k;
      if (driver_ == 0) emptiedAt_ = t;
    }
    if (!busy_ && fifo_ > 0) {
      --fifo_;
      busy_ = true;
      end_ = t + charS_;
      Feed(t);
    }
  }
  void Advance(double now) {
    while (busy_ && end_ <= now) {
      ++transmitted_;
      busy_ = false;
      Feed(end_);
    }
  }

  std::mutex mutex_;
  double charS_;
  int fd_;
  int driver_ = 0;
  int fifo_ = 0;
  bool busy_ = false;
  double end_ = 0;
  long long transmitted_ = 0;
  double emptiedAt_ = 0;
  std::vector<double> reactions_;
};

// Uploads through the UART model for `seconds` and prints the share of the
// line rate reached in the steady state.
// A raw pty whose slave side stands for the serial device; false when none.
bool OpenRawPty(double bitsPerSecond, int& master, int& slave) {
  master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
  slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave < 0) return false;
  termios t{};
  tcgetattr(slave, &t);
  cfmakeraw(&t);
  cfsetospeed(&t, bitsPerSecond >= 115200 ? B115200 : B9600);
  tcsetattr(slave, TCSANOW, &t);
  return true;
}

// What one paced upload through the UART model showed, after a 1 s warm-up.
struct UartRun {
  double elapsed = 0;
  double window = 0;  // the measured time after the warm-up
  double rate = 0;    // bytes per second on the line
  double uiCpu = 0;
  double processCpu = 0;
  double queueChecks = 0;
  std::vector<double> reactions;  // sorted
};

// Uploads `upload` through the document, the pump and the pacer to `uart`
// for `seconds`, measuring from one second in.
UartRun PaceUpload(nami::CNamiDoc& doc, UartModel& uart, const std::string& upload, double seconds) {
  nami::CSystemClock clock;
  nami::CTransfers transfers(doc, clock);
  nami::CSendEngine& engine = doc.Sending();
  engine.UseQueueCounter([&uart](int) { return uart.TransmitQueueCount(); });
  transfers.StartUpload(upload);
  engine.Kick();
  const auto t0 = std::chrono::steady_clock::now();
  long long atWarm = -1;
  double warm = 0, uiCpu0 = 0, processCpu0 = 0;
  UartRun run;
  while ((run.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count()) < seconds) {
    if (atWarm < 0 && run.elapsed >= 1.0) {
      atWarm = uart.Transmitted();
      warm = run.elapsed;
      uiCpu0 = ThreadCpu();
      processCpu0 = ProcessCpu();
    }
    pollfd p{engine.ReadyFd(), POLLIN, 0};
    if (poll(&p, 1, 50) == 1) engine.Run();
  }
  run.window = run.elapsed - warm;
  run.rate = static_cast<double>(uart.Transmitted() - atWarm) / run.window;
  run.uiCpu = ThreadCpu() - uiCpu0;
  run.processCpu = ProcessCpu() - processCpu0;
  run.queueChecks = static_cast<double>(engine.Pacer().QueueChecks());
  run.reactions = uart.Reactions();
  std::sort(run.reactions.begin(), run.reactions.end());
  transfers.Cancel();
  return run;
}

void PrintUartRun(const UartRun& run, double bitsPerSecond) {
  const double share = 100.0 * run.rate / (bitsPerSecond / 10);
  std::printf(
      "[uart model] %.0f bit/s, %.1f s: %.0f B/s on the line = %.1f%% of the line rate; "
      "queue checks %.0f/s; UI thread CPU %.2f ms/s\n",
      bitsPerSecond, run.elapsed, run.rate, share, run.queueChecks / run.elapsed, 1000.0 * run.uiCpu / run.window);
  std::printf("  share=%.2f process_cpu=%.3f\n", share, 100.0 * run.processCpu / run.window);
  const std::vector<double>& r = run.reactions;
  if (r.empty()) return;
  const double charS = 10.0 / bitsPerSecond;
  const auto late = std::count_if(r.begin(), r.end(), [&](double x) { return x > charS; });
  std::printf(
      "  reaction from queue empty to next byte: median %.0f us, 90th %.0f us, 99th %.0f us; "
      "%.2f%% slower than one character time (%.0f us)\n",
      1e6 * r[r.size() / 2], 1e6 * r[r.size() * 9 / 10], 1e6 * r[r.size() * 99 / 100],
      100.0 * static_cast<double>(late) / static_cast<double>(r.size()), 1e6 * charS);
}

int RunUartModel(double bitsPerSecond, double seconds, const std::string& dirName) {
  int master = -1, slave = -1;
  if (!OpenRawPty(bitsPerSecond, master, slave)) return 1;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / dirName;
  std::filesystem::create_directories(dir);
  const std::string upload = (dir / "big.upl").string();
  {
    std::ofstream out(upload, std::ios::binary);
    const auto bytes = static_cast<std::size_t>(bitsPerSecond / 10 * seconds * 2) + 1000;
    out << std::string(bytes, 'x');
  }
  {
    nami::CSettings settings((dir / "NAMI.INI").string());
    PrintSink sink;
    nami::CNamiDoc doc(settings, sink);
    auto model = std::make_unique<UartModel>(bitsPerSecond, slave);
    UartModel* uart = model.get();
    doc.SetPort(std::move(model));
    PrintUartRun(PaceUpload(doc, *uart, upload, seconds), bitsPerSecond);
  }
  std::filesystem::remove_all(dir);
  close(slave);
  close(master);
  return 0;
}

// The far end drained at `drain` bytes per second; returns the bytes read.
long long DrainFor(int master, double drain, double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto next = start;
  long long taken = 0;
  char buffer[4096];
  for (;;) {
    next += std::chrono::milliseconds(1);
    std::this_thread::sleep_until(next);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (elapsed >= seconds) return taken;
    long long allowed = static_cast<long long>(elapsed * drain) - taken;
    while (allowed > 0) {
      ssize_t n = read(master, buffer, static_cast<std::size_t>(std::min<long long>(allowed, sizeof buffer)));
      if (n <= 0) break;
      taken += n;
      allowed -= n;
    }
  }
}

// `cat FILE` writing into the pair's near end while the far end is drained
// as for nami's upload: its CPU time per kB that reached the far end.
int RunCat(int master, const std::string& slavePath, const std::string& file, double drain, double seconds,
           const std::filesystem::path& dir) {
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(slavePath.c_str(), O_WRONLY | O_NOCTTY);
    const int in = open(file.c_str(), O_RDONLY);
    if (out < 0 || in < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    execlp("cat", "cat", static_cast<char*>(nullptr));
    _exit(127);
  }
  const long long read = DrainFor(master, drain, seconds);
  kill(child, SIGKILL);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  std::filesystem::remove_all(dir);
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  std::printf("[cat] drain %.0f B/s, %.1f s: %.0f B/s (%.1f%% of drain), CPU %.3f s\n", drain, seconds,
              static_cast<double>(read) / seconds, 100.0 * static_cast<double>(read) / seconds / drain, cpu);
  std::printf("  cpu_ms_per_kb=%.4f\n", read > 0 ? 1000.0 * cpu / (static_cast<double>(read) / 1000.0) : 0.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  double drain = 960;
  double seconds = 10;
  bool burst = true;  // --steps single: one step per pacer signal
  double uart = 0;    // --uart BITS: the UART model at that speed instead of the drained pty
  constexpr double kWarmUp = 2.0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--drain") == 0) drain = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--steps") == 0) burst = std::strcmp(argv[i + 1], "single") != 0;
    if (std::strcmp(argv[i], "--uart") == 0) uart = std::atof(argv[i + 1]);
  }
  bool cat = false;  // --peer cat: `cat` writes the file into the pair instead of nami's upload
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--peer") == 0) cat = std::strcmp(argv[i + 1], "cat") == 0;
  if (uart > 0) return RunUartModel(uart, seconds, "nami-uart-" + std::to_string(getpid()));

  int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::perror("posix_openpt");
    return 1;
  }
  const std::string slavePath = ptsname(master);
  termios raw{};
  tcgetattr(master, &raw);
  cfmakeraw(&raw);
  tcsetattr(master, TCSANOW, &raw);

  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("nami-pace-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string upload = (dir / "big.upl").string();
  {
    // More than the run can drain, so the upload never runs dry.
    std::ofstream out(upload, std::ios::binary);
    const std::string line = "The quick brown fox jumps over the lazy dog 0123456789.\r\n";
    const auto bytes = static_cast<std::size_t>(drain * seconds) + 300000;
    for (std::size_t n = 0; n < bytes; n += line.size()) out << line;
  }

  if (cat) return RunCat(master, slavePath, upload, drain, seconds, dir);

  nami::CSettings settings((dir / "NAMI.INI").string());
  PrintSink sink;
  nami::CSystemClock clock;
  nami::CNamiDoc doc(settings, sink);
  auto counting = std::make_unique<CountingPort>(
      std::make_unique<nami::CSerialPort>([&](const std::string&) { return slavePath; }));
  CountingPort* port = counting.get();
  doc.SetPort(std::move(counting));
  doc.OpenPort("COM1:9600,n,8,1,n");
  nami::CTransfers transfers(doc, clock);
  nami::CSendEngine& engine = doc.Sending();
  nami::CWritePacer& pacer = engine.Pacer();

  // The far end: reads at `drain` bytes per second in 1 ms slices.
  std::atomic<bool> stop{false};
  std::atomic<long long> received{0};
  std::atomic<double> readerCpu{0};
  std::thread reader([&] {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto next = start;
    long long taken = 0;
    char buffer[4096];
    while (!stop.load()) {
      next += std::chrono::milliseconds(1);
      std::this_thread::sleep_until(next);
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      long long allowed = static_cast<long long>(elapsed * drain) - taken;
      while (allowed > 0) {
        ssize_t n = read(master, buffer, static_cast<std::size_t>(std::min<long long>(allowed, sizeof buffer)));
        if (n <= 0) break;
        taken += n;
        allowed -= n;
      }
      received.store(taken);
      readerCpu.store(ThreadCpu());
    }
  });

  double cpu0 = 0, uiCpu0 = 0, readerCpu0 = 0;
  long long steps0 = 0;
  const auto t0 = std::chrono::steady_clock::now();
  if (!transfers.StartUpload(upload)) return 1;
  engine.Kick();  // watches the port and arms the pacer
  long long steps = 0;
  long long atOne = -1;
  double oneSecond = 0;
  for (;;) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (elapsed >= seconds) break;
    if (atOne < 0 && elapsed >= kWarmUp) {
      // Past the first filling of the port's buffers: the steady state.
      atOne = received.load();
      oneSecond = elapsed;
      cpu0 = ProcessCpu();
      uiCpu0 = ThreadCpu();
      readerCpu0 = readerCpu.load();
      steps0 = steps;
    }
    pollfd p{pacer.NotifyFd(), POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;  // the shell's receive tick would run here
    if (burst) {
      const long long before = engine.Steps();
      engine.Run();
      steps += engine.Steps() - before;
    } else {
      if (!pacer.TakeReady()) continue;
      engine.Step();
      ++steps;
      if (!engine.Idle()) pacer.Arm();
    }
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double uiCpu = ThreadCpu() - uiCpu0;
  const double senderCpu = ProcessCpu() - cpu0 - (readerCpu.load() - readerCpu0);
  const long long atEnd = received.load();
  const long long sent = port->sent;
  stop = true;
  reader.join();
  transfers.Cancel();
  std::filesystem::remove_all(dir);

  // Reaction time: from Arm on a port that may take bytes to the UI thread
  // holding the signal (the thread hand-over that every step pays on a
  // UART, on top of the queue checks a quarter character apart).
  std::vector<double> latencies;
  tcflush(master, TCIOFLUSH);
  for (int i = 0; i < 2000; ++i) {
    const auto a = std::chrono::steady_clock::now();
    pacer.Arm();
    pollfd p{pacer.NotifyFd(), POLLIN, 0};
    if (poll(&p, 1, 1000) != 1) break;
    pacer.TakeReady();
    latencies.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - a).count());
  }
  std::sort(latencies.begin(), latencies.end());

  const double window = wall - oneSecond;
  const double throughput = static_cast<double>(atEnd - atOne) / window;
  std::printf(
      "[%s] drain %.0f B/s, %.1f s: throughput %.0f B/s (%.1f%% of drain), steady steps %.0f/s, "
      "pacer signals %llu, queue checks %llu\n",
      burst ? "burst" : "single", drain, wall, throughput, 100.0 * throughput / drain,
      static_cast<double>(steps - steps0) / window, static_cast<unsigned long long>(pacer.Signals()),
      static_cast<unsigned long long>(pacer.QueueChecks()));
  std::printf("  handed to the port but not yet read at the end: %lld bytes (%.1f s of draining)\n", sent - atEnd,
              static_cast<double>(sent - atEnd) / drain);
  std::printf("  CPU in the steady state: UI thread %.2f ms/s, pacer thread %.2f ms/s\n", 1000.0 * uiCpu / window,
              1000.0 * std::max(0.0, senderCpu - uiCpu) / window);
  std::printf("  cpu_ms_per_kb=%.4f\n", throughput > 0 ? 1000.0 * senderCpu / window / (throughput / 1000.0) : 0.0);
  if (!latencies.empty()) {
    std::printf(
        "  pacer reaction: median %.0f us, 99th percentile %.0f us (character time 1042 us at 9600 bit/s, "
        "87 us at 115200)\n",
        latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100]);
  }
  return 0;
}
