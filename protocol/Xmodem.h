#pragma once
// Following an XMODEM or YMODEM sender: blocks of 128 (SOH) or 1024 (STX) bytes with
// their numbers and check bytes, EOT after each file, and YMODEM's block 0 that names
// the file (renamed when asked, its check bytes made again) or, empty, ends the batch.

#include "protocol/SenderStream.h"

#include <string>

class TXmodemFollower : public TSenderStream
{
public:
    TXmodemFollower(TEmit pass, TRename rename, bool ymodem);
    size_t Feed(const uint8_t *buf, size_t count) override;
    // 'C' asks for CRC-16 check bytes, NAK for the one-byte sum.
    void FromReceiver(const uint8_t *buf, size_t count) override;

private:
    void BlockDone();
    void HeaderBlock(std::string &data);

    bool FYmodem;
    bool FCrc = true;
    bool FStarted = false; // a block came: the receiver's choice is made
    bool FWantHeader;      // YMODEM: the next block 0 names a file
    uint8_t FNext = 1;     // the number of the next new data block
    size_t FNeed = 0;      // bytes of the block under way; 0 between blocks
    std::string FBlock;
};
