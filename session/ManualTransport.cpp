#include "session/ManualTransport.h"

#include <memory>

class TManualTransport : public TTransport
{
public:
    explicit TManualTransport(TManualLine &line) : Line(line) {}
    ~TManualTransport() override { Release(0); }
    void Open(const TEndpoint &endpoint, TTransportListener &listener) override
    {
        Line.Endpoint = endpoint;
        Line.FListener = &listener;
        Line.FCurrent = this;
        Line.LetGo = 0;
        ++Line.Opens;
    }
    void Send(const uint8_t *data, size_t count) override
    {
        if (Line.FCurrent != this || !Line.FListener) return;
        if (Line.OnSend)
            Line.OnSend(data, count);
        else
            Line.Sent.append(reinterpret_cast<const char *>(data), count);
    }
    void Close() override { Release('c'); }
    void Abort() override { Release('a'); }

private:
    void Release(char how)
    {
        if (Line.FCurrent != this) return;
        if (how && Line.FListener) Line.LetGo = how;
        Line.FListener = nullptr;
        Line.FCurrent = nullptr;
    }
    TManualLine &Line;
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
