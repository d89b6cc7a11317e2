"""Where each control of the Zandrel window lies and what it is.

Places are in twips from the top-left corner of the client area, as the window
was drawn; 15 twips make one pixel. The tests click at these places and expect
a screen reader to find each control there.
"""

from collections import namedtuple

TWIPS_PER_PIXEL = 15
CLIENT_SIZE = (575, 358)

Place = namedtuple("Place", "kind left top width height")

CONTROLS = {
    "Camerpath": Place("label", 240, 3960, 1215, 255),
    "Cpath": Place("text", 1320, 3960, 6255, 285),
    "Fpath": Place("text", 1320, 4320, 6255, 285),
    "SETcamera": Place("button", 7680, 3960, 735, 675),
    "MB": Place("label", 240, 600, 975, 255),
    "Refresh1": Place("button", 1920, 240, 1695, 975),
    "Message": Place("label", 600, 4920, 7425, 345),
    "Stoplicht": Place("label", 8055, 4920, 255, 255),
    "sDel": Place("check", 3840, 240, 255, 195),
    "sAutodatum": Place("check", 3840, 960, 255, 195),
    "Label1": Place("label", 4200, 240, 2655, 255),
    "Label2": Place("label", 4200, 960, 2655, 255),
    "sFolder": Place("text", 3840, 1320, 3735, 285),
    "sSet": Place("check", 7680, 4200, 270, 255),
    "start": Place("button", 3840, 1680, 4575, 975),
    "ProgressBar": Place("progress", 3840, 2880, 4575, 135),
    "procent": Place("label", 3840, 3240, 4455, 375),
    "Label3": Place("label", 7920, 4200, 375, 255),
    "sAantal": Place("label", 1320, 360, 615, 255),
    "sMB": Place("label", 1320, 600, 615, 255),
    "sPreview": Place("check", 3840, 720, 255, 195),
    "sFotoaan": Place("label", 4200, 720, 2055, 255),
    "Fotoboek": Place("button", 7680, 1320, 750, 285),
    "Allemaal": Place("label", 240, 360, 975, 255),
    "sOpen": Place("check", 3840, 480, 255, 195),
    "Label4": Place("label", 4200, 480, 2415, 255),
    "Label5": Place("label", 240, 4320, 1095, 255),
    "Versie": Place("button", 8160, 120, 255, 255),
    "Image1": Place("image", 240, 1320, 3375, 2535),
}

# Captions that never change.
CAPTIONS = {
    "Camerpath": "Camera folder",
    "MB": "Aantal MB's",
    "Label1": "Na kopieren camera legen",
    "Label2": "Datum als subfoldernaam",
    "Label3": "SET",
    "Label4": "Na kopiëren foto folder openen",
    "Label5": "Foto folder",
    "Allemaal": "Totaal",
    "sFotoaan": "Foto laten zien",
    "Refresh1": "Refresh",
    "Fotoboek": "Foto's",
    "Versie": "?",
    "SETcamera": "Save",
}

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
