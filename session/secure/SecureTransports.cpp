#include "session/secure/SecureTransports.h"

#include "session/secure/SshTransport.h"
#include "session/secure/TlsTransport.h"

std::unique_ptr<TTransport> MakeSecureTransport(THostTransport kind, const std::string &configFolder)
{
    switch (kind) {
    case THostTransport::Tls:
        return std::make_unique<TTlsTransport>(KnownCertsFile(configFolder));
    case THostTransport::Ssh:
        return std::make_unique<TSshTransport>(KnownHostsFile(configFolder));
    case THostTransport::Tcp:
        break;
    }
    return nullptr;
}
