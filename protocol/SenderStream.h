// Following the sender's side of a file transfer run by a helper tool: which file, how
// far, and whether it is over, while the bytes pass on to the other side (with offered
// file names rewritten where the receiver wants that).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

// A file as a sender offers it.
struct TFileOffer
{
    std::string Name;
    int64_t Size = -1;      // -1: not given
    int64_t ModTime = 0;    // seconds since 1970, 0: not given
    int32_t FilesLeft = -1; // this one included; -1: not given
    int64_t BytesLeft = -1;
};

class TSenderStream
{
public:
    using TEmit = std::function<void(const uint8_t *buf, size_t count)>;
    // The name to pass on for an offered file.
    using TRename = std::function<std::string(const TFileOffer &offer)>;

    TSenderStream(TEmit pass, TRename rename) : FEmit(std::move(pass)), FRename(std::move(rename)) {}
    virtual ~TSenderStream() = default;

    // Bytes from the sender, passed on through Emit. Returns how many belonged to the
    // transfer: all of them until it is over, then what came before its end.
    virtual size_t Feed(const uint8_t *buf, size_t count) = 0;
    // Bytes from the receiver, for protocols whose framing it chooses.
    virtual void FromReceiver(const uint8_t *buf, size_t count)
    {
        (void)buf;
        (void)count;
    }

    // Files offered so far (an offer repeated before any of its data counts once).
    int Offers() const { return FOffers; }
    const TFileOffer &Offer() const { return FOffer; }
    // Bytes of the current file the sender has sent.
    int64_t Position() const { return FPosition; }
    // The sender said the session is over.
    bool Over() const { return FOver; }
    // The sender ended the session and waits for the receiver's last word.
    bool Ending() const { return FEnding; }

protected:
    void Pass(const uint8_t *buf, size_t count)
    {
        if (count > 0) FEmit(buf, count);
    }

    TEmit FEmit;
    TRename FRename;
    int FOffers = 0;
    TFileOffer FOffer;
    int64_t FPosition = 0;
    bool FOver = false;
    bool FEnding = false;
};
