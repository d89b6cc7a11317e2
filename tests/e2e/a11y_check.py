"""What a screen reader must be able to tell about each control of the window.

Every control is looked up where it lies on the screen, and must be readable
there: a label by its caption, a text box by its name and its text, a check box
by the label beside it and its tick, every control with its enabled and shown
state, the lamp with its colour in words.
"""

import pyatspi

import layout
from desktop import Failure

# The normal state: the folder boxes are locked until SET is ticked, the
# subfolder box while the date names it, and Save hides under the SET box.
DISABLED = {"Cpath", "Fpath", "sFolder"}
HIDDEN = {"SETcamera"}
TEXT_BOX_NAMES = {"Cpath": "Camera folder", "Fpath": "Foto folder"}
LAMP = "Stoplicht"


def check_window(app, expected):
    """expected: texts of the boxes and changing labels, ticks of the check boxes, the lamp's word."""
    nodes = app.nodes()
    problems = []
    for name, place in layout.CONTROLS.items():
        if name in HIDDEN:
            continue
        try:
            node = app.control(name, nodes)
        except Failure as error:
            problems.append(str(error))
            continue
        problems += [name + ": " + p for p in _check(name, place.kind, node, expected)]
        problems += [name + ": " + p for p in _check_states(name, node)]
    problems += _check_hidden(nodes)
    if problems:
        raise Failure("; ".join(problems))


def _check(name, kind, node, expected):
    if name == LAMP:
        return _lamp_problems(node, expected["lamp"])
    if kind == "label" and name in layout.CAPTIONS:
        return _same("caption", node.name, layout.CAPTIONS[name])
    if kind == "label":
        return _same("caption", node.name, expected[name])
    if kind == "image":
        return [] if node.name else ["the picture has no name"]
    if kind == "text":
        problems = _same("text", node.text, expected[name])
        if name in TEXT_BOX_NAMES:
            problems += _same("name", node.name, TEXT_BOX_NAMES[name])
        elif not node.name:
            problems.append("the text box has no name")
        return problems
    if kind == "check":
        label = layout.CAPTIONS[layout.CHECK_BOX_LABELS[name]]
        ticked = 1 if "checked" in node.states else 0
        return _same("name", node.name, label) + _same("tick", ticked, expected[name])
    if kind == "button" and name == "start":
        return _same("name", node.name, "START") + ([] if node.description else ["no description"])
    if kind == "button":
        return _same("caption", node.name, layout.CAPTIONS[name])
    if kind == "progress":
        return _same("value", node.value, 0.0)
    return ["unknown kind %s" % kind]


def _check_states(name, node):
    problems = []
    enabled = "enabled" in node.states
    if enabled == (name in DISABLED):
        problems.append("enabled is %s" % enabled)
    if not {"visible", "showing"} <= node.states:
        problems.append("not shown (states %s)" % sorted(node.states))
    return problems


def _check_hidden(nodes):
    saves = [n for n in nodes if n.role == pyatspi.ROLE_PUSH_BUTTON and n.name == "Save"]
    if len(saves) != 1:
        return ["%d Save buttons" % len(saves)]
    return ["Save is shown"] if "showing" in saves[0].states else []


def _lamp_problems(node, word):
    return _same("name", node.name, "Stoplicht") + _same("colour in words", node.description, word)


def _same(what, actual, wanted):
    return [] if actual == wanted else ["%s is %r, expected %r" % (what, actual, wanted)]


def check_lamp(app, word):
    problems = _lamp_problems(app.control(LAMP), word)
    if problems:
        raise Failure("the lamp: " + "; ".join(problems))
