#include "config/qt/SetHostDlg.h"

#include "config/qt/DialogUtil.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace {

template <class W> W *Named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel *Label(const QString &caption, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

TSetHostDlg::TSetHostDlg(THostInfo &hosts, QWidget *parent) : QDialog(parent), FHosts(hosts)
{
    setWindowTitle(tr("Setup Hosts"));
    SetHelpContext(this, HelpContext);

    cbBBSName = Named(new QComboBox(this), "cbBBSName");
    cbBBSName->setEditable(true);
    cbBBSName->setInsertPolicy(QComboBox::NoInsert);
    cbBBSName->setCompleter(nullptr); // a new name must not turn into a listed one as it is typed
    edAddress = Named(new QLineEdit(this), "edAddress");
    edPortNum = Named(new QLineEdit(QStringLiteral("1976"), this), "edPortNum");
    edPortNum->setMaximumWidth(edPortNum->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 8 + 16);

    auto *modeBox = new QGroupBox(tr("Mode"), this);
    rbORVO = Named(new QRadioButton(tr("ORVO CLient"), modeBox), "rbORVO");
    rbISCA = Named(new QRadioButton(tr("ISCA Client"), modeBox), "rbISCA");
    rbTelnet = Named(new QRadioButton(tr("Telnet"), modeBox), "rbTelnet");
    rbORVO->setChecked(true);
    FModes = new QButtonGroup(this);
    FModes->addButton(rbORVO, hmORVO);
    FModes->addButton(rbTelnet, hmTelnet);
    FModes->addButton(rbISCA, hmISCA);
    auto *modes = new QVBoxLayout(modeBox);
    for (QRadioButton *rb : {rbORVO, rbISCA, rbTelnet})
        modes->addWidget(rb);
    modes->addStretch();

    auto *loginBox = new QGroupBox(this);
    cbAutoLogin = Named(new QCheckBox(tr("Auto Login"), loginBox), "cbAutoLogin");
    edLoginName = Named(new QLineEdit(loginBox), "edLoginName");
    edPassword = Named(new QLineEdit(loginBox), "edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    lbLoginName = Named(Label(tr("Username"), edLoginName, loginBox), "lbLoginName");
    lbPassword = Named(Label(tr("Password"), edPassword, loginBox), "lbPassword");
    auto *login = new QGridLayout(loginBox);
    login->addWidget(cbAutoLogin, 0, 0, 1, 2);
    login->addWidget(lbLoginName, 1, 0);
    login->addWidget(edLoginName, 1, 1);
    login->addWidget(lbPassword, 2, 0);
    login->addWidget(edPassword, 2, 1);
    login->setRowStretch(3, 1);

    btDelete = MakeButton(this, "btDelete", tr("Delete Config"));
    btDelete->setAutoDefault(false);
    OKBtn = MakeButton(this, "OKBtn", tr("OK"));
    OKBtn->setDefault(true);
    CancelBtn = MakeButton(this, "CancelBtn", tr("Cancel"));
    HelpBtn = MakeButton(this, "HelpBtn", tr("&Help")); // F1 help; no click action

    auto *fields = new QGridLayout;
    fields->addWidget(Label(tr("BBS Name"), cbBBSName, this), 0, 0);
    fields->addWidget(cbBBSName, 0, 1, 1, 2);
    fields->addWidget(Label(tr("Address"), edAddress, this), 1, 0);
    fields->addWidget(edAddress, 1, 1, 1, 2);
    fields->addWidget(Label(tr("Port Number"), edPortNum, this), 2, 0);
    fields->addWidget(edPortNum, 2, 1);
    fields->setColumnStretch(2, 1);
    auto *boxes = new QHBoxLayout;
    boxes->addWidget(modeBox);
    boxes->addWidget(loginBox, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btDelete);
    buttons->addStretch();
    for (QPushButton *b : {OKBtn, CancelBtn, HelpBtn})
        buttons->addWidget(b);
    auto *main = new QVBoxLayout(this);
    main->addLayout(fields);
    main->addLayout(boxes, 1);
    main->addLayout(buttons);

    setTabOrder(cbBBSName, edAddress);
    setTabOrder(edAddress, edPortNum);
    setTabOrder(edPortNum, rbORVO);
    setTabOrder(rbORVO, rbISCA);
    setTabOrder(rbISCA, rbTelnet);
    setTabOrder(rbTelnet, cbAutoLogin);
    setTabOrder(cbAutoLogin, edLoginName);
    setTabOrder(edLoginName, edPassword);
    setTabOrder(edPassword, btDelete);
    setTabOrder(btDelete, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, HelpBtn);

    FixClientSize(this, QSize(380, 294));
    FormCreate();

    connect(FModes, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) ModeChecked(THostMode(id));
    });
    connect(cbAutoLogin, &QCheckBox::toggled, this, &TSetHostDlg::EnableLogin);
    connect(cbBBSName, &QComboBox::editTextChanged, this, &TSetHostDlg::cbBBSNameChange);
    connect(OKBtn, &QPushButton::clicked, this, &TSetHostDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(btDelete, &QPushButton::clicked, this, &TSetHostDlg::btDeleteClick);
    edAddress->setFocus();
}

void TSetHostDlg::FormCreate()
{
    CentreOverOwner(this, parentWidget());
    // The list first: filling an empty combo box would replace the name in it.
    std::vector<std::string> names = FHosts.HostList();
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string &a, const std::string &b) { return CompareIniNames(a, b) < 0; });
    for (const std::string &name : names)
        cbBBSName->addItem(BytesToText(name));
    cbBBSName->setCurrentIndex(
        cbBBSName->findText(BytesToText(FHosts.BBSName), Qt::MatchFixedString | Qt::MatchCaseSensitive));
    cbBBSName->setEditText(BytesToText(FHosts.BBSName));
    edAddress->setText(BytesToText(FHosts.Address));
    edPortNum->setText(BytesToText(FHosts.Port));
    edLoginName->setText(BytesToText(FHosts.LoginName));
    edPassword->setText(BytesToText(FHosts.Password));
    FMode = FHosts.Mode;
    CheckMode(FMode);
    cbAutoLogin->setChecked(FHosts.AutoLogin);
    EnableLogin();
}

void TSetHostDlg::CheckMode(int mode)
{
    // Checking a button here shows stored settings: the port rule is for the
    // user's choices only, or a Telnet host kept on port 1976 would show (and
    // on OK store) 23.
    FLoading = true;
    if (QAbstractButton *button = FModes->button(mode)) {
        button->setChecked(true);
    } else {
        FModes->setExclusive(false);
        for (QAbstractButton *b : FModes->buttons())
            b->setChecked(false);
        FModes->setExclusive(true);
    }
    FLoading = false;
}

void TSetHostDlg::ModeChecked(THostMode mode)
{
    if (!FLoading) edPortNum->setText(BytesToText(PortForMode(TextToBytes(edPortNum->text()), mode)));
}

void TSetHostDlg::EnableLogin()
{
    const bool on = cbAutoLogin->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{lbLoginName, edLoginName, lbPassword, edPassword})
        w->setEnabled(on);
}

void TSetHostDlg::cbBBSNameChange()
{
    THostSettings host; // the defaults when the name has no address
    FHosts.LookupHost(TextToBytes(cbBBSName->currentText()), host);
    edAddress->setText(BytesToText(host.Address));
    edPortNum->setText(BytesToText(host.Port));
    CheckMode(host.Mode);
    cbAutoLogin->setChecked(host.AutoLogin);
    edLoginName->setText(BytesToText(host.LoginName));
    edPassword->setText(BytesToText(host.Password));
    EnableLogin();
}

THostSettings TSetHostDlg::Settings() const
{
    THostSettings host;
    host.Address = Address();
    host.Port = Port();
    host.Mode = rbISCA->isChecked() ? hmISCA : rbTelnet->isChecked() ? hmTelnet : hmORVO;
    host.AutoLogin = AutoLogin();
    host.LoginName = LoginName();
    host.Password = Password();
    return host;
}

void TSetHostDlg::OKBtnClick()
{
    const THostSettings host = Settings();
    FMode = host.Mode;
    const std::string name = BBSName();
    // A blank name cannot name a section: the host is used but not stored.
    if (name.find_first_not_of(" \t") != std::string::npos && !FHosts.StoreHost(name, host))
        ReportSaveFailure(this, FHosts.IniFileName());
    accept();
}

void TSetHostDlg::btDeleteClick()
{
    const QString name = cbBBSName->currentText();
    if (!FHosts.DeleteHost(TextToBytes(name))) return;
    // The entry of the deleted name, wherever the list's own current index was
    // left while the name was typed over.
    const int removed = cbBBSName->findText(name, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (removed >= 0) cbBBSName->removeItem(removed);
    const int next = SelectionAfterDelete(removed, cbBBSName->count());
    {
        const QSignalBlocker quiet(cbBBSName);
        cbBBSName->setCurrentIndex(next);
        if (next < 0) cbBBSName->setEditText(QString());
    }
    cbBBSNameChange();
}

std::string TSetHostDlg::BBSName() const
{
    return TextToBytes(cbBBSName->currentText());
}

std::string TSetHostDlg::Address() const
{
    return TextToBytes(edAddress->text());
}

std::string TSetHostDlg::Port() const
{
    return TextToBytes(edPortNum->text());
}

bool TSetHostDlg::AutoLogin() const
{
    return cbAutoLogin->isChecked();
}

std::string TSetHostDlg::LoginName() const
{
    return TextToBytes(edLoginName->text());
}

std::string TSetHostDlg::Password() const
{
    return TextToBytes(edPassword->text());
}
