"""The X desktop as a person meets it: windows, the mouse, the keyboard, the screen.

Everything goes through the X server that run.sh started (DISPLAY): xdotool for
the mouse and keys, xwininfo and xprop for what the window manager would read,
ImageMagick's import for screenshots.
"""

import ctypes
import re
import subprocess
import time

import layout

CONVERT = "/usr/bin/convert"
IMPORT = "/usr/bin/import"


class Failure(Exception):
    """A scenario found the program doing something it should not."""


def run(*command, check=True):
    result = subprocess.run(command, capture_output=True, text=True)
    if check and result.returncode != 0:
        raise Failure("%s failed: %s" % (" ".join(command), result.stderr.strip()))
    return result.stdout


def wait_until(what, probe, timeout=60.0, interval=0.1):
    """Polls probe() until it returns something true; the deadline only guards a hang."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            last = probe()
        except Exception as error:  # the program may be busy or between two states
            last = error
        if last and not isinstance(last, Exception):
            return last
        if time.monotonic() > deadline:
            raise Failure("gave up waiting for %s (last seen: %s)" % (what, last))
        time.sleep(interval)


def expect(what, actual, wanted):
    if actual != wanted:
        raise Failure("%s: expected %r, found %r" % (what, wanted, actual))


def visible_windows(title):
    """Ids of the mapped windows whose title is exactly this text."""
    pattern = "^" + re.escape(title) + "$"
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                            capture_output=True, text=True)
    return [int(w) for w in result.stdout.split()]


def all_visible_windows():
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", ""],
                            capture_output=True, text=True)
    return [int(w) for w in result.stdout.split()]


def window_title(window):
    return run("xdotool", "getwindowname", str(window)).rstrip("\n")


def geometry(window):
    """Screen position and size of a window's client area, and whether it is mapped."""
    info = run("xwininfo", "-id", str(window))
    field = lambda label: re.search(label + r":\s+(\S+)", info).group(1)
    return {"x": int(field("Absolute upper-left X")), "y": int(field("Absolute upper-left Y")),
            "width": int(field("Width")), "height": int(field("Height")),
            "mapped": field("Map State") == "IsViewable"}


def size_hints(window):
    """The minimum and maximum size a window tells the window manager, as (w, h) or None."""
    hints = run("xprop", "-id", str(window), "WM_NORMAL_HINTS")
    found = {}
    for kind in ("minimum", "maximum"):
        match = re.search(r"program specified %s size: (\d+) by (\d+)" % kind, hints)
        found[kind] = (int(match.group(1)), int(match.group(2))) if match else None
    return found


def icon_sizes(window):
    """The sizes of the icons a window offers the window manager."""
    icons = run("xprop", "-id", str(window), "_NET_WM_ICON")
    return sorted((int(w), int(h)) for w, h in re.findall(r"Icon \((\d+) x (\d+)\)", icons))


def screen_size():
    info = run("xwininfo", "-root")
    return (int(re.search(r"Width:\s+(\d+)", info).group(1)),
            int(re.search(r"Height:\s+(\d+)", info).group(1)))


def click_at(x, y):
    run("xdotool", "mousemove", "--sync", str(x), str(y))
    run("xdotool", "click", "1")


def press(*keys):
    run("xdotool", "key", "--clearmodifiers", *keys)


def type_text(text):
    run("xdotool", "type", "--clearmodifiers", "--delay", "12", text)


def screenshot(window, path):
    run(IMPORT, "-window", str(window), str(path))
    return path


class Picture:
    """The pixels of a screenshot, read once."""

    def __init__(self, path):
        size = run(CONVERT, str(path), "-format", "%w %h", "info:").split()
        self.width, self.height = int(size[0]), int(size[1])
        self.rgb = subprocess.run([CONVERT, str(path), "-depth", "8", "rgb:-"],
                                  capture_output=True, check=True).stdout

    def pixel(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.rgb[offset:offset + 3])

    def colours(self, x, y, width, height, step=4):
        """How many different colours a sample of a rectangle holds."""
        return len({self.pixel(i, j) for i in range(x, x + width, step) for j in range(y, y + height, step)})

    def darkest(self, x, y, width, height):
        """The lowest brightness (0 black .. 255 white) inside a rectangle."""
        return min(sum(self.pixel(i, j)) // 3 for i in range(x, x + width) for j in range(y, y + height))


def drawn_extent(picture, left, top, right, bottom):
    """The corners (left, top, right, bottom, inclusive) of what is drawn over the window's
    ground inside a rectangle, or None; the ground is the colour at its top-right corner."""
    ground = picture.pixel(right - 1, top)
    drawn = [(x, y) for x in range(left, right) for y in range(top, bottom)
             if sum(abs(a - b) for a, b in zip(picture.pixel(x, y), ground)) > 24]
    if not drawn:
        return None
    xs, ys = [x for x, _ in drawn], [y for _, y in drawn]
    return min(xs), min(ys), max(xs), max(ys)


def lamp_colour(rgb):
    """The lamp's colour in the words a person would use."""
    names = {(0, 255, 0): "groen", (255, 255, 0): "geel", (255, 0, 0): "rood"}
    return names.get(tuple(rgb), "rgb%s" % (tuple(rgb),))


def close_window(window):
    """Asks the window to close, as the close button of a title bar does (WM_DELETE_WINDOW)."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                    ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                    ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(Event)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        raise Failure("cannot open the X display")
    event = Event()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


class Window:
    """The Zandrel window on the screen, addressed by its controls' places."""

    def __init__(self, window_id):
        self.id = window_id
        where = geometry(window_id)
        self.x, self.y = where["x"], where["y"]

    def screen_rect(self, name):
        x, y, w, h = layout.pixels(name)
        return self.x + x, self.y + y, w, h

    def click(self, name):
        x, y = layout.centre(name)
        click_at(self.x + x, self.y + y)

    def type_into(self, name, text):
        """Clicks into a text box, selects what it holds and types over it."""
        self.click(name)
        press("ctrl+a")
        type_text(text)

    def screenshot(self, path):
        return screenshot(self.id, path)

    def look(self, shot_path):
        """A screenshot of the window, as pixels."""
        return Picture(self.screenshot(shot_path))


def lamp(picture):
    return lamp_colour(picture.pixel(*layout.centre("Stoplicht")))


def text_look(picture, name):
    """How a text box draws its text: "dark" as one that can be edited, "grey" as a locked one."""
    x, y, w, h = layout.pixels(name)
    return "dark" if picture.darkest(x + 3, y + 3, w - 6, h - 6) < 100 else "grey"
