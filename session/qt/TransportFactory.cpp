#include "session/qt/TransportFactory.h"

#include "session/qt/TcpTransport.h"

TTransportFactory ProgramTransports()
{
    return [](THostTransport kind) -> std::unique_ptr<TTransport> {
        switch (kind) {
        case THostTransport::Tcp:
            return std::make_unique<TTcpTransport>();
        case THostTransport::Tls:
        case THostTransport::Ssh:
            break;
        }
        return nullptr;
    };
}
