// Setup Hosts and Preferences dialogs: what OK, Cancel and Delete do to the file.
#include "config/qt/PreferenceDlg.h"
#include "config/qt/SetHostDlg.h"
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
    Child<QComboBox>(dlg, "cbBBSName")->setEditText(name);
}

} // namespace

TEST(SetHostDlg, OkStoresTheNamedHostAndCancelWritesNothing)
{
    TTempFolder dir;
    PutFile(dir / "w.ini", HostsIni);
    THostInfo hosts(dir / "w.ini");
    QWidget owner;
    owner.setGeometry(10, 20, 301, 101);
    for (const char *button : {"CancelBtn", "OKBtn"}) {
        TSetHostDlg dlg(hosts, &owner);
        EXPECT_EQ(dlg.geometry(), QRect(-29, -76, 380, 294)); // centred, -79/2 and -193/2 rounded up
        EXPECT_EQ(dlg.focusWidget(), Child(dlg, "edAddress"));
        EXPECT_EQ(dlg.property("helpContext").toInt(), 4);
        SetName(dlg, "Delta");
        Child<QLineEdit>(dlg, "edAddress")->setText("d.example");
        Click(dlg, "rbTelnet");
        Child<QCheckBox>(dlg, "cbAutoLogin")->setChecked(true);
        Child<QLineEdit>(dlg, "edLoginName")->setText("joe");
        Click(dlg, button);
        EXPECT_TRUE(dlg.result() == QDialog::Accepted || GetFile(dir / "w.ini") == HostsIni)
            << "Cancel wrote";
        if (dlg.result() == QDialog::Rejected) continue;
        const std::string after = GetFile(dir / "w.ini");
        EXPECT_EQ(ChangedKeys(HostsIni, after),
                  (std::set<std::string>{"Hosts/Host4", "Delta/Address", "Delta/Port", "Delta/Mode",
                                         "Delta/AutoLogin", "Delta/Login Name", "Delta/Password"}));
        auto k = IniKeys(after);
        EXPECT_EQ(k["Hosts/Host4"] + k["Delta/Port"] + k["Delta/Mode"] + k["Delta/AutoLogin"], "Delta2311");
        EXPECT_EQ(dlg.BBSName() + dlg.Address() + dlg.Port() + dlg.LoginName(), "Deltad.example23joe");
        EXPECT_TRUE(dlg.Mode() == hmTelnet && dlg.AutoLogin());
    }
}

TEST(SetHostDlg, PortRuleFollowsTheUsersModeChoiceOnly)
{
    TTempFolder dir;
    THostInfo hosts(dir / "w.ini");
    const struct
    {
        THostMode start;
        const char *port, *click, *expected;
    } cases[] = {{hmORVO, "1976", "rbTelnet", "23"},
                 {hmORVO, "1976", "rbISCA", "23"},
                 {hmISCA, "23", "rbORVO", "1976"},
                 {hmTelnet, "23", "rbISCA", "23"},
                 {hmORVO, "2323", "rbTelnet", "2323"}};
    for (const auto &c : cases) {
        hosts.Mode = c.start;
        hosts.Port = c.port;
        TSetHostDlg dlg(hosts, nullptr);
        EXPECT_EQ(Text(dlg, "edPortNum"), c.port) << "shown as stored";
        Click(dlg, c.click);
        EXPECT_EQ(Text(dlg, "edPortNum"), c.expected) << c.port << " " << c.click;
    }
}

TEST(SetHostDlg, NameLookupShowsTheStoredHostUnchanged)
{
    TTempFolder dir;
    PutFile(dir / "w.ini", HostsIni);
    THostInfo hosts(dir / "w.ini");
    hosts.Mode = THostMode(9); // taken unchecked from a host's section: no button checked
    TSetHostDlg dlg(hosts, nullptr);
    EXPECT_FALSE(Child<QRadioButton>(dlg, "rbORVO")->isChecked() ||
                 Child<QRadioButton>(dlg, "rbISCA")->isChecked() ||
                 Child<QRadioButton>(dlg, "rbTelnet")->isChecked());
    const struct
    {
        const char *name, *shown, *checked;
        bool login;
    } cases[] = {
        {"Beta", "b.example 1976", "rbTelnet", false}, // a Telnet host kept on 1976 stays there
        {"Odd", "o.example 1976", "rbORVO", true},
        {"Nobody", " 1976", "rbORVO", false},
    };
    for (const auto &c : cases) {
        SetName(dlg, c.name);
        EXPECT_EQ(Text(dlg, "edAddress") + " " + Text(dlg, "edPortNum"), c.shown);
        EXPECT_TRUE(Child<QRadioButton>(dlg, c.checked)->isChecked()) << c.name;
        EXPECT_EQ(Child(dlg, "edLoginName")->isEnabled(), c.login) << c.name;
    }
}

TEST(SetHostDlg, DeleteClosesTheGapAndSelectsANeighbour)
{
    const struct
    {
        const char *name, *hosts, *list, *shown; // Host1..Host4 and the name box afterwards
    } cases[] = {
        {"Alpha", "Gamma|Beta||", "Beta,Gamma", "Beta b.example"},
        {"Gamma", "Alpha|Beta||", "Alpha,Beta", "Beta b.example"},
        {"Beta", "Alpha|Gamma||", "Alpha,Gamma", "Alpha a.example"},
        {"Odd", "Alpha|Gamma|Beta|", "Alpha,Beta,Gamma", "Odd o.example"}, // not listed: nothing happens
    };
    for (const auto &c : cases) {
        TTempFolder dir;
        PutFile(dir / "w.ini", HostsIni);
        THostInfo hosts(dir / "w.ini");
        TSetHostDlg dlg(hosts, nullptr);
        SetName(dlg, c.name);
        Click(dlg, "btDelete");
        auto k = IniKeys(GetFile(dir / "w.ini"));
        EXPECT_EQ(k["Hosts/Host1"] + "|" + k["Hosts/Host2"] + "|" + k["Hosts/Host3"] + "|" + k["Hosts/Host4"],
                  c.hosts);
        EXPECT_EQ(k.count(std::string(c.name) + "/Address"), std::string(c.name) == "Odd");
        auto *box = Child<QComboBox>(dlg, "cbBBSName");
        QStringList entries;
        for (int i = 0; i < box->count(); ++i)
            entries << box->itemText(i);
        EXPECT_EQ(entries.join(',').toStdString(), c.list);
        EXPECT_EQ(box->currentText().toStdString() + " " + Text(dlg, "edAddress"), c.shown);
    }
}

TEST(PreferenceDlg, OkSavesThePreferencesAndCancelWritesNothing)
{
    const std::string ini = "[Preferences]\nScreen Lines=30\nDebug=1\n";
    const struct
    {
        const char *lines, *message, *stored;
    } cases[] = {
        {"abc", "Invalid screen lines value discarded.", "30"},
        {"1000", "", "1000"},
    };
    for (const auto &c : cases) {
        TTempFolder dir;
        PutFile(dir / "w.ini", ini);
        TClientPrefs prefs(dir / "w.ini");
        for (const char *button : {"CancelBtn", "OKBtn"}) {
            TPreferenceDlg dlg(prefs, nullptr);
            EXPECT_EQ(dlg.focusWidget(), Child(dlg, "cbStartCon"));
            EXPECT_EQ(dlg.property("helpContext").toInt(), 8);
            EXPECT_EQ(Text(dlg, "edLines"), "30");
            Child<QCheckBox>(dlg, "cbColours")->setChecked(true);
            Child<QLineEdit>(dlg, "edLines")->setText(c.lines);
            const std::string message = ClickClosingMessageBox(dlg, button);
            EXPECT_TRUE(dlg.result() == QDialog::Accepted || GetFile(dir / "w.ini") == ini) << "Cancel wrote";
            EXPECT_EQ(message, dlg.result() ? c.message : "");
        }
        std::set<std::string> written;
        for (const char *key :
             {"Connect on Startup", "Exit on Disconnect", "Disable Colours", "Disable Flashing", "FontName",
              "FontSize", "FontBold", "FontItalic", "Reconnect automatically", "Message notices",
              c.stored == std::string("30") ? "" : "Screen Lines"})
            if (*key) written.insert(std::string("Preferences/") + key);
        const std::string after = GetFile(dir / "w.ini");
        EXPECT_EQ(ChangedKeys(ini, after), written) << c.lines;
        EXPECT_EQ(IniKeys(after)["Preferences/Screen Lines"] + IniKeys(after)["Preferences/Disable Colours"],
                  c.stored + std::string("1"));
    }
}

TEST(PreferenceDlg, AFailedSaveIsReported)
{
    TTempFolder dir;
    TClientPrefs prefs(dir / "w.ini");
    TPreferenceDlg dlg(prefs, nullptr);
    SetAtomicWriteHook([] { return false; }); // the disk is full
    const std::string message = ClickClosingMessageBox(dlg, "OKBtn");
    SetAtomicWriteHook({});
    EXPECT_NE(message.find("could not be written"), std::string::npos) << message;
}
