#include "config/IniFile.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>
#include <signal.h>

namespace {

// A file as a user might have edited it by hand.
const std::string OddFile = "; settings\r\n"
                            "stray=before any section\r\n"
                            "[ hosts ]\r\n"
                            "  HOST =  Moss BBS  \r\n"
                            "Login Name=John  Smith\r\n"
                            ";Password=commented out\r\n"
                            "no equals sign here\r\n"
                            "Port=\r\n"
                            "Mode=abc\r\n"
                            "AutoLogin= 2 \r\n"
                            "host=second spelling loses\r\n"
                            "\r\n"
                            "[Preferences]\r\n"
                            "Screen Lines=12abc\r\n"
                            "FontSize= -7 \r\n"
                            "\r\n"
                            "[HOSTS]\r\n"
                            "Address=later section loses\r\n"
                            "[Last]\r\n"
                            "Key=no line end";

struct IniFileTest : ::testing::Test
{
    TTempFolder tmp;
    std::string path = tmp / "a.INI";
    TIniFile ini{path};
};

} // namespace

TEST_F(IniFileTest, ReadsHandWrittenFilesAsTheFormatSays)
{
    // A file from another system: CR before CR LF, VT and FF around names and values.
    const std::string Other =
        "\v[\rHosts\v]\r\r\n\rHost\v=\v Moss\f\r\r\n\v\r\nPort=\r\v\r\n\x0b\r\n[Last]\nKey=\v";
    // Older files in Latin-1; Cyrillic names.
    const std::string Latin =
        "[J\xF6rg]\nName=J\xF6rg\n[\xD0\x94\xD0\xBE\xD0\xBC]\nk=1\n[\xD0\x9B\xD0\xB5\xD1\x81]\nk=2\n";
    const struct
    {
        const std::string &file;
        const char *section, *key, *value;
    } cases[] = {
        {OddFile, "Hosts", "Host", "Moss BBS"},          // case, blanks, first key wins
        {OddFile, "hosts", "login name", "John  Smith"}, // inner blanks kept
        {OddFile, "Hosts", "Password", "-"},             // comment is no key
        {OddFile, "Hosts", "Address", "-"},              // only the first section counts
        {OddFile, "Hosts", "Port", ""},                  // present but empty
        {OddFile, "Hosts", "stray", "-"},                // before any section
        {OddFile, "Last", "Key", "no line end"},
        {Latin, "J\xC3\xB6rg", "Name", "J\xC3\xB6rg"}, // a Latin-1 section and value
        {Latin, "J\xC3\x96RG", "name", "J\xC3\xB6rg"}, // letter case folds beyond ASCII
        {Latin, "\xD0\xB4\xD0\xBE\xD0\xBC", "k", "1"}, // Cyrillic too
        {Latin, "\xD0\x9B\xD0\xB5\xD1\x81", "k", "2"}, // and other names stay apart
        {Other, "Hosts", "Host", "Moss"},
        {Other, "hosts", "port", ""},
        {Other, "Last", "Key", ""},
    };
    for (const auto &c : cases) {
        PutFile(path, c.file);
        EXPECT_EQ(ini.ReadString(c.section, c.key, "-"), c.value) << c.section << "/" << c.key;
    }
    // Written back (the last file), only the value changes; what precedes '=' stays as the file spells it.
    ASSERT_TRUE(ini.WriteString("Hosts", "Host", "Lichen"));
    EXPECT_NE(GetFile(path).find("\n\rHost\v=Lichen\r\n"), std::string::npos);

    PutFile(path, OddFile);
    EXPECT_EQ(ini.ReadInteger("Hosts", "Mode", 3), 3);                 // non-numeric: default
    EXPECT_EQ(ini.ReadInteger("Preferences", "Screen Lines", 24), 24); // trailing junk: default
    EXPECT_EQ(ini.ReadInteger("Preferences", "FontSize", 9), -7);
    EXPECT_TRUE(ini.ReadBool("Hosts", "AutoLogin", false)); // any non-zero integer
    EXPECT_EQ(ParseIniInteger("-2147483648"), -2147483647 - 1);
    for (const char *bad : {"2147483648", "+"})
        EXPECT_EQ(ParseIniInteger(bad), std::nullopt) << bad;
}

TEST_F(IniFileTest, WritingOneKeyKeepsEveryOtherByte)
{
    PutFile(path, OddFile);
    ASSERT_TRUE(ini.WriteString("HOSTS", "host", "Other"));
    std::string expected = OddFile;
    expected.replace(expected.find("  HOST =  Moss BBS  "), 20, "  HOST =Other");
    EXPECT_EQ(GetFile(path), expected);

    // A new key goes after the section's last line, before the blank separator.
    ASSERT_TRUE(ini.WriteInteger("preferences", "Debug", 1));
    expected.insert(expected.find("\r\n\r\n[HOSTS]") + 2, "Debug=1\r\n");
    EXPECT_EQ(GetFile(path), expected);

    // A new section at the end; the last line gets its line end first.
    ASSERT_TRUE(ini.WriteBool("Friends", "Friend1", true));
    expected += "\r\n\r\n[Friends]\r\nFriend1=1\r\n";
    EXPECT_EQ(GetFile(path), expected);

    // Writing the value it already has changes nothing at all.
    ASSERT_TRUE(ini.WriteString("Last", "Key", "no line end"));
    EXPECT_EQ(GetFile(path), expected);
}

TEST_F(IniFileTest, KeepsLineEndsByteOrderMarkAndEightBitBytes)
{
    // An editor's byte-order mark is no part of the first line, and is written back.
    PutFile(path, "\xEF\xBB\xBF[A]\nx=1\n");
    EXPECT_EQ(ini.ReadString("A", "x", "-"), "1");
    ASSERT_TRUE(ini.WriteString("a", "y", "\xe9t\xe9 \x80\xff"));
    EXPECT_EQ(GetFile(path), "\xEF\xBB\xBF[A]\nx=1\ny=\xe9t\xe9 \x80\xff\n");

    TIniFile fresh(tmp / "new.ini");
    ASSERT_TRUE(fresh.WriteString("S", "k", "v"));
    EXPECT_EQ(GetFile(tmp / "new.ini"), "[S]\r\nk=v\r\n");
}

TEST_F(IniFileTest, EraseSectionAndUnsafeInput)
{
    PutFile(path, "[Keep]\r\na=1\r\n[Gone]\r\nb=2\r\n; its note\r\n[keep2]\r\nc=3\r\n[GONE]\r\nd=4\r\n");
    ASSERT_TRUE(ini.EraseSection("gone"));
    EXPECT_EQ(GetFile(path), "[Keep]\r\na=1\r\n[keep2]\r\nc=3\r\n");

    // A value can never add lines; names the format cannot hold are refused.
    ASSERT_TRUE(ini.WriteString("Keep", "a", "x\r\n[Evil]\r\nb=1"));
    EXPECT_FALSE(ini.SectionExists("Evil"));
    for (auto [section, key] : {std::pair{"Keep", "k=v"}, {"Keep", "[x]"}, {"Bad\nName", "k"}, {" ", "k"}})
        EXPECT_FALSE(ini.WriteString(section, key, "1")) << section << key;
    EXPECT_EQ(GetFile(path), "[Keep]\r\na=x\r\n[keep2]\r\nc=3\r\n");

    // A section name holding ']' reads back whole.
    ASSERT_TRUE(ini.WriteString("Odd]Name", "k", "v"));
    EXPECT_EQ(ini.ReadString("odd]name", "k", ""), "v");
}

TEST_F(IniFileTest, CreatesFolderWithPrivateModeAndKeepsAnExistingMode)
{
    const std::string deep = tmp / "deep/er/winmarlet.INI";
    TIniFile deepIni(deep);
    ASSERT_TRUE(deepIni.EraseSection("x"));
    EXPECT_FALSE(std::filesystem::exists(deep)); // nothing to write: nothing created
    ASSERT_TRUE(deepIni.WriteString("Hosts", "Password", "secret"));
    EXPECT_EQ(ModeOf(deep), 0600u);
    EXPECT_EQ(ModeOf(tmp / "deep"), 0700u);

    ::chmod(deep.c_str(), 0640);
    ASSERT_TRUE(deepIni.WriteString("Hosts", "Password", "other"));
    EXPECT_EQ(ModeOf(deep), 0640u);

    // Writing through a symbolic link keeps the link.
    ASSERT_EQ(::symlink(deep.c_str(), path.c_str()), 0);
    ASSERT_TRUE(TIniFile(path).WriteString("Hosts", "Port", "23"));
    struct stat st;
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(deepIni.ReadString("Hosts", "Port", ""), "23");
}

TEST_F(IniFileTest, FailedOrKilledWriteLeavesThePreviousFile)
{
    std::string before = "[Hosts]\r\nHost=Moss\r\nPassword=pw\r\n";
    before += std::string(200000, ';') + "\r\n"; // big enough that half of it goes out first
    PutFile(path, before);
    PutFile(tmp / ".a.INI.backup", "the user's"); // looks like a temporary file, is none

    SetAtomicWriteHook([] { return false; }); // the disk fills up half-way
    EXPECT_FALSE(ini.WriteString("Hosts", "Host", "Changed"));
    SetAtomicWriteHook(nullptr);
    EXPECT_EQ(GetFile(path), before);
    EXPECT_EQ(FilesIn(tmp.Path()).size(), 2u);

    pid_t child = StartChild([&] {
        SetAtomicWriteHook([] { return ::raise(SIGKILL) == 0; });
        return ini.WriteString("Hosts", "Host", "Changed");
    });
    EXPECT_EQ(WaitChild(child), -SIGKILL);
    EXPECT_EQ(GetFile(path), before);

    // The lock died with the killed writer: the next write goes through and
    // clears away its temporary file, and only that.
    EXPECT_EQ(FilesIn(tmp.Path()).size(), 3u);
    ASSERT_TRUE(ini.WriteString("Hosts", "Host", "Changed"));
    EXPECT_EQ(FilesIn(tmp.Path()), (std::vector<std::string>{".a.INI.backup", "a.INI"}));
    EXPECT_EQ(ini.ReadString("Hosts", "Password", ""), "pw");
}

TEST_F(IniFileTest, FilesItCannotReadOrWriteAreLeftAlone)
{
    ::chmod(tmp.Path().c_str(), 0777); // the unprivileged child writes here too
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    EXPECT_FALSE(ini.WriteString("S", "j", "2"));
    // Unreadable: replacing it would lose the settings in it. Read-only: the user protected it.
    for (mode_t mode : {0000, 0444}) {
        const std::string file = tmp / ("m" + std::to_string(mode) + ".ini");
        PutFile(file, "[S]\nk=1\n");
        ::chmod(file.c_str(), mode);
        pid_t child = StartChild([&] {
            // Root reads and writes every file: run as nobody.
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return false;
            return !TIniFile(file).WriteString("S", "j", "2");
        });
        EXPECT_EQ(WaitChild(child), 0) << mode;
        EXPECT_EQ(GetFile(file), "[S]\nk=1\n") << mode;
    }
}

TEST_F(IniFileTest, StoresSharingTheFileKeepEachOthersKeys)
{
    ASSERT_TRUE(ini.WriteString("Hosts", "Port", "23"));
    // Processes writing at the same time: the lock keeps every key.
    const int writers = 4, keys = 20;
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w)
        children.push_back(StartChild([&] {
            bool ok = true;
            for (int k = 0; k < keys; ++k)
                ok =
                    TIniFile(path).WriteInteger("Writer" + std::to_string(w), "Key" + std::to_string(k), k) &&
                    ok;
            return ok;
        }));
    for (pid_t child : children)
        EXPECT_EQ(WaitChild(child), 0);
    TIniDocument doc = ini.Load();
    for (int w = 0; w < writers; ++w)
        for (int k = 0; k < keys; ++k)
            EXPECT_EQ(doc.ReadInteger("Writer" + std::to_string(w), "Key" + std::to_string(k), -1), k);
    EXPECT_EQ(doc.ReadString("Hosts", "Port", ""), "23");
}
