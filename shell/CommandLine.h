// The two options every GNU program answers, handled before anything else starts, so
// they need neither a display nor the settings file.
#pragma once

#include <cstdio>

// Prints the help or the version when the arguments ask for one and returns the exit
// status; returns -1 when the program is to start normally.
int HandleInfoOptions(int argc, const char *const *argv, std::FILE *out = stdout);
