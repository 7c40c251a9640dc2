// The transports the program offers, one for each way a host can be reached.
#pragma once

#include "session/Transport.h"

#include <string>

// TCP, TLS and SSH; the trust files of TLS and SSH live in configFolder (the settings
// file's folder).
TTransportFactory ProgramTransports(const std::string &configFolder);
