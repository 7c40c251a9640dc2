#include "session/qt/TransportFactory.h"

#include "session/qt/TcpTransport.h"
#include "session/secure/SecureTransports.h"

TTransportFactory ProgramTransports(const std::string &configFolder)
{
    return [configFolder](THostTransport kind) -> std::unique_ptr<TTransport> {
        if (kind == THostTransport::Tcp) return std::make_unique<TTcpTransport>();
        return MakeSecureTransport(kind, configFolder);
    };
}
