// The about box: the program, its version and where its makers are found.
#pragma once

#include <QDialog>
#include <functional>

class TAboutBox : public QDialog
{
    Q_OBJECT

public:
    // openAddress: hands a clicked address to the desktop.
    TAboutBox(std::function<void(const QString &)> openAddress, QWidget *parent = nullptr);
};

// The program icon in its sizes up to `largest` pixels (128 at most).
QIcon ProgramIcon(int largest = 128);
