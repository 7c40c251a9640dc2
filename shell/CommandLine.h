// The options that answer and end without a window, handled before anything else starts,
// so they need no display: --help and --version (as every GNU program has them), and the
// settings file's location and adding a host to it (for scripts such as scripts/run).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Carries out the option the arguments ask for and returns the exit status; returns -1
// when the program is to start normally. The settings options take the running program's
// settings file.
int HandleInfoOptions(int argc, const char *const *argv, std::FILE *out = stdout, std::FILE *err = stderr);

// --add-host's work on a given settings file: ARGS are NAME ADDRESS PORT MODE [LOGIN
// PASSWORD]. A host that is set up already is left as it is.
// --import-hosts's work on a given settings file: ARGS are FILE [--with-passwords]. Prints
// one line per entry; non-zero when FILE could not be read or the settings not written.
int ImportHostsTo(const std::string &file, const std::vector<std::string> &args, std::FILE *out,
                  std::FILE *err);

int AddHostTo(const std::string &file, const std::vector<std::string> &args, std::FILE *out, std::FILE *err);
