// Makes the TLS and SSH transports for a host, their trust files in `configFolder` (the
// folder of the settings file). Plain TCP is not made here: nullptr.
#pragma once

#include "session/Transport.h"

#include <memory>
#include <string>

std::unique_ptr<TTransport> MakeSecureTransport(THostTransport kind, const std::string &configFolder);

// The trust files in a config folder (inline: the program names them without the module
// that holds the transports).
inline std::string KnownHostsFile(const std::string &configFolder)
{
    return configFolder + "/known_hosts";
}
inline std::string KnownCertsFile(const std::string &configFolder)
{
    return configFolder + "/known_certs";
}
