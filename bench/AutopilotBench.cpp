// What the autopilot costs the user-interface thread.
//
//   cmake -S . -B build -G Ninja -DNAMI_BUILD_BENCH=ON
//   cmake --build build --target bench_AutopilotBench && ./build/bench/bench_AutopilotBench
//
// WaitPass: one wait pass while a step waits for its prompt (what every
// receive tick adds while the autopilot waits; between ticks it does
// nothing at all). PromptToCommand: the wait pass that confirms a prompt and
// sends the next read command (the simulated BBS taking it included).
// MailFileByte: one sender step that puts one byte of a mail file on the
// link. FullRun: a whole auto-mode run against the simulated BBS (connect, one mail file, list, 50 mails read, log-off),
// settings and log files on disk included.
#include <benchmark/benchmark.h>

#include <string>

#include "support/StationRig.h"

namespace nami::test {
namespace {

void WaitPass(benchmark::State& state) {
  SStationOptions silent = SmallBbs();
  silent.tnc.failure = sim::LinkFailure::Silent;  // the BBS never answers
  StationRig rig(silent);
  rig.pilot.Run(AutoCommand::Connect);
  for (auto _ : state) {
    rig.pilot.OnTick();
    benchmark::DoNotOptimize(rig.pilot.State().PromptSeen);
  }
  if (!rig.pilot.Busy()) state.SkipWithError("the wait ended");
}
BENCHMARK(WaitPass);

void PromptToCommand(benchmark::State& state) {
  StationRig rig{SmallBbs()};
  std::string list;
  for (int n = 1000000; n > 0; --n) list += std::to_string(n) + " JA1AAA\r\n";
  WriteFile(rig.dir.File("list.log"), list);
  rig.settings.Set(keys::LastMailNo, "0");
  rig.settings.Set(keys::ReadCom, "R");
  rig.pilot.Run(AutoCommand::Connect);
  rig.Drain();
  rig.pilot.Run(AutoCommand::Read);
  rig.LoseUndelivered();
  rig.pilot.State().LatestLine = "QZ1ABC>";
  for (auto _ : state) {
    rig.pilot.State().PromptSeen = true;  // what the receive tick sets with the prompt
    rig.pilot.OnTick();         // confirms it and sends the next "R n"
    rig.LoseUndelivered();
  }
  if (!rig.pilot.Busy()) state.SkipWithError("ran out of list lines");
}
BENCHMARK(PromptToCommand);

void MailFileByte(benchmark::State& state) {
  StationRig rig{SmallBbs()};
  const std::string file = rig.dir.File("big.txt");
  WriteFile(file, std::string(8 << 20, 'x'));
  rig.pilot.Run(AutoCommand::Connect);
  rig.Drain();
  // Queues the file again (the run empties the queue keys) and starts it.
  auto start = [&] {
    rig.settings.Set(keys::Send[0], file);
    rig.pilot.Run(AutoCommand::Send);
  };
  start();
  for (auto _ : state) {
    if (rig.doc.Sending().Idle()) {
      // The file ended: finish the step untimed and send it once more, so
      // any number of iterations and repetitions has input.
      state.PauseTiming();
      rig.Drain();
      start();
      state.ResumeTiming();
      if (rig.doc.Sending().Idle()) {
        state.SkipWithError("the file did not start again");
        break;
      }
    }
    rig.doc.Sending().Step();
    if (rig.port->sent.size() > (1 << 20)) rig.port->sent.clear();
  }
}
BENCHMARK(MailFileByte);

void FullRun(benchmark::State& state) {
  for (auto _ : state) {
    StationRig rig{SmallBbs()};
    for (int n = 1; n <= 50; ++n) rig.AddMessage(n, "JA1AAA title");
    rig.settings.Set(keys::Field[0], "L #");
    rig.settings.Set(keys::LastMailNo, "0");
    rig.settings.Set(keys::ReadCom, "R");
    WriteFile(rig.dir.File("m.txt"), "SP JA1A\r\nsubject\r\ntext\r\n");
    rig.settings.Set(keys::Send[0], rig.dir.File("m.txt"));
    rig.pilot.Run(AutoCommand::AutoMode);
    rig.Drain();
    if (rig.pilot.LastResult() != CAutopilot::RunResult::Completed) state.SkipWithError("run failed");
  }
}
BENCHMARK(FullRun)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nami::test
