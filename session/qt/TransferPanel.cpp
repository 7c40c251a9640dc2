#include "session/qt/TransferPanel.h"

#include "session/Transfer.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

QLabel *PlainLabel(QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText); // file names come from the other side
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

} // namespace

TTransferPanel::TTransferPanel(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setAccessibleName(tr("File transfer"));
    FTitle = PlainLabel(this);
    QFont bold = FTitle->font();
    bold.setBold(true);
    FTitle->setFont(bold);
    FFile = PlainLabel(this);
    FFile->setWordWrap(true);
    FDetails = PlainLabel(this);
    FDetails->setWordWrap(true);
    FDetails->setForegroundRole(QPalette::PlaceholderText);
    FDetails->hide();
    FCounts = PlainLabel(this);
    FTimes = PlainLabel(this);
    FBar = new QProgressBar(this);
    FBar->setRange(0, 1000);
    FBar->setTextVisible(true);
    FBar->setAccessibleName(tr("Transfer progress"));
    FButton = new QPushButton(tr("Cancel"), this);
    connect(FButton, &QPushButton::clicked, this,
            [this] { emit FFinished ? CloseClicked() : CancelClicked(); });

    auto *grid = new QGridLayout(this);
    grid->addWidget(FTitle, 0, 0, 1, 2);
    grid->addWidget(FFile, 1, 0, 1, 2);
    grid->addWidget(FDetails, 2, 0, 1, 2);
    grid->addWidget(FCounts, 3, 0);
    grid->addWidget(FTimes, 3, 1, Qt::AlignRight);
    grid->addWidget(FBar, 4, 0, 1, 2);
    grid->addWidget(FButton, 5, 1, Qt::AlignRight);
    setMinimumWidth(360);
    if (parent) parent->installEventFilter(this);
}

void TTransferPanel::Show()
{
    adjustSize();
    Place();
    show();
    raise();
}

void TTransferPanel::Place()
{
    if (!parentWidget()) return;
    const QRect area = parentWidget()->rect();
    const int w = qMin(qMax(minimumWidth(), area.width() / 2), area.width());
    resize(w, sizeHint().height());
    move(area.left() + (area.width() - w) / 2, qMax(0, area.bottom() - height() - 8));
}

bool TTransferPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible()) Place();
    return QFrame::eventFilter(watched, event);
}

QString TTransferPanel::Size(int64_t bytes)
{
    return QString::fromStdString(SizeText(bytes));
}

QString TTransferPanel::Duration(int64_t seconds)
{
    const int64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    return h > 0 ? QStringLiteral("%1:%2:%3")
                       .arg(h)
                       .arg(m, 2, 10, QLatin1Char('0'))
                       .arg(s, 2, 10, QLatin1Char('0'))
                 : QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

void TTransferPanel::ShowProgress(const TTransferProgress &p)
{
    FFinished = false;
    FDetails->hide();
    FButton->setText(tr("Cancel"));
    FTitle->setText(p.Sending ? tr("Sending files") : tr("Receiving files"));
    QString file =
        p.FileName.empty() ? tr("Waiting for the other side...") : QString::fromStdString(p.FileName);
    if (p.FileNumber > 0 && p.FileCount > 1)
        file += tr("  (file %1 of %2)").arg(p.FileNumber).arg(p.FileCount);
    FFile->setText(file);
    FCounts->setText(p.FileSize >= 0 ? tr("%1 of %2").arg(Size(p.Done), Size(p.FileSize)) : Size(p.Done));
    QString times;
    if (p.Rate > 0) times = tr("%1/s").arg(Size(static_cast<int64_t>(p.Rate)));
    if (p.SecondsLeft >= 0) times += tr(", %1 left").arg(Duration(p.SecondsLeft));
    FTimes->setText(times);
    if (p.FileSize > 0) {
        FBar->setRange(0, 1000);
        FBar->setValue(static_cast<int>(p.Done * 1000 / p.FileSize));
    } else {
        FBar->setRange(0, 0); // busy: the size is not known
    }
}

void TTransferPanel::ShowResult(const TTransferResult &result)
{
    FFinished = true;
    FTitle->setText(result.End == TTransferEnd::Done ? tr("Transfer complete") : tr("Transfer ended"));
    FFile->setText(QString::fromStdString(result.Message));
    FDetails->setText(tr("Details: %1").arg(QString::fromStdString(result.Details)));
    FDetails->setVisible(!result.Details.empty());
    FTimes->clear();
    if (FBar->maximum() == 0) FBar->setRange(0, 1000);
    if (result.End == TTransferEnd::Done) FBar->setValue(FBar->maximum());
    FButton->setText(tr("Close"));
    FButton->setFocus();
}

void TTransferPanel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        emit FFinished ? CloseClicked() : CancelClicked();
        return;
    }
    QFrame::keyPressEvent(event);
}
