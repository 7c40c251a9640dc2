// Plain TCP through the socket layer's client socket (net/), with its status steps and
// error texts as they have always read.
#pragma once

#include "session/Transport.h"

class TTcpLink;

class TTcpTransport : public TTransport
{
public:
    TTcpTransport();
    ~TTcpTransport() override;

    void Open(const TEndpoint &endpoint, TTransportListener &listener) override;
    void Send(const uint8_t *data, size_t count) override;
    void SetReceiving(bool on) override;
    void Close() override;
    void Abort() override;

private:
    // Outlives this object while the socket layer may still be inside a call of its own
    // (a lookup waits in a nested event loop).
    TTcpLink *FLink;
};
