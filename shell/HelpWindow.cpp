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

    Browser = new QTextBrowser;
    Browser->setOpenExternalLinks(true);

    SearchPanel = new QWidget;
    auto *layout = new QVBoxLayout(SearchPanel);
    layout->setContentsMargins(6, 6, 6, 6);
    auto *label = new QLabel(tr("&Search for:"));
    SearchBox = new QLineEdit;
    SearchBox->setObjectName("searchBox");
    SearchBox->setClearButtonEnabled(true);
    label->setBuddy(SearchBox);
    SearchStatus = new QLabel(tr("Type one or more words."));
    SearchStatus->setWordWrap(true);
    Results = new QListWidget;
    Results->setObjectName("searchResults");
    Results->setWordWrap(true);
    Results->setResizeMode(QListView::Adjust);
    Results->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(label);
    layout->addWidget(SearchBox);
    layout->addWidget(SearchStatus);
    layout->addWidget(Results, 1);
    SearchPanel->hide();

    auto *splitter = new QSplitter;
    splitter->addWidget(SearchPanel);
    splitter->addWidget(Browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 520});
    setCentralWidget(splitter);

    QToolBar *bar = addToolBar(tr("Navigation"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction *back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), tr("&Back"), Browser,
                                   &QTextBrowser::backward);
    back->setShortcut(QKeySequence::Back);
    back->setEnabled(false);
    QAction *forward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), tr("&Forward"), Browser,
                                      &QTextBrowser::forward);
    forward->setShortcut(QKeySequence::Forward);
    forward->setEnabled(false);
    QAction *home = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), tr("&Home"), Browser,
                                   &QTextBrowser::home);
    home->setShortcut(Qt::ALT | Qt::Key_Home);
    home->setToolTip(tr("The page help opened on"));
    QAction *contents = bar->addAction(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                       tr("&Contents"), this, [this] { ShowPage(ContentsPage); });
    contents->setShortcut(Qt::CTRL | Qt::Key_Home);
    SearchAction = bar->addAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), tr("&Search"));
    SearchAction->setCheckable(true);
    SearchAction->setShortcut(QKeySequence::Find);
    connect(SearchAction, &QAction::toggled, this, [this](bool on) {
        SearchPanel->setVisible(on);
        if (on) SearchBox->setFocus();
    });
    QAction *close = new QAction(this);
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);

    connect(Browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(Browser, &QTextBrowser::sourceChanged, this, &THelpWindow::SourceChanged);
    connect(SearchBox, &QLineEdit::textChanged, this, &THelpWindow::Search);
    connect(SearchBox, &QLineEdit::returnPressed, this, [this] {
        if (Results->count() > 0) OpenResult(Results->item(0));
    });
    connect(Results, &QListWidget::itemClicked, this, &THelpWindow::OpenResult);
    connect(Results, &QListWidget::itemActivated, this, &THelpWindow::OpenResult);
}

QStringList THelpWindow::Pages()
{
    return QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

void THelpWindow::ShowPage(const QString &page)
{
    const QUrl url(QString::fromLatin1(PagePrefix) + page);
    if (url != Browser->source()) Browser->setSource(url); // the first page becomes Home
}

void THelpWindow::ShowSearch()
{
    SearchAction->setChecked(true);
    SearchBox->setFocus();
    SearchBox->selectAll();
    if (Browser->source().isEmpty()) ShowPage(ContentsPage);
}

QUrl THelpWindow::Source() const
{
    return Browser->source();
}

QString THelpWindow::Title() const
{
    return Browser->documentTitle();
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
        Index.Add(page.toStdString(), doc.metaInformation(QTextDocument::DocumentTitle).toStdString(),
                  doc.toPlainText().toStdString());
    }
}

void THelpWindow::Search(const QString &query)
{
    if (Index.Empty()) BuildIndex();
    Results->clear();
    LastQuery = query;
    const std::vector<THelpHit> hits = Index.Find(query.toStdString());
    for (const THelpHit &hit : hits) {
        auto *item = new QListWidgetItem(QString::fromStdString(hit.Title), Results);
        item->setToolTip(PlainToolTip(item->text()));
        item->setData(Qt::UserRole, QString::fromStdString(hit.Page));
    }
    if (query.trimmed().isEmpty())
        SearchStatus->setText(tr("Type one or more words."));
    else if (hits.empty())
        SearchStatus->setText(tr("No topic holds all these words."));
    else
        SearchStatus->setText(hits.size() == 1 ? tr("1 topic found.")
                                               : tr("%1 topics found.").arg(hits.size()));
}

void THelpWindow::OpenResult(QListWidgetItem *item)
{
    if (!item) return;
    ShowPage(item->data(Qt::UserRole).toString());
    // Show where the first word of the search stands on the page.
    const QStringList words = LastQuery.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!words.isEmpty()) {
        Browser->moveCursor(QTextCursor::Start);
        Browser->find(words.first());
    }
}
