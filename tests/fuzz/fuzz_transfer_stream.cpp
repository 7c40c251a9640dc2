// A file-transfer sender's stream from a hostile BBS through the ZMODEM scanner or the
// X/YMODEM follower, in random splits, and through the offer spotter as terminal text.
// Without renaming, what passes on must be exactly what came in.

#include "protocol/Xmodem.h"
#include "protocol/Zmodem.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

struct TSink : TZmodemSpotterSink
{
    size_t Seen = 0;
    TSink()
    {
        Show = [this](const uint8_t *t, size_t n) { Seen += n ? t[0] + t[n - 1] : 0; };
        SendOffered = [this](const uint8_t *, size_t n) { Seen += n; };
        ReceiveReady = [this] { ++Seen; };
    }
    TSink(const TSink &) = delete;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size < 2) return 0;
    const uint8_t Flags = Data[0];
    uint8_t Seed = Data[1];
    Data += 2;
    Size -= 2;

    std::string Out;
    auto Pass = [&](const uint8_t *b, size_t n) { Out.append(reinterpret_cast<const char *>(b), n); };
    TSenderStream::TRename Rename = nullptr;
    if (Flags & 4)
        Rename = [](const TFileOffer &o) {
            return o.Name.size() % 2 ? std::string("file-1") : o.Name + o.Name;
        };
    std::unique_ptr<TSenderStream> Stream;
    if (Flags & 3)
        Stream = std::make_unique<TXmodemFollower>(Pass, Rename, (Flags & 3) == 1);
    else
        Stream = std::make_unique<TZmodemScanner>(Pass, Rename);
    if (Flags & 8) {
        const uint8_t receiver = Flags & 16 ? 'C' : 0x15;
        Stream->FromReceiver(&receiver, 1);
    }

    TSink Sink;
    TZmodemSpotter Spotter;
    size_t At = 0, Used = 0;
    while (At < Size) {
        Seed = static_cast<uint8_t>(Seed * 33 + 7);
        const size_t n = Seed % 2 ? 1 + Seed % 7 : 1 + Seed * 37 % 4096;
        const size_t take = n < Size - At ? n : Size - At;
        const size_t used = Stream->Feed(Data + At, take);
        if (used > take || (used < take && !Stream->Over())) __builtin_trap();
        Used += used;
        // As the terminal gets it: NUL-free runs.
        std::string text(reinterpret_cast<const char *>(Data + At), take);
        text = text.substr(0, text.find('\0'));
        Spotter.Scan(reinterpret_cast<const uint8_t *>(text.data()), text.size(), Sink);
        At += take;
    }
    Spotter.Flush(Sink);
    if (!Rename && Out.size() > Used) __builtin_trap();
    // Held bytes are the only difference: the output is a prefix of the input.
    if (!Rename && Out.compare(0, Out.size(), reinterpret_cast<const char *>(Data), Out.size()) != 0)
        __builtin_trap();
    return Stream->Position() < 0 ? 1 : 0;
}
