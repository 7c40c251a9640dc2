// The same stream delivered whole, byte by byte and split at every position must give
// the same screen and the same bytes sent: the engine and the terminal keep their
// state between reads.

#include "protocol/Telnet.h"
#include "terminal/ColorTTY.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Outcome
{
    std::vector<uint8_t> Chars, Attrs;
    int CursorX = 0, CursorY = 0;
    TColourAttr Attr = 0;
    std::string Sent; // every socket write, each followed by '|'
    bool operator==(const Outcome &) const = default;
};

class Pipeline
{
public:
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
            Sent.append(reinterpret_cast<const char *>(Buf), static_cast<size_t>(Count));
            Sent += '|';
        };
    }

    void Read(const std::string &Bytes, size_t From, size_t Count)
    {
        std::vector<uint8_t> Buf(Bytes.begin() + static_cast<long>(From),
                                 Bytes.begin() + static_cast<long>(From + Count));
        Buf.push_back(0);
        Engine.ProcessInput(Buf.data(), static_cast<uint16_t>(Count));
    }

    Outcome Result() const
    {
        Outcome o;
        for (int y = 0; y < Tty.Rows; ++y) {
            o.Chars.insert(o.Chars.end(), Tty.RowChars(y), Tty.RowChars(y) + Tty.Cols);
            o.Attrs.insert(o.Attrs.end(), Tty.RowAttrs(y), Tty.RowAttrs(y) + Tty.Cols);
        }
        o.CursorX = Tty.CursorX;
        o.CursorY = Tty.CursorY;
        o.Attr = Tty.Attr;
        o.Sent = Sent;
        return o;
    }

    TColorTTY Tty;
    TTelnetStateMachine Engine;
    std::string Sent;
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
    const Outcome Expected = Whole.Result();
    // The stream does reach the screen and the connection.
    EXPECT_NE(Expected.Sent.find("\xFF\xFB\x18|"), std::string::npos);
    EXPECT_NE(Expected.Sent.find("\xFF\xFA\x18\x00"
                                 "ansi\xFF\xF0|",
                                 0, 11),
              std::string::npos);

    Pipeline Bytes;
    for (size_t i = 0; i < s.size(); ++i)
        Bytes.Read(s, i, 1);
    EXPECT_TRUE(Bytes.Result() == Expected) << "byte by byte";

    for (size_t Split = 0; Split <= s.size(); ++Split) {
        Pipeline p;
        p.Read(s, 0, Split);
        p.Read(s, Split, s.size() - Split);
        ASSERT_TRUE(p.Result() == Expected) << "split at " << Split;
    }
}

} // namespace
