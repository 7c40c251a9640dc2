// The same stream delivered whole, byte by byte and split at every position must give
// the same screen and the same bytes sent: the engine and the terminal keep their
// state between reads.

#include "protocol/Telnet.h"
#include "terminal/ColorTTY.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The engine into a 40 x 10 terminal with a short scrollback; the outcome is every cell
// with its attribute, the cursor, the current attribute and every socket write.
struct Pipeline
{
    TColorTTY Tty;
    TTelnetStateMachine Engine;
    std::string Sent;

    Pipeline()
    {
        Tty.SetBufferSize(100, 40);
        Tty.SetVisibleSize(40, 10);
        Tty.Clear();
        Tty.MoveCursor(0, 90);
        Engine.Cols = 40;
        Engine.Rows = 10;
        Engine.OnTerminalOut = [this](TTelnetStateMachine *, const char *Buf) { Tty.Write(Buf); };
        Engine.OnSocketOut = [this](TTelnetStateMachine *, const uint8_t *Buf, int32_t Count) {
            Sent.append(reinterpret_cast<const char *>(Buf), size_t(Count)) += '|';
        };
    }
    void Read(const std::string &Bytes, size_t From, size_t Count)
    {
        std::string Buf = Bytes.substr(From, Count); // its terminating NUL follows it
        Engine.ProcessInput(reinterpret_cast<uint8_t *>(Buf.data()), static_cast<uint16_t>(Count));
    }
    std::string Outcome() const
    {
        std::string o = Sent;
        for (int y = 0; y < Tty.Rows; ++y) {
            o.append(reinterpret_cast<const char *>(Tty.RowChars(y)), size_t(Tty.Cols));
            o.append(reinterpret_cast<const char *>(Tty.RowAttrs(y)), size_t(Tty.Cols));
        }
        return o + std::to_string(Tty.CursorX) + "," + std::to_string(Tty.CursorY) + "," +
               std::to_string(Tty.Attr);
    }
};

// A session start as a BBS sends it: negotiation, colours in both notations, cursor
// addressing, NULs, commands between text, a long line that wraps. No line is exactly
// as wide as the screen and then ended by a control byte: where such a line ends
// depends on whether its CR LF came in the same write, by the terminal's design.
std::string SessionStream()
{
    std::string s;
    s += "\xFF\xFD\x18\xFF\xFD\x1F\xFF\xFB\x01\xFF\xFD\x03\xFF\xFD\x27";
    s += "\x1b[2J\x1b[H\x1b[1;33mWelcome\x1b[0m to \x01"
         "cthe \x01"
         "fBBS\x01"
         "a!\r\n";
    s += std::string("\xFF\xFA\x18\x01\xFF\xF0", 6);
    s += "Line with a NUL";
    s += std::string(1, '\0');
    s += "inside\r\n";
    s += "IAC commands: a\xFF\xF1"
         "b\xFF\xF6"
         "c\xFF\xFF"
         "xd\r\n";
    s += std::string(95, 'w') + "\r\n";
    s += "\x1b[5;10HThere\x1b[K\x1b"
         "Y\x22\x25"
         "vt52\x1b[s\x1b[1A\x1b[u\tTab\x08\x08X\r\n";
    s += "\xFF\xFA\x05\x01\xFF\xF0\xFF\xFD\x05\xFF\xFA\x05\x01\xFF\xF0";
    s += "\x1b[7m\x01"
         "Rinverse\x1b[31;44m\x01"
         "e blink\x1b[m\r\n";
    s += "\xFF\xFE\x01\xFF\xFC\x01\xFF\xFE\x1F";
    for (int i = 0; i < 12; ++i)
        s += "scroll " + std::to_string(i) + "\r\n";
    s += "\x01";
    s += "gend\x1b[";
    return s;
}

TEST(TelnetSplit, WholeByteByByteAndEverySplitAgree)
{
    const std::string s = SessionStream();
    Pipeline Whole;
    Whole.Read(s, 0, s.size());
    const std::string Expected = Whole.Outcome();
    // The stream does reach the connection.
    EXPECT_EQ(Whole.Sent.substr(0, 14),
              std::string("\xFF\xFB\x18|\xFF\xFB\x1F|\xFF\xFA\x1F\x00\x28\x00", 14));

    Pipeline Bytes;
    for (size_t i = 0; i < s.size(); ++i)
        Bytes.Read(s, i, 1);
    EXPECT_EQ(Bytes.Outcome(), Expected) << "byte by byte";

    for (size_t Split = 0; Split <= s.size(); ++Split) {
        Pipeline p;
        p.Read(s, 0, Split);
        p.Read(s, Split, s.size() - Split);
        ASSERT_EQ(p.Outcome(), Expected) << "split at " << Split;
    }
}

} // namespace
