// Starting other programs: a second instance of this one for another host.
#include "shell/Ttywin.h"

#include "shell/PlainText.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

bool TTTYForm::LaunchHelper(const QString &program, const QStringList &args)
{
    if (FPlatform.StartProgram && FPlatform.StartProgram(program, args)) return true;
    const QFileInfo info(program);
    const bool found = info.isAbsolute() ? info.isExecutable() && info.isFile()
                                         : !QStandardPaths::findExecutable(program).isEmpty();
    SetStatus(QStringLiteral(" The helper application failed to launch."));
    ShowPlainMessage(this, QMessageBox::Critical, qApp->property("applicationTitle").toString(),
                     found ? QStringLiteral("Helper application failed to launch.")
                           : QStringLiteral("Program Not Found: Helper application failed."));
    return false;
}
