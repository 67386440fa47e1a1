// libFuzzer target: the NAMI.INI reader and writer on random files.
#include <cstdio>
#include <cstdlib>

#include "FuzzBodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = nami::fuzz::CheckIni(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
