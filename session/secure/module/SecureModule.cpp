// The module the program opens on its first TLS or SSH connection (session/qt/
// TransportFactory.cpp): libssh and OpenSSL are loaded with it, not at every start.
#include "session/qt/TransportFactory.h"
#include "session/secure/HostProbe.h"
#include "session/secure/SecureTransports.h"

namespace {

class TModuleHostChecks : public THostChecks
{
public:
    explicit TModuleHostChecks(THostProber::TDone done) : FProber(std::move(done)) {}
    void Start(std::vector<TProbeTarget> targets) override { FProber.Start(std::move(targets)); }

private:
    THostProber FProber;
};

} // namespace

extern "C" __attribute__((visibility("default"))) TTransport *WmMakeSecureTransport(int kind,
                                                                                    const char *configFolder)
{
    return MakeSecureTransport(static_cast<THostTransport>(kind), configFolder).release();
}

extern "C" __attribute__((visibility("default"))) THostChecks *
WmMakeHostChecks(const THostProber::TDone *done)
{
    return new TModuleHostChecks(*done);
}
