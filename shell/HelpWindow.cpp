#include "shell/HelpWindow.h"

#include "shell/PlainText.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

constexpr const char *ContentsPage = "index.html";
constexpr const char *Caption = "winMarlet Help";

} // namespace

THelpWindow::THelpWindow(QWidget *parent) : QMainWindow(parent)
{
    // Help open beside the program must not keep it running once its window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QString::fromLatin1(Caption));
    resize(780, 560);

    FBrowser = new QTextBrowser;
    FBrowser->setOpenExternalLinks(true);

    FSearchPanel = new QWidget;
    auto *layout = new QVBoxLayout(FSearchPanel);
    layout->setContentsMargins(6, 6, 6, 6);
    auto *label = new QLabel(tr("&Search for:"));
    FSearchBox = new QLineEdit;
    FSearchBox->setObjectName("searchBox");
    FSearchBox->setClearButtonEnabled(true);
    label->setBuddy(FSearchBox);
    FSearchStatus = new QLabel(tr("Type one or more words."));
    FSearchStatus->setWordWrap(true);
    FResults = new QListWidget;
    FResults->setObjectName("searchResults");
    FResults->setWordWrap(true);
    FResults->setResizeMode(QListView::Adjust);
    FResults->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(label);
    layout->addWidget(FSearchBox);
    layout->addWidget(FSearchStatus);
    layout->addWidget(FResults, 1);
    FSearchPanel->hide();

    auto *splitter = new QSplitter;
    splitter->addWidget(FSearchPanel);
    splitter->addWidget(FBrowser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 520});
    setCentralWidget(splitter);

    QToolBar *bar = addToolBar(tr("Navigation"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction *back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), tr("&Back"), FBrowser,
                                   &QTextBrowser::backward);
    back->setShortcut(QKeySequence::Back);
    back->setEnabled(false);
    QAction *forward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), tr("&Forward"),
                                      FBrowser, &QTextBrowser::forward);
    forward->setShortcut(QKeySequence::Forward);
    forward->setEnabled(false);
    QAction *home = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), tr("&Home"), FBrowser,
                                   &QTextBrowser::home);
    home->setShortcut(Qt::ALT | Qt::Key_Home);
    home->setToolTip(tr("The page help opened on"));
    QAction *contents = bar->addAction(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                       tr("&Contents"), this, [this] { ShowPage(ContentsPage); });
    contents->setShortcut(Qt::CTRL | Qt::Key_Home);
    FSearchAction = bar->addAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), tr("&Search"));
    FSearchAction->setCheckable(true);
    FSearchAction->setShortcut(QKeySequence::Find);
    connect(FSearchAction, &QAction::toggled, this, [this](bool on) {
        FSearchPanel->setVisible(on);
        if (on) FSearchBox->setFocus();
    });
    QAction *close = new QAction(this);
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);

    connect(FBrowser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(FBrowser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(FBrowser, &QTextBrowser::sourceChanged, this, &THelpWindow::SourceChanged);
    connect(FSearchBox, &QLineEdit::textChanged, this, &THelpWindow::Search);
    connect(FSearchBox, &QLineEdit::returnPressed, this, [this] {
        if (FResults->count() > 0) OpenResult(FResults->item(0));
    });
    connect(FResults, &QListWidget::itemClicked, this, &THelpWindow::OpenResult);
    connect(FResults, &QListWidget::itemActivated, this, &THelpWindow::OpenResult);
}

QStringList THelpWindow::Pages()
{
    return QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

void THelpWindow::ShowPage(const QString &page)
{
    const QUrl url(QString::fromLatin1(PagePrefix) + page);
    if (url != FBrowser->source()) FBrowser->setSource(url); // the first page becomes Home
}

void THelpWindow::ShowSearch()
{
    FSearchAction->setChecked(true);
    FSearchBox->setFocus();
    FSearchBox->selectAll();
    if (FBrowser->source().isEmpty()) ShowPage(ContentsPage);
}

QUrl THelpWindow::Source() const
{
    return FBrowser->source();
}

QString THelpWindow::Title() const
{
    return FBrowser->documentTitle();
}

void THelpWindow::SourceChanged()
{
    const QString title = Title();
    setWindowTitle(title.isEmpty() ? QString::fromLatin1(Caption)
                                   : QString::fromLatin1(Caption) + QStringLiteral(": ") + title);
}

void THelpWindow::BuildIndex()
{
    for (const QString &page : Pages()) {
        if (page == QLatin1String(ContentsPage)) continue; // it names every topic; Contents opens it
        QFile file(QStringLiteral(":/help/") + page);
        if (!file.open(QIODevice::ReadOnly)) continue;
        // Navigation and see-also lines name other topics: they would make every page
        // match "help" or "keys".
        static const QRegularExpression links(QStringLiteral("<p class=\"(nav|see)\">.*?</p>"),
                                              QRegularExpression::DotMatchesEverythingOption);
        QTextDocument doc;
        doc.setHtml(QString::fromUtf8(file.readAll()).remove(links));
        FIndex.Add(page.toStdString(), doc.metaInformation(QTextDocument::DocumentTitle).toStdString(),
                   doc.toPlainText().toStdString());
    }
}

void THelpWindow::Search(const QString &query)
{
    if (FIndex.Empty()) BuildIndex();
    FResults->clear();
    FLastQuery = query;
    const std::vector<THelpHit> hits = FIndex.Find(query.toStdString());
    for (const THelpHit &hit : hits) {
        auto *item = new QListWidgetItem(QString::fromStdString(hit.Title), FResults);
        item->setToolTip(PlainToolTip(item->text()));
        item->setData(Qt::UserRole, QString::fromStdString(hit.Page));
    }
    if (query.trimmed().isEmpty())
        FSearchStatus->setText(tr("Type one or more words."));
    else if (hits.empty())
        FSearchStatus->setText(tr("No topic holds all these words."));
    else
        FSearchStatus->setText(hits.size() == 1 ? tr("1 topic found.")
                                                : tr("%1 topics found.").arg(hits.size()));
}

void THelpWindow::OpenResult(QListWidgetItem *item)
{
    if (!item) return;
    ShowPage(item->data(Qt::UserRole).toString());
    // Show where the first word of the search stands on the page.
    const QStringList words = FLastQuery.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!words.isEmpty()) {
        FBrowser->moveCursor(QTextCursor::Start);
        FBrowser->find(words.first());
    }
}
