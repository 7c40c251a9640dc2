#include "shell/EditServices.h"

#include "terminal/ColorTTYSelection.h"
#include "terminal/Cp437.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

void TShellClipboard::SetTexts(std::string_view plain, std::string_view coloured)
{
    auto *data = new QMimeData;
    const std::string utf8 = cp437::ToUtf8(plain);
    data->setText(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
    // NUL-terminated, as other programs reading the format expect.
    QByteArray block(coloured.data(), qsizetype(coloured.size()));
    block.append('\0');
    data->setData(QString::fromLatin1(ColouredTextMimeType), block);
    QApplication::clipboard()->setMimeData(data);
}

bool TShellClipboard::GetColoured(std::string &block)
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    const QString mime = QString::fromLatin1(ColouredTextMimeType);
    if (!data || !data->hasFormat(mime)) return false;
    const QByteArray bytes = data->data(mime);
    block.assign(bytes.constData(), size_t(bytes.size()));
    return true;
}

bool TShellClipboard::GetPlain(std::string &text)
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return false;
    const QByteArray utf8 = data->text().toUtf8();
    text = cp437::FromUtf8(std::string_view(utf8.constData(), size_t(utf8.size())));
    return true;
}

void TShellBeeper::Beep(unsigned)
{
    QApplication::beep();
}
