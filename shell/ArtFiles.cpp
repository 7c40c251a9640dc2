#include "shell/ArtFiles.h"

#include "config/IniFile.h"
#include "shell/ArtViewer.h"
#include "shell/PlainText.h"
#include "terminal/AnsiArt.h"
#include "terminal/ColorTTY.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <cerrno>
#include <cstring>

void OpenArtChosen(QWidget *parent)
{
    const QString path =
        QFileDialog::getOpenFileName(parent, QObject::tr("Open ANSI Art"), QString(),
                                     QObject::tr("ANSI art (*.ans *.asc *.diz *.nfo *.txt);;All files (*)"));
    if (!path.isEmpty()) OpenArt(parent, path);
}

TArtViewer *OpenArt(QWidget *parent, const QString &path)
{
    auto *viewer = new TArtViewer(path, parent);
    viewer->setWindowFlag(Qt::Window);
    if (!viewer->Error().isEmpty()) {
        ShowPlainMessage(parent, QMessageBox::Warning, qApp->property("applicationTitle").toString(),
                         viewer->Error());
        delete viewer;
        return nullptr;
    }
    viewer->show();
    return viewer;
}

bool SaveAnsi(const TColorTTY &t, const std::string &host, const QString &path, QString *error)
{
    int first = t.Screen().FirstRow(), last = t.Rows - 1;
    if (t.Viewport().HasSelection()) {
        first = std::min(t.SelStart.y, t.SelEnd.y);
        last = std::max(t.SelStart.y, t.SelEnd.y);
        // A selection that ends at the start of a row does not take that row.
        const bool forward =
            t.SelStart.y < t.SelEnd.y || (t.SelStart.y == t.SelEnd.y && t.SelStart.x <= t.SelEnd.x);
        if ((forward ? t.SelEnd : t.SelStart).x == 0 && last > first) --last;
    } else {
        // Without one: from the first row that holds text to the cursor's or the last that does.
        const auto blank = [&](int y) {
            TRowScratch s;
            const TRowView r = t.Screen().RowAt(y, s);
            for (int x = 0; x < t.Cols; ++x)
                if (r.Chars[x] != ' ' || (r.Attrs[x] & 0x70)) return false;
            return true;
        };
        while (first < t.CursorY && blank(first))
            ++first;
        while (last > t.CursorY && blank(last))
            --last;
    }
    std::vector<uint8_t> chars, attrs;
    chars.reserve(size_t(last - first + 1) * size_t(t.Cols));
    attrs.reserve(chars.capacity());
    TRowScratch scratch;
    for (int y = first; y <= last; ++y) {
        const TRowView r = t.Screen().RowAt(y, scratch);
        chars.insert(chars.end(), r.Chars, r.Chars + t.Cols);
        attrs.insert(attrs.end(), r.Attrs, r.Attrs + t.Cols);
    }
    const std::string data = CellsToAnsi(chars.data(), attrs.data(), t.Cols, last - first + 1,
                                         t.BrightBackgrounds(), host.substr(0, 35));
    if (!WriteFileAtomically(path.toLocal8Bit().toStdString(), data, 0644)) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

void SaveAnsiChosen(QWidget *parent, const TColorTTY &t, const std::string &host,
                    const std::function<void(const QString &text)> &status)
{
    const QString path = QFileDialog::getSaveFileName(
        parent, QObject::tr("Save as ANSI"), QStringLiteral("screen.ans"), QObject::tr("ANSI art (*.ans)"));
    if (path.isEmpty()) return;
    QString error;
    if (SaveAnsi(t, host, path, &error))
        status(QObject::tr(" Saved to %1.").arg(path));
    else
        ShowPlainMessage(parent, QMessageBox::Warning, qApp->property("applicationTitle").toString(),
                         QObject::tr("%1 could not be written: %2").arg(path, error));
}
