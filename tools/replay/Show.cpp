#include "tools/replay/Show.h"

#include "terminal/qt/ColorTTYWidget.h"

#include <QApplication>
#include <QScrollBar>

int ShowTerminal(const TColorTTY &from, int argc, char **argv)
{
    QApplication app(argc, argv);
    TColorTTYWidget w;
    w.setWindowTitle(QStringLiteral("winmarlet-replay"));
    // The options of the main window's terminal.
    w.SetOptions(OptionBit(coAutoTracking) | OptionBit(coFulltimeCursor) | OptionBit(coLazyWrite) |
                 OptionBit(coColors) | OptionBit(coFlashing));

    TColorTTY &to = w.Tty();
    to.CopyContentsFrom(from);
    if (from.Emulation() == teAnsiBbs) w.SetBitmapFont(VgaFont()); // the look ANSI art was drawn for

    w.resize(from.Cols * w.CharWidth() + w.verticalScrollBar()->sizeHint().width(),
             from.VisibleRows * w.CharHeight());
    w.show();
    to.ScrollTo(0, to.MaxTop);
    w.activateWindow();
    w.setFocus();
    return app.exec();
}
