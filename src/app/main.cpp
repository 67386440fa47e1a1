// nami: start-up. Reads the command line, then hands over to the shell.
#include <cstdio>
#include <string>
#include <vector>

#include "ui/CommandLine.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  nami::CommandLine cl = nami::ParseCommandLine(args);
  if (!cl.error.empty()) {
    std::fprintf(stderr, "nami: %s\n%s", cl.error.c_str(), nami::CommandLineHelp());
    return 2;
  }
  if (cl.help) {
    std::fputs(nami::CommandLineHelp(), stdout);
    return 0;
  }
  if (cl.version) {
    std::printf("nami %s\n", NAMI_VERSION);
    return 0;
  }
  std::fputs("nami: the window is not built yet; see --help\n", stderr);
  return 0;
}
