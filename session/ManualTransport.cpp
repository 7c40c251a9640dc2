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
        Line.Listener = &listener;
        Line.Current = this;
        Line.LetGo = 0;
        ++Line.Opens;
    }
    void Send(const uint8_t *data, size_t count) override
    {
        if (Line.Current != this || !Line.Listener) return;
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
        if (Line.Current != this) return;
        if (how && Line.Listener) Line.LetGo = how;
        Line.Listener = nullptr;
        Line.Current = nullptr;
    }
    TManualLine &Line;
};

TTransportFactory TManualLine::Factory()
{
    return [this](THostTransport) { return std::make_unique<TManualTransport>(*this); };
}

void TManualLine::Step(TTransportStep step)
{
    if (Listener) Listener->TransportStep(step);
}

void TManualLine::Connected()
{
    if (Listener) Listener->TransportConnected();
}

void TManualLine::Receive(const uint8_t *data, size_t count)
{
    if (Listener) Listener->TransportReceived(data, count);
}

void TManualLine::Close(TCloseKind kind, const std::string &why)
{
    TTransportListener *listener = Listener;
    Listener = nullptr;
    if (listener) listener->TransportClosed(kind, why);
}

void TManualLine::Fail(const std::string &message)
{
    TTransportListener *listener = Listener;
    Listener = nullptr;
    if (listener) listener->TransportFailed(message);
}
