"""One scenario's own little world: a home, a camera, a photo folder, the program."""

import datetime
import hashlib
import os
import shutil
import signal
import subprocess
import time

import a11y
import desktop
import hive
import layout
from desktop import Failure, wait_until

CONVERT = "/usr/bin/convert"


class Stage:
    def __init__(self, root, name, binary, shots):
        self.name = name
        self.dir = os.path.join(root, name)
        self.home = os.path.join(self.dir, "home")
        self.config = os.path.join(self.home, ".config")
        self.launch_log = os.path.join(self.dir, "launches")
        for folder in (self.home, self.launch_log):
            os.makedirs(folder)
        self.binary = binary
        self.shots = shots
        self.running = []
        self.today = datetime.date.today()

    # --- the world around the program ---------------------------------------

    def folder(self, relative):
        path = os.path.join(self.dir, relative)
        os.makedirs(path, exist_ok=True)
        return path

    def dated(self):
        return layout.dated_folder(self.today)

    def settings(self):
        return hive.settings(self.config)

    def hive_text(self):
        return hive.read_text(hive.path(self.config))

    def write_hive(self, cpath, fpath, open_after="1"):
        hive.write(self.config, {"cpath": cpath, "fpath": fpath, "sOpen": open_after})

    def launches(self):
        """The argument lists the file manager was started with, oldest first."""
        calls = []
        for entry in sorted(os.listdir(self.launch_log)):
            with open(os.path.join(self.launch_log, entry), "rb") as handle:
                calls.append(handle.read().decode("utf-8").split("\0")[:-1])
        return calls

    def shot(self, state):
        return os.path.join(self.shots, "%s-%s.png" % (self.name, state))

    # --- the program ---------------------------------------------------------

    def start(self, cwd=None, env_changes=None, await_window=True, wrapper=()):
        """env_changes: variables to set, or to unset where the value is None;
        wrapper: a command the program runs under (strace)."""
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=self.config,
                   ZANDREL_E2E_LAUNCHES=self.launch_log)
        for name, value in (env_changes or {}).items():
            if value is None:
                env.pop(name, None)
            else:
                env[name] = value
        log_path = os.path.join(self.dir, "program-%d.log" % len(self.running))
        with open(log_path, "w") as log:
            process = subprocess.Popen(list(wrapper) + [self.binary], cwd=cwd or self.dir, env=env,
                                       stdout=log, stderr=subprocess.STDOUT)
        running = Running(process, self, wrapped=bool(wrapper))
        with open(os.path.join(os.environ["ZANDREL_E2E_PIDS"], str(running.pid)), "w"):
            pass
        self.running.append(running)
        if await_window:
            running.await_window()
        return running

    def cleanup(self):
        for running in self.running:
            running.kill()


class Running:
    """The program while it runs, with its one window."""

    def __init__(self, process, stage, wrapped=False):
        self.process = process
        self.stage = stage
        self.window = None
        self.reader = None
        # The program's own process, also when it runs under a wrapper.
        self.pid = process.pid if not wrapped else wait_until(
            "the program under its wrapper", lambda: program_below(process.pid, stage.binary), timeout=30)

    def windows(self):
        """The program's mapped windows as (id, title)."""
        found = []
        for window in desktop.all_visible_windows():
            pid = subprocess.run(["xdotool", "getwindowpid", str(window)],
                                 capture_output=True, text=True).stdout.strip()
            if pid == str(self.pid):
                found.append((window, desktop.window_title(window)))
        return found

    def await_window(self):
        def mapped():
            if self.process.poll() is not None:
                raise Failure("the program ended with code %d before showing its window"
                              % self.process.returncode)
            return [w for w, title in self.windows() if title == "Zandrel"]
        ids = wait_until("the Zandrel window", mapped, timeout=60)
        self.window = desktop.Window(ids[0])
        self.reader = a11y.Reader(self.pid)
        # The window is shown after its load; wait until the reader sees it filled.
        wait_until("the controls on the accessibility bus",
                   lambda: self.reader.control(self.window, "Refresh1"), timeout=60)

    # What the window shows, as a screen reader reads it.
    def nodes(self):
        return self.reader.nodes()

    def control(self, name, nodes=None):
        return self.reader.control(self.window, name, nodes)

    def caption(self, name):
        return self.control(name).name

    def text(self, name):
        return self.control(name).text

    def ticked(self, name):
        return "checked" in self.control(name).states

    def enabled(self, name, nodes=None):
        return "enabled" in self.control(name, nodes).states

    def message(self):
        return self.caption("Message")

    def await_message(self, wanted, timeout=60):
        """Waits until the status line reads as wanted (a text, or a test of the text)."""
        accept = wanted if callable(wanted) else (lambda text: text == wanted)

        def probe():
            text = self.message()
            if not accept(text):
                raise Failure("the message reads %r" % text)
            return (text,)
        return wait_until("the message %r" % (wanted,), probe, timeout=timeout)[0]

    def look(self, state):
        """Screenshot of this state, as pixels."""
        return self.window.look(self.stage.shot(state))

    def lamp(self, state):
        return desktop.lamp(self.look(state))

    def screenshot(self, state):
        return self.window.screenshot(self.stage.shot(state))

    def close(self):
        """Closes the window as a person does, and waits for the program to end."""
        desktop.close_window(self.window.id)
        try:
            return self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after its window was closed")

    def alive(self):
        return self.process.poll() is None

    def kill(self):
        if self.process.poll() is None:
            try:
                os.kill(self.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def program_below(parent, binary):
    """The id of the process running binary that parent started, or None."""
    children = subprocess.run(["ps", "-o", "pid=", "--ppid", str(parent)],
                              capture_output=True, text=True).stdout.split()
    for child in children:
        try:
            if os.readlink("/proc/%s/exe" % child) == binary:
                return int(child)
        except OSError:
            pass
    return None


# --- camera files ------------------------------------------------------------

COLOURS = ["red", "orange", "yellow", "green", "cyan", "blue", "purple", "magenta",
           "white", "gray", "brown", "navy", "olive", "teal", "maroon", "pink"]
CAMERA_TIME = time.mktime((2024, 6, 1, 12, 0, 0, 0, 0, -1))


def make_jpeg(path, index, size="320x240"):
    """A real JPEG, different for every index, with a camera-like time stamp."""
    top, bottom = COLOURS[index % len(COLOURS)], COLOURS[(index * 7 + 3) % len(COLOURS)]
    subprocess.run([CONVERT, "-seed", str(index), "-size", size, "plasma:%s-%s" % (top, bottom),
                    "-quality", "90", path], check=True)
    os.utime(path, (CAMERA_TIME + 60 * index, CAMERA_TIME + 60 * index))
    return path


def make_camera(folder, count, first=1, size="320x240"):
    return [make_jpeg(os.path.join(folder, "IMG_%04d.JPG" % n), n, size)
            for n in range(first, first + count)]


def make_many(folder, count, bytes_each):
    """Many distinct JPEGs made quickly: one picture, each copy padded differently after its end."""
    base = make_jpeg(os.path.join(folder, ".base.jpg"), 0, "640x480")
    with open(base, "rb") as handle:
        picture = handle.read()
    os.remove(base)
    for n in range(1, count + 1):
        padding = os.urandom(max(0, bytes_each - len(picture)))
        with open(os.path.join(folder, "IMG_%04d.JPG" % n), "wb") as handle:
            handle.write(picture + padding)


def checksum(path):
    with open(path, "rb") as handle:
        return hashlib.sha256(handle.read()).hexdigest()


def checksums(folder):
    """{name: sha256} of the regular files directly in a folder, hidden ones included."""
    return {name: checksum(os.path.join(folder, name)) for name in sorted(os.listdir(folder))
            if os.path.isfile(os.path.join(folder, name))}


def folder_megabytes(folder):
    total = sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder))
    return str(total // 1000000)


def copy_to_docs(path, docs_name):
    docs = os.environ.get("ZANDREL_E2E_DOCS")
    if docs and os.path.exists(path):
        os.makedirs(docs, exist_ok=True)
        shutil.copyfile(path, os.path.join(docs, docs_name))
