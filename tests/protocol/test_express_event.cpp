// The engine's express-message event: accepted messages only, with author and text.
#include "tests/protocol/ClientHarness.h"

#include <gtest/gtest.h>

namespace {

std::string Header(const std::string &name)
{
    return "\r\n*** Message from \x01n" + name + "\x01N at 12:00 ***\r\n";
}

TEST(CLientExpressEvent, AcceptedMessagesOnlyWithTheirText)
{
    TClientRig r;
    r.Filter.ExpressFilter = 1;
    r.Filter.Enemies.Add("bob");
    std::vector<std::pair<std::string, std::string>> got;
    r.Engine.OnExpressMessage = [&](const std::string &a, const std::string &t) { got.emplace_back(a, t); };
    const std::string screenBefore = [&] {
        TClientRig plain;
        plain.Recv(B({0xFF, 0xA7}) + Header("ann") + "hi there\r\nline 2" + B({0xFF, 0xA8}));
        return plain.TakeScreen();
    }();
    // Split reads, a killed message, a post and a message cut short by a reset.
    r.Recv(B({0xFF, 0xA7}) + Header("ann") + "hi th");
    r.Recv("ere\r\nline 2" + B({0xFF, 0xA8}));
    EXPECT_EQ(r.TakeScreen(), screenBefore); // the terminal sees the same bytes as without a listener
    r.Recv(B({0xFF, 0xA7}) + Header("bob") + "go away" + B({0xFF, 0xA8}));
    r.Recv(B({0xFF, 0xA9}) + Header("carol") + "a post" + B({0xFF, 0xAA}));
    r.Recv(B({0xFF, 0xA7}) + Header("dan") + "lost");
    r.Reset();
    r.Recv(B({0xFF, 0xA8}) + B({0xFF, 0xA7}) + "*** an unsigned notice ***\nx" + B({0xFF, 0xA8}));
    // The header line ends at its CR; the LF after it is the first byte of the text.
    const std::vector<std::pair<std::string, std::string>> want = {{"ann", "\nhi there\r\nline 2"},
                                                                   {"", "x"}};
    EXPECT_EQ(got, want);
}

} // namespace
