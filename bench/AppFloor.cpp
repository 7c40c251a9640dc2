// What Qt itself costs: a bare Widgets window with a menu bar, a status bar and one painted
// child, measured as the program is, so the program's own memory shows as a ratio.
#include "bench/AppBench.h"
#include "bench/BenchNet.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

namespace {

class PaintedChild : public QWidget
{
public:
    bool Painted = false;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        p.setPen(Qt::white);
        p.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
        for (int y = 0; y < 25; ++y)
            p.drawText(4, 16 + y * 16, QStringLiteral("A line of text on a bare window, row %1").arg(y));
        Painted = true;
    }
};

} // namespace

int RunBareWindow(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow w;
    for (const char *menu : {"&File", "&Edit", "&Options", "&Help"}) {
        QMenu *m = w.menuBar()->addMenu(QString::fromLatin1(menu));
        m->addAction(QStringLiteral("&Open"));
        m->addAction(QStringLiteral("&Close"));
    }
    w.statusBar()->showMessage(QStringLiteral(" Press F1 for help."));
    auto *child = new PaintedChild;
    w.setCentralWidget(child);
    w.resize(640, 480);
    w.show();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!child->Painted) return;
        poll.stop();
        std::printf("ready\n");
        std::fflush(stdout);
    });
    poll.start(10);
    return app.exec();
}

double MeasureBareWindow(const QString &self)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(self, {QStringLiteral("--bare-window")});
    double mb = -1;
    if (p.waitForReadyRead(20000)) {
        QThread::msleep(300); // its event loop settles, as the program's does
        mb = ResidentKb(p.processId()) / 1024.0;
        Figure("memory_bare_qt_mb", mb, "MB",
               "resident, a bare Qt window: menu bar, status bar, one painted child");
    } else {
        std::printf("memory_bare_qt_mb: the bare window never painted\n");
    }
    p.kill();
    p.waitForFinished(5000);
    return mb;
}
