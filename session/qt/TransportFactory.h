// The transports the program offers, one for each way a host can be reached.
#pragma once

#include "session/Transport.h"
#include "session/secure/HostProbe.h"

#include <string>

// TCP, TLS and SSH; the trust files of TLS and SSH live in configFolder (the settings
// file's folder).
TTransportFactory ProgramTransports(const std::string &configFolder);

// The Directory's checks of hosts (THostProber), made by the module that holds the TLS and
// SSH code; nullptr when the module cannot be loaded.
class THostChecks
{
public:
    virtual ~THostChecks() = default;
    virtual void Start(std::vector<TProbeTarget> targets) = 0;
};
std::unique_ptr<THostChecks> MakeHostChecks(THostProber::TDone done);
