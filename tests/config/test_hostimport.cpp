#include "config/HostDirectory.h"
#include "config/HostImport.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using T = THostTransport;

struct TExpected
{
    const char *Name; // or, for a skipped entry, a part of the reason
    bool Skipped;
    const char *Address, *Port;
    T Transport;
};

std::string Describe(const TImportEntry &e)
{
    return e.Skip.empty() ? e.Name + " " + e.Host.Address + ":" + e.Host.Port + " " +
                                std::string(TransportKey(e.Host.Transport))
                          : "skip " + e.Skip;
}

std::string Expect(const TExpected &x)
{
    return x.Skipped ? "skip " + std::string(x.Name)
                     : std::string(x.Name) + " " + x.Address + ":" + x.Port + " " +
                           std::string(TransportKey(x.Transport));
}

void CheckFile(const char *file, const std::vector<TExpected> &expected)
{
    const TImportFile read = ReadHostFile(file, GetFile(std::string(IMPORT_FIXTURES) + "/" + file));
    ASSERT_EQ(read.Error, "");
    ASSERT_EQ(read.Entries.size(), expected.size()) << file;
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string got = Describe(read.Entries[i]), want = Expect(expected[i]);
        if (expected[i].Skipped) {
            EXPECT_EQ(got.rfind("skip ", 0), 0u) << got;
        }
        EXPECT_NE(got.find(want.substr(expected[i].Skipped ? 5 : 0)), std::string::npos)
            << file << ": " << got;
    }
}

struct ImportTest : ::testing::Test
{
    TTempFolder tmp;
    std::string ini = tmp / "winmarlet.INI";
};

} // namespace

TEST(HostImport, SyncTermFixture)
{
    CheckFile("syncterm.lst", {
                                  {"Moss Place", false, "moss.example.org", "2323", T::Tcp},
                                  {"Secure", false, "tls.example.org", "992", T::Tls},
                                  {"Shell Box", false, "ssh.example.org", "2222", T::Ssh},
                                  {"second entry of this name", true, "", "", T::Tcp},
                                  {"not a number from 1 to 65535", true, "", "", T::Tcp},
                                  {"no address", true, "", "", T::Tcp},
                                  {"RLogin is not supported", true, "", "", T::Tcp},
                                  {"\"Carrier Pigeon\" is unknown", true, "", "", T::Tcp},
                                  {"D\xC3\xBCsseldorf \xE2\x99\xA5", false, "d.example.org", "6400", T::Tcp},
                                  {"Dumb", false, "dumb.example.org", "23", T::Tcp},
                                  {"Default SSH", false, "default.example.org", "22", T::Ssh},
                              });
    const TImportFile read = ReadSyncTermList(GetFile(std::string(IMPORT_FIXTURES) + "/syncterm.lst"));
    const TImportEntry &moss = read.Entries[0];
    EXPECT_EQ(moss.Host.LoginName + "/" + moss.Host.Password + "/" + moss.Comment, "joe/secret/The old one");
    EXPECT_NE(moss.Note.find("LF expansion"), std::string::npos);
    EXPECT_NE(read.Entries[8].Note.find("raw"), std::string::npos);
}

TEST(HostImport, IcyTermFixture)
{
    CheckFile("phonebook.toml", {
                                    {"Crazy \"Quoted\" BBS", false, "crazy.example.org", "2323", T::Tcp},
                                    {"Secure Shell", false, "2001:db8::1", "2222", T::Ssh},
                                    {"Plain", false, "plain.example.org", "23", T::Tcp},
                                    {"\"securewebsocket\" is not supported", true, "", "", T::Tcp},
                                    {"the port \"x23\"", true, "", "", T::Tcp},
                                    {"no address", true, "", "", T::Tcp},
                                });
    const TImportEntry crazy =
        ReadIcyTermPhonebook(GetFile(std::string(IMPORT_FIXTURES) + "/phonebook.toml")).Entries[0];
    EXPECT_EQ(crazy.Comment, "Caf\xC3\xA9 # not a comment");
    EXPECT_NE(crazy.Note.find("auto-login script"), std::string::npos);
}

TEST(HostImport, PlainListFixture)
{
    CheckFile("hosts.txt", {
                               {"bbs.example.org", false, "bbs.example.org", "23", T::Tcp},
                               {"bbs.example.org:2323", false, "bbs.example.org", "2323", T::Tcp},
                               {"Secure Board", false, "tls.example.org", "992", T::Tls},
                               {"Shell Box", false, "2001:db8::2", "2200", T::Ssh},
                               {"only telnet://", true, "", "", T::Tcp},
                               {"port", true, "", "", T::Tcp},
                               {"not a host", true, "", "", T::Tcp},
                           });
}

TEST(HostImport, BadFilesNameTheLine)
{
    const struct
    {
        TImportFormat Format;
        const char *Bytes, *Error;
    } cases[] = {
        {TImportFormat::SyncTerm, "[A]\nAddress=a\n[B\n", "Line 3: "},
        {TImportFormat::SyncTerm, "[A]\njust words\n", "Line 2: "},
        {TImportFormat::SyncTerm,
         "\x7F"
         "ELF\x02\x01\x01\0\0\0",
         "Line 1: "},
        {TImportFormat::IcyTerm, "[[addresses]]\naddress = \"a\nport = 1\n", "Line 2: "},
        {TImportFormat::IcyTerm, "[[addresses]]\ncomment = \"\"\"\nlong\n\"\"\"\n", "Line 2: "},
        {TImportFormat::IcyTerm, "[[addresses]]\naddress = \"a\" junk\n", "Line 2: "},
        {TImportFormat::PlainList, "a.example.org\n\x01\x02\x03\n", "Line 2: "},
    };
    for (const auto &c : cases) {
        const std::string bytes(
            c.Bytes, c.Format == TImportFormat::SyncTerm && c.Bytes[0] == 0x7F ? 10 : std::strlen(c.Bytes));
        const TImportFile read = c.Format == TImportFormat::SyncTerm  ? ReadSyncTermList(bytes)
                                 : c.Format == TImportFormat::IcyTerm ? ReadIcyTermPhonebook(bytes)
                                                                      : ReadPlainHostList(bytes);
        EXPECT_EQ(read.Error.rfind(c.Error, 0), 0u) << c.Bytes << " -> " << read.Error;
        EXPECT_TRUE(read.Entries.empty());
    }
}

// The links rule: a saved host is never overwritten, the same host is not added twice, a
// taken name (or one taken earlier in the same file) gets a number.
TEST_F(ImportTest, NeverOverwritesAndNumbersTakenNames)
{
    PutFile(ini, "[Hosts]\nHost1=Moss Place\nHost2=Old\n[Moss Place]\nAddress=other.example.org\nPort=23\n"
                 "Mode=1\n[Old]\nAddress=old.example.org\nPort=23\nMode=1\n");
    const std::string before = GetFile(ini);
    const TImportFile read = ReadPlainHostList("telnet://moss.example.org/Moss_Place\n"
                                               "telnet://m2.example.org/Moss_Place\n"
                                               "old.example.org\n"
                                               "telnet://x.example.org/Hosts\n");
    THostInfo hosts(ini);
    const std::vector<TImportPlan> plan = PlanImport(hosts, read.Entries);
    std::vector<std::string> got;
    for (const TImportPlan &p : plan)
        got.push_back(p.SaveAs.empty() ? "skip: " + p.Skipped : p.SaveAs);
    EXPECT_EQ(got, (std::vector<std::string>{"Moss Place (2)", "Moss Place (3)", "skip: already saved as Old",
                                             "Hosts (2)"}));
    ASSERT_TRUE(ApplyImport(hosts, read.Entries, plan, false));
    EXPECT_NE(GetFile(ini).find(before.substr(before.find("[Moss Place]"))), std::string::npos);
    THostSettings moss;
    ASSERT_TRUE(hosts.LookupHost("Moss Place", moss));
    EXPECT_EQ(moss.Address, "other.example.org");
    ASSERT_TRUE(hosts.LookupHost("Moss Place (3)", moss));
    EXPECT_EQ(moss.Address, "m2.example.org");
    EXPECT_EQ(hosts.HostList().size(), 5u);
}

TEST_F(ImportTest, PasswordsOnlyWhenAsked)
{
    const TImportFile read =
        ReadSyncTermList("[A]\nAddress=a.example.org\nConnectionType=Telnet\nPassword=pw\n"
                         "UserName=u\n");
    for (const bool with : {false, true}) {
        TTempFolder folder;
        THostInfo hosts(folder / "w.INI");
        ASSERT_TRUE(ApplyImport(hosts, read.Entries, PlanImport(hosts, read.Entries), with));
        THostSettings a;
        ASSERT_TRUE(hosts.LookupHost("A", a));
        EXPECT_EQ(a.Password, with ? "pw" : "");
        EXPECT_EQ(a.AutoLogin, with);
        EXPECT_EQ(a.LoginName, "u");
    }
}

// What export writes, import reads back: every usable connection and name, passwords as asked.
TEST_F(ImportTest, ExportImportRoundTrip)
{
    THostInfo hosts(ini);
    const struct
    {
        const char *Name;
        THostSettings Host;
    } saved[] = {
        {"Telnet Board",
         {"t.example.org", "2323", hmTelnet, true, "joe", "pw", T::Tcp, THostTerminal::AnsiBbs}},
        {"TLS Board", {"s.example.org", "992", hmTelnet, false, "", "", T::Tls, THostTerminal::AnsiBbs}},
        {"SSH \xC3\x9C",
         {"2001:db8::5", "2222", hmTelnet, false, "sysop", "", T::Ssh, THostTerminal::AnsiBbs}},
    };
    for (const auto &s : saved)
        ASSERT_TRUE(hosts.StoreHost(s.Name, s.Host));
    ASSERT_TRUE(StoreComment(hosts, "TLS Board", "kept"));
    const std::vector<THostRecord> records = ReadHostDirectory(hosts);
    for (const bool links : {false, true})
        for (const bool passwords : {false, true}) {
            const TImportFile back = links ? ReadPlainHostList(ExportHostLinks(records))
                                           : ReadSyncTermList(ExportSyncTermList(records, passwords));
            ASSERT_EQ(back.Entries.size(), std::size(saved));
            for (size_t i = 0; i < std::size(saved); ++i) {
                const TImportEntry &e = back.Entries[i];
                EXPECT_EQ(e.Name, saved[i].Name);
                EXPECT_EQ(e.Host.Address + ":" + e.Host.Port,
                          saved[i].Host.Address + ":" + saved[i].Host.Port);
                EXPECT_EQ(e.Host.Transport, saved[i].Host.Transport);
                EXPECT_EQ(e.Host.Password, passwords && !links ? saved[i].Host.Password : "");
            }
            if (!links) {
                EXPECT_EQ(back.Entries[1].Comment, "kept");
            }
        }
}
