// nami: start-up. Reads the command line, picks the settings file and the
// port, then runs the window, the window-less automation server or the
// headless runner; returns the exit status.
#pragma once

namespace nami {

int RunProgram(int argc, char** argv);

}  // namespace nami
