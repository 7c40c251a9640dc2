// The transports the program offers, one for each way a host can be reached.
#pragma once

#include "session/Transport.h"

// TCP; a kind without a transport here makes nothing (the session reports it).
TTransportFactory ProgramTransports();
