// The nami command. "nami mail ..." is answered here, with no Qt library
// loaded: loading Qt alone takes longer than a search of the mailbox, and
// scripts call "nami mail" often. Everything else is the Qt program
// (lib/nami/nami beside the bin folder), which this process becomes: the
// same process id, arguments and environment, so systemd, D-Bus activation
// and the desktop see no difference.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mailbox/MailCli.h"

namespace {

// The folder of this executable, from /proc (argv[0] may be a bare name).
std::string OwnFolder() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  const std::string self(buf, static_cast<std::size_t>(n));
  const auto slash = self.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : self.substr(0, slash);
}

// Installed: <prefix>/bin/nami and <prefix>/lib/nami/nami. In the build
// tree: build/nami and build/lib/nami/nami.
std::string QtProgram() {
  const std::string folder = OwnFolder();
  for (const char* relative : {"/../lib/nami/nami", "/lib/nami/nami"}) {
    const std::string path = folder + relative;
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return folder + "/../lib/nami/nami";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "mail") == 0)
    return nami::mailbox::RunMailProgram(std::vector<std::string>(argv + 2, argv + argc));
  const std::string program = QtProgram();
  ::execv(program.c_str(), argv);
  std::fprintf(stderr, "nami: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
  return 127;
}
