"""Zandrel as a person meets it: the real binary in a real X server.

Usage: scenarios.py BINARY WORK_DIR SHOT_DIR [SCENARIO...]

Each scenario gets a fresh home, clicks and types only where a person would,
and reads its results from the screen (through the screen reader's interface and
screenshots), the file system and the hive file. One line per scenario, then
"N passed, M failed".
"""

import os
import subprocess
import sys
import time
import traceback

import pyatspi

import a11y
import a11y_check
import desktop
import hive
import layout
import stage as stagelib
from desktop import Failure, expect, size_hints, screen_size, visible_windows, wait_until
from stage import Stage, checksums, copy_to_docs, folder_megabytes, make_camera, make_many

READY = " Klaar om te kopiëren"
DONE = "Klaar met kopiëren"
EDITING = "Stel camera pad en foto pad in"
NOT_CONNECTED = "Camera niet aangesloten"
EMPTY = "Camera is leeg"
COPY_ERROR = "ERROR kopiëren van "
# A photo folder name that a shell would take apart.
AWKWARD = "Foto's \"thuis\" $(touch GEHACKT); echo"

SCENARIOS = []


def scenario(title):
    def register(function):
        SCENARIOS.append((function.__name__, title, function))
        return function
    return register


# A state word: the AT-SPI state it reads, and whether that state must be absent.
STATE_WORDS = {"enabled": ("enabled", False), "disabled": ("enabled", True),
               "ticked": ("checked", False), "unticked": ("checked", True)}


def expect_state(app, what, **wanted):
    """Compares several controls at once, e.g. sDel="ticked enabled", start="disabled"."""
    nodes = app.nodes()
    for name, words in wanted.items():
        node = app.control(name, nodes)
        for word in words.split():
            state, absent = STATE_WORDS[word]
            if (state in node.states) == absent:
                raise Failure("%s: %s is not %s (states %s)" % (what, name, word, sorted(node.states)))


def expect_hidden(app, role, name):
    for node in app.nodes():
        if node.role == role and node.name == name:
            if "showing" in node.states:
                raise Failure("%s %r is shown" % (role, name))
            return
    raise Failure("no %s %r at all" % (role, name))


def expect_looks(picture, **looks):
    """A locked text box must look locked: its text greyed, whatever colours it was given."""
    found = {name: desktop.text_look(picture, name) for name in looks}
    if found != looks:
        raise Failure("text of the boxes drawn %s, expected %s (grey: locked, dark: editable)"
                      % (found, looks))


def expect_no_traces(stage):
    """A path is never handed to a shell: nothing named in it may have run."""
    for folder, _, files in os.walk(stage.dir):
        if "GEHACKT" in files:
            raise Failure("a path was run by a shell: %s" % os.path.join(folder, "GEHACKT"))


# --- the window -------------------------------------------------------------

@scenario("one window titled Zandrel, client area 575 x 358, fixed size, centred")
def window(stage):
    app = stage.start()
    windows = app.windows()
    expect("the program's mapped windows", [title for _, title in windows], ["Zandrel"])
    expect("windows titled Zandrel on the screen", len(visible_windows("Zandrel")), 1)
    where = desktop.geometry(app.window.id)
    expect("client area", (where["width"], where["height"]), layout.CLIENT_SIZE)
    hints = size_hints(app.window.id)
    expect("minimum size told to the window manager", hints["minimum"], layout.CLIENT_SIZE)
    expect("maximum size told to the window manager", hints["maximum"], layout.CLIENT_SIZE)
    expect("the window's icons", desktop.icon_sizes(app.window.id), [(16, 16), (32, 32)])
    width, height = screen_size()
    centre = (where["x"] + where["width"] / 2, where["y"] + where["height"] / 2)
    if abs(centre[0] - width / 2) > 2 or abs(centre[1] - height / 2) > 2:
        raise Failure("window centred at %s on a %dx%d screen" % (centre, width, height))
    copy_to_docs(app.screenshot("window"), "screenshot-first-start.png")
    expect("exit code after closing", app.close(), 0)


@scenario("first start: hive with its defaults, red lamp, nothing connected")
def first_start(stage):
    expect("hive before the first start", stage.settings(), None)
    app = stage.start()
    settings = wait_until("the hive", stage.settings)
    expect("hive's first line", stage.hive_text().splitlines()[0], hive.HEADER)
    expect("stored settings", settings,
           {"cpath": "set source path", "fpath": "set destination path", "sOpen": "1"})
    expect("Cpath", app.text("Cpath"), "set source path")
    expect("Fpath", app.text("Fpath"), "set destination path")
    expect("sFolder", app.text("sFolder"), stage.dated())
    expect("Message", app.message(), NOT_CONNECTED)
    expect("sAantal", app.caption("sAantal"), "0")
    expect("sMB", app.caption("sMB"), "0")
    expect("procent", app.caption("procent"), "")
    expect_state(app, "first start", sDel="ticked enabled", sAutodatum="ticked enabled",
                 sPreview="ticked enabled", sOpen="ticked enabled", sSet="unticked enabled",
                 Cpath="disabled", Fpath="disabled", sFolder="disabled", start="disabled",
                 Refresh1="enabled", Versie="enabled")
    expect_hidden(app, pyatspi.ROLE_PUSH_BUTTON, "Save")
    picture = app.look("first-start")
    expect("the lamp", desktop.lamp(picture), "rood")
    expect_looks(picture, Cpath="grey", Fpath="grey", sFolder="grey")
    # A window manager gives a new window the input focus; there is none here.
    desktop.run("xdotool", "windowfocus", "--sync", str(app.window.id))
    focused = wait_until("a control with the focus",
                         lambda: [n for n in app.nodes() if "focused" in n.states], timeout=30)
    expect("the control with the focus", [n.name for n in focused], ["Refresh"])


# --- settings ---------------------------------------------------------------

@scenario("editing both folders with SET, typing, Save: the hive holds them")
def editing(stage):
    camera = stage.folder("Camera/DCIM")
    photos = stage.folder("Foto's")
    make_camera(camera, 12, size="1024x768")
    app = stage.start()
    wait_until("the hive", stage.settings)
    app.window.click("sSet")
    app.await_message(EDITING)
    picture = app.look("editing")
    expect("the lamp while editing", desktop.lamp(picture), "geel")
    expect_looks(picture, Cpath="dark", Fpath="dark", sFolder="grey")
    expect_state(app, "editing", Cpath="enabled", Fpath="enabled", SETcamera="enabled",
                 start="disabled", Refresh1="disabled", sDel="disabled", sAutodatum="disabled",
                 Fotoboek="disabled", sPreview="disabled", sOpen="disabled")
    expect_hidden(app, pyatspi.ROLE_CHECK_BOX, "SET")
    app.window.type_into("Cpath", camera)
    app.window.type_into("Fpath", photos)
    wait_until("the typed folders", lambda: app.text("Cpath") == camera and app.text("Fpath") == photos)
    app.screenshot("typed")
    app.window.click("SETcamera")
    wait_until("both folders in the hive",
               lambda: (stage.settings() or {}).get("fpath") == photos)
    expect("stored settings", stage.settings(), {"cpath": camera, "fpath": photos, "sOpen": "1"})
    app.await_message(READY)
    expect("Cpath", app.text("Cpath"), camera)
    expect("Fpath", app.text("Fpath"), photos)
    expect("sAantal", app.caption("sAantal"), "12")
    expect("sMB", app.caption("sMB"), folder_megabytes(camera))
    expect_state(app, "after Save", Cpath="disabled", Fpath="disabled", start="enabled",
                 Refresh1="enabled", sSet="unticked enabled", Fotoboek="enabled")
    expect_hidden(app, pyatspi.ROLE_PUSH_BUTTON, "Save")
    picture = app.look("ready")
    expect("the lamp after Save", desktop.lamp(picture), "groen")
    copy_to_docs(stage.shot("ready"), "screenshot.png")
    expect_looks(picture, Cpath="grey", Fpath="grey", sFolder="grey")


@scenario("a restart keeps the folders and the open-afterwards choice")
def restart(stage):
    camera = stage.folder("camera")
    photos = stage.folder(AWKWARD)
    make_camera(camera, 2)
    app = stage.start()
    wait_until("the hive", stage.settings)
    app.window.click("sSet")
    app.await_message(EDITING)
    app.window.type_into("Cpath", camera)
    app.window.type_into("Fpath", photos)
    wait_until("the typed folders", lambda: app.text("Fpath") == photos)
    app.window.click("SETcamera")
    app.await_message(READY)
    app.window.click("sOpen")
    wait_until("sOpen stored as 0", lambda: stage.settings()["sOpen"] == "0")
    expect("stored settings", stage.settings(), {"cpath": camera, "fpath": photos, "sOpen": "0"})
    before = stage.hive_text()
    expect("exit code after closing the window", app.close(), 0)
    again = stage.start()
    again.await_message(READY)
    expect("Cpath after the restart", again.text("Cpath"), camera)
    expect("Fpath after the restart", again.text("Fpath"), photos)
    expect_state(again, "after the restart", sOpen="unticked", start="enabled")
    expect("the hive after the restart", stage.hive_text(), before)
    again.screenshot("restarted")
    expect_no_traces(stage)


# --- the copy run -----------------------------------------------------------

@scenario("a copy run of a dozen JPEGs into the dated folder, clashes numbered, camera emptied")
def copy_run(stage):
    camera = stage.folder("camera/DCIM/100CANON")
    photos = stage.folder(AWKWARD)
    target = stage.folder(os.path.join(AWKWARD, stage.dated()))
    make_camera(camera, 12)
    # Earlier photos that happen to have the camera's names.
    stagelib.make_jpeg(os.path.join(target, "IMG_0001.JPG"), 101)
    stagelib.make_jpeg(os.path.join(target, "IMG_0002.JPG"), 102)
    stagelib.make_jpeg(os.path.join(target, "IMG_0002-1.JPG"), 103)
    on_camera, earlier = checksums(camera), checksums(target)
    stage.write_hive(camera, photos, "1")
    app = stage.start()
    app.await_message(READY)
    expect("sAantal before the run", app.caption("sAantal"), "12")
    app.window.click("start")
    app.await_message(DONE, timeout=300)
    app.screenshot("done")
    expect("the lamp after the run", app.lamp("done"), "groen")
    wanted = dict(earlier)
    for name, digest in on_camera.items():
        wanted[{"IMG_0001.JPG": "IMG_0001-1.JPG", "IMG_0002.JPG": "IMG_0002-2.JPG"}.get(name, name)] = digest
    expect("the dated folder", checksums(target), wanted)
    for name in on_camera:
        copy = {"IMG_0001.JPG": "IMG_0001-1.JPG", "IMG_0002.JPG": "IMG_0002-2.JPG"}.get(name, name)
        index = int(name[4:8])
        expect("modification time of " + copy, int(os.path.getmtime(os.path.join(target, copy))),
               int(stagelib.CAMERA_TIME + 60 * index))
    expect("files left on the camera", os.listdir(camera), [])
    expect("sAantal after the run", app.caption("sAantal"), "0")
    expect_state(app, "after the run", start="disabled", Refresh1="enabled", sSet="enabled",
                 sDel="enabled", sAutodatum="enabled")
    wait_until("the file manager", stage.launches, timeout=30)
    expect("the file manager started with", stage.launches(), [[target]])
    app.window.click("Fotoboek")
    wait_until("the file manager again", lambda: len(stage.launches()) == 2, timeout=30)
    expect("the Foto's button started", stage.launches()[1], [target])
    expect_no_traces(stage)
    copy_to_docs(stage.shot("done"), "screenshot-after-run.png")


@scenario("the camera folder disappears half-way through a run: no photo is lost")
def camera_vanishes(stage):
    count = 400
    camera = stage.folder("card/DCIM")
    unplugged = os.path.join(stage.dir, "card/DCIM-unplugged")
    photos = stage.folder("Foto's")
    target = os.path.join(photos, stage.dated())
    make_many(camera, count, 150000)
    originals = checksums(camera)
    stage.write_hive(camera, photos, "0")
    app = stage.start()
    app.await_message(READY)
    # A quarter of the way a screenshot; a third of the way the card is pulled out.
    watcher = subprocess.Popen(["bash", "-c", """
        shot=
        while :; do
          n=$(ls -A "$2" 2>/dev/null | wc -l)
          if [ -z "$shot" ] && [ "$n" -ge "$(($3 * 3 / 4))" ]; then
            /usr/bin/import -window "$5" "$6"; shot=1
          fi
          if [ "$n" -ge "$3" ]; then mv "$1" "$4"; echo "$n"; exit 0; fi
          [ -n "$(ls -A "$1")" ] || exit 1  # the run got to the end first
          sleep 0.01
        done""", "watcher", camera, target, str(count // 3), unplugged,
        str(app.window.id), stage.shot("running")], stdout=subprocess.PIPE, text=True)
    try:
        app.window.click("start")
        wait_until("the card to be pulled out", lambda: watcher.poll() is not None or not app.alive(),
                   timeout=600)
    finally:
        if watcher.poll() is None:
            watcher.kill()
            watcher.wait()
    if not os.path.isdir(unplugged):
        raise Failure("the camera never disappeared (the run ended first, or the program did)")
    x, y, w, h = layout.pixels("Image1")
    if desktop.Picture(stage.shot("running")).colours(x + 2, y + 2, w - 4, h - 4) < 20:
        raise Failure("no photo in the preview a quarter of the way through the run")
    copy_to_docs(stage.shot("running"), "screenshot-running.png")
    arrived_at_unplug = int(watcher.stdout.read().strip())
    ending = app.await_message(lambda text: text == DONE or text.startswith(COPY_ERROR), timeout=300)
    app.screenshot("unplugged")
    left = checksums(unplugged)
    if arrived_at_unplug >= count or len(left) == 0:
        raise Failure("the run was over before the camera disappeared; make the camera bigger")
    copied = checksums(target)
    strays = sorted(name for name, digest in copied.items() if digest not in originals.values())
    if strays:
        raise Failure("files at the target that are no complete photo: %s" % strays[:5])
    lost = sorted(name for name, digest in originals.items()
                  if left.get(name) != digest and digest not in copied.values())
    if lost:
        raise Failure("photos neither on the camera nor complete at the target: %s" % lost[:5])
    if not app.alive():
        raise Failure("the program ended")
    # The window is usable: the camera is reported missing, then found again.
    app.window.click("Refresh1")
    app.await_message(NOT_CONNECTED)
    expect("the lamp without camera", app.lamp("no-camera"), "rood")
    os.rename(unplugged, camera)
    app.window.click("Refresh1")
    app.await_message(READY)
    app.window.click("start")
    app.await_message(DONE, timeout=600)
    all_copied = set(checksums(target).values())
    missing = sorted(name for name, digest in originals.items() if digest not in all_copied)
    if missing:
        raise Failure("after plugging the card back in and a second run, missing: %s" % missing[:5])
    expect("files left on the camera", os.listdir(camera), [])
    return "first run ended with %r after %d of %d photos" % (ending, len(copied), count)


# Every flush the program asks for takes 20 ms longer, as on a slow disk.
SLOW_FLUSHES = ["strace", "-f", "-qq", "--seccomp-bpf", "-o", "/dev/null", "-e", "trace=fsync,fdatasync",
                "-e", "inject=fsync,fdatasync:delay_enter=20000"]


def time_until(what, probe, timeout=60):
    """Seconds until probe() holds, polled often enough to time a click."""
    started = time.monotonic()
    wait_until(what, probe, timeout=timeout, interval=0.02)
    return time.monotonic() - started


@scenario("clicks during a run with slow flushes: unlocked controls answer at once, locked ones never")
def input_during_run(stage):
    count = 250
    camera = stage.folder("camera")
    photos = stage.folder("Foto's")
    target = os.path.join(photos, stage.dated())
    make_many(camera, count, 120000)
    originals = checksums(camera)
    stage.write_hive(camera, photos, "0")
    app = stage.start(wrapper=SLOW_FLUSHES)
    app.await_message(READY)
    running = lambda: len(os.listdir(camera)) > 0

    app.window.click("start")
    wait_until("the first photos", lambda: os.path.isdir(target) and len(os.listdir(target)) >= 5)

    def handled(what, seconds):
        if not running():
            raise Failure("%s was handled %.2f s after the click, when the run was over" % (what, seconds))
        return seconds

    app.window.click("Fotoboek")
    fotos = handled("Foto's", time_until("the file manager", stage.launches))
    expect("the file manager started with", stage.launches(), [[target]])
    # Locked: these clicks must come to nothing, neither now nor after the run.
    app.window.click("Refresh1")
    app.window.click("sDel")
    x, y, w, h = layout.pixels("Image1")
    preview_empty = lambda: app.window.look(stage.shot("preview-off")).colours(x + 2, y + 2, w - 4, h - 4) <= 2
    if preview_empty():
        raise Failure("no photo in the preview during the run")
    app.window.click("sPreview")
    preview = handled("sPreview", time_until("the preview cleared", preview_empty))
    time.sleep(0.5)  # a photo that still arrived would show now
    if not preview_empty():
        raise Failure("the preview shows photos again after it was switched off")
    app.window.click("Versie")
    box = handled("?", time_until("the version box",
                                  lambda: [w for w, t in app.windows() if t == "Zandrel 1.0.8"]))
    desktop.press("Escape")
    app.await_message(DONE, timeout=300)
    # The clicks on Refresh and on the emptying box came to nothing.
    expect_state(app, "after the run", sDel="ticked enabled", sPreview="unticked enabled")
    expect("the lamp after the run", app.lamp("input-done"), "groen")
    expect("the photos", checksums(target), originals)
    expect("files left on the camera", os.listdir(camera), [])
    expect("the file manager's starts", stage.launches(), [[target]])
    if max(fotos, preview, box) > 1.0:
        raise Failure("clicks took %.2f s (Foto's), %.2f s (preview), %.2f s (?) to be handled"
                      % (fotos, preview, box))
    return "handled after %.2f s (Foto's), %.2f s (preview), %.2f s (?)" % (fotos, preview, box)


@scenario("closing the window during a large file ends the run within a second, that camera file kept")
def close_during_run(stage):
    camera = stage.folder("camera")
    photos = stage.folder("Foto's")
    target = os.path.join(photos, stage.dated())
    films = [os.path.join(camera, "MVI_%04d.MOV" % n) for n in (1, 2)]
    for film in films:
        with open(film, "wb") as handle:
            for _ in range(300):
                handle.write(os.urandom(1 << 20))
    originals = checksums(camera)
    stage.write_hive(camera, photos, "1")
    # A slow card: each megabyte read from it takes 10 ms more.
    slow_card = ["strace", "-f", "-qq", "--seccomp-bpf", "-o", "/dev/null", "-e", "trace=read",
                 "-e", "inject=read:delay_enter=10000"] + [arg for film in films for arg in ("-P", film)]
    app = stage.start(wrapper=slow_card)
    app.await_message(READY)
    app.window.click("start")
    wait_until("the run under way", lambda: os.path.isdir(target), timeout=30)
    time.sleep(0.5)
    started = time.monotonic()
    desktop.close_window(app.window.id)
    try:
        app.process.wait(timeout=60)
    except subprocess.TimeoutExpired:
        raise Failure("the program did not end after its window was closed")
    ended = time.monotonic() - started
    if ended > 1.0:
        raise Failure("the program ended %.2f s after its window was closed, leaving %d of 2 films on the camera"
                      % (ended, len(os.listdir(camera))))
    copied = checksums(target)
    left = checksums(camera)
    expect("the photo folder", copied, {})
    expect("the camera files", left, originals)
    expect("the file manager's starts", stage.launches(), [])
    return "ended %.2f s after the close" % ended


# --- version information ------------------------------------------------------

@scenario('the "?" box: its texts and Dutch buttons, answered No (Escape, then "Nee") and Yes ("Ja")')
def version_box(stage):
    workdir = stage.folder("werkmap van Anna")
    camera = stage.folder("camera")
    photos = stage.folder("Foto's")
    make_camera(camera, 1)
    stage.write_hive(camera, photos, "1")
    app = stage.start(cwd=workdir)
    app.await_message(READY)
    hive_before = stage.hive_text()

    def open_box():
        app.window.click("Versie")
        ids = wait_until("the version box",
                         lambda: [w for w, title in app.windows() if title == "Zandrel 1.0.8"])
        expect("version boxes", len(ids), 1)
        return ids[0]

    def box_gone():
        wait_until("the box to close",
                   lambda: not [w for w, t in app.windows() if t == "Zandrel 1.0.8"], timeout=30)

    box = open_box()
    texts = [n.name for n in app.reader.nodes("Zandrel 1.0.8") if n.role == pyatspi.ROLE_LABEL]
    prompt = next((t for t in texts if t.startswith("Dit is versie: ")), None)
    lines = (prompt or "").split("\n")
    expect("first line", lines[0] if lines else None, "Dit is versie: 1.0.8")
    expect("second line", lines[1] if len(lines) > 1 else None, "Gestart vanaf: " + workdir)
    expect("last line", lines[-1], "Laatste versie downloaden?")
    if not (len(lines) == 7 and lines[4].endswith("/Zandrel.html")):
        raise Failure("the box's lines: %r" % lines)
    buttons = sorted(n.name.replace("&", "") for n in app.reader.nodes("Zandrel 1.0.8")
                     if n.role == pyatspi.ROLE_PUSH_BUTTON)
    expect("the box's buttons", buttons, ["Ja", "Nee"])
    desktop.screenshot(box, stage.shot("version"))
    copy_to_docs(stage.shot("version"), "screenshot-version.png")
    desktop.press("Escape")
    box_gone()
    open_box()
    click_box_button(app, "Nee")
    box_gone()
    time.sleep(1)  # a launch would have been recorded by now
    expect("file manager starts after No", stage.launches(), [])
    expect("Message after No", app.message(), READY)
    expect("hive after No", stage.hive_text(), hive_before)
    open_box()
    click_box_button(app, "Ja")
    box_gone()
    wait_until("the web page to be opened", stage.launches, timeout=30)
    calls = stage.launches()
    if len(calls) != 1 or len(calls[0]) != 1 or calls[0][0] != lines[4]:
        raise Failure("after Yes the file manager was started with %r" % calls)
    expect("Message after Yes", app.message(), READY)


def click_box_button(app, caption):
    for node in app.reader.nodes("Zandrel 1.0.8"):
        if node.role == pyatspi.ROLE_PUSH_BUTTON and node.name.replace("&", "") == caption:
            x, y, w, h = node.rect
            desktop.click_at(x + w // 2, y + h // 2)
            return
    raise Failure("no %s button in the box" % caption)


# --- what the status line shows ------------------------------------------------

@scenario("a long photo folder named like markup: the status line shows it as it is, both ends")
def status_line(stage):
    camera = stage.folder("camera")
    make_camera(camera, 1)
    photos = os.path.join(stage.dir, "<b>nope</b>", "this is a rather long photo folder",
                          "that does not exist at all")
    stage.write_hive(camera, photos, "0")
    app = stage.start()
    app.await_message("'%s'  bestaat niet" % photos)
    app.screenshot("long-line")


@scenario("settings out of reach (no HOME): the reason, then Unknown folders, red lamp, no START")
def settings_out_of_reach(stage):
    app = stage.start(env_changes={"HOME": None, "XDG_CONFIG_HOME": None}, await_window=False)
    boxes = wait_until("the error box", lambda: [w for w, title in app.windows() if title == "Zandrel"])
    desktop.screenshot(boxes[0], stage.shot("error-box"))
    desktop.run("xdotool", "windowfocus", "--sync", str(boxes[0]))
    desktop.press("Return")
    wait_until("the box to close", lambda: boxes[0] not in [w for w, _ in app.windows()], timeout=30)
    app.await_window()
    expect("Cpath", app.text("Cpath"), "Unknown")
    expect("Fpath", app.text("Fpath"), "Unknown")
    expect("sAantal", app.caption("sAantal"), "0")
    expect("sMB", app.caption("sMB"), "0")
    expect("Message", app.message(), "Instellingen niet te bereiken")
    expect_state(app, "settings out of reach", Cpath="disabled", Fpath="disabled", start="disabled")
    expect("the lamp", app.lamp("out-of-reach"), "rood")


@scenario("check boxes drawn whole at screen scales 1, 1.25, 1.5 and 2")
def check_boxes_scaled(stage):
    problems = []
    for scale in (1, 1.25, 1.5, 2):
        app = stage.start(env_changes={"QT_SCALE_FACTOR": str(scale)}, await_window=False)
        window = wait_until("the window", lambda: [w for w, t in app.windows() if t == "Zandrel"])[0]
        app.window = desktop.Window(window)
        time.sleep(1)  # painted
        picture = app.look("scale-%s" % scale)
        for name in layout.CHECK_BOX_LABELS:
            x, y, w, h = layout.pixels(name)
            box = (int(x * scale), int(y * scale), int((x + w) * scale), int((y + h) * scale))
            drawn = desktop.drawn_extent(picture, *box)
            if not drawn or drawn[2] >= box[2] - 1 or drawn[3] >= box[3] - 1 or \
                    abs((drawn[2] - drawn[0]) - (drawn[3] - drawn[1])) > 1:
                problems.append("%s at %s: box drawn over %s within %s" % (name, scale, drawn, box))
        app.close()
    if problems:
        raise Failure("; ".join(problems))


# --- the screen reader ----------------------------------------------------------

@scenario("a screen reader reads every control at its place, the lamp in words")
def screen_reader(stage):
    camera = stage.folder("camera")
    photos = stage.folder("Foto's")
    make_camera(camera, 3)
    stage.write_hive(camera, photos, "0")
    app = stage.start()
    app.await_message(READY)
    a11y_check.check_window(app, {
        "Cpath": camera, "Fpath": photos, "sFolder": stage.dated(),
        "sAantal": "3", "sMB": folder_megabytes(camera), "Message": READY, "procent": "",
        "sDel": 1, "sAutodatum": 1, "sPreview": 1, "sOpen": 0, "sSet": 0,
        "lamp": "groen"})
    for figure, caption in (("sAantal", "Totaal"), ("sMB", "Aantal MB's")):
        expect("the labels naming " + figure, a11y.labelled_by(app.control(figure)), [caption])
    for name in os.listdir(camera):
        os.remove(os.path.join(camera, name))
    # Enter on the focused Refresh button presses it, and the new verdict is told.
    desktop.run("xdotool", "windowfocus", "--sync", str(app.window.id))
    wait_until("Refresh with the focus", lambda: "focused" in app.control("Refresh1").states, timeout=30)
    app.screenshot("focus")
    heard = a11y.announced_names(lambda: desktop.press("Return"), EMPTY)
    if EMPTY not in heard:
        raise Failure("the new status line was not announced; heard %r" % heard)
    app.await_message(EMPTY)
    a11y_check.check_lamp(app, "geel")
    app.window.click("sFotoaan")
    wait_until("sPreview unticked by its caption", lambda: not app.ticked("sPreview"), timeout=30)
    os.rmdir(camera)
    app.window.click("Refresh1")
    app.await_message(NOT_CONNECTED)
    a11y_check.check_lamp(app, "rood")


# --- the runner -----------------------------------------------------------------

def print_program_output(stage):
    """What the program itself said, for the reader of a failure."""
    for name in sorted(os.listdir(stage.dir)):
        if name.startswith("program-") and os.path.getsize(os.path.join(stage.dir, name)):
            with open(os.path.join(stage.dir, name), errors="replace") as log:
                lines = log.read().splitlines()[-10:]
            print("     %s:\n       %s" % (name, "\n       ".join(lines)), flush=True)


def main(argv):
    binary, work, shots = argv[1:4]
    chosen = argv[4:]
    os.makedirs(shots, exist_ok=True)
    a11y.start_bus()
    passed = failed = 0
    for slug, title, function in SCENARIOS:
        if chosen and slug not in chosen:
            continue
        stage = Stage(work, slug, binary, shots)
        try:
            note = function(stage)
            print("PASS %s: %s%s" % (slug, title, " (%s)" % note if note else ""), flush=True)
            passed += 1
        except Exception as error:  # every failure, also a crash of the harness, fails the scenario
            detail = str(error) if isinstance(error, Failure) else traceback.format_exc().strip()
            print("FAIL %s: %s\n     %s" % (slug, title, detail.replace("\n", "\n     ")), flush=True)
            print_program_output(stage)
            failed += 1
        finally:
            stage.cleanup()
    print("screenshots in %s" % shots)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
