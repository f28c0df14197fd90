#!/usr/bin/python3
"""An AT-SPI client, as a screen reader reads and drives the program (pyatspi).

screen_reader_probe.py PID OUT COMMAND [ARGUMENTS...]

Looks only at the application of process PID on the accessibility bus and writes what it
finds to the file OUT, one line at a time (flushed, so a caller can follow it). Commands:

  tree ROLE NAME        the face (drawing panel) of the window holding that object, as a tree
  text ROLE NAME        the object's text (AtkText), on one line
  states ROLE NAME      the object's states
  extents ROLE NAME     the object's screen rectangle: x y width height
  focus ROLE NAME       gives the object the keyboard focus (grabFocus)
  click ROLE NAME       performs the object's "click" action
  notice                waits for a shown notification and writes its name and text
  listen SECONDS        writes "ready", then for SECONDS: focus changes, announcements, text
                        inserted, and objects added to a notification

ROLE is the AT-SPI role name ("push button", "password text"). Objects are waited for up
to 20 seconds. Exit status 0, or 1 with the reason on the last line of OUT.
"""

import sys
import time

import pyatspi
from gi.repository import GLib

WAIT_SECONDS = 20
STATES = [
    ("showing", pyatspi.STATE_SHOWING),
    ("enabled", pyatspi.STATE_ENABLED),
    ("focusable", pyatspi.STATE_FOCUSABLE),
    ("focused", pyatspi.STATE_FOCUSED),
    ("checked", pyatspi.STATE_CHECKED),
    ("editable", pyatspi.STATE_EDITABLE),
]


class Output:
    def __init__(self, path):
        self.file = open(path, "w", encoding="utf-8")

    def line(self, text):
        self.file.write(text + "\n")
        self.file.flush()


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def walk(obj):
    yield obj
    try:
        children = list(obj)
    except Exception:
        return
    for child in children:
        if child is not None:
            yield from walk(child)


def find(pid, role, name, shown=True):
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline:
        app = application(pid)
        if app is not None:
            for obj in walk(app):
                try:
                    if obj.getRoleName() == role and obj.name == name:
                        if not shown or obj.getState().contains(pyatspi.STATE_SHOWING):
                            return obj
                except Exception:
                    continue
        time.sleep(0.2)
    raise LookupError('no %s "%s"' % (role, name))


def states(obj):
    have = obj.getState()
    return ",".join(label for label, state in STATES if have.contains(state))


def actions(obj):
    try:
        action = obj.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def text_of(obj):
    try:
        text = obj.queryText()
    except NotImplementedError:
        return None
    return text.getText(0, -1)


def describe(obj):
    line = '%s "%s" [%s]' % (obj.getRoleName(), obj.name, states(obj))
    names = actions(obj)
    if names:
        line += " (%s)" % ",".join(names)
    text = text_of(obj)
    if text is not None and obj.getRoleName() != "label":
        line += ' text="%s"' % text.replace("\n", "\\n")
    if obj.description:
        line += ' description="%s"' % obj.description.replace("\n", "\\n")
    try:
        x, y, w, h = obj.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
        line += " @%d,%d %dx%d" % (x, y, w, h)
    except NotImplementedError:
        pass
    return line


def tree(out, obj, depth=0):
    out.line("  " * depth + describe(obj))
    for child in obj:
        if child is not None:
            tree(out, child, depth + 1)


def face_of(obj):
    """The drawn face holding obj: its nearest ancestor that is not a node of its own."""
    face = obj.parent
    while face is not None and face.getRoleName() not in ("panel", "notification"):
        face = face.parent
    return face


def wait_notice(out, pid):
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline:
        app = application(pid)
        for obj in walk(app) if app is not None else []:
            try:
                if obj.getRoleName() == "notification" and obj.getState().contains(pyatspi.STATE_SHOWING):
                    if obj.description:
                        out.line('notification "%s" description="%s"'
                                 % (obj.name, obj.description.replace("\n", "\\n")))
                        for child in obj:
                            if child is not None and child.getRoleName() in ("label", "link"):
                                out.line('  %s "%s"' % (child.getRoleName(), child.name.replace("\n", "\\n")))
                        return
            except Exception:
                continue
        time.sleep(0.1)
    raise LookupError("no notification shown")


def listen(out, pid, seconds):
    def on_event(event):
        try:
            source = event.source
            if source is None or source.get_process_id() != pid:
                return
            if event.type.startswith("object:state-changed:focused") and event.detail1:
                out.line('focus %s "%s"' % (source.getRoleName(), source.name))
            elif event.type.startswith("object:announcement"):
                out.line('announcement %s "%s"' % (source.getRoleName(), str(event.any_data).replace("\n", "\\n")))
            elif event.type.startswith("object:text-changed:insert"):
                out.line('insert %s "%s" %d "%s"' % (source.getRoleName(), source.name, event.detail1, event.any_data))
            elif event.type.startswith("object:children-changed:add") and source.getRoleName() == "notification":
                child = event.any_data
                out.line('add %s "%s"' % (child.getRoleName(), child.name.replace("\n", "\\n")))
        except Exception as error:  # a source that went away meanwhile
            out.line("event error %s" % error)

    pyatspi.Registry.registerEventListener(
        on_event, "object:state-changed:focused", "object:announcement", "object:text-changed:insert",
        "object:children-changed:add")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    GLib.idle_add(lambda: out.line("ready") and False)
    pyatspi.Registry.start()


def main(argv):
    pid, out, command = int(argv[1]), Output(argv[2]), argv[3]
    try:
        if command == "tree":
            tree(out, face_of(find(pid, argv[4], argv[5])))
        elif command == "text":
            out.line(text_of(find(pid, argv[4], argv[5])) or "")
        elif command == "states":
            out.line(states(find(pid, argv[4], argv[5])))
        elif command == "extents":
            x, y, w, h = find(pid, argv[4], argv[5]).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            out.line("%d %d %d %d" % (x, y, w, h))
        elif command == "focus":
            if not find(pid, argv[4], argv[5]).queryComponent().grabFocus():
                raise RuntimeError("grabFocus refused")
        elif command == "click":
            obj = find(pid, argv[4], argv[5])
            action = obj.queryAction()
            names = [action.getName(i) for i in range(action.nActions)]
            if "click" not in names or not action.doAction(names.index("click")):
                raise RuntimeError("no click action")
        elif command == "notice":
            wait_notice(out, pid)
        elif command == "listen":
            listen(out, pid, float(argv[4]))
        else:
            raise ValueError("unknown command " + command)
    except Exception as error:
        out.line("failed: %s" % error)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
