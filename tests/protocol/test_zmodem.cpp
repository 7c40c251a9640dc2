#include "protocol/Zmodem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records what the spotter does: shown text, "<offer:REST>", "<ready>".
struct Sink : TZmodemSpotterSink
{
    std::string Log;
    Sink()
    {
        Show = [this](const uint8_t *t, size_t n) { Log.append(reinterpret_cast<const char *>(t), n); };
        SendOffered = [this](const uint8_t *rest, size_t n) {
            Log += "<offer:" + std::string(reinterpret_cast<const char *>(rest), n) + ">";
        };
        ReceiveReady = [this] { Log += "<ready>"; };
    }
    Sink(const Sink &) = delete;
};

TEST(ZmodemSpotter, FindsHeadersWhereverTheReadsSplitThem)
{
    const struct
    {
        std::string Text, Log;
    } Cases[] = {
        {"rz\r**\030B00000000000000\r\x8a\x11", "rz\r<offer:000000000000\r\x8a\x11>"},
        {"Go!*\030B0000", "Go!<offer:00>"},
        {"a**\030B0100000023be50\r\x8a\021b", "a<ready>b"},
        {"**\030B08 x", "**\030B08 x"},     // another header is text
        {"2**3 * 4\030B", "2**3 * 4\030B"}, // so are stars and CANs by themselves
        {"***\030C", "***\030C"},
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

// The sender's last header, then its "OO" or (lost behind a pty) the BBS's next screen at once:
// the transfer ends where the BBS's text begins, in whatever read it comes.
TEST(ZmodemScanner, EndsAtTheByeOrWhereTheBoardSpeaksAgain)
{
    const std::string Fin = "**\030B0800000000022d\r\x8a";
    const struct
    {
        std::string After;
        size_t Taken; // of After
        bool Over;
    } Cases[] = {{"OO\x1b[2J", 2, true}, {"\x1b[2J", 0, true}, {"O\x1b[2J", 1, true}, {"", 0, false}};
    for (const auto &c : Cases) {
        std::string passed;
        TZmodemScanner scanner(
            [&](const uint8_t *b, size_t n) { passed.append(reinterpret_cast<const char *>(b), n); });
        const std::string all = Fin + c.After;
        const size_t taken = scanner.Feed(reinterpret_cast<const uint8_t *>(all.data()), all.size());
        EXPECT_EQ(taken, Fin.size() + c.Taken) << c.After;
        EXPECT_EQ(passed, all.substr(0, taken)) << c.After;
        EXPECT_EQ(scanner.Over(), c.Over) << c.After;
    }
}

} // namespace
