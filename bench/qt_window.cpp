// The least a Qt Widgets program shows: a main window with a menu bar, a status bar and one
// painted child, and nothing else linked in. bench/peers.sh times its start-up beside
// winMarlet's and xterm's: what Qt itself costs before a first frame on this machine.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>

namespace {

class PaintedChild : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        p.setPen(Qt::white);
        p.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
        for (int y = 0; y < 25; ++y)
            p.drawText(4, 16 + y * 16, QStringLiteral("A line of text on a bare window, row %1").arg(y));
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow w;
    for (const char *menu : {"&File", "&Edit", "&Options", "&Help"}) {
        QMenu *m = w.menuBar()->addMenu(QString::fromLatin1(menu));
        m->addAction(QStringLiteral("&Open"));
        m->addAction(QStringLiteral("&Close"));
    }
    w.statusBar()->showMessage(QStringLiteral(" Press F1 for help."));
    w.setCentralWidget(new PaintedChild);
    w.resize(640, 480);
    w.show();
    return app.exec();
}
