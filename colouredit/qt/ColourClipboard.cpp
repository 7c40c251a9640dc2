#include "colouredit/qt/ColourClipboard.h"

#include "terminal/ColorTTYSelection.h"
#include "terminal/Cp437.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include <cstring>

std::string CutColouredText(std::string_view block, size_t max)
{
    const size_t nul = block.find('\0');
    std::string_view text = block.substr(0, nul == std::string_view::npos ? block.size() : nul);
    if (text.size() <= max) return std::string(text);
    // Codes are read in pairs from the start, so the byte at the cut tells whether a code
    // straddles it.
    size_t i = 0;
    while (i < max)
        i += text[i] == ColourCodeByte ? 2 : 1;
    return std::string(text.substr(0, i > max ? i - 2 : max));
}

void TQtColourClipboard::SetTexts(std::string_view plain, std::string_view coloured)
{
    auto *data = new QMimeData;
    data->setText(QString::fromStdString(cp437::ToUtf8(plain)));
    data->setData(QString::fromLatin1(ColouredTextMimeType),
                  QByteArray(coloured.data(), qsizetype(coloured.size())));
    QGuiApplication::clipboard()->setMimeData(data);
}

bool TQtColourClipboard::GetColoured(std::string &block)
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    const QString type = QString::fromLatin1(ColouredTextMimeType);
    if (!data || !data->hasFormat(type)) return false;
    const QByteArray bytes = data->data(type);
    block = CutColouredText(std::string_view(bytes.constData(), size_t(bytes.size())),
                            ColouredPasteBufferSize - 1);
    return true;
}

bool TQtColourClipboard::GetPlain(std::string &text)
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return false;
    text = cp437::FromUtf8(data->text().toStdString());
    return true;
}

void TQtBeeper::Beep(unsigned)
{
    QApplication::beep();
}
