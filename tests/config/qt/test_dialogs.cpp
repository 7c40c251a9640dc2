// Setup Hosts and Preferences dialogs: what OK, Cancel and Delete do to the file.
#include "config/qt/PreferenceDlg.h"
#include "config/qt/SetHostDlg.h"
#include "tests/config/qt/DialogTestUtil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const std::string HostsIni = "[Hosts]\nHost=Alpha\nAddress=a.example\nPort=1976\nMode=0\n"
                             "Host1=Alpha\nHost2=Gamma\nHost3=Beta\n"
                             "[Alpha]\nAddress=a.example\nPort=1976\n[Gamma]\nAddress=g.example\n"
                             "[Beta]\nAddress=b.example\nPort=1976\nMode=1\n";

template <class W = QWidget> W *Child(QWidget &dlg, const char *name)
{
    W *w = dlg.findChild<W *>(QLatin1String(name));
    EXPECT_TRUE(w) << name;
    return w;
}

std::string Text(QWidget &dlg, const char *name)
{
    return Child<QLineEdit>(dlg, name)->text().toStdString();
}

} // namespace

TEST(SetHostDlg, CentresOverOwnerRoundingTowardZero)
{
    TTempFolder dir;
    THostInfo hosts(dir / "w.ini");
    const struct
    {
        QRect owner;
        QPoint expected;
    } cases[] = {
        {{100, 50, 640, 358}, {230, 82}},
        {{10, 20, 301, 101}, {-29, -76}}, // -79/2 and -193/2 round up, not down
    };
    for (const auto &c : cases) {
        QWidget owner;
        owner.setGeometry(c.owner);
        TSetHostDlg dlg(hosts, &owner);
        ASSERT_EQ(dlg.size(), QSize(380, 294));
        EXPECT_EQ(dlg.pos(), c.expected);
    }
}

TEST(SetHostDlg, OkStoresTheNamedHostAndCancelWritesNothing)
{
    TTempFolder dir;
    PutFile(dir / "w.ini", HostsIni);
    THostInfo hosts(dir / "w.ini");
    {
        TSetHostDlg dlg(hosts, nullptr);
        EXPECT_EQ(dlg.focusWidget(), Child(dlg, "edAddress"));
        EXPECT_EQ(dlg.property("helpContext").toInt(), 4);
        Child<QComboBox>(dlg, "cbBBSName")->setEditText("Delta");
        Child<QLineEdit>(dlg, "edAddress")->setText("d.example");
        Child<QCheckBox>(dlg, "cbAutoLogin")->setChecked(true);
        Child<QPushButton>(dlg, "CancelBtn")->click();
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    EXPECT_EQ(GetFile(dir / "w.ini"), HostsIni);

    TSetHostDlg dlg(hosts, nullptr);
    Child<QComboBox>(dlg, "cbBBSName")->setEditText("Delta");
    Child<QLineEdit>(dlg, "edAddress")->setText("d.example");
    QTest::mouseClick(Child(dlg, "rbTelnet"), Qt::LeftButton);
    Child<QCheckBox>(dlg, "cbAutoLogin")->setChecked(true);
    Child<QLineEdit>(dlg, "edLoginName")->setText("joe");
    Child<QLineEdit>(dlg, "edPassword")->setText("pw");
    Child<QPushButton>(dlg, "OKBtn")->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const std::string after = GetFile(dir / "w.ini");
    EXPECT_EQ(ChangedKeys(HostsIni, after),
              (std::set<std::string>{"Hosts/Host4", "Delta/Address", "Delta/Port", "Delta/Mode",
                                     "Delta/AutoLogin", "Delta/Login Name", "Delta/Password"}));
    auto keys = IniKeys(after);
    EXPECT_EQ(keys["Hosts/Host4"] + keys["Delta/Port"] + keys["Delta/Mode"] + keys["Delta/AutoLogin"],
              "Delta2311");
    EXPECT_EQ(dlg.BBSName() + " " + dlg.Address() + " " + dlg.Port() + " " + dlg.LoginName() + " " +
                  dlg.Password(),
              "Delta d.example 23 joe pw");
    EXPECT_EQ(dlg.Mode(), hmTelnet);
    EXPECT_TRUE(dlg.AutoLogin());
}

TEST(SetHostDlg, PortRuleFollowsTheUsersModeChoice)
{
    TTempFolder dir;
    THostInfo hosts(dir / "w.ini");
    const struct
    {
        THostMode start;
        const char *port, *click, *expected;
    } cases[] = {
        {hmORVO, "1976", "rbTelnet", "23"},   {hmORVO, "1976", "rbISCA", "23"},
        {hmTelnet, "23", "rbORVO", "1976"},   {hmISCA, "23", "rbORVO", "1976"},
        {hmORVO, "2323", "rbTelnet", "2323"}, {hmTelnet, "2323", "rbORVO", "2323"},
        {hmTelnet, "23", "rbISCA", "23"},     {hmORVO, "23", "rbISCA", "23"},
    };
    for (const auto &c : cases) {
        hosts.Mode = c.start;
        hosts.Port = c.port;
        TSetHostDlg dlg(hosts, nullptr);
        EXPECT_EQ(Text(dlg, "edPortNum"), c.port) << "shown as stored";
        QTest::mouseClick(Child(dlg, c.click), Qt::LeftButton);
        EXPECT_EQ(Text(dlg, "edPortNum"), c.expected) << c.port << " " << c.click;
    }
}

TEST(SetHostDlg, NameLookupShowsTheStoredHostUnchanged)
{
    TTempFolder dir;
    PutFile(dir / "w.ini", HostsIni + "[Odd]\nAddress=o.example\nMode=7\nAutoLogin=1\nLogin Name=ann\n");
    THostInfo hosts(dir / "w.ini");
    hosts.Mode = 9; // taken unchecked from a host's section: no button
    TSetHostDlg dlg(hosts, nullptr);
    for (const char *rb : {"rbORVO", "rbISCA", "rbTelnet"})
        EXPECT_FALSE(Child<QRadioButton>(dlg, rb)->isChecked()) << rb;
    auto *name = Child<QComboBox>(dlg, "cbBBSName");
    const struct
    {
        const char *name, *address, *port, *checked;
        bool login;
    } cases[] = {
        {"Beta", "b.example", "1976", "rbTelnet", false}, // a Telnet host kept on 1976 stays there
        {"Odd", "o.example", "1976", "rbORVO", true},
        {"Nobody", "", "1976", "rbORVO", false},
    };
    for (const auto &c : cases) {
        name->setEditText(c.name);
        EXPECT_EQ(Text(dlg, "edAddress") + " " + Text(dlg, "edPortNum"),
                  std::string(c.address) + " " + c.port);
        EXPECT_TRUE(Child<QRadioButton>(dlg, c.checked)->isChecked()) << c.name;
        EXPECT_EQ(Child(dlg, "edLoginName")->isEnabled(), c.login) << c.name;
    }
}

TEST(SetHostDlg, DeleteClosesTheGapAndSelectsANeighbour)
{
    const struct
    {
        const char *name;
        std::string hosts;        // Host1..Host4 after the delete, "|"-separated
        const char *list, *shown; // the name box's entries and text afterwards
    } cases[] = {
        {"Alpha", "Gamma|Beta||", "Beta,Gamma", "Beta"},
        {"Gamma", "Alpha|Beta||", "Alpha,Beta", "Beta"},
        {"Beta", "Alpha|Gamma||", "Alpha,Gamma", "Alpha"},
        {"Nobody", "Alpha|Gamma|Beta|", "Alpha,Beta,Gamma", "Nobody"},
    };
    for (const auto &c : cases) {
        TTempFolder dir;
        PutFile(dir / "w.ini", HostsIni);
        THostInfo hosts(dir / "w.ini");
        TSetHostDlg dlg(hosts, nullptr);
        auto *name = Child<QComboBox>(dlg, "cbBBSName");
        name->setEditText(c.name);
        Child<QPushButton>(dlg, "btDelete")->click();
        auto keys = IniKeys(GetFile(dir / "w.ini"));
        std::string list;
        for (int i = 1; i <= 4; ++i)
            list += keys["Hosts/Host" + std::to_string(i)] + (i < 4 ? "|" : "");
        EXPECT_EQ(list, c.hosts) << c.name;
        EXPECT_EQ(keys.count(std::string(c.name) + "/Address"), 0u) << c.name;
        QStringList entries;
        for (int i = 0; i < name->count(); ++i)
            entries << name->itemText(i);
        EXPECT_EQ(entries.join(',').toStdString(), c.list);
        EXPECT_EQ(name->currentText().toStdString(), c.shown);
        if (std::string(c.name) != "Nobody") {
            EXPECT_EQ(Text(dlg, "edAddress"), keys[std::string(c.shown) + "/Address"]);
        }
    }
}

TEST(PreferenceDlg, OkSavesThePreferencesAndCancelWritesNothing)
{
    const std::string ini = "[Preferences]\nScreen Lines=30\nDebug=1\n[Hosts]\nHost=Alpha\n";
    const struct
    {
        const char *lines;
        const char *message;
        const char *stored;
    } cases[] = {
        {"abc", "Invalid screen lines value discarded.", "30"},
        {"3", "", "3"},
        {"1000", "", "1000"},
    };
    for (const auto &c : cases) {
        TTempFolder dir;
        PutFile(dir / "w.ini", ini);
        TClientPrefs prefs(dir / "w.ini");
        {
            TPreferenceDlg dlg(prefs, nullptr);
            Child<QCheckBox>(dlg, "cbColours")->setChecked(true);
            Child<QPushButton>(dlg, "CancelBtn")->click();
        }
        EXPECT_EQ(GetFile(dir / "w.ini"), ini);
        EXPECT_FALSE(prefs.DisableColours);

        TPreferenceDlg dlg(prefs, nullptr);
        EXPECT_EQ(dlg.focusWidget(), Child(dlg, "cbStartCon"));
        EXPECT_EQ(dlg.property("helpContext").toInt(), 8);
        EXPECT_EQ(Text(dlg, "edLines"), "30");
        Child<QCheckBox>(dlg, "cbColours")->setChecked(true);
        Child<QLineEdit>(dlg, "edLines")->setText(c.lines);
        EXPECT_EQ(RunClosingMessageBox([&] { Child<QPushButton>(dlg, "OKBtn")->click(); }).toStdString(),
                  c.message);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        const std::string after = GetFile(dir / "w.ini");
        std::set<std::string> written;
        for (const char *key : {"Connect on Startup", "Exit on Disconnect", "Disable Colours",
                                "Disable Flashing", "FontName", "FontSize", "FontBold", "FontItalic"})
            written.insert(std::string("Preferences/") + key);
        if (c.stored != std::string("30")) written.insert("Preferences/Screen Lines");
        EXPECT_EQ(ChangedKeys(ini, after), written) << c.lines;
        EXPECT_EQ(IniKeys(after)["Preferences/Screen Lines"], c.stored);
        EXPECT_EQ(IniKeys(after)["Preferences/Disable Colours"], "1");
    }
}

TEST(PreferenceDlg, AFailedSaveIsReported)
{
    TTempFolder dir;
    PutFile(dir / "w.ini", "[Preferences]\nScreen Lines=30\n");
    TClientPrefs prefs(dir / "w.ini");
    TPreferenceDlg dlg(prefs, nullptr);
    Child<QCheckBox>(dlg, "cbColours")->setChecked(true);
    SetAtomicWriteHook([] { return false; }); // the disk is full
    const QString message = RunClosingMessageBox([&] { Child<QPushButton>(dlg, "OKBtn")->click(); });
    SetAtomicWriteHook({});
    EXPECT_TRUE(message.contains("could not be written")) << message.toStdString();
    EXPECT_EQ(GetFile(dir / "w.ini"), "[Preferences]\nScreen Lines=30\n");
}
