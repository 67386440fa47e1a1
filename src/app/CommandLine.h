// The program's command line.
#pragma once

#include <string>
#include <vector>

namespace nami {

struct CommandLine {
  std::string documentPath;  // a .nmi file to open; empty = new document
  std::string iniPath;       // --ini FILE
  bool automation = false;   // --automation / --embedding: start with no window
  bool demo = false;         // --demo: the built-in simulated TNC and BBS
  bool headless = false;     // --headless: no display, lines to the console
  bool stay = false;         // --stay: with --headless, keep following the schedule
  bool mailbox = false;      // --mailbox: only the mailbox window, no port
  long long message = -1;    // --message N: with --mailbox, show message N
  bool help = false;
  bool version = false;
  std::string error;  // set when the arguments cannot be understood
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);
const char* CommandLineHelp();

}  // namespace nami
