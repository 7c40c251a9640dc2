// What the user does to a session through the keyboard, the mouse and the Edit menu, and
// what the commands may do now. The window turns its events into these calls and draws its
// menus from the queries; the desktop is reached through TColourClipboard and TInputView.
//
// Keys:  KeyDown -> reconnect key (stops a countdown, Enter takes the offer) -> review keys
//        -> F3 while the find bar is open -> function-key macro -> session KeyDown.
//        KeyPress -> session TypeChar, unless the key's key-down was used up.
// Edit:  copy and cut go to the editor when an edit is open and the selection starts in
//        it, else to the terminal; a paste goes into the open edit, else it is typed.
#pragma once

#include "session/SessionState.h"
#include "terminal/Keys.h"

#include <cstdint>
#include <string>

class TColourClipboard;
class TClientPrefs;
class TMacroTable;
class TOffLineEdit;
class TSession;

// What the controller asks of the window.
class TInputView
{
public:
    virtual ~TInputView() = default;
    // The terminal's selection to the clipboard (both forms), the selection then dropped.
    virtual void CopyTerminalSelection() = 0;
    // F3 (Shift+F3 backwards) while the find bar is open; false when it is not open.
    virtual bool StepFind(bool backwards) = 0;
    // Ctrl+Shift+Page Up (-1) and Down (1): the review line to the marked lines.
    virtual void ReviewMark(int direction) = 0;
    // The caret of the open edit may have moved or its text changed.
    virtual void CaretMoved() = 0;
    // Keys went to the BBS: the view goes back to the newest rows.
    virtual void KeysSent() = 0;
};

// What became of a key-down on the terminal.
enum class TKeyUse : uint8_t {
    Passed,    // not used: the terminal widget handles it
    Used,      // used up; its character, if any, still comes
    Swallowed, // used up together with its character
};

// An address found in the terminal's selection (a double click selects a word).
struct TLink
{
    std::string Address; // UTF-8; empty: none
    bool Ask = false;    // it starts another program: the user agrees first
};

class TInputController
{
public:
    TInputController(TSession &session, TMacroTable &macros, const TClientPrefs &prefs,
                     TColourClipboard &clipboard, TInputView &view);

    // --- Keys. `modifier`: the key is Shift, Ctrl, Alt or Meta alone (or has no code).
    TKeyUse KeyDown(uint16_t key, TShiftState shift, bool modifier = false);
    void KeyPress(uint8_t ch);
    // The macro of a slot typed as keys, a line break as Return.
    void SendMacro(int slot);
    // Colour codes typed for a palette pick (foreground or background).
    void TypeColour(int colour, bool foreground);

    // --- The Edit menu.
    void Copy();
    void Cut();
    void Paste();
    void Clear();
    void SelectAll();
    // The mouse changed the terminal's selection: inside an edit it is the edit's.
    void SelectionChanged();
    TLink SelectedLink() const;

    // --- What the commands may do now, from the session's state alone.
    bool CanConnect() const { return MayConnect(State()); }
    bool CanAbort() const { return Attempting(State()); }
    bool CanDisconnect() const { return MayDisconnect(State()); }
    bool LineShown() const { return LineUp(State()); }
    bool CanTransfer() const;
    // The Edit menu's connected form, and within it an open edit.
    bool EditForm() const;
    bool EditOpen() const;
    // Colours... is shown (a connected ORVO host) and may act (an edit that takes colours).
    bool ColoursShown() const;
    bool ColoursUsable() const;
    // The window is titled with the host.
    bool Titled() const { return State() == TSessionState::Connected; }

private:
    // A key past the reconnect and review keys: find, macros, the session.
    TKeyUse Route(uint16_t key, TShiftState shift);
    TSessionState State() const;
    bool InEdit() const;
    // The terminal's selection starts before the open edit's text.
    bool SelectionBeforeEditor() const;
    TOffLineEdit &Edit() const;

    TSession &FSession;
    TMacroTable &FMacros;
    const TClientPrefs &FPrefs;
    TColourClipboard &FClipboard;
    TInputView &FView;
    bool FSwallowKeyPress = false; // the key-down of this key was used up
};
