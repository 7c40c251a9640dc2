#include "config/qt/SetHostDlg.h"

#include "config/HostLink.h"
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

struct TRadio
{
    QRadioButton *&Button;
    const char *Name;
    QString Caption;
    int Id;
};

// A titled box of radio buttons, top to bottom.
QGroupBox *RadioBox(QWidget *parent, const QString &title, QButtonGroup *&group,
                    std::initializer_list<TRadio> radios)
{
    auto *box = new QGroupBox(title, parent);
    group = new QButtonGroup(parent);
    auto *layout = new QVBoxLayout(box);
    for (const TRadio &r : radios) {
        r.Button = Named(new QRadioButton(r.Caption, box), r.Name);
        group->addButton(r.Button, r.Id);
        layout->addWidget(r.Button);
    }
    layout->addStretch();
    return box;
}

} // namespace

TSetHostDlg::TSetHostDlg(THostInfo &hosts, QWidget *parent) : QDialog(parent), FHosts(hosts)
{
    setWindowTitle(tr("Setup Hosts"));
    SetHelpContext(this, HelpContext);
    Layout();
    FixClientSize(this, QSize(380, 294));
    FormCreate();

    for (QButtonGroup *group : {FModes, FTransports})
        connect(group, &QButtonGroup::idToggled, this, [this](int, bool checked) {
            if (checked && !FLoading) ChoiceChanged();
        });
    connect(FTerminals, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked && !FLoading) FTerminalChosen = true;
        EnableFields();
    });
    connect(cbAutoLogin, &QCheckBox::toggled, this, &TSetHostDlg::EnableFields);
    connect(cbBBSName, &QComboBox::editTextChanged, this, &TSetHostDlg::cbBBSNameChange);
    connect(OKBtn, &QPushButton::clicked, this, &TSetHostDlg::OKBtnClick);
    connect(btDelete, &QPushButton::clicked, this, &TSetHostDlg::btDeleteClick);
    edAddress->setFocus();
}

void TSetHostDlg::Layout()
{
    cbBBSName = Named(new QComboBox(this), "cbBBSName");
    cbBBSName->setEditable(true);
    cbBBSName->setInsertPolicy(QComboBox::NoInsert);
    cbBBSName->setCompleter(nullptr); // a new name must not turn into a listed one as it is typed
    cbBBSName->lineEdit()->setAccessibleName(tr("BBS Name"));
    edAddress = Named(new QLineEdit(this), "edAddress");
    edPortNum = Named(new QLineEdit(QStringLiteral("1976"), this), "edPortNum");
    edPortNum->setMaximumWidth(edPortNum->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 8 + 16);

    QGroupBox *modeBox = RadioBox(this, tr("Mode"), FModes,
                                  {{rbORVO, "rbORVO", tr("ORVO CLient"), hmORVO},
                                   {rbISCA, "rbISCA", tr("ISCA Client"), hmISCA},
                                   {rbTelnet, "rbTelnet", tr("Telnet"), hmTelnet}});
    QGroupBox *connectionBox = RadioBox(this, tr("Connection"), FTransports,
                                        {{rbTcp, "rbTcp", tr("Telnet/TCP"), int(THostTransport::Tcp)},
                                         {rbTls, "rbTls", tr("TLS"), int(THostTransport::Tls)},
                                         {rbSsh, "rbSsh", tr("SSH"), int(THostTransport::Ssh)}});
    QGroupBox *terminalBox =
        RadioBox(this, tr("Terminal"), FTerminals,
                 {{rbClassic, "rbClassic", tr("Classic"), int(THostTerminal::Classic)},
                  {rbAnsiBbs, "rbAnsiBbs", tr("ANSI-BBS"), int(THostTerminal::AnsiBbs)}});
    cbIceColours = Named(new QCheckBox(tr("iCE colours"), terminalBox), "cbIceColours");
    cbIceColours->setToolTip(tr("Blinking text shows a bright background instead (ANSI-BBS)"));
    cbLfExpand = Named(new QCheckBox(tr("LF also returns the carriage"), terminalBox), "cbLfExpand");
    cbLfExpand->setToolTip(tr("For boards that send art with bare line feeds (ANSI-BBS)"));
    cbHideSauce = Named(new QCheckBox(tr("Hide SAUCE records"), terminalBox), "cbHideSauce");
    cbHideSauce->setToolTip(
        tr("The description some boards send after an art screen is not shown (ANSI-BBS)"));
    auto *terminalLayout = qobject_cast<QVBoxLayout *>(terminalBox->layout());
    terminalLayout->insertWidget(2, cbIceColours);
    terminalLayout->insertWidget(3, cbLfExpand);
    terminalLayout->insertWidget(4, cbHideSauce);

    auto *loginBox = new QGroupBox(this);
    cbAutoLogin = Named(new QCheckBox(tr("Auto &Login"), loginBox), "cbAutoLogin");
    edLoginName = Named(new QLineEdit(loginBox), "edLoginName");
    edLoginName->setToolTip(tr("For SSH, the user name on the server"));
    edPassword = Named(new QLineEdit(loginBox), "edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    lbLoginName = BuddyLabel(tr("&Username"), edLoginName, loginBox, "lbLoginName");
    lbPassword = BuddyLabel(tr("Pass&word"), edPassword, loginBox, "lbPassword");
    auto *login = new QGridLayout(loginBox);
    login->addWidget(cbAutoLogin, 0, 0, 1, 2);
    login->addWidget(lbLoginName, 1, 0);
    login->addWidget(edLoginName, 1, 1);
    login->addWidget(lbPassword, 2, 0);
    login->addWidget(edPassword, 2, 1);

    btDelete = MakeButton(this, "btDelete", tr("Delete Config"));
    btDelete->setAutoDefault(false);

    auto *fields = new QGridLayout;
    fields->addWidget(BuddyLabel(tr("BBS &Name"), cbBBSName, this), 0, 0);
    fields->addWidget(cbBBSName, 0, 1, 1, 2);
    fields->addWidget(BuddyLabel(tr("&Address"), edAddress, this), 1, 0);
    fields->addWidget(edAddress, 1, 1, 1, 2);
    fields->addWidget(BuddyLabel(tr("&Port Number"), edPortNum, this), 2, 0);
    fields->addWidget(edPortNum, 2, 1);
    fields->setColumnStretch(2, 1);
    auto *boxes = new QHBoxLayout;
    for (QGroupBox *box : {modeBox, connectionBox, terminalBox})
        boxes->addWidget(box);
    auto *main = new QVBoxLayout(this);
    main->addLayout(fields);
    main->addLayout(boxes);
    main->addWidget(loginBox, 1);
    const TDialogButtons buttons = AddDialogButtons(this, main, {btDelete});
    OKBtn = buttons.OKBtn;
    CancelBtn = buttons.CancelBtn;
    HelpBtn = buttons.HelpBtn;

    QWidget *order[] = {cbBBSName,  edAddress,   edPortNum,   rbORVO,      rbISCA,     rbTelnet,
                        rbTcp,      rbTls,       rbSsh,       rbClassic,   rbAnsiBbs,  cbIceColours,
                        cbLfExpand, cbHideSauce, cbAutoLogin, edLoginName, edPassword, btDelete,
                        OKBtn,      CancelBtn,   HelpBtn};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
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
    {
        const QSignalBlocker quiet(cbBBSName);
        cbBBSName->setCurrentIndex(cbBBSName->findText(BytesToText(FHosts.BBSName()),
                                                       Qt::MatchFixedString | Qt::MatchCaseSensitive));
        cbBBSName->setEditText(BytesToText(FHosts.BBSName()));
    }
    FMode = FHosts.Current().Mode;
    ShowHost(FHosts.Current());
    FTerminalChosen = FHosts.IsSavedHost(FHosts.BBSName());
}

void TSetHostDlg::ShowHost(const THostSettings &host)
{
    edAddress->setText(BytesToText(host.Address));
    edPortNum->setText(BytesToText(host.Port));
    // Checking buttons here shows stored settings: the port rule is for the user's
    // choices only, or a Telnet host kept on port 1976 would show (and on OK store) 23.
    FLoading = true;
    Check(FModes, host.Mode);
    Check(FTransports, int(host.Transport));
    Check(FTerminals, int(host.Terminal));
    FLoading = false;
    cbIceColours->setChecked(host.IceColours);
    cbLfExpand->setChecked(host.LfExpand);
    cbHideSauce->setChecked(host.HideSauce);
    cbAutoLogin->setChecked(host.AutoLogin);
    edLoginName->setText(BytesToText(host.LoginName));
    edPassword->setText(BytesToText(host.Password));
    EnableFields();
}

void TSetHostDlg::Check(QButtonGroup *group, int id)
{
    if (QAbstractButton *button = group->button(id)) {
        button->setChecked(true);
        return;
    }
    group->setExclusive(false);
    for (QAbstractButton *b : group->buttons())
        b->setChecked(false);
    group->setExclusive(true);
}

void TSetHostDlg::ChoiceChanged()
{
    const THostSettings now = Settings();
    edPortNum->setText(BytesToText(SuggestedPort(TextToBytes(edPortNum->text()), now.Mode, now.Transport)));
    // A new host: Telnet BBSs of today expect ANSI-BBS, the CLient modes the classic terminal.
    if (!FTerminalChosen) {
        FLoading = true;
        Check(FTerminals, int(now.Mode == hmTelnet ? THostTerminal::AnsiBbs : THostTerminal::Classic));
        FLoading = false;
    }
    EnableFields();
}

void TSetHostDlg::EnableFields()
{
    const bool login = cbAutoLogin->isChecked();
    // Over SSH the user name is the server's login, auto-login or not.
    const bool user = login || rbSsh->isChecked();
    lbLoginName->setEnabled(user);
    edLoginName->setEnabled(user);
    lbPassword->setEnabled(login);
    edPassword->setEnabled(login);
    for (QCheckBox *b : {cbIceColours, cbLfExpand, cbHideSauce})
        b->setEnabled(rbAnsiBbs->isChecked());
}

bool TSetHostDlg::Deleted(const std::string &name) const
{
    return std::find(FDeleted.begin(), FDeleted.end(), name) != FDeleted.end();
}

void TSetHostDlg::cbBBSNameChange()
{
    // Only a stored host's name loads it; for a new name the boxes keep what was typed.
    const std::string name = BBSName();
    THostSettings host;
    if (Deleted(name) || !FHosts.LookupHost(name, host)) return;
    ShowHost(host);
    FTerminalChosen = true;
}

THostSettings TSetHostDlg::Settings() const
{
    THostSettings host;
    host.Address = Address();
    host.Port = Port();
    host.Mode = rbISCA->isChecked() ? hmISCA : rbTelnet->isChecked() ? hmTelnet : hmORVO;
    host.Transport = rbTls->isChecked()   ? THostTransport::Tls
                     : rbSsh->isChecked() ? THostTransport::Ssh
                                          : THostTransport::Tcp;
    host.Terminal = rbAnsiBbs->isChecked() ? THostTerminal::AnsiBbs : THostTerminal::Classic;
    host.IceColours = cbIceColours->isChecked();
    host.LfExpand = cbLfExpand->isChecked();
    host.HideSauce = cbHideSauce->isChecked();
    host.AutoLogin = AutoLogin();
    host.LoginName = LoginName();
    host.Password = Password();
    return host;
}

void TSetHostDlg::OKBtnClick()
{
    const std::string name = BBSName();
    if (IsReservedHostName(name)) {
        ShowMessage(this, QMessageBox::Warning, windowTitle(),
                    tr("\"%1\" is the name of one of winMarlet's own settings; please choose another name.")
                        .arg(BytesToText(name)));
        cbBBSName->setFocus();
        return;
    }
    if (!ValidPort(Port())) {
        ShowMessage(this, QMessageBox::Warning, windowTitle(),
                    tr("The port must be a number from 1 to 65535."));
        edPortNum->setFocus();
        edPortNum->selectAll();
        return;
    }
    const THostSettings host = Settings();
    FMode = host.Mode;
    bool written = true;
    for (const std::string &gone : FDeleted)
        written = FHosts.DeleteHost(gone) && written;
    // A blank name cannot name a section: the host is used but not stored.
    if (!name.empty()) written = FHosts.StoreHost(name, host) && written;
    if (!written) ReportSaveFailure(this, FHosts.IniFileName());
    accept();
}

void TSetHostDlg::btDeleteClick()
{
    const QString name = cbBBSName->currentText();
    // The entry of the name, wherever the list's own current index was left while the name was typed over.
    const int removed = cbBBSName->findText(name, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (removed < 0) return; // not a host of the list
    if (ShowMessage(this, QMessageBox::Question, windowTitle(),
                    tr("Delete the host \"%1\"? It is removed from the file when you press OK.").arg(name),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    FDeleted.push_back(TextToBytes(name));
    cbBBSName->removeItem(removed);
    const int next = SelectionAfterDelete(removed, cbBBSName->count());
    {
        const QSignalBlocker quiet(cbBBSName);
        cbBBSName->setCurrentIndex(next);
        if (next < 0) cbBBSName->setEditText(QString());
    }
    if (next < 0) {
        ShowHost(THostSettings());
        FTerminalChosen = false;
    } else {
        cbBBSNameChange();
    }
}

std::string TSetHostDlg::BBSName() const
{
    return TrimBlanks(TextToBytes(cbBBSName->currentText()));
}

std::string TSetHostDlg::Address() const
{
    return TrimBlanks(TextToBytes(edAddress->text()));
}

std::string TSetHostDlg::Port() const
{
    return TrimBlanks(TextToBytes(edPortNum->text()));
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
