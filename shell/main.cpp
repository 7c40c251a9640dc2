// The program entry: the stores are created in their order, the main window runs, and the
// stores are saved and freed in the reverse order.
#include "config/Prefernc.h"
#include "config/Redirect.h"
#include "config/SetHost.h"
#include "config/Setmacro.h"
#include "config/UserFilt.h"
#include "shell/About.h"
#include "shell/CommandLine.h"
#include "shell/Ttywin.h"

#include <QApplication>
#include <QThreadPool>

#include <algorithm>
#include <latch>
#include <memory>
#include <string>
#include <vector>

namespace {

// Qt's raster engine splits a tall fill that is not one plain colour (the terminal's scroll
// bar groove) across its global thread pool and waits for the pool. Started here, beside
// the loading of the libraries and the X connection, the pool's threads are ready for the
// first frame instead of being started in the middle of it.
void StartFillThreads()
{
    QThreadPool *pool = QThreadPool::globalInstance();
    // one thread per 64 rows of a fill; a few cover the first frame
    const int threads = std::clamp(pool->maxThreadCount(), 1, 4);
    // each waits for the others, so each has a thread of its own
    auto started = std::make_shared<std::latch>(threads);
    for (int i = 0; i < threads; ++i)
        pool->start([started] { started->arrive_and_wait(); });
}

} // namespace

int main(int argc, char **argv)
{
    if (int rc = HandleInfoOptions(argc, argv); rc >= 0) return rc;
    StartFillThreads();
    QApplication app(argc, argv);
    // Ties the windows to winmarlet.desktop (its icon and name in docks and task bars).
    QGuiApplication::setDesktopFileName(QStringLiteral("winmarlet"));
    // Every size given here is decoded and handed to the X server at start; desktops take
    // the large ones from the desktop file.
    QApplication::setWindowIcon(ProgramIcon(64));
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

    const std::string iniFileName = ResolveIniFileName(TConfigEnvironment::FromProcess());
    // The preferences first: a host made from a link gets their "Emulation for links".
    auto prefs = std::make_unique<TClientPrefs>(iniFileName);
    auto hosts = std::make_unique<THostInfo>(iniFileName, args, prefs->EmulationForLinks);
    // A host named on the command line marks the store changed while it is read.
    const bool commandLineHost = !args.empty() && hosts->Modified();
    auto filter = std::make_unique<TUserFilter>(iniFileName);
    auto macros = std::make_unique<TMacroTable>();
    const std::string macroFile = MacroFileName(iniFileName);
    macros->LoadMacros(macroFile);
    app.setProperty("applicationTitle", QString::fromLatin1(IdleApplicationTitle));

    int rc = 0;
    {
        TTTYForm form(TAppStores{*hosts, *prefs, *filter, *macros, commandLineHost});
        form.show();
        rc = app.exec();
    }

    macros->SaveMacros(macroFile);
    macros.reset();
    prefs.reset();
    hosts.reset(); // saves the "Hosts" section when changed
    filter.reset();
    return rc;
}
