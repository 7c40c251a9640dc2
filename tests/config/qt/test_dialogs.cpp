// Setup Hosts and Preferences dialogs: what OK, Cancel and Delete do to the file.
#include "config/qt/PreferenceDlg.h"
#include "config/qt/SetHostDlg.h"
#include "config/qt/UserFilterDlg.h"
#include "tests/config/qt/DialogTestUtil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace {

const std::string HostsIni = "[Hosts]\nHost=Alpha\nAddress=a.example\nHost1=Alpha\nHost2=Gamma\nHost3=Beta\n"
                             "[Alpha]\nAddress=a.example\n[Gamma]\nAddress=g.example\n"
                             "[Beta]\nAddress=b.example\nPort=1976\nMode=1\n"
                             "[Odd]\nAddress=o.example\nMode=7\nAutoLogin=1\n";

void SetName(TSetHostDlg &dlg, const char *name)
{
    Child<QComboBox>(dlg, "cbBBSName")->setEditText(QString::fromUtf8(name));
}

bool Checked(QWidget &dlg, const char *name)
{
    return Child<QAbstractButton>(dlg, name)->isChecked();
}

} // namespace

TEST(SetHostDlg, OkStoresTheNamedHostAndCancelWritesNothing)
{
    TTempFolder dir;
    PutFile(dir / "w.ini", HostsIni);
    THostInfo hosts(dir / "w.ini");
    const std::string name = "\xD0\x94\xD0\xBE\xD0\xBC"; // beyond Latin-1
    for (const char *button : {"CancelBtn", "OKBtn"}) {
        TSetHostDlg dlg(hosts, nullptr);
        EXPECT_EQ(dlg.focusWidget(), Child(dlg, "edAddress"));
        EXPECT_EQ(dlg.property("helpContext").toInt(), 4);
        SetName(dlg, (" " + name + " ").c_str());
        Child<QLineEdit>(dlg, "edAddress")->setText(" d.example ");
        Click(dlg, "rbTelnet");
        Child<QCheckBox>(dlg, "cbAutoLogin")->setChecked(true);
        Child<QLineEdit>(dlg, "edLoginName")->setText("joe");
        Click(dlg, button);
        EXPECT_TRUE(dlg.result() == QDialog::Accepted || GetFile(dir / "w.ini") == HostsIni)
            << "Cancel wrote";
        if (dlg.result() == QDialog::Rejected) continue;
        const std::string after = GetFile(dir / "w.ini");
        std::set<std::string> keys{"Hosts/Host4"};
        for (const char *key : {"Address", "Port", "Mode", "AutoLogin", "Login Name", "Password"})
            keys.insert(name + "/" + key);
        EXPECT_EQ(ChangedKeys(HostsIni, after), keys);
        auto k = IniKeys(after);
        EXPECT_EQ(k["Hosts/Host4"] + k[name + "/Address"] + k[name + "/Port"] + k[name + "/Mode"] +
                      k[name + "/AutoLogin"],
                  name + "d.example2311");
        EXPECT_EQ(dlg.BBSName() + dlg.Address() + dlg.Port() + dlg.LoginName(), name + "d.example23joe");
        EXPECT_TRUE(dlg.Mode() == hmTelnet && dlg.AutoLogin());
    }
    // The menu's name starts the second copy on that host; the dialog loads it by name.
    EXPECT_EQ(THostInfo(dir / "w.ini", {"/c=" + hosts.HostMenuNames().back()}).Current().Address,
              "d.example");
    TSetHostDlg again(hosts, nullptr);
    SetName(again, name.c_str());
    EXPECT_EQ(Text(again, "edAddress"), "d.example");
}

TEST(SetHostDlg, OkRefusesOwnSectionNamesAndBadPorts)
{
    TTempFolder dir;
    PutFile(dir / "w.ini", HostsIni);
    THostInfo hosts(dir / "w.ini");
    const struct
    {
        const char *name, *port, *message;
    } cases[] = {
        {"friends", "23", "own settings"}, {"Delta", "0", "1 to 65535"}, // ports as ValidPort takes them
    };
    for (const auto &c : cases) {
        TSetHostDlg dlg(hosts, nullptr);
        SetName(dlg, c.name);
        Child<QLineEdit>(dlg, "edPortNum")->setText(c.port);
        const std::string message = ClickClosingMessageBox(dlg, "OKBtn");
        EXPECT_NE(message.find(c.message), std::string::npos) << c.name << " " << c.port << ": " << message;
        EXPECT_EQ(dlg.result(), 0) << "the dialog stays open";
        EXPECT_EQ(GetFile(dir / "w.ini"), HostsIni);
    }
}

TEST(SetHostDlg, ChoicesSuggestPortAndTerminalOnlyWhenTheUserMakesThem)
{
    TTempFolder dir;
    THostInfo hosts(dir / "w.ini");
    const struct
    {
        THostMode start;
        const char *port, *click, *expected;
        bool ansi; // a new host: Telnet suggests ANSI-BBS
    } cases[] = {{hmORVO, "1976", "rbTelnet", "23", true},   {hmORVO, "1976", "rbISCA", "23", false},
                 {hmISCA, "23", "rbORVO", "1976", false},    {hmTelnet, "23", "rbISCA", "23", false},
                 {hmORVO, "2323", "rbTelnet", "2323", true}, {hmORVO, "1976", "rbTls", "992", false},
                 {hmTelnet, "23", "rbSsh", "22", true},      {hmORVO, "2222", "rbSsh", "2222", false}};
    for (const auto &c : cases) {
        hosts.UseHost("", {.Port = c.port, .Mode = c.start});
        TSetHostDlg dlg(hosts, nullptr);
        EXPECT_EQ(Text(dlg, "edPortNum"), c.port) << "shown as stored";
        EXPECT_TRUE(Checked(dlg, "rbTcp") && Checked(dlg, "rbClassic"));
        Click(dlg, c.click);
        EXPECT_EQ(Text(dlg, "edPortNum"), c.expected) << c.port << " " << c.click;
        EXPECT_EQ(Checked(dlg, "rbAnsiBbs"), c.ansi) << c.click;
        EXPECT_EQ(Child(dlg, "cbIceColours")->isEnabled(), c.ansi) << c.click;
        // Over SSH the user name is needed without auto-login.
        EXPECT_EQ(Child(dlg, "edLoginName")->isEnabled(), std::string(c.click) == "rbSsh") << c.click;
    }
}

TEST(SetHostDlg, OnlyAStoredNameLoadsAHost)
{
    TTempFolder dir;
    PutFile(dir / "w.ini", HostsIni);
    THostInfo hosts(dir / "w.ini",
                    {"/c=Odd"}); // its mode taken unchecked from its section: no button checked
    TSetHostDlg dlg(hosts, nullptr);
    EXPECT_FALSE(Checked(dlg, "rbORVO") || Checked(dlg, "rbISCA") || Checked(dlg, "rbTelnet"));
    const struct
    {
        const char *name, *shown, *checked;
        bool login;
    } cases[] = {
        {"Beta", "b.example 1976", "rbTelnet", false}, // a Telnet host kept on 1976 stays there
        {"Odd", "o.example 1976", "rbORVO", true},
        {"Nobody", "o.example 1976", "rbORVO", true}, // a new name keeps what the boxes hold
    };
    for (const auto &c : cases) {
        SetName(dlg, c.name);
        EXPECT_EQ(Text(dlg, "edAddress") + " " + Text(dlg, "edPortNum"), c.shown);
        EXPECT_TRUE(Checked(dlg, c.checked)) << c.name;
        EXPECT_EQ(Child(dlg, "edLoginName")->isEnabled(), c.login) << c.name;
    }
}

TEST(SetHostDlg, DeleteAsksAndTheFileChangesOnlyAtOk)
{
    const struct
    {
        const char *name;
        QMessageBox::StandardButton answer;
        const char *close, *hosts, *list, *shown; // Host1..Host4 and the name box afterwards
    } cases[] = {
        {"Alpha", QMessageBox::Yes, "OKBtn", "Gamma|Beta||", "Beta,Gamma", "Beta b.example"},
        {"Gamma", QMessageBox::Yes, "OKBtn", "Alpha|Beta||", "Alpha,Beta", "Beta b.example"},
        {"Beta", QMessageBox::Yes, "CancelBtn", "Alpha|Gamma|Beta|", "Alpha,Gamma", "Alpha a.example"},
        {"Beta", QMessageBox::No, "OKBtn", "Alpha|Gamma|Beta|", "Alpha,Beta,Gamma", "Beta b.example"},
        {"Odd", QMessageBox::NoButton, "OKBtn", "Alpha|Gamma|Beta|", "Alpha,Beta,Gamma", "Odd o.example"},
    };
    for (const auto &c : cases) {
        TTempFolder dir;
        PutFile(dir / "w.ini", HostsIni);
        THostInfo hosts(dir / "w.ini");
        TSetHostDlg dlg(hosts, nullptr);
        SetName(dlg, c.name);
        const std::string asked = ClickClosingMessageBox(dlg, "btDelete", c.answer);
        EXPECT_EQ(asked.empty(), c.answer == QMessageBox::NoButton) << c.name; // unlisted: nothing to ask
        EXPECT_EQ(GetFile(dir / "w.ini"), HostsIni) << "written before OK";
        auto *box = Child<QComboBox>(dlg, "cbBBSName");
        QStringList entries;
        for (int i = 0; i < box->count(); ++i)
            entries << box->itemText(i);
        EXPECT_EQ(entries.join(',').toStdString(), c.list);
        EXPECT_EQ(box->currentText().toStdString() + " " + Text(dlg, "edAddress"), c.shown);
        Click(dlg, c.close);
        auto k = IniKeys(GetFile(dir / "w.ini"));
        EXPECT_EQ(k["Hosts/Host1"] + "|" + k["Hosts/Host2"] + "|" + k["Hosts/Host3"] + "|" + k["Hosts/Host4"],
                  c.hosts)
            << c.name;
        EXPECT_EQ(k.count(std::string(c.name) + "/Address"),
                  std::string(c.hosts).find(c.name) != std::string::npos || std::string(c.name) == "Odd");
    }
}

TEST(PreferenceDlg, OkSavesWhatChangedOrSaysItCannotAndCancelWritesNothing)
{
    const std::string ini = "[Preferences]\nScreen Lines=30\nDebug=1\n";
    const struct
    {
        const char *lines, *history, *message, *written;
    } cases[] = {
        {"abc", "5000", "Invalid screen lines value discarded.", "30"},
        {"1000", "1000001", "Invalid history lines value discarded.", "1000"},
    };
    for (const auto &c : cases) {
        TTempFolder dir;
        PutFile(dir / "w.ini", ini);
        TClientPrefs prefs(dir / "w.ini");
        for (const char *button : {"CancelBtn", "OKBtn"}) {
            TPreferenceDlg dlg(prefs, nullptr);
            EXPECT_EQ(dlg.focusWidget(), Child(dlg, "cbStartCon"));
            EXPECT_EQ(Text(dlg, "edLines") + " " + Text(dlg, "edHistory"), "30 10000");
            Child<QCheckBox>(dlg, "cbColours")->setChecked(true);
            Child<QCheckBox>(dlg, "cbSilent")->setChecked(true);
            Child<QComboBox>(dlg, "cbLinkEmulation")->setCurrentIndex(0);
            Child<QLineEdit>(dlg, "edLines")->setText(c.lines);
            Child<QLineEdit>(dlg, "edHistory")->setText(c.history);
            const std::string message = ClickClosingMessageBox(dlg, button);
            EXPECT_TRUE(dlg.result() == QDialog::Accepted || GetFile(dir / "w.ini") == ini) << "Cancel wrote";
            EXPECT_EQ(message, dlg.result() ? c.message : "");
        }
        std::set<std::string> written{"Preferences/Disable Colours", "Preferences/Silent when inactive",
                                      "Preferences/Emulation for links"};
        if (c.written != std::string("30")) written.insert("Preferences/Screen Lines");
        if (c.history == std::string("5000")) written.insert("Preferences/History lines");
        const std::string after = GetFile(dir / "w.ini");
        EXPECT_EQ(ChangedKeys(ini, after), written) << c.lines;
        EXPECT_EQ(IniKeys(after)["Preferences/Screen Lines"] +
                      IniKeys(after)["Preferences/Emulation for links"],
                  c.written + std::string("classic"));
    }
    TTempFolder dir;
    TClientPrefs prefs(dir / "w.ini");
    TPreferenceDlg dlg(prefs, nullptr);
    Child<QCheckBox>(dlg, "cbColours")->setChecked(true);
    SetAtomicWriteHook([] { return false; }); // the disk is full
    EXPECT_NE(ClickClosingMessageBox(dlg, "OKBtn").find("could not be written"), std::string::npos);
    SetAtomicWriteHook({});
}

TEST(Dialogs, EveryControlHasAnAccessibleName)
{
    TTempFolder dir;
    PutFile(dir / "w.ini", HostsIni);
    THostInfo hosts(dir / "w.ini");
    TClientPrefs prefs(dir / "w.ini");
    TUserFilter filter(dir / "w.ini");
    TSetHostDlg setHost(hosts, nullptr);
    TPreferenceDlg preferences(prefs, nullptr);
    TUserFilterDlg userFilter(filter, nullptr);
    for (QDialog *dlg : std::initializer_list<QDialog *>{&setHost, &preferences, &userFilter})
        ExpectEveryControlNamed(*dlg);
}
