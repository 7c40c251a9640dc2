// The ANSI-BBS terminal against ansilove, the art scene's reference renderer. Each file of
// tests/tools/ansi/ goes through `winmarlet-replay --raw FILE --emulation ansi --cells`
// and through ansilove, and every cell must look the same drawn with ansilove's own glyphs
// and palette, which come from its rendering of a calibration file made here.
//
// ansilove renders files, it is no terminal: where a live ANSI-BBS terminal shows
// something else, or ansilove lacks a sequence, the file NAME.ans has a NAME.expect.ans
// that draws what the terminal shows with what ansilove gets right (text, CR LF, cursor
// positions, plain colours), and the table says why.
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int CellW = 8, CellH = 16, Cols = 80;

struct TArtCase
{
    const char *File;
    const char *Expect;  // what ansilove draws instead, or null: the file itself
    bool Ice;            // iCE colours: ansilove -i; bit 7 is a bright background
    const char *Answers; // the writes to the connection the file's queries bring
};

const TArtCase Cases[] = {
    {"glyphs", nullptr, false, ""}, // every byte a code page 437 glyph, control bytes too
    {"wrap", nullptr, false, ""},   // a character in the last column wraps at once
    {"colours", nullptr, false, ""},
    {"ice", nullptr, true, ""},
    {"cursor", nullptr, false, ""},
    {"scroll", nullptr, false, ""}, // rows scrolled off the screen stay in the scrollback
    // ansilove moves a tab 8 columns on; a terminal stops every 8 columns, at the last one
    {"tabs", "tabs.expect", false, ""},
    // ansilove draws BS, BEL and FF as glyphs and takes a lone LF to column 0; a terminal
    // moves back, beeps, clears the screen and keeps the column
    {"controls", "controls.expect", false, ""},
    // ansilove lacks CHA, VPA, CNL, CPL, ESC 7 / ESC 8, and wraps ESC[C past the last
    // column, where a terminal stops
    {"moves", "moves.expect", false, ""},
    // ansilove ignores empty parameters and SGR 2, 8, 22, 25, 39, 49, 90-97 and 100-107
    {"sgr", "sgr.expect", true, ""},
    // ansilove erases only the whole page; a DOS terminal erases in the current colours
    {"erase", "erase.expect", false, ""},
    {"edit", "edit.expect", false, ""},     // ICH, DCH, IL, DL: not in ansilove
    {"region", "region.expect", false, ""}, // DECSTBM, SU, SD: not in ansilove
    // ansilove prints parts of private and intermediate sequences
    {"sequences", "sequences.expect", false, ""},
    {"queries", "queries.expect", false,
     "> 1B 5B 31 3B 33 52\n> 1B 5B 30 6E\n> 1B 5B 3F 31 3B 30 63\n> 1B 5B 3F 31 3B 30 63\n"
     "> 1B 5B 32 35 3B 38 30 52\n"},
};

QByteArray RunTool(const QString &Program, const QStringList &Args)
{
    QProcess p;
    p.start(Program, Args);
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << Program.toStdString() << ": " << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

// ansilove's drawing of a file, as 32-bit pixels.
QImage AnsiLove(const QTemporaryDir &Dir, const std::string &File, bool Ice)
{
    const QString Png = Dir.filePath(QStringLiteral("out.png"));
    QStringList Args{QStringLiteral("-q"), QStringLiteral("-o"), Png};
    if (Ice) Args << QStringLiteral("-i");
    RunTool(QStringLiteral("ansilove"), Args << QString::fromStdString(File));
    return QImage(Png).convertToFormat(QImage::Format_RGB32);
}

// ansilove's 16 colours and its glyphs as bit masks (bit x of row y: foreground pixel).
struct TLook
{
    std::array<QRgb, 16> Palette{};
    std::array<std::array<uint8_t, CellH>, 256> Glyph{};
    std::array<bool, 256> Known{};
};

TLook Calibrate(const QTemporaryDir &Dir)
{
    // Every byte but those ansilove acts on, 320 cells (wrapping at 80), then a full block
    // in each of the 16 colours.
    std::string Cal;
    for (int c = 0; c < 256; ++c)
        Cal += std::string("\t\n\r\x1a\x1b").find(char(c)) == std::string::npos ? char(c) : ' ';
    Cal.append(320 - 256, ' ');
    for (int i = 0; i < 16; ++i)
        Cal += "\x1b[" + std::string(i < 8 ? "0" : "1") + ";3" + char('0' + i % 8) + "m\xdb";
    const std::string Path = Dir.filePath(QStringLiteral("cal.ans")).toStdString();
    std::ofstream(Path, std::ios::binary) << Cal;
    const QImage Img = AnsiLove(Dir, Path, false);
    TLook Look;
    for (int i = 0; i < 16; ++i)
        Look.Palette[size_t(i)] = Img.pixel(i * CellW + 4, 4 * CellH + 8);
    for (int c = 0; c < 256; ++c) {
        if (Cal[size_t(c)] != char(c)) continue;
        Look.Known[size_t(c)] = true;
        for (int y = 0; y < CellH; ++y)
            for (int x = 0; x < CellW; ++x)
                if (Img.pixel((c % Cols) * CellW + x, (c / Cols) * CellH + y) == Look.Palette[7])
                    Look.Glyph[size_t(c)][size_t(y)] |= uint8_t(1u << x);
    }
    return Look;
}

// One cell of an image, or of a character and attribute drawn in ansilove's look.
using TCellPixels = std::array<QRgb, CellW * CellH>;

TCellPixels Draw(const TLook &Look, uint8_t Ch, uint8_t Attr, bool Ice)
{
    TCellPixels px{};
    const QRgb Fg = Look.Palette[Attr & 15], Bg = Look.Palette[Ice ? Attr >> 4 : (Attr >> 4) & 7];
    for (int y = 0; y < CellH; ++y)
        for (int x = 0; x < CellW; ++x)
            px[size_t(y * CellW + x)] = Look.Known[Ch] && (Look.Glyph[Ch][size_t(y)] >> x & 1) ? Fg : Bg;
    if (!Look.Known[Ch]) px.fill(qRgb(255, 0, 255)); // a byte no cell should hold
    return px;
}

TCellPixels Cut(const QImage &Img, int Col, int Row)
{
    TCellPixels px{};
    for (int y = 0; y < CellH; ++y)
        for (int x = 0; x < CellW; ++x)
            px[size_t(y * CellW + x)] = Img.pixel(Col * CellW + x, Row * CellH + y);
    return px;
}

using TPicture = std::vector<std::array<TCellPixels, Cols>>;

// Without the blank (all black) rows at either end.
void Trim(TPicture &Rows, QRgb Black)
{
    auto Blank = [Black](const std::array<TCellPixels, Cols> &Row) {
        for (const TCellPixels &c : Row)
            for (QRgb p : c)
                if (p != Black) return false;
        return true;
    };
    while (!Rows.empty() && Blank(Rows.back()))
        Rows.pop_back();
    while (!Rows.empty() && Blank(Rows.front()))
        Rows.erase(Rows.begin());
}

TEST(AnsiLove, EveryFileLooksAsAnsiLoveDrawsIt)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ansilove")).isEmpty())
        GTEST_SKIP() << "ansilove is not installed";
    QTemporaryDir Dir;
    ASSERT_TRUE(Dir.isValid());
    const TLook Look = Calibrate(Dir);
    ASSERT_TRUE(Look.Known['A'] && Look.Glyph['A'] != Look.Glyph[' ']);

    for (const TArtCase &c : Cases) {
        SCOPED_TRACE(c.File);
        const std::string Dir0 = ANSI_DIR "/";
        const QByteArray Out = RunTool(QStringLiteral(REPLAY_BIN),
                                   {QStringLiteral("--raw"), QString::fromStdString(Dir0 + c.File + ".ans"),
                                    QStringLiteral("--emulation"), QStringLiteral("ansi"), QStringLiteral("--cells"),
                                    QStringLiteral("--size"), QStringLiteral("80x25")});
        std::string Answers;
        TPicture Ours;
        for (const QByteArray &Line : Out.split('\n')) {
            if (Line.startsWith('>')) {
                Answers += Line.toStdString() + '\n';
            } else if (Line.size() == Cols * 4 + 1) {
                const QByteArray Chars = QByteArray::fromHex(Line.left(Cols * 2));
                const QByteArray Attrs = QByteArray::fromHex(Line.mid(Cols * 2 + 1));
                Ours.emplace_back();
                for (int x = 0; x < Cols; ++x)
                    Ours.back()[size_t(x)] = Draw(Look, uint8_t(Chars[x]), uint8_t(Attrs[x]), c.Ice);
            } else {
                ASSERT_TRUE(Line.isEmpty()) << "not a row of cells: " << Line.toStdString();
            }
        }
        EXPECT_EQ(Answers, c.Answers);

        const QImage Img = AnsiLove(Dir, Dir0 + (c.Expect ? c.Expect : c.File) + ".ans", c.Ice);
        ASSERT_EQ(Img.width(), Cols * CellW);
        TPicture Theirs(size_t(Img.height() / CellH));
        for (size_t y = 0; y < Theirs.size(); ++y)
            for (int x = 0; x < Cols; ++x)
                Theirs[y][size_t(x)] = Cut(Img, x, int(y));
        Trim(Ours, Look.Palette[0]);
        Trim(Theirs, Look.Palette[0]);

        TCellPixels Black;
        Black.fill(Look.Palette[0]);
        int Differ = 0;
        for (size_t y = 0; y < std::max(Ours.size(), Theirs.size()); ++y)
            for (int x = 0; x < Cols; ++x) {
                const TCellPixels &a = y < Ours.size() ? Ours[y][size_t(x)] : Black;
                const TCellPixels &b = y < Theirs.size() ? Theirs[y][size_t(x)] : Black;
                if (a != b && ++Differ <= 5) ADD_FAILURE() << "cell " << x << ", row " << y << " differs";
            }
        EXPECT_EQ(Differ, 0);
    }
}

} // namespace
