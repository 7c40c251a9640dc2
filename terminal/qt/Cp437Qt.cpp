#include "terminal/qt/Cp437Qt.h"

#include "terminal/Cp437.h"

#include <QKeyEvent>

namespace {

// Keys whose character is not their text: the byte typed plain and with Ctrl (0: the
// key's text decides).
struct KeyByte
{
    int key;
    char plain, ctrl;
};
constexpr KeyByte KeyBytes[] = {
    {Qt::Key_Return, 13, 10},     {Qt::Key_Enter, 13, 10},     {Qt::Key_Backspace, 8, 127},
    {Qt::Key_Tab, 9, 9},          {Qt::Key_Backtab, 9, 9},     {Qt::Key_Escape, 27, 27},
    {Qt::Key_BracketLeft, 0, 27}, {Qt::Key_Backslash, 0, 28},  {Qt::Key_BracketRight, 0, 29},
    {Qt::Key_AsciiCircum, 0, 30}, {Qt::Key_Underscore, 0, 31},
};

} // namespace

bool Cp437KeyByte(const QKeyEvent *e, uint8_t &ch)
{
    const int key = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    if (key == Qt::Key_Delete) return false;
    if ((mods & Qt::AltModifier) && !ctrl) return false;
    if (ctrl && key >= Qt::Key_A && key <= Qt::Key_Z) {
        ch = uint8_t(key - Qt::Key_A + 1);
        return true;
    }
    for (const KeyByte &k : KeyBytes) {
        if (k.key != key) continue;
        if (const char c = ctrl ? k.ctrl : k.plain) {
            ch = uint8_t(c);
            return true;
        }
        break;
    }
    const QString text = e->text();
    if (text.isEmpty()) return false;
    const int b = cp437::FromUnicode(text.toUcs4().value(0));
    if (b <= 0 || b > 0xFF) return false;
    ch = uint8_t(b);
    return true;
}

std::array<quint32, 256> Cp437Glyphs(const QRawFont &font)
{
    auto glyphOf = [&font](char32_t cp) -> quint32 {
        if (!font.isValid() || !font.supportsCharacter(uint(cp))) return 0;
        const QList<quint32> ids = font.glyphIndexesForString(QString::fromUcs4(&cp, 1));
        return ids.isEmpty() ? 0 : ids.first();
    };
    std::array<quint32, 256> glyphs{};
    for (int b = 0; b < 256; ++b) {
        const auto c = static_cast<unsigned char>(b);
        quint32 g = glyphOf(cp437::ToUnicode(c));
        if (!g) g = glyphOf(char32_t(cp437::AsciiFallback(c)));
        glyphs[size_t(b)] = g;
    }
    return glyphs;
}
