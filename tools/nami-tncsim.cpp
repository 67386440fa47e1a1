// nami-tncsim: a simulated TNC2 and packet BBS on a pseudo-terminal, or the
// simulated BBS on the network (an AGWPE server, a telnet port, or a station
// at another AGWPE server).
//
//   nami-tncsim --link PATH [--data FILE] [--prompt TEXT] [--call CALL]
//               [--line-end cr|crlf|lf] [--drain BYTES_PER_SEC]
//               [--fail connect|busy|silent|drop-after:N|mute-after:N]
//               [--fault-file FILE] [--log FILE]
//               [--log-sent FILE] [--line-delay MS] [--connect-delay MS]
//   nami-tncsim [--agw PORT] [--telnet PORT] [--password TEXT] [--bind ADDR] [options]
//   nami-tncsim --agw-bbs HOST:PORT --call CALL [options]
//   nami-tncsim [--data FILE] --write-data FILE
//
// Serves until SIGTERM or SIGINT, which remove the link.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/Bbs.h"
#include "sim/MessageBase.h"
#include "sim/NetServer.h"
#include "sim/PtyServer.h"
#include "sim/Tnc2.h"

namespace {

nami::sim::CPtyServer* gServer = nullptr;
nami::sim::CNetServer* gNetServer = nullptr;

void OnSignal(int) {
  if (gServer) gServer->RequestStop();
  if (gNetServer) gNetServer->RequestStop();
}

// SIGTERM and SIGINT stop the server; a peer that goes away is not a signal.
void InstallStopSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

const char* kUsage =
    "usage: nami-tncsim --link PATH [options]\n"
    "       nami-tncsim --agw PORT | --telnet PORT | --agw-bbs HOST:PORT [options]\n"
    "  --link PATH            symbolic link to the pseudo-terminal (name it in nami's [Devices])\n"
    "  --agw PORT             serve the BBS as an AGWPE server ([Devices] COMn=agw://localhost:PORT)\n"
    "  --telnet PORT          serve the BBS on a telnet port ([Devices] COMn=telnet://localhost:PORT)\n"
    "  --password TEXT        the telnet login asks for this password\n"
    "  --bind ADDR            the IPv4 address to listen on (default 127.0.0.1)\n"
    "  --agw-bbs HOST:PORT    be the BBS (call --call) at that AGWPE server, e.g. Dire Wolf,\n"
    "                         and answer the stations that connect to it\n"
    "  --data FILE            message base file (default: the built-in messages)\n"
    "  --call CALL            the BBS call sign (default QZ1ABC)\n"
    "  --prompt TEXT          the BBS prompt (default: CALL followed by \" BBS>\")\n"
    "  --line-end cr|crlf|lf  line end sent to the terminal (default crlf)\n"
    "  --drain BYTES_PER_SEC  read what the terminal sends only at this pace\n"
    "  --fail connect|busy|silent|drop-after:N|mute-after:N\n"
    "                         connect fails, is busy, never answers, the link drops\n"
    "                         after N lines from the BBS, or the BBS falls silent after them\n"
    "  --fault-file FILE      read the failure (as for --fail, or none) from FILE at each\n"
    "                         connect, so it can change while the simulator runs (--link only)\n"
    "  --line-delay MS        delay per line of an answer (default 20)\n"
    "  --connect-delay MS     time a connect takes (default 800)\n"
    "  --log FILE             record every byte from the terminal with a time stamp\n"
    "  --log-sent FILE        record every byte written to the terminal likewise\n"
    "  --write-data FILE      write the message base (built-in or --data) to FILE and exit\n"
    "  -h, --help             show this help\n";

bool ParseInt(const char* text, int& value) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < 0 || v > 100000000) return false;
  value = static_cast<int>(v);
  return true;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "nami-tncsim: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace nami::sim;
  SPtyOptions pty;
  SBbsOptions bbs;
  STncOptions tnc;
  std::string data;
  std::string writeData;
  SNetOptions net;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) return Usage("missing value or unknown option " + arg);
    const char* value = argv[++i];
    std::string v = value;
    if (arg == "--link") {
      pty.linkPath = v;
    } else if (arg == "--data") {
      data = v;
    } else if (arg == "--call") {
      bbs.call = v;
    } else if (arg == "--prompt") {
      bbs.prompt = v;
    } else if (arg == "--line-end") {
      if (v == "cr") tnc.lineEnd = LineEnd::Cr;
      else if (v == "crlf") tnc.lineEnd = LineEnd::CrLf;
      else if (v == "lf") tnc.lineEnd = LineEnd::Lf;
      else return Usage("bad --line-end " + v);
    } else if (arg == "--drain") {
      if (!ParseInt(value, pty.drainBytesPerSec)) return Usage("bad --drain " + v);
    } else if (arg == "--fail") {
      if (!ParseFailure(v, tnc)) return Usage("bad --fail " + v);
    } else if (arg == "--fault-file") {
      tnc.faultFile = v;
    } else if (arg == "--line-delay") {
      if (!ParseInt(value, tnc.lineDelayMs)) return Usage("bad --line-delay " + v);
    } else if (arg == "--connect-delay") {
      if (!ParseInt(value, tnc.connectDelayMs)) return Usage("bad --connect-delay " + v);
    } else if (arg == "--agw") {
      if (!ParseInt(value, net.agwPort) || net.agwPort > 65535) return Usage("bad --agw " + v);
    } else if (arg == "--telnet") {
      if (!ParseInt(value, net.telnetPort) || net.telnetPort > 65535) return Usage("bad --telnet " + v);
    } else if (arg == "--agw-bbs") {
      net.agwBbs = v;
    } else if (arg == "--password") {
      net.password = v;
    } else if (arg == "--bind") {
      net.bind = v;
    } else if (arg == "--write-data") {
      writeData = v;
    } else if (arg == "--log") {
      pty.logPath = v;
    } else if (arg == "--log-sent") {
      pty.sentLogPath = v;
    } else {
      return Usage("unknown option " + arg);
    }
  }

  CMessageBase base = CMessageBase::BuiltIn();
  if (!data.empty()) {
    std::string error;
    auto loaded = CMessageBase::Load(data, &error);
    if (!loaded) {
      std::fprintf(stderr, "nami-tncsim: %s\n", error.c_str());
      return 1;
    }
    base = std::move(*loaded);
  }
  if (!writeData.empty()) {
    std::FILE* f = std::fopen(writeData.c_str(), "wb");
    std::string text = base.Format();
    if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
      std::fprintf(stderr, "nami-tncsim: cannot write %s\n", writeData.c_str());
      return 1;
    }
    return 0;
  }
  nami::CSystemClock clock;
  if (net.agwPort >= 0 || net.telnetPort >= 0 || !net.agwBbs.empty()) {
    if (!pty.linkPath.empty()) return Usage("--link cannot be combined with --agw, --telnet or --agw-bbs");
    if (!tnc.faultFile.empty()) return Usage("--fault-file needs --link");
    net.tnc = tnc;
    CBbs bbsEngine(base, bbs);
    CNetServer server(bbsEngine, clock, net);
    std::string error;
    if (!server.Start(&error)) {
      std::fprintf(stderr, "nami-tncsim: %s\n", error.c_str());
      return 1;
    }
    gNetServer = &server;
    InstallStopSignals();
    if (server.AgwPort() >= 0) std::printf("nami-tncsim: AGWPE on %s:%d\n", net.bind.c_str(), server.AgwPort());
    if (server.TelnetPort() >= 0)
      std::printf("nami-tncsim: telnet on %s:%d\n", net.bind.c_str(), server.TelnetPort());
    if (!net.agwBbs.empty()) std::printf("nami-tncsim: BBS %s at agw://%s\n", bbsEngine.Call().c_str(), net.agwBbs.c_str());
    std::printf("nami-tncsim: BBS %s, prompt \"%s\"\n", bbsEngine.Call().c_str(), bbsEngine.Prompt().c_str());
    std::fflush(stdout);
    const bool ok = server.Run();
    gNetServer = nullptr;
    return ok ? 0 : 1;
  }
  if (pty.linkPath.empty()) return Usage("--link, --agw, --telnet or --agw-bbs is required");
  CBbs bbsEngine(base, bbs);
  CTnc2 tncEngine(bbsEngine, clock, tnc);
  CPtyServer server(tncEngine, clock, pty);
  std::string error;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "nami-tncsim: %s\n", error.c_str());
    return 1;
  }
  gServer = &server;
  InstallStopSignals();
  std::printf("nami-tncsim: %s -> %s (BBS %s, prompt \"%s\")\n", pty.linkPath.c_str(), server.SlavePath().c_str(),
              bbsEngine.Call().c_str(), bbsEngine.Prompt().c_str());
  std::fflush(stdout);
  server.Run();
  gServer = nullptr;
  return 0;
}
