// Transports driven by their owner, for the replay tool, tests and fuzz targets: the far
// end of the line says when the pipe opens, what arrives and how it ends, and keeps what
// the session sends.
#pragma once

#include "session/Transport.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class TManualLine
{
public:
    // Makes transports on this line; the newest one is the line's.
    TTransportFactory Factory();

    // A transport was opened and has neither ended nor been closed or aborted.
    bool InUse() const { return FListener != nullptr; }
    // The far end's side; each does nothing while no transport is in use.
    void Step(TTransportStep step);
    void Connected();
    void Receive(const uint8_t *data, size_t count);
    void Receive(const std::string &bytes)
    {
        Receive(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    }
    void Close(TCloseKind kind, const std::string &why = {});
    void Fail(const std::string &message);

    // What the session sent; OnSend, when set, takes the bytes instead.
    std::string Sent;
    std::function<void(const uint8_t *data, size_t count)> OnSend;
    // The last endpoint opened, how many transports were opened, and how the last one was
    // let go by the session: 'c' Close, 'a' Abort, 0 neither (it ended by itself).
    TEndpoint Endpoint;
    int Opens = 0;
    char LetGo = 0;

private:
    friend class TManualTransport;
    TTransportListener *FListener = nullptr;
    const void *FCurrent = nullptr; // the transport in use
};
