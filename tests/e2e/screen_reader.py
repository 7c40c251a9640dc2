"""The program as a screen reader hears it over the AT-SPI bus (run by screen_reader.sh).

   screen_reader.py WINMARLET WORKDIR

Starts the program connected to the demo BBS and checks, from pyatspi: the terminal's role
and text; a flood of 1000 lines arriving as text insertions that hold every line in order;
the express message's announcement; the review keys; every dialog's controls named and
reached by Tab; a message box read as a dialog with its text; the colour grid's words.
"""
import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

PROGRAM, WORK = sys.argv[1], sys.argv[2]
MAIN_TITLE = '^ORVO winMarlet "Demo BBS"$'
failures = []
events = []  # (type, role, name, detail1, text data, source)


def check(ok, what):
    print(("ok: " if ok else "FAIL: ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def on_event(e):
    try:
        e.source.clear_cache()  # the name as it is now, as Orca reads it
        role, name = e.source.getRoleName(), e.source.name
    except Exception:  # gone already
        return
    data = e.any_data if isinstance(e.any_data, str) else None
    events.append((e.type, role, name, e.detail1, data, e.source))


# Orca listens to name changes too; clients refresh the names they hold from them.
for kind in ("object:text-changed:insert", "object:state-changed:showing", "object:state-changed:focused",
             "object:property-change:accessible-name"):
    pyatspi.Registry.registerEventListener(on_event, kind)


# A tick that wakes the blocking iteration below, so a wait ends soon after its deadline.
GLib.timeout_add(20, lambda: True)


# What a wait may take on a loaded machine before it counts as a failure; a wait that holds
# ends at once, so only failures pay for it.
PATIENCE = 90


def wait_for(condition, seconds=PATIENCE):
    """Handles the bus's events, blocking between them, until condition() holds or time is up."""
    context = GLib.MainContext.default()
    end = time.time() + seconds
    while time.time() < end:
        context.iteration(True)
        try:
            if condition():
                return True
        except Exception:  # an object went away while it was asked
            pass
    return False


def pump(seconds):
    """Lets the events of the next few moments arrive (for checks that something did not happen)."""
    wait_for(lambda: False, seconds)


def descendants(root, depth=0):
    if root is None or depth > 30:
        return
    yield root
    try:
        children = [root.getChildAtIndex(i) for i in range(root.childCount)]
    except Exception:
        return
    for child in children:
        yield from descendants(child, depth + 1)


def app():
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None and a.name == "winmarlet":
            return a
    return None


def window(title):
    a = app()
    for w in (a or []):
        if w is not None and re.search(title, w.name or ""):
            return w
    return None


def find(root, role):
    return next((o for o in descendants(root) if o.getRoleName() == role), None)


def xdo(*args):
    subprocess.run(["xdotool", *args], check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def focus_main():
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", MAIN_TITLE],
                         capture_output=True, text=True).stdout.split()
    if ids:
        xdo("windowfocus", "--sync", ids[0])


def inserted(since=0):
    return [(d1, data) for (t, role, _, d1, data, _) in events[since:]
            if t.startswith("object:text-changed:insert") and role == "terminal" and data is not None]


def notices(since=0):
    return [name for (t, role, name, d1, _, _) in events[since:]
            if t.startswith("object:state-changed:showing") and role == "notification" and d1 == 1]


def editable(term):
    """The open edit: a text object right under the terminal (the find bar's field is deeper)."""
    children = [term.getChildAtIndex(i) for i in range(term.childCount)]
    return next((o for o in children if o is not None and o.getRoleName() == "text"), None)


def terminal_text(term):
    text = term.queryText()
    return text.getText(0, text.characterCount), text


INTERACTIVE = {"push button", "toggle button", "check box", "radio button", "combo box", "text", "password text",
               "spin button", "list", "list box", "table", "tree", "tree table", "slider", "page tab",
               "color chooser", "entry"}


def active_dialog():
    a = app()
    for w in (a or []):
        try:
            if w is not None and w.getRoleName() in ("dialog", "alert", "file chooser", "font chooser") and \
                    w.getState().contains(pyatspi.STATE_SHOWING):
                return w
        except Exception:
            pass
    return None


def open_menu(key, seconds=PATIENCE):
    """Opens a menu by its access key (alt and the first letter of its name) and waits until one of
    its items has the focus: its title in the menu bar first, then an item of its popup. A late
    focus event of a menu opened before does not count."""
    start = len(events)
    xdo("key", key)

    def opened():
        title = False
        for (t, role, name, d1, _, o) in events[start:]:
            if not (t.endswith("focused") and d1 == 1 and role == "menu item"):
                continue
            parent = o.parent.getRoleName() if o.parent else ""
            if parent == "menu bar":
                title = (name or "").lower().startswith(key[-1])
            elif parent == "popup menu" and title:
                return True
        return False
    return wait_for(opened, seconds)


def menu_command(menu, keys, done):
    """Opens a menu, presses keys in it, and waits until done() holds. A loaded machine has
    lost a menu's key now and then: the whole command is tried again, up to three times."""
    for attempt in range(3):
        if done():
            return True
        focus_main()
        if open_menu(menu, PATIENCE / 4):
            xdo("key", *keys)
            if wait_for(done, PATIENCE / 4):
                return True
            xdo("key", "Escape")  # the menu, still open where its keys were lost
    return done()


def key_of(o):
    return (o.getRoleName(), o.name, o.getIndexInParent(), o.parent.name if o.parent else None)


def check_dialog(keys, what):
    if not check(menu_command(keys[0], [keys[1]], lambda: active_dialog() is not None), "%s opens" % what):
        return
    dialog = active_dialog()
    pump(0.3)
    controls = [o for o in descendants(dialog) if o.getRoleName() in INTERACTIVE]
    unnamed = ["%s in %s" % (o.getRoleName(), o.parent.name if o.parent else "?") for o in controls
               if not o.name and not (o.parent and o.parent.getRoleName() == "combo box")]  # a combo's own list
    check(not unnamed, "%s: every control has a name %s" % (what, unnamed))
    # Tab goes round every control that takes the keyboard (one radio button per group).
    def takes_keys(o):
        s = o.getState()
        return s.contains(pyatspi.STATE_FOCUSABLE) and s.contains(pyatspi.STATE_SHOWING) and \
            s.contains(pyatspi.STATE_ENABLED) and o.getRoleName() != "page tab"
    wanted = [o for o in controls if takes_keys(o)]
    start = len(events)

    def missed():
        reached = {key_of(src) for (t, _, _, d1, _, src) in events[start:] if t.endswith("focused") and d1 == 1}
        reached |= {key_of(o) for o in controls if o.getState().contains(pyatspi.STATE_FOCUSED)}
        # A field that stands in for the list below it (Qt's font dialog) is one stop with it.
        names = {k[1] for k in reached if k[1]}
        return [o for o in wanted if key_of(o) not in reached and not (o.getRoleName() == "text" and o.name in names)
                and not (o.parent and o.parent.getRoleName() == "combo box")
                and not (o.getRoleName() == "radio button" and
                         any(k[0] == "radio button" and k[3] == key_of(o)[3] for k in reached))]
    # Each Tab is waited for until the focus it moves is heard, however slow the machine.
    for _ in range(len(wanted) + 3):
        if not missed():
            break
        before = len(events)
        xdo("key", "Tab")
        wait_for(lambda: any(t.endswith("focused") and d1 == 1 for (t, _, _, d1, _, _) in events[before:]), 15)
    left = missed()
    check(not left, "%s: Tab reaches every control %s" % (what, [key_of(o)[:2] for o in left]))
    xdo("key", "Escape")
    check(wait_for(lambda: active_dialog() is None), "%s closes with Esc" % what)


# ---------------------------------------------------------------- the session

log = open(os.path.join(WORK, "app.log"), "w")
proc = subprocess.Popen([PROGRAM, "/c=Demo BBS"], cwd=os.path.dirname(PROGRAM), stdout=log, stderr=log)
try:
    if not check(wait_for(lambda: window(MAIN_TITLE) is not None), "the connected window is on the bus"):
        sys.exit(1)
    main = window(MAIN_TITLE)
    term = find(main, "terminal")
    if not check(term is not None and term.name == "Terminal", "the terminal has role Terminal and a name"):
        sys.exit(1)
    check(wait_for(lambda: "Lobby>" in terminal_text(term)[0]), "the terminal's text holds the login")
    content, text = terminal_text(term)
    check("Welcome to the winMarlet demo BBS" in content or "winMarlet Demo BBS" in content,
          "the welcome screen is text, box drawing and all")
    check(text.caretOffset == text.characterCount, "the caret stands at the cursor, after the prompt")
    attrs = text.getAttributeRun(content.index("Lobby>"), False)[0]
    check(any(a.startswith("fg-color:") for a in attrs) and any(a.startswith("bg-color:") for a in attrs),
          "the prompt's colours are attributes: %s" % attrs)
    check(wait_for(lambda: any("Lobby>" in data for _, data in inserted())), "the login was announced")
    check(all(content[d1:d1 + len(data)] == data for d1, data in inserted()[-1:]),
          "the last announcement stands in the text where it says")

    # The status line and the lamp.
    check(wait_for(lambda: "Connected to 127.0.0.1." in notices()), "the connection is said: %s" % notices()[:3])
    lamp = next((o for o in descendants(main) if o.name == "Connection"), None)
    check(lamp is not None and lamp.description == "connected", "the lamp has a name and says its state")

    # The Sysop's express message, some seconds after the login: author first, said once.
    check(wait_for(lambda: any(n.startswith("Message from Sysop: Welcome to the demo BBS") for n in notices())),
          "the express message is said author first")
    pump(0.5)
    check(not any("Message (#1)" in data for _, data in inserted()), "and its lines are not read out again")

    # A flood: 1000 numbered lines in a few announcements, every line, in order.
    focus_main()
    start = len(events)
    xdo("type", "#")
    check(wait_for(lambda: any("Line 1000 of 1000" in data for _, data in inserted(start))),
          "the flood's last line is announced")
    pump(0.5)
    flood = inserted(start)
    numbers = [int(n) for n in re.findall(r"Line (\d+) of 1000", "".join(data for _, data in flood))]
    check(numbers == list(range(1, 1001)), "1000 lines announced in order, none missing (%d)" % len(numbers))
    check(len(flood) <= 20, "the flood came in %d announcements" % len(flood))

    # Review: the lines above the prompt, spoken; the caret stays and the BBS hears nothing.
    caret = term.queryText().caretOffset
    start = len(events)
    said = []
    for key in ("ctrl+shift+Up", "ctrl+shift+Up", "ctrl+shift+Down"):  # one at a time, as a person reads
        xdo("key", key)
        wait_for(lambda: len(notices(start)) > len(said))
        said = notices(start)
    check(said == ["blank", "Line 1000 of 1000", "blank"], "the review reads back through the scrollback: %s" % said)
    pump(0.5)
    check(term.queryText().caretOffset == caret and not inserted(start),
          "the review moved no caret and sent no key")

    # A post: the offline editor is the terminal's editable child, and takes the focus.
    start = len(events)
    xdo("type", "e")
    check(wait_for(lambda: editable(term) is not None), "an open edit is an editable text inside the terminal")
    edit = editable(term)
    check(edit is not None and edit.name == "Your post:" and edit.description == "Text",
          "named by its prompt, and what it edits: %r %r" % (edit.name, edit.description))
    xdo("type", "Hello")
    check(wait_for(lambda: edit.queryText().getText(0, -1) == "Hello"), "typing shows in its text")
    check(edit.queryText().caretOffset == 5, "its caret follows the typing")

    # The palette by keyboard: Edit > Colours... (third from the end, above Find... and
    # Clear History..., which the flood gave lines to forget) gives it the keys.
    check(wait_for(lambda: window("^Colours$") is not None), "the colour palette came up")
    grid = find(window("^Colours$"), "color chooser")
    check(grid is not None and grid.name == "Colours" and grid.description.startswith("foreground "),
          "the colour grid is named and says its colours: %s" % (grid.description if grid else None))
    start = len(events)
    check(menu_command("alt+e", ["Up", "Up", "Up", "Return"],
                       lambda: any(t.endswith("focused") and role == "color chooser" and d1 == 1
                                   for (t, role, _, d1, _, _) in events[start:])), "the grid takes the keyboard")
    xdo("key", "Home", "Right")
    check(wait_for(lambda: any(n == "dark red" for n in notices(start))),
          "moving over a cell says its colour: %s" % notices(start))
    xdo("key", "f")
    check(wait_for(lambda: any(n.startswith("foreground dark red, background ") for n in notices(start))),
          "choosing says the colours: %s" % notices(start))
    focus_main()
    xdo("key", "ctrl+d")
    xdo("type", "a")  # abort the post
    check(wait_for(lambda: editable(term) is None), "the closed edit leaves the terminal")

    # Every dialog: each control named, each reached by Tab; Esc closes it.
    for keys, what in ((("alt+f", "s"), "Setup Hosts"), (("alt+o", "p"), "Preferences"), (("alt+o", "f"), "Font"),
                       (("alt+o", "m"), "Macros"), (("alt+o", "u"), "User Filter"), (("alt+h", "a"), "About")):
        check_dialog(keys, what)

    # The panes of the window: the Messages pane and the find bar, their controls named.
    focus_main()
    open_menu("alt+v")
    xdo("key", "m")
    xdo("key", "ctrl+shift+f")
    check(wait_for(lambda: any(o.name == "Find in scrollback" or o.getRoleName() in ("tree", "tree table")
                               for o in descendants(main))), "the Messages pane and the find bar open")
    pump(0.3)
    unnamed = ["%s in %s" % (o.getRoleName(), o.parent.name if o.parent else "?") for o in descendants(main)
               if o.getRoleName() in INTERACTIVE and not o.name and o.getState().contains(pyatspi.STATE_SHOWING)]
    check(not unnamed, "the window's panes: every control has a name %s" % unnamed)
    xdo("key", "Escape")

    # A message box reads as a dialog with its text.
    focus_main()
    open_menu("alt+f")
    xdo("key", "d")
    box = None
    check(wait_for(lambda: active_dialog() is not None), "File > Disconnect asks")
    box = active_dialog()
    words = lambda: " ".join(o.name for o in descendants(box) if o.getRoleName() == "label")
    check(box.getRoleName() in ("alert", "dialog") and wait_for(lambda: "Are you sure you want to disconnect?" in words()),
          "the question is a dialog with its text: %s %r" % (box.getRoleName(), words()))
    xdo("key", "Escape")
    check(wait_for(lambda: active_dialog() is None), "Esc answers it")
finally:
    proc.terminate()
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()

print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
