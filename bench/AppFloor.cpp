// What Qt itself costs: a bare Widgets window with a menu bar, a status bar and one painted
// child (qt_window.cpp, linking nothing else), measured as the program is, so the program's
// own memory shows as a ratio.
#include "bench/AppBench.h"
#include "bench/BenchNet.h"

#include <QProcess>
#include <QThread>

double MeasureBareWindow(const QString &program)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, {});
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
