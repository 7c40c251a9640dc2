// ANSI art files from the window: File "Open ANSI Art..." opens a viewer window, and
// "Save as ANSI..." keeps the terminal's lines with their colours as an .ans file.
#pragma once

#include <QString>

#include <functional>
#include <string>

class QWidget;
class TArtViewer;
class TColorTTY;

// A viewer window of a file; null, after telling the user, when it cannot be read.
TArtViewer *OpenArt(QWidget *parent, const QString &path);
// The selected lines, or all that hold text, with the host's name in the record.
bool SaveAnsi(const TColorTTY &t, const std::string &host, const QString &path, QString *error);
// The menu commands: the file chosen in a dialog.
void OpenArtChosen(QWidget *parent);
void SaveAnsiChosen(QWidget *parent, const TColorTTY &t, const std::string &host,
                    const std::function<void(const QString &text)> &status);
