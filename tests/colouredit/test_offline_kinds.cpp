// The offline editor's five kinds: limits, endings, the save question, name entry and the
// carried word.
#include "tests/colouredit/OffLineFixture.h"

namespace {

using namespace std::string_literals;
using OffLineKinds = OffLineTest;

TEST_F(OffLineKinds, MaskedLineOfEightCharacters)
{
    Tty.Write("Password: ");
    Edit.Open(10, 0xF8);
    EXPECT_FALSE(Edit.AcceptColourPaste());
    EXPECT_FALSE(Type("secret123"));
    EXPECT_EQ(Beeps.Count, 1);
    EXPECT_EQ(Row(0), "Password: ........");
    Type("\x01");
    EXPECT_EQ(Beeps.Count, 2);
    EXPECT_TRUE(Type("\r"));
    EXPECT_EQ(Upload(), "secret12\n");
    EXPECT_FALSE(Edit.IsOpen());
}

TEST_F(OffLineKinds, LineOfKindTenAllowsColoursUnlessIsca)
{
    Edit.Open(10, 20);
    EXPECT_TRUE(Edit.AcceptColourPaste());
    Type("a\x01rb");
    EXPECT_EQ(Edit.Text(), "a\x01rb");
    Edit.SetHostMode(2);
    Edit.Open(10, 20);
    EXPECT_FALSE(Edit.AcceptColourPaste());
    Type("\x01r");
    EXPECT_EQ(Edit.Text(), "r");
}

TEST_F(OffLineKinds, ShortMessageEndsOnASecondEnterOrCtrlD)
{
    Tty.Write("Message:\r\n");
    Edit.Open(12, 0);
    EXPECT_FALSE(Type("hi\r"));
    EXPECT_EQ(Row(1), ">hi");
    EXPECT_EQ(Row(2), ">");
    EXPECT_TRUE(Type("\r"));
    EXPECT_EQ(Upload(), "hi\n\n\0"s);

    Edit.Open(12, 0);
    EXPECT_TRUE(Type("hi\x04"));
    EXPECT_EQ(Upload(), "hi\n\0"s);
}

TEST_F(OffLineKinds, ShortMessageAbortAndPing)
{
    Edit.Open(12, 0);
    EXPECT_FALSE(Type("first line\r"));
    EXPECT_TRUE(Type("ABORT\r"));
    EXPECT_EQ(Upload(), "first line\nABORT\n\0"s);

    Edit.Open(12, 0);
    Type("some text\ranother");
    EXPECT_TRUE(Edit.KeyPress(27));
    EXPECT_EQ(Upload(), "ABORT\n\0"s);

    Edit.Open(12, 0);
    EXPECT_TRUE(Type("PING\r"));
    EXPECT_EQ(Upload(), "\n\0"s);

    Edit.Open(10, 10);
    EXPECT_FALSE(Edit.KeyPress(27));
    EXPECT_EQ(Beeps.Count, 1);
}

TEST_F(OffLineKinds, ShortMessageLineLimits)
{
    Edit.Open(12, 0);
    EXPECT_EQ(Edit.MaxLines(), 7);
    EXPECT_EQ(Edit.EffectiveMaxLength(), 553);
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(Type("a\r"));
    EXPECT_TRUE(Type("a\r")); // Enter on the seventh line sends
    EXPECT_EQ(Upload(), "a\na\na\na\na\na\na\n\0"s);

    Edit.Open(12, 1);
    EXPECT_EQ(Edit.MaxLines(), 10);

    // On an ISCA host: five lines, a shorter text, no colours; overflowing the last line sends.
    Edit.SetHostMode(2);
    Edit.Open(12, 1);
    EXPECT_EQ(Edit.MaxLines(), 5);
    EXPECT_EQ(Edit.EffectiveMaxLength(), 395);
    EXPECT_FALSE(Edit.AcceptColourPaste());
    Type("x\rx\rx\rx\r");
    EXPECT_FALSE(Type(std::string(78, 'y')));
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
    std::string expected = words.substr(0, 74) + "\n" + words.substr(75) + "\n";
    EXPECT_EQ(Upload(), expected + '\0');
}

TEST_F(OffLineKinds, LongTextSaveQuestion)
{
    Edit.Open(13, 0);
    EXPECT_FALSE(Type("\x04"));
    EXPECT_TRUE(Edit.Confirming());
    EXPECT_EQ(Row(1), "<S>ave, <A>bort or <C>ontinue? ->");
    EXPECT_EQ(Tty.AttrAt(0, 1), 0x09); // bright red bracket
    EXPECT_EQ(Tty.AttrAt(1, 1), 0x0F); // bright white initial
    Edit.KeyDown(VK_BACK, 0);          // keys are ignored while asking
    EXPECT_FALSE(Type("x"));
    EXPECT_TRUE(Type("s"));
    EXPECT_EQ(Upload(), "\n\x04s");
    EXPECT_EQ(Row(1), "<S>ave, <A>bort or <C>ontinue? -> Saved");

    Edit.Open(13, 0);
    Type("hello\x04");
    EXPECT_TRUE(Type("A"));
    EXPECT_EQ(Upload(), "\x04"
                        "a");
}

TEST_F(OffLineKinds, TextBlockQuestionHasNoAbort)
{
    Edit.Open(13, 247);
    Edit.SetText("block");
    EXPECT_FALSE(Type("\x04"));
    EXPECT_EQ(Row(1), "<S>ave or <C>ontinue? ->");
    EXPECT_FALSE(Type("a"));
    EXPECT_TRUE(Edit.Confirming());
    EXPECT_TRUE(Type("S"));
    EXPECT_EQ(Upload(), "block\n\0"s);
}

TEST_F(OffLineKinds, LongTextContinueAfterTheQuestion)
{
    Tty.Write("Text:\r\n");
    Edit.Open(13, 0);
    EXPECT_FALSE(Type("ab\r"));
    EXPECT_FALSE(Type("\r")); // Enter on an empty line asks
    EXPECT_TRUE(Edit.Confirming());
    EXPECT_FALSE(Type("c"));
    EXPECT_FALSE(Edit.Confirming());
    EXPECT_EQ(Row(2), ""); // the question is gone, the caret is on its row
    EXPECT_EQ(Tty.CursorY, 2);
    Type("more\x04");
    EXPECT_TRUE(Type("s"));
    EXPECT_EQ(Upload(), "ab\nmore\n\x04s");
}

TEST_F(OffLineKinds, NameEntryCapitalsAndRefusedCharacters)
{
    Tty.Write("Name: ");
    Edit.Open(11, 0);
    EXPECT_EQ(Edit.EffectiveMaxLength(), 20);
    Type("joe b");
    EXPECT_EQ(Edit.Text(), "Joe B");
    Type("1\x01");
    EXPECT_EQ(Beeps.Count, 2);
    EXPECT_EQ(Edit.Text(), "Joe B");
    EXPECT_EQ(Row(0), "Name: Joe B");
    EXPECT_TRUE(Type("\r"));
    EXPECT_EQ(Upload(), "Joe B\n");
    EXPECT_EQ(Tty.CursorY, 1);
    EXPECT_EQ(Tty.CursorX, 0);

    Edit.Open(11, 5);
    EXPECT_EQ(Edit.EffectiveMaxLength(), 40);
    Type("_x.y@z 9");
    EXPECT_EQ(Edit.Text(), "_x.y@z 9");
    Type("!");
    EXPECT_EQ(Edit.Text(), "_x.y@z 9");

    Edit.Open(11, 3);
    Type("a+b=c?");
    EXPECT_EQ(Edit.Text(), "A+b=c?");
    int beeps = Beeps.Count;
    Type("\t");
    EXPECT_EQ(Beeps.Count, beeps + 1);

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
    Type("Al\t");
    EXPECT_EQ(Edit.Text(), "Alice");
    EXPECT_EQ(Row(0), "To: Alice");
    Type("\t");
    EXPECT_EQ(Edit.Text(), "Alan");
    EXPECT_EQ(Row(0), "To: Alan");
    Type("\t");
    EXPECT_EQ(Edit.Text(), "Alan");
    Type("\t");
    EXPECT_EQ(Edit.Text(), "Alice");
    EXPECT_EQ(Edit.Caret(), 5);

    // After a Backspace every name matches.
    Edit.KeyDown(VK_BACK, 0);
    Type("\t");
    EXPECT_EQ(Edit.Text(), "Alice");
    Type("\t\t");
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

    Edit.Open(14, 10);
    EXPECT_EQ(Edit.Text(), "worl");
    EXPECT_TRUE(Edit.Pending().empty());
    Type("d");
    EXPECT_EQ(Edit.Text(), "world");

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
    Clip.Plain = "first\r\nsecond";
    Edit.Open(10, 40);
    Edit.PasteFromClipboard();
    EXPECT_EQ(Edit.Text(), "first");

    Edit.Open(11, 0);
    Clip.Plain = "bob 42!\r\nx";
    Edit.PasteFromClipboard();
    EXPECT_EQ(Edit.Text(), "bob ");

    Edit.Open(12, 0);
    Clip.Plain = "a\r\nb";
    Edit.PasteFromClipboard();
    EXPECT_EQ(Edit.Text(), "a\nb");
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

    // The unlimited masked line (P = 0) stops at the buffer too.
    Edit.Open(10, 0);
    EXPECT_TRUE(Edit.Masked());
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
