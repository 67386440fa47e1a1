#include "app/CommandLine.h"

namespace nami {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine c;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h")
      c.help = true;
    else if (a == "--version" || a == "-v")
      c.version = true;
    else if (a == "--automation" || a == "--embedding" || a == "-Automation" || a == "-Embedding")
      c.automation = true;
    else if (a == "--demo")
      c.demo = true;
    else if (a == "--headless")
      c.headless = true;
    else if (a == "--stay")
      c.stay = true;
    else if (a == "--mailbox")
      c.mailbox = true;
    else if (a == "--message") {
      if (i + 1 >= args.size() || args[i + 1].find_first_not_of("0123456789") != std::string::npos ||
          args[i + 1].empty()) {
        c.error = "--message needs a message number";
        return c;
      }
      c.message = std::stoll(args[++i]);
    }
    else if (a == "--ini") {
      if (i + 1 >= args.size()) {
        c.error = "--ini needs a file name";
        return c;
      }
      c.iniPath = args[++i];
    } else if (a.rfind("--ini=", 0) == 0) {
      c.iniPath = a.substr(6);
    } else if (!a.empty() && a[0] == '-') {
      c.error = "unknown option: " + a;
      return c;
    } else if (c.documentPath.empty()) {
      c.documentPath = a;
    } else {
      c.error = "only one document can be opened: " + a;
      return c;
    }
  }
  return c;
}

const char* CommandLineHelp() {
  return "Usage: nami [OPTIONS] [FILE.nmi]\n"
         "       nami mail COMMAND ...   the local mailbox (\"nami mail help\" lists its commands)\n"
         "A terminal for packet radio with an autopilot for BBS mail.\n"
         "\n"
         "  FILE.nmi        open this document (its name selects the station profile)\n"
         "  --ini FILE      use FILE as the settings file instead of NAMI.INI in\n"
         "                  $NAMI_INI or ~/.config/nami/\n"
         "  --demo          talk to the built-in simulated TNC and BBS, with settings\n"
         "                  of its own (your NAMI.INI is not touched)\n"
         "  --headless      run without a window: perform one autopilot run and print\n"
         "                  every received line to the console\n"
         "  --stay          with --headless: follow the schedule until terminated\n"
         "  --mailbox       open only the mailbox window (read, search, write mail);\n"
         "                  no port is opened, so it runs beside a --headless service\n"
         "  --message N     with --mailbox: show message number N\n"
         "  --automation, --embedding\n"
         "                  start with no window and serve the automation interface\n"
         "  -h, --help      show this help\n"
         "  -v, --version   show the version\n"
         "\n"
         "The manual page nami(1) tells more.\n";
}

}  // namespace nami
