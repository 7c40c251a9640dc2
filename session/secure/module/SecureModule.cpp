// The module the program opens on its first TLS or SSH connection (session/qt/
// TransportFactory.cpp): libssh and OpenSSL are loaded with it, not at every start.
#include "session/secure/SecureTransports.h"

extern "C" __attribute__((visibility("default"))) TTransport *WmMakeSecureTransport(int kind,
                                                                                    const char *configFolder)
{
    return MakeSecureTransport(static_cast<THostTransport>(kind), configFolder).release();
}
