// Dialogs of the main window whose outcome is more than the store they edit: the terminal's
// font and the preferences that change how the terminal draws.
#pragma once

class QWidget;
class TClientPrefs;
class TColorTTYWidget;

// Options "Font...": the fixed-pitch fonts and the VGA font. True when the font changed
// (and was stored).
bool ChooseTerminalFont(QWidget *parent, TColorTTYWidget &tty, TClientPrefs &prefs);
// "VGA 8x16" at the preferred size in whole steps (16 pixels are 12 points), else the
// preferred font stays.
void UseTerminalFont(TColorTTYWidget &tty, const TClientPrefs &prefs);
// Options "Preferences...": the colours and flashing they ask for applied to the terminal.
void RunPreferences(QWidget *parent, TColorTTYWidget &tty, TClientPrefs &prefs);
// What screen readers are told, and the contrast, as the preferences say.
void ApplySpeech(TColorTTYWidget &tty, const TClientPrefs &prefs);
