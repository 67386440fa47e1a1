// The nami program: everything it does is in the app library.
#include "app/Program.h"

int main(int argc, char** argv) { return nami::RunProgram(argc, argv); }
