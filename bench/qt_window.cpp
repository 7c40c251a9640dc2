// The least a Qt Widgets program shows: a main window with a menu bar, a status bar and one
// painted child, and nothing else linked in: what Qt itself costs. bench/peers.sh times its
// start-up beside winMarlet's and xterm's, and bench_app takes its resident set as the floor
// of the program's.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>

#include <cstdio>

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
        if (!Painted) std::printf("ready\n"); // for bench_app, which then reads its memory
        std::fflush(stdout);
        Painted = true;
    }
    bool Painted = false;
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
