#include "colouredit/ColEdit2.h"

#include <cstring>

TAbstractColourEdit::TAbstractColourEdit(int capacity) : Buf(capacity + 1, 0), Cap(capacity), Limit(capacity)
{
}

void TAbstractColourEdit::SetText(const char *source)
{
    size_t n = source ? strnlen(source, Cap) : 0;
    memcpy(Buf.data(), source, n);
    Len = int(n);
    Buf[Len] = 0;
    FDirtyFrom = 0;
    Update();
}

int TAbstractColourEdit::GetText(char *dest, int size) const
{
    if (size <= 0) return Len;
    int n = Len < size ? Len : size;
    memcpy(dest, Buf.data(), n);
    if (n < size) dest[n] = 0;
    return Len;
}

void TAbstractColourEdit::SelectionChanged()
{
    Update();
}
void TAbstractColourEdit::Update()
{
    FDirtyFrom = NotDirty;
}
