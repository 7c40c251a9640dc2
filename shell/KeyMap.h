// Qt's keys as the virtual-key codes and shift states the engines and editors take.
#pragma once

#include "terminal/Keys.h"

#include <Qt>

// The virtual-key code of a Qt::Key; 0 for keys without one.
uint16_t VirtualKey(int qtKey);
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers);
