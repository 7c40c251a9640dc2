#include "colouredit/OffLine.h"

int TWhoList::Find(const std::string &name) const
{
    for (int i = 0; i < Count(); ++i)
        if (Names[i] == name) return i;
    return -1;
}

TOffLineEdit::TOffLineEdit(TColorTTY &terminal, TWhoList &whoList) : Tty(terminal), Who(whoList)
{
}

void TOffLineEdit::Open(int kind, uint8_t p)
{
    FKind = kind;
    FP = p;
    FOpen = true;
}
void TOffLineEdit::KeyDown(uint16_t, TShiftState)
{
}
bool TOffLineEdit::KeyPress(uint8_t)
{
    return false;
}
int TOffLineEdit::GetText(char *dest, int max) const
{
    return TAbstractColourEdit::GetText(dest, max);
}
void TOffLineEdit::SetText(const char *text)
{
    TAbstractColourEdit::SetText(text);
}
void TOffLineEdit::BeginOutput()
{
}
void TOffLineEdit::EndOutput()
{
}
void TOffLineEdit::SetSelectionFrom(TCellPoint, TCellPoint, bool)
{
}
void TOffLineEdit::SelectionChanged()
{
    TAbstractColourEdit::SelectionChanged();
}
void TOffLineEdit::Update()
{
    TAbstractColourEdit::Update();
}
bool TOffLineEdit::Masked() const
{
    return false;
}
TCellPoint TOffLineEdit::CellOf(int) const
{
    return {};
}
int TOffLineEdit::IndexOf(TCellPoint) const
{
    return 0;
}
