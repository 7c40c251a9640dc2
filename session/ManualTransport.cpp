#include "session/ManualTransport.h"

#include <memory>

class TManualTransport : public TTransport
{
public:
    explicit TManualTransport(TManualLine &line) : FLine(line) {}
    ~TManualTransport() override { Release(0); }
    void Open(const TEndpoint &endpoint, TTransportListener &listener) override
    {
        FLine.Endpoint = endpoint;
        FLine.FListener = &listener;
        FLine.FCurrent = this;
        FLine.LetGo = 0;
        ++FLine.Opens;
    }
    void Send(const uint8_t *data, size_t count) override
    {
        if (FLine.FCurrent != this || !FLine.FListener) return;
        if (FLine.OnSend)
            FLine.OnSend(data, count);
        else
            FLine.Sent.append(reinterpret_cast<const char *>(data), count);
    }
    void Close() override { Release('c'); }
    void Abort() override { Release('a'); }

private:
    void Release(char how)
    {
        if (FLine.FCurrent != this) return;
        if (how && FLine.FListener) FLine.LetGo = how;
        FLine.FListener = nullptr;
        FLine.FCurrent = nullptr;
    }
    TManualLine &FLine;
};

TTransportFactory TManualLine::Factory()
{
    return [this](THostTransport) { return std::make_unique<TManualTransport>(*this); };
}

void TManualLine::Step(TTransportStep step)
{
    if (FListener) FListener->TransportStep(step);
}

void TManualLine::Connected()
{
    if (FListener) FListener->TransportConnected();
}

void TManualLine::Receive(const uint8_t *data, size_t count)
{
    if (FListener) FListener->TransportReceived(data, count);
}

void TManualLine::Close(TCloseKind kind, const std::string &why)
{
    TTransportListener *listener = FListener;
    FListener = nullptr;
    if (listener) listener->TransportClosed(kind, why);
}

void TManualLine::Fail(const std::string &message)
{
    TTransportListener *listener = FListener;
    FListener = nullptr;
    if (listener) listener->TransportFailed(message);
}
