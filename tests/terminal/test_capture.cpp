// Session capture in both forms.
#include "terminal/SessionCapture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct MemorySink : TCaptureSink
{
    std::string *Out;
    size_t Room;
    MemorySink(std::string *out, size_t room) : Out(out), Room(room) {}
    bool Write(const char *d, size_t n) override
    {
        if (n > Room) return false;
        Room -= n;
        Out->append(d, n);
        return true;
    }
    std::string Error() const override { return "No space left on device"; }
};

TEST(SessionCapture, PlainTextDropsCodesAndEscapesRawKeepsEveryByte)
{
    const std::string pieces[] = {"\x01rRed\x01"
                                  "a \x1b[1;31mbold\x1b[0m\r\n",
                                  "\x1bY!!x\x1bK", "ab\x08 \x08z\t\xc9\xcd\r\n", "\a\x01", "gpartial"};
    std::string plain, raw;
    TSessionCapture p(std::make_unique<MemorySink>(&plain, 1000), cfPlainText);
    TSessionCapture r(std::make_unique<MemorySink>(&raw, 1000), cfRaw);
    std::string received;
    for (const std::string &s : pieces) {
        received += s;
        EXPECT_TRUE(p.Text(s.c_str()) && r.Text(s.c_str()));
        EXPECT_TRUE(p.Received(reinterpret_cast<const uint8_t *>(s.data()), s.size()) &&
                    r.Received(reinterpret_cast<const uint8_t *>(s.data()), s.size()));
    }
    EXPECT_TRUE(p.Finish() && r.Finish());
    EXPECT_EQ(plain, "Red bold\nxaz\t\u2554\u2550\npartial");
    EXPECT_EQ(raw, received);
}

TEST(SessionCapture, AFullDiskStopsWritingAndSaysWhy)
{
    std::string out;
    TSessionCapture c(std::make_unique<MemorySink>(&out, 8), cfRaw);
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    EXPECT_TRUE(c.Received(data, 5));
    EXPECT_FALSE(c.Received(data, 5));
    EXPECT_FALSE(c.Received(data, 1)); // nothing more after a failure, even what would fit
    EXPECT_EQ(out.size(), 5u);
    EXPECT_FALSE(c.Ok());

    // The real file sink on a device that is always full, and on a closed descriptor.
    if (access("/dev/full", W_OK) == 0) {
        TSessionCapture full(std::make_unique<TFileCaptureSink>("/dev/full"), cfRaw);
        EXPECT_FALSE(full.Received(data, 5));
        EXPECT_EQ(full.Error(), "No space left on device");
    }
    TFileCaptureSink missing("/nonexistent-folder/capture.txt");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.Error().empty());
}

} // namespace
