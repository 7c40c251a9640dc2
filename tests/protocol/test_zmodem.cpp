#include "protocol/Zmodem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records what the spotter does: shown text, "<offer:REST>", "<ready>".
struct Sink : TZmodemSpotterSink
{
    std::string Log;
    void Show(const uint8_t *t, size_t n) override { Log.append(reinterpret_cast<const char *>(t), n); }
    void SendOffered(const uint8_t *rest, size_t n) override
    {
        Log += "<offer:" + std::string(reinterpret_cast<const char *>(rest), n) + ">";
    }
    void ReceiveReady() override { Log += "<ready>"; }
};

TEST(ZmodemSpotter, FindsHeadersWhereverTheReadsSplitThem)
{
    const struct
    {
        std::string Text, Log;
    } Cases[] = {
        {"rz\r**\x18" "B00000000000000\r\x8a\x11", "rz\r<offer:000000000000\r\x8a\x11>"},
        {"Go!*\x18" "B0000", "Go!<offer:00>"},
        {"a**\x18" "B0100000023be50\r\x8a\x11" "b", "a<ready>b"},
        {"**\x18" "B08 x", "**\x18" "B08 x"},       // another header is text
        {"2**3 * 4\x18" "B", "2**3 * 4\x18" "B"}, // so are stars and CANs by themselves
        {"***\x18" "C", "***\x18" "C"},
    };
    for (const auto &c : Cases)
        for (size_t split = 0; split <= c.Text.size(); ++split) {
            Sink s;
            TZmodemSpotter spotter;
            const auto *t = reinterpret_cast<const uint8_t *>(c.Text.data());
            spotter.Scan(t, split, s);
            if (s.Log.find("<offer") == std::string::npos) spotter.Scan(t + split, c.Text.size() - split, s);
            spotter.Flush(s);
            // Stars before a split ahead of the CAN are shown already; an offer made in
            // the first read gets only that read's rest.
            std::string Want = c.Log;
            const size_t can = c.Text.find('\x18'), at = c.Text.find("B0");
            const size_t star = c.Text.find('*'), hidden = c.Log.find('<');
            if (hidden != std::string::npos && split > star && split <= can)
                Want.insert(hidden, c.Text.substr(star, split - star));
            if (c.Log.find("<offer") != std::string::npos && split >= at + 3)
                Want = c.Log.substr(0, hidden) + "<offer:" + c.Text.substr(at + 3, split - at - 3) + ">";
            EXPECT_EQ(s.Log, Want) << c.Text << " split at " << split;
        }
}

} // namespace
