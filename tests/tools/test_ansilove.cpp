// The ANSI-BBS terminal against ansilove, the art scene's reference renderer. Each file of
// tests/tools/ansi/ goes through `winmarlet-replay --raw FILE --emulation ansi --cells`
// and through ansilove, and every cell must look the same drawn with ansilove's own glyphs
// and palette, which come from its rendering of a calibration file made here.
//
// ansilove renders files, it is no terminal: where a live ANSI-BBS terminal shows
// something else, or ansilove lacks a sequence, the file NAME.ans has a NAME.expect.ans
// that draws what the terminal shows with what ansilove gets right (text, CR LF, cursor
// positions, plain colours), and the table says why. The art viewer's drawing of the files
// (`winmarlet-replay --view-art FILE --cells`) goes through the same comparison.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <string>

namespace {

constexpr int CellW = 8, CellH = 16, Cols = 80;

struct TArtCase
{
    const char *File;
    const char *Expect = nullptr; // what ansilove draws instead, or null: the file itself
    bool Ice = false;             // iCE colours: ansilove -i; bit 7 is a bright background
    const char *Answers = "";     // the writes to the connection the file's queries bring
};

const TArtCase Cases[] = {
    {"glyphs"}, // every byte a code page 437 glyph, control bytes too
    {"wrap"},   // a character in the last column wraps at once
    {"colours"},
    {"ice", nullptr, true},
    {"cursor"},
    {"scroll"}, // rows scrolled off the screen stay in the scrollback
    // ansilove moves a tab 8 columns on; a terminal stops every 8 columns, at the last one
    {"tabs", "tabs.expect"},
    // ansilove draws BS, BEL and FF as glyphs and takes a lone LF to column 0; a terminal
    // moves back, beeps, clears the screen and keeps the column
    {"controls", "controls.expect"},
    // ansilove lacks CHA, VPA, CNL, CPL, ESC 7 / ESC 8, and wraps ESC[C past the last
    // column, where a terminal stops
    {"moves", "moves.expect"},
    // ansilove ignores empty parameters and SGR 2, 8, 22, 25, 39, 49, 90-97 and 100-107
    {"sgr", "sgr.expect", true},
    // ansilove erases only the whole page; a DOS terminal erases in the current colours
    {"erase", "erase.expect"},
    {"edit", "edit.expect"},     // ICH, DCH, IL, DL: not in ansilove
    {"region", "region.expect"}, // DECSTBM, SU, SD: not in ansilove
    // ansilove prints parts of private and intermediate sequences
    {"sequences", "sequences.expect"},
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
    QStringList Args{"-q", "-o", Png};
    RunTool("ansilove", (Ice ? Args << "-i" : Args) << QString::fromStdString(File));
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

// The rows of cells between the first and the last that are not all black.
QImage Trimmed(const QImage &Img, QRgb Black)
{
    int Top = Img.height() / CellH, Bottom = -1;
    for (int y = 0; y < Img.height(); ++y)
        for (int x = 0; x < Img.width(); ++x)
            if (Img.pixel(x, y) != Black) {
                Top = std::min(Top, y / CellH);
                Bottom = y / CellH;
                break;
            }
    return Bottom < 0 ? QImage() : Img.copy(0, Top * CellH, Img.width(), (Bottom - Top + 1) * CellH);
}

// Our cells (a --cells listing) drawn in ansilove's glyphs and palette, against ansilove's
// drawing of `Theirs`; the answers to queries the listing holds go to `Answers`.
void Compare(const TLook &Look, const QTemporaryDir &Dir, const QByteArray &Out, const std::string &Theirs0,
             bool Ice, std::string &Answers)
{
    const QRgb Black = Look.Palette[0];
    // A byte ansilove has no glyph for (no cell should hold one) in magenta.
    QImage Ours(Cols * CellW, int(Out.count('\n')) * CellH, QImage::Format_RGB32);
    int Row = 0;
    for (const QByteArray &Line : Out.split('\n')) {
        if (Line.startsWith('>')) {
            Answers += Line.toStdString() + '\n';
            continue;
        }
        if (Line.isEmpty()) continue;
        ASSERT_EQ(Line.size(), Cols * 4 + 1) << "not a row of cells: " << Line.toStdString();
        const QByteArray Chars = QByteArray::fromHex(Line.left(Cols * 2)),
                         Attrs = QByteArray::fromHex(Line.mid(Cols * 2 + 1));
        for (int x = 0; x < Cols; ++x) {
            const uint8_t Ch = uint8_t(Chars[x]), A = uint8_t(Attrs[x]);
            const QRgb Fg = Look.Palette[A & 15], Bg = Look.Palette[Ice ? A >> 4 : (A >> 4) & 7];
            for (int p = 0; p < CellW * CellH; ++p)
                Ours.setPixel(x * CellW + p % CellW, Row * CellH + p / CellW,
                              !Look.Known[Ch]                                        ? qRgb(255, 0, 255)
                              : Look.Glyph[Ch][size_t(p / CellW)] >> (p % CellW) & 1 ? Fg
                                                                                     : Bg);
        }
        ++Row;
    }
    const QImage Theirs = Trimmed(AnsiLove(Dir, Theirs0, Ice), Black);
    const QImage Mine = Trimmed(Ours.copy(0, 0, Ours.width(), Row * CellH), Black);
    int Differ = 0;
    for (int y = 0; y < std::max(Mine.height(), Theirs.height()) / CellH; ++y)
        for (int x = 0; x < Cols; ++x)
            for (int p = 0; p < CellW * CellH; ++p) {
                const QPoint At(x * CellW + p % CellW, y * CellH + p / CellW);
                if ((Mine.valid(At) ? Mine.pixel(At) : Black) !=
                    (Theirs.valid(At) ? Theirs.pixel(At) : Black)) {
                    if (++Differ <= 5) ADD_FAILURE() << "cell " << x << ", row " << y << " differs";
                    break;
                }
            }
    EXPECT_EQ(Differ, 0);
}

TEST(AnsiLove, EveryFileLooksAsAnsiLoveDrawsIt)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ansilove")).isEmpty())
        GTEST_SKIP() << "ansilove is not installed";
    QTemporaryDir Dir;
    const TLook Look = Calibrate(Dir);
    ASSERT_TRUE(Look.Known['A'] && Look.Glyph['A'] != Look.Glyph[' ']);
    for (const TArtCase &c : Cases) {
        SCOPED_TRACE(c.File);
        const std::string Dir0 = ANSI_DIR "/";
        const QByteArray Out = RunTool(REPLAY_BIN, {"--raw", QString::fromStdString(Dir0 + c.File + ".ans"),
                                                    "--emulation", "ansi", "--cells", "--size", "80x25"});
        std::string Answers;
        Compare(Look, Dir, Out, Dir0 + (c.Expect ? c.Expect : c.File) + ".ans", c.Ice, Answers);
        EXPECT_EQ(Answers, c.Answers);
    }
}

// The art viewer is a file renderer as ansilove is: CR LF, tabs, control glyphs, wrapping
// and iCE colours from the SAUCE record all as ansilove draws them, cell for cell. Two
// exceptions, both ansilove's faults: on a second SGR 1 while bold is on it adds 8 to the
// foreground again (ESC[1m .. ESC[35;1m draws dark magenta), and text that a tab moved past
// the last column is drawn off the picture, lost. The viewer keeps the colour bright and
// wraps the text to the next line; bold.expect and tabs.view draw that in ansilove's terms.
TEST(AnsiLove, TheArtViewerDrawsEveryFileAsAnsiLove)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ansilove")).isEmpty())
        GTEST_SKIP() << "ansilove is not installed";
    QTemporaryDir Dir;
    const TLook Look = Calibrate(Dir);
    const std::string Dir0 = ANSI_DIR "/";
    // ice.ans with a SAUCE record that asks for iCE colours.
    std::ifstream In(Dir0 + "ice.ans", std::ios::binary);
    std::string Sauce = "\x1aSAUCE00" + std::string(121, '\0');
    Sauce[95] = Sauce[96] = 1; // character art, ANSi (offsets after the SUB byte)
    Sauce[97] = 80;            // columns
    Sauce[106] = 1;            // iCE colours
    const std::string IceSauce = Dir.filePath(QStringLiteral("ice-sauce.ans")).toStdString();
    std::ofstream(IceSauce, std::ios::binary) << In.rdbuf() << Sauce;
    const struct
    {
        std::string File, Expect;
        bool Ice;
    } Files[] = {{Dir0 + "glyphs.ans", "", false},
                 {Dir0 + "wrap.ans", "", false},
                 {Dir0 + "colours.ans", "", false},
                 {Dir0 + "cursor.ans", "", false},
                 {Dir0 + "scroll.ans", "", false},
                 {Dir0 + "tabs.ans", Dir0 + "tabs.view.ans", false},
                 {Dir0 + "controls.ans", "", false},
                 {IceSauce, "", true},
                 {Dir0 + "bold.ans", Dir0 + "bold.expect.ans", false}};
    for (const auto &f : Files) {
        SCOPED_TRACE(f.File);
        const QByteArray Out = RunTool(REPLAY_BIN, {"--view-art", QString::fromStdString(f.File), "--cells"});
        std::string Answers;
        Compare(Look, Dir, Out, f.Expect.empty() ? f.File : f.Expect, f.Ice, Answers);
    }
    // WM_ART_DIR: every 80-column .ans file of a folder of real art as well (iCE as its SAUCE says).
    const QDir Art(qEnvironmentVariable("WM_ART_DIR"));
    for (const QString &Name :
         Art.path() == "." ? QStringList() : Art.entryList({"*.ans", "*.ANS"}, QDir::Files)) {
        SCOPED_TRACE(Name.toStdString());
        const QString Path = Art.filePath(Name);
        const QByteArray Info = RunTool(REPLAY_BIN, {"--view-art", Path});
        if (!Info.contains("Width: 80\n")) continue;
        std::string Answers;
        Compare(Look, Dir, RunTool(REPLAY_BIN, {"--view-art", Path, "--cells"}), Path.toStdString(),
                Info.contains("iCE colours: yes"), Answers);
    }
}

} // namespace
