// "nami mail ...": the mailbox on the command line, for headless users and
// scripts. No Qt: the nami command answers it before any Qt library is
// loaded (src/app/NamiCommand.cpp), so a script's search takes milliseconds.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace nami::mailbox {

struct SMailCliEnv {
  std::string demoIniPath;  // the settings file --demo uses
  std::FILE* in = stdin;    // compose reads the body here
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

// Runs one mail command; the process's exit status (0 done, 1 failed,
// 2 the arguments were not understood).
int RunMailCommand(const std::vector<std::string>& args, const SMailCliEnv& env);
const char* MailCommandHelp();

// The whole "nami mail" process: the locale, --demo's settings file and
// folder, then RunMailCommand on the standard streams. `args` are the
// arguments after "mail".
int RunMailProgram(const std::vector<std::string>& args);

// UTF-8 text in the locale's encoding (unchanged in a UTF-8 locale;
// characters the locale cannot show become "?").
std::string ToLocale(const std::string& utf8);

}  // namespace nami::mailbox
