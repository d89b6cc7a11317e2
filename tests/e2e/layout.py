"""Where each control of the Zandrel window lies and what it is.

Read from the table the window builds itself from. Places are in twips from
the top-left corner of the client area, as the window was drawn; 15 twips make
one pixel. The tests click at these places and expect a screen reader to find
each control there.
"""

import os
from collections import namedtuple

TWIPS_PER_PIXEL = 15
CLIENT_SIZE = (575, 358)
TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                     "..", "..", "src", "app", "resources", "layout.tsv")

Place = namedtuple("Place", "kind left top width height")

# What a screen reader meets: a status line is a label, the picture button a
# button. The line is drawn, not read.
READ_AS = {"status": "label", "picture": "button"}


def _rows():
    with open(TABLE, encoding="utf-8") as table:
        for line in table:
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                name, kind, left, top, width, height, *caption = line.split("\t")
                yield name, kind, (int(left), int(top), int(width), int(height)), "".join(caption)


# The window's controls, as the window builds them from the same table.
CONTROLS = {name: Place(READ_AS.get(kind, kind), *place)
            for name, kind, place, _ in _rows() if kind != "line"}

# Captions that never change: a caption that is only the control's name is
# replaced when the window loads, and a check box's caption is its label's.
CAPTIONS = {name: caption for name, kind, _, caption in _rows()
            if kind in ("label", "button") and caption and caption.lower() != name.lower()}

# Each check box is explained by the label beside it.
CHECK_BOX_LABELS = {
    "sDel": "Label1",
    "sOpen": "Label4",
    "sPreview": "sFotoaan",
    "sAutodatum": "Label2",
    "sSet": "Label3",
}

DUTCH_MONTHS = ["Januari", "Februari", "Maart", "April", "Mei", "Juni", "Juli",
                "Augustus", "September", "Oktober", "November", "December"]


def pixels(name):
    """The control's rectangle in pixels within the client area: x, y, width, height."""
    place = CONTROLS[name]
    return tuple(v // TWIPS_PER_PIXEL for v in (place.left, place.top, place.width, place.height))


def centre(name):
    x, y, w, h = pixels(name)
    return x + w // 2, y + h // 2


def dated_folder(day):
    """The subfolder a run on this day copies into, e.g. "2026 December"."""
    return "%d %s" % (day.year, DUTCH_MONTHS[day.month - 1])
