// The offline editor's five kinds: limits, endings, the save question, name entry and the
// carried word.
#include "tests/colouredit/EditTestUtil.h"

namespace {

using namespace std::string_literals;
using OffLineKinds = OffLineTest;

TEST_F(OffLineKinds, MaskedLineOfEightCharacters)
{
    OpenAfter(0, "Password: ", 10, 0xF8);
    EXPECT_FALSE(Type("secret123\x01"));
    EXPECT_EQ(Beeps.Count, 2);
    EXPECT_EQ(Row(0), "Password: ........");
    EXPECT_TRUE(Type("\r"));
    EXPECT_EQ(Upload(), "secret12\n");
    EXPECT_FALSE(Edit.IsOpen());

    // P = 0 wraps nothing, whatever the edit before used.
    Edit.Open(13, 0);
    Edit.Open(10, 0);
    Type(std::string(90, 'x'));
    Edit.KeyDown(VK_BACK, 0);
    EXPECT_TRUE(Type("\r"));
    EXPECT_EQ(Upload(), std::string(89, 'x') + "\n");
}

TEST_F(OffLineKinds, LineOfKindTenAllowsColoursUnlessIsca)
{
    EXPECT_EQ(TypedInto(10, 20, "a\x01rb"), "a\x01rb");
    Edit.SetHostMode(hmISCA);
    EXPECT_EQ(TypedInto(10, 20, "\x01r"), "r");
    EXPECT_FALSE(Edit.AcceptColourPaste());
}

TEST_F(OffLineKinds, ShortMessageEndings)
{
    // Keys typed into a fresh kind 12 edit, the last of which sends it; the upload.
    const std::pair<const char *, std::string> cases[] = {
        {"hi\r\r", "hi\n\n\0"s},                               // the second Enter sends
        {"hi\x04", "hi\n\0"s},                                 // Ctrl+D sends
        {"first line\rABORT\r", "first line\nABORT\n\0"s},     // a line ABORT sends as it is
        {"some text\ranother\x1b", "ABORT\n\0"s},              // Esc: ABORT whatever the text
        {"PING\r", "\n\0"s},                                   // PING sends an empty message
        {"a\ra\ra\ra\ra\ra\ra\r", "a\na\na\na\na\na\na\n\0"s}, // Enter on the seventh line
    };
    for (const auto &[keys, upload] : cases) {
        Edit.Open(12, 0);
        EXPECT_TRUE(Type(keys)) << keys;
        EXPECT_EQ(Upload(), upload) << keys;
    }
    Edit.Open(12, 1);
    EXPECT_EQ(Edit.MaxLines(), 10);
    Edit.Open(10, 10);
    EXPECT_FALSE(Edit.KeyPress(27));
    EXPECT_EQ(Beeps.Count, 1);

    // On an ISCA host: five lines, a shorter text, no colours; overflowing the last line sends.
    Edit.SetHostMode(hmISCA);
    Edit.Open(12, 1);
    EXPECT_EQ(Edit.MaxLines(), 5);
    EXPECT_EQ(Edit.EffectiveMaxLength(), 395);
    EXPECT_FALSE(Edit.AcceptColourPaste());
    EXPECT_FALSE(Type("x\rx\rx\rx\r" + std::string(78, 'y')));
    EXPECT_TRUE(Type("z"));
    EXPECT_EQ(Upload(), "x\nx\nx\nx\n" + std::string(78, 'y') + "z\n\0"s);
}

TEST_F(OffLineKinds, ShortMessageWrapsLongLines)
{
    Edit.Open(12, 0);
    std::string words;
    for (int i = 0; i < 20; ++i)
        words += "word ";
    EXPECT_FALSE(Type(words));
    EXPECT_EQ(Edit.LinesUsed(), 2);
    EXPECT_EQ(Row(0), ">" + words.substr(0, 74));
    EXPECT_EQ(Row(1), ">" + words.substr(75, 24));
    EXPECT_TRUE(Type("\x04"));
    EXPECT_EQ(Upload(), words.substr(0, 74) + "\n" + words.substr(75) + "\n\0"s);
}

TEST_F(OffLineKinds, LongTextSaveQuestion)
{
    Edit.Open(13, 0);
    EXPECT_FALSE(Type("\x04"));
    EXPECT_TRUE(Edit.Confirming());
    EXPECT_EQ(Row(1), "<S>ave, <A>bort or <C>ontinue? ->");
    EXPECT_EQ(Tty.Screen().AttrAt(0, 1), 0x09); // bright red bracket
    EXPECT_EQ(Tty.Screen().AttrAt(1, 1), 0x0F); // bright white initial
    Edit.KeyDown(VK_BACK, 0);                   // keys are ignored while asking
    EXPECT_FALSE(Type("x"));
    EXPECT_TRUE(Type("s"));
    EXPECT_EQ(Upload(), "\n\x04s");
    EXPECT_EQ(Row(1), "<S>ave, <A>bort or <C>ontinue? -> Saved");

    Edit.Open(13, 0);
    EXPECT_TRUE(Type("hello\4A"));
    EXPECT_EQ(Upload(), "\4a");

    // A text block: no Abort offered.
    Edit.Open(13, 247);
    Edit.SetText("bl\x1b[2Jock"); // nothing in it acts on the terminal
    EXPECT_FALSE(Type("\4a"));
    EXPECT_EQ(Row(5), "<S>ave or <C>ontinue? ->");
    EXPECT_TRUE(Edit.Confirming());
    EXPECT_TRUE(Type("S"));
    EXPECT_EQ(Upload(), "bl[2Jock\n\0"s);
}

TEST_F(OffLineKinds, LongTextContinueAfterTheQuestion)
{
    OpenAfter(0, "Text:\r\n");
    EXPECT_FALSE(Type("ab\r\r")); // Enter on an empty line asks
    EXPECT_TRUE(Edit.Confirming());
    EXPECT_FALSE(Type("c"));
    EXPECT_FALSE(Edit.Confirming());
    EXPECT_EQ(Row(2), ""); // the question is gone, the caret is on its row
    EXPECT_EQ(Tty.CursorY, 2);
    EXPECT_TRUE(Type("more\x04s"));
    EXPECT_EQ(Upload(), "ab\nmore\n\x04s");
}

TEST_F(OffLineKinds, NameEntryCapitalsAndRefusedCharacters)
{
    OpenAfter(0, "Name: ", 11, 0);
    EXPECT_EQ(Edit.EffectiveMaxLength(), 20);
    Type("joe b1\x01");
    EXPECT_EQ(Beeps.Count, 2);
    EXPECT_EQ(Row(0), "Name: Joe B");
    EXPECT_TRUE(Type("\r"));
    EXPECT_EQ(Upload(), "Joe B\n");

    EXPECT_EQ(TypedInto(11, 5, "_x.y@z 9!"), "_x.y@z 9"); // '_' is no letter to capitalise
    EXPECT_EQ(Edit.EffectiveMaxLength(), 40);
    EXPECT_EQ(TypedInto(11, 3, "a+b=c?\t"), "A+b=c?"); // no completion with P = 3
    EXPECT_EQ(Beeps.Count, 4);

    Edit.Open(11, 6);
    EXPECT_TRUE(Type("bob,"));
    EXPECT_EQ(Upload(), "Bob,\n");
}

TEST_F(OffLineKinds, NameCompletionCyclesOverMatchingNames)
{
    for (const char *n : {"Alice", "Alan", "Bob"})
        Who.Add(n);
    Tty.Write("To: ");
    Edit.Open(11, 0);
    Type("Al");
    for (const char *name : {"Alice", "Alan", "Alan", "Alice"}) { // no third match: the text stays
        Type("\t");
        EXPECT_EQ(Edit.Text(), name);
        EXPECT_EQ(Row(0), "To: "s + name);
    }
    EXPECT_EQ(Edit.Caret(), 5);

    // After a Backspace every name matches.
    Edit.KeyDown(VK_BACK, 0);
    Type("\t\t\t");
    EXPECT_EQ(Edit.Text(), "Bob");
    EXPECT_TRUE(Type("\r"));
    EXPECT_EQ(Upload(), "Bob\n");
}

TEST_F(OffLineKinds, WrapLineCarriesItsLastWord)
{
    Edit.Open(14, 10);
    EXPECT_FALSE(Type("hello wor"));
    EXPECT_TRUE(Type("l"));
    EXPECT_EQ(Upload(), "hello \n");
    EXPECT_EQ(Edit.Pending(), "worl");

    EXPECT_EQ(TypedInto(14, 10, "d"), "world");

    // Without a space nothing is carried.
    Edit.Open(14, 4);
    EXPECT_TRUE(Type("abcd"));
    EXPECT_EQ(Upload(), "abcd\n");
    EXPECT_TRUE(Edit.Pending().empty());

    // A carried text longer than the next line: that line goes out, the rest is carried on.
    Edit.SetPending("ab cdefg");
    Edit.Open(14, 4);
    EXPECT_FALSE(Edit.IsOpen());
    EXPECT_EQ(Upload(), "ab \n");
    EXPECT_EQ(Edit.Pending(), "cdefg");
}

TEST_F(OffLineKinds, PasteIntoAOneLineAnswerTakesItsFirstLine)
{
    Clip.HasPlain = true;
    // Kind, pasted text, the text kept (in a name without the refused characters).
    const std::tuple<int, const char *, const char *> cases[] = {
        {10, "first\r\nsecond", "first"}, {11, "bob 42!\r\nx", "bob "}, {12, "a\r\nb", "a\nb"}};
    for (const auto &[kind, plain, text] : cases) {
        Edit.Open(kind, 0);
        Clip.Plain = plain;
        Edit.PasteFromClipboard();
        EXPECT_EQ(Edit.Text(), text);
    }
}

TEST_F(OffLineKinds, EditsNeverWritePastTheText)
{
    Edit.Open(13, 0);
    EXPECT_EQ(Edit.EffectiveMaxLength(), 32765);
    std::string big;
    for (int i = 0; big.size() < 32760; ++i)
        big += (i % 12 == 11) ? '\n' : 'w';
    Edit.SetText(big.c_str());
    Edit.KeyDown(VK_END, ssCtrl);
    Type("0123456789");
    EXPECT_EQ(Edit.TextLength(), 32765);
    Clip.HasPlain = true;
    Clip.Plain = std::string(40000, 'p');
    Edit.PasteFromClipboard();
    EXPECT_EQ(Edit.TextLength(), 32765);
    Type("\x04s");
    std::string up = Upload();
    EXPECT_EQ(up.size(), 32766u);
    EXPECT_EQ(up.substr(up.size() - 3), "\n\x04s");

    // With the NUL counted the upload still fits the engine's buffer.
    Edit.Open(13, 247);
    Edit.SetText(std::string(40000, 'b').c_str());
    EXPECT_EQ(Edit.TextLength(), 32766);
    std::vector<char> exact(32766);
    EXPECT_EQ(Edit.GetText(exact.data(), static_cast<int>(exact.size())), 32766);
    EXPECT_EQ(std::string(exact.end() - 2, exact.end()), "b\0"s); // the text gives way to its NUL

    // The unlimited masked line (P = 0) stops at the buffer too.
    Edit.Open(10, 0);
    Clip.Plain = std::string(32760, 'm');
    Edit.PasteFromClipboard();
    Type("0123456789");
    EXPECT_EQ(Edit.TextLength(), 32766);
    EXPECT_TRUE(Type("\r"));
    std::string masked = Upload();
    EXPECT_EQ(masked.size(), 32766u);
    EXPECT_EQ(masked.back(), '\n');
}

} // namespace
