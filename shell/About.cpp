#include "shell/About.h"

#include "shell/IconPixels.h"

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

namespace {

// The project has no public address of its own yet; these are the ones its commits carry.
constexpr const char *MakerLine = "Made by the winMarlet developers.";
constexpr const char *MakerEmail = "mailto:dev@winmarlet.invalid";
constexpr const char *MakerWebsite = "https://winmarlet.invalid/";

QLabel *LinkLabel(const char *address, const std::function<void(const QString &)> &open, QWidget *parent)
{
    const QString a = QString::fromLatin1(address);
    QString shown = a;
    if (shown.startsWith(QLatin1String("mailto:"))) shown = shown.mid(7);
    auto *l = new QLabel(QStringLiteral("<a href=\"%1\" style=\"color:blue\">%2</a>")
                             .arg(a.toHtmlEscaped(), shown.toHtmlEscaped()),
                         parent);
    l->setCursor(Qt::PointingHandCursor);
    l->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    QObject::connect(l, &QLabel::linkActivated, l, [open](const QString &link) {
        if (open) open(link);
    });
    return l;
}

} // namespace

QIcon ProgramIcon(int largest)
{
    // The same pictures the desktop shows (resources/icons, rendered from winmarlet.svg).
    QIcon icon;
    for (int i = 0; i < ProgramIconPixelCount; ++i) {
        const TIconPixels &p = ProgramIconPixels[i];
        if (p.Size > largest) break;
        icon.addPixmap(QPixmap::fromImage(
            QImage(p.Argb, p.Size, p.Size, p.Size * 4, QImage::Format_ARGB32_Premultiplied)));
    }
    return icon;
}

TAboutBox::TAboutBox(std::function<void(const QString &)> openAddress, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About ORVO winMarlet"));
    setObjectName(QStringLiteral("AboutBox"));
    setFixedSize(298, 141);
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    panel->setGeometry(8, 8, 282, 94);
    auto *icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(ProgramIcon().pixmap(QSize(32, 32), devicePixelRatioF()));
    icon->setGeometry(10, 10, 32, 32);
    auto *version = new QLabel(QStringLiteral("Version 1.11"), panel);
    version->setObjectName(QStringLiteral("Version"));
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    version->setGeometry(56, 8, 216, 18);
    auto *maker = new QLabel(QString::fromLatin1(MakerLine), panel);
    maker->setGeometry(56, 28, 216, 18);
    QLabel *email = LinkLabel(MakerEmail, openAddress, panel);
    email->setObjectName(QStringLiteral("lbEmail"));
    email->setGeometry(56, 48, 216, 18);
    QLabel *web = LinkLabel(MakerWebsite, openAddress, panel);
    web->setObjectName(QStringLiteral("lbWebsite"));
    web->setGeometry(56, 68, 216, 18);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    ok->setGeometry(111, 108, 75, 25);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect r = screen->availableGeometry();
        move(r.left() + (r.width() - width()) / 2, r.top() + (r.height() - height()) / 2);
    }
}
