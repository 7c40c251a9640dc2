#include "protocol/Xmodem.h"

#include "protocol/Zmodem.h"

#include <algorithm>
#include <charconv>

namespace {
constexpr uint8_t SOH = 0x01, STX = 0x02, EOT = 0x04, NAK = 0x15;
}

TXmodemFollower::TXmodemFollower(TEmit pass, TRename rename, bool ymodem)
    : TSenderStream(std::move(pass), std::move(rename)), FYmodem(ymodem), FWantHeader(ymodem)
{
}

void TXmodemFollower::FromReceiver(const uint8_t *buf, size_t count)
{
    for (size_t i = 0; i < count && !FStarted; ++i)
        if (buf[i] == 'C' || buf[i] == NAK) FCrc = buf[i] == 'C';
}

size_t TXmodemFollower::Feed(const uint8_t *buf, size_t count)
{
    if (FOver) return 0;
    size_t i = 0, from = 0; // bytes before `from` are passed on or in the block
    while (i < count) {
        if (FNeed == 0) {
            const uint8_t c = buf[i++];
            if (c == SOH || c == STX) {
                Pass(buf + from, i - 1 - from);
                from = i;
                FStarted = true;
                FNeed = 3 + (c == SOH ? 128 : 1024) + (FCrc ? 2 : 1);
                FBlock.assign(1, static_cast<char>(c));
            } else if (c == EOT && FOffers > 0 && FOffer.Size >= 0) {
                FPosition = FOffer.Size;
                FWantHeader = FYmodem;
            } else if (c == EOT) {
                FWantHeader = FYmodem;
            }
            continue;
        }
        const size_t take = std::min(FNeed - FBlock.size(), count - i);
        FBlock.append(reinterpret_cast<const char *>(buf + i), take);
        i += take;
        from = i;
        if (FBlock.size() == FNeed) {
            BlockDone();
            FNeed = 0;
            if (FOver) return i; // what follows the batch's end is not the transfer's
        }
    }
    if (FNeed == 0) Pass(buf + from, count - from);
    return count;
}

void TXmodemFollower::BlockDone()
{
    const auto number = static_cast<uint8_t>(FBlock[1]);
    const bool valid = static_cast<uint8_t>(number + static_cast<uint8_t>(FBlock[2])) == 0xFF;
    const size_t size = FBlock.size() - 3 - (FCrc ? 2 : 1);
    if (valid && number == 0 && FWantHeader) {
        std::string data = FBlock.substr(3, size);
        HeaderBlock(data);
        if (data.size() == size) { // renamed: the block again with its new check bytes
            const auto *d = reinterpret_cast<const uint8_t *>(data.data());
            FBlock.replace(3, size, data);
            FBlock.resize(3 + size);
            if (FCrc) {
                const uint16_t crc = zmodem::Crc16(0, d, size);
                FBlock += static_cast<char>(crc >> 8);
                FBlock += static_cast<char>(crc);
            } else {
                uint8_t sum = 0;
                for (size_t k = 0; k < size; ++k)
                    sum = static_cast<uint8_t>(sum + d[k]);
                FBlock += static_cast<char>(sum);
            }
        }
    } else if (valid && number == FNext) {
        if (FOffers == 0) ++FOffers; // XMODEM: one file, never named
        FWantHeader = false;
        FNext = static_cast<uint8_t>(FNext + 1);
        FPosition += static_cast<int64_t>(size);
        if (FOffer.Size >= 0 && FPosition > FOffer.Size) FPosition = FOffer.Size;
    }
    Pass(reinterpret_cast<const uint8_t *>(FBlock.data()), FBlock.size());
    FBlock.clear();
}

// Block 0: the name, a NUL, then "size mtime mode ..."; all NUL ends the batch. Data is
// left as it is unless the name is given another.
void TXmodemFollower::HeaderBlock(std::string &data)
{
    const size_t nul = data.find('\0');
    if (nul == 0 || nul == std::string::npos) {
        FOver = nul == 0;
        data.clear();
        return;
    }
    TFileOffer offer;
    offer.Name = data.substr(0, nul);
    const size_t end = data.find('\0', nul + 1);
    const std::string info =
        data.substr(nul + 1, end == std::string::npos ? std::string::npos : end - nul - 1);
    std::from_chars(info.data(), info.data() + info.size(), offer.Size);
    ++FOffers;
    FOffer = offer;
    FPosition = 0;
    FNext = 1;
    if (!FRename) {
        data.clear();
        return;
    }
    // Size and time stay; the sender's file mode does not.
    const size_t blank = info.find(' ');
    const size_t second = blank == std::string::npos ? blank : info.find(' ', blank + 1);
    std::string block = FRename(offer) + '\0' + info.substr(0, second) + '\0';
    if (block.size() > data.size()) {
        data.clear(); // no room: it goes as it came
        return;
    }
    block.resize(data.size(), '\0');
    data = block;
}
