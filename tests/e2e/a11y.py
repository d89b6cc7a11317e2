"""The window as a screen reader reads it, over AT-SPI.

Controls are found by where they lie on the screen, not by any name of the
code: a screen reader knows no object names either. Places are compared in
screen coordinates, which Qt reports correctly (its window-relative ones are
off), with a pixel of slack for the way a style rounds a check box.
"""

from collections import namedtuple

import time

import pyatspi
from gi.repository import Atspi, GLib

import layout
from desktop import Failure, wait_until

Node = namedtuple("Node", "role name description rect text states value accessible")

# Roles go by their number: at-spi2-core renames some ("push button" became "button").
ROLES = {"label": pyatspi.ROLE_LABEL, "text": pyatspi.ROLE_TEXT, "check": pyatspi.ROLE_CHECK_BOX,
         "button": pyatspi.ROLE_PUSH_BUTTON, "progress": pyatspi.ROLE_PROGRESS_BAR,
         "image": pyatspi.ROLE_LABEL}


def _rect(accessible):
    try:
        extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return extents.x, extents.y, extents.width, extents.height
    except NotImplementedError:
        return None


def _text(accessible):
    try:
        return accessible.queryText().getText(0, -1)
    except NotImplementedError:
        return None


def _value(accessible):
    try:
        return accessible.queryValue().currentValue
    except NotImplementedError:
        return None


def _node(accessible):
    states = {pyatspi.stateToString(s) for s in accessible.getState().getStates()}
    return Node(accessible.getRole(), accessible.name or "", accessible.description or "",
                _rect(accessible), _text(accessible), states, _value(accessible), accessible)


def start_bus():
    """Wakes the accessibility bus, so that programs started from now on join it."""
    pyatspi.Registry.getDesktop(0).childCount


class Reader:
    """Reads one running program's windows through AT-SPI."""

    def __init__(self, pid):
        self.pid = pid
        self.app = wait_until("the program on the accessibility bus", self._find_app, timeout=60)

    def _find_app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == self.pid and app.childCount > 0:
                app.set_cache_mask(Atspi.Cache.NONE)
                return app
        return None

    def window(self, title):
        self.app.clear_cache()
        for i in range(self.app.childCount):
            child = self.app.getChildAtIndex(i)
            if child is not None and child.name == title:
                return child
        raise Failure("no window titled %r on the accessibility bus" % title)

    def nodes(self, title="Zandrel"):
        """Every object below a window, freshly read."""
        found = []

        def walk(accessible):
            for i in range(accessible.childCount):
                child = accessible.getChildAtIndex(i)
                if child is not None:
                    found.append(_node(child))
                    walk(child)

        walk(self.window(title))
        return found

    def control(self, window, name, nodes=None):
        """The object a screen reader finds at a control's place, of the control's kind."""
        nodes = nodes if nodes is not None else self.nodes()
        wanted = window.screen_rect(name)
        role = ROLES[layout.CONTROLS[name].kind]
        matches = [n for n in nodes if n.role == role and n.rect and _near(n.rect, wanted)]
        if len(matches) != 1:
            raise Failure("%d objects of role %r at %s's place %s" % (len(matches), role, name, wanted))
        return matches[0]

    def caption(self, window, name):
        """What the reader says for a label: its text."""
        return self.control(window, name).name

    def text(self, window, name):
        return self.control(window, name).text


def labelled_by(node):
    """The names of the labels that a screen reader says name this object."""
    names = []
    for relation in node.accessible.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def announced_names(action, wanted, timeout=30):
    """The new names a screen reader is told of while action() runs, until one is wanted."""
    heard = []

    def hear(event):  # Qt's bridge sends the renamed object; its name is read at once
        try:
            heard.append(event.source.name)
        except Exception as error:
            heard.append(error)
    listener = Atspi.EventListener.new(hear)
    listener.register("object:property-change:accessible-name")
    try:
        action()
        deadline = time.monotonic() + timeout
        while wanted not in heard and time.monotonic() < deadline:
            GLib.MainContext.default().iteration(False)
            time.sleep(0.01)
    finally:
        listener.deregister("object:property-change:accessible-name")
    return heard


def _near(a, b, slack=1):
    return all(abs(p - q) <= slack for p, q in zip(a, b))
