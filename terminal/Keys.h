#pragma once
// Virtual-key codes and the modifier set of a key-down, as the engines and editors
// receive them. The codes are the classic Windows ones, so macros and tests read the
// same everywhere; the Qt layer maps its keys onto them.

#include <cstdint>

constexpr uint16_t VK_BACK = 8;
constexpr uint16_t VK_TAB = 9;
constexpr uint16_t VK_RETURN = 13;
constexpr uint16_t VK_ESCAPE = 27;
constexpr uint16_t VK_PRIOR = 33; // Page Up
constexpr uint16_t VK_NEXT = 34;  // Page Down
constexpr uint16_t VK_END = 35;
constexpr uint16_t VK_HOME = 36;
constexpr uint16_t VK_LEFT = 37;
constexpr uint16_t VK_UP = 38;
constexpr uint16_t VK_RIGHT = 39;
constexpr uint16_t VK_DOWN = 40;
constexpr uint16_t VK_INSERT = 45;
constexpr uint16_t VK_DELETE = 46;
constexpr uint16_t VK_F1 = 112; // F2 to F12 follow: VK_F1 + n - 1
constexpr uint16_t VK_F12 = 123;

// Modifier set of a key-down: any combination of the flags below.
using TShiftState = uint8_t;
enum TShiftFlag : uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
