#!/usr/bin/python3
# Reads a running program over the accessibility bus as a screen reader does (pyatspi, Debian's
# python3-pyatspi): finds the program by its name, walks its accessible objects and looks for a list item with
# the given name; then waits for the focus to move to a list item and says which.
# Usage: atspi_probe.py PROGRAM-NAME ITEM-NAME. Prints "OBJECTS n", "TABS" and the page tabs' names (joined by
# "|"), then "FOUND" or "MISSING", then "LISTENING", then "FOCUS<TAB>name" (or "NOFOCUS" after 20 s).
import sys
import time

import pyatspi
from gi.repository import GLib

program, wanted = sys.argv[1], sys.argv[2]


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == program:
            return app
    return None


def walk(node, found, tabs):
    count = 1
    if node.getRole() == pyatspi.ROLE_LIST_ITEM and node.name == wanted:
        found.append(node)
    if node.getRole() == pyatspi.ROLE_PAGE_TAB:
        tabs.append(node.name)
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            count += walk(child, found, tabs)
    return count


# The program registers itself when its accessibility bridge is up: look again until it is there.
deadline = time.monotonic() + 20
app = application()
while app is None and time.monotonic() < deadline:
    time.sleep(0.05)
    app = application()
if app is None:
    print("NOAPP", flush=True)
    sys.exit(1)

found, tabs = [], []
print("OBJECTS %d" % walk(app, found, tabs), flush=True)
print("TABS " + "|".join(tabs), flush=True)
print("FOUND" if found else "MISSING", flush=True)

loop = GLib.MainLoop()


def focused(event):
    if event.detail1 == 1 and event.source is not None and event.source.getRole() == pyatspi.ROLE_LIST_ITEM:
        print("FOCUS\t" + event.source.name, flush=True)
        loop.quit()


pyatspi.Registry.registerEventListener(focused, "object:state-changed:focused")
print("LISTENING", flush=True)


def give_up():
    print("NOFOCUS", flush=True)
    loop.quit()


GLib.timeout_add_seconds(20, give_up)
loop.run()
