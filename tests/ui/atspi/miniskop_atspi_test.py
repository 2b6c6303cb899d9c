"""Drives the desktop program as a user would, through the accessibility bus.

Started by run_atspi_test.sh inside a virtual X server and a private D-Bus
session. The program is started with its current folder set to a generated
picture folder (the lists start there); the controls are found by their
captions. Two scenarios:

1. A whole run: "Thumbnails erzeugen", wait for the closing display, then the
   thumbnails and the overview page are checked on disk; the info dialog and
   the settings panel open and close; "Beenden" ends the program.
2. Closing mid-run: "Beenden" while the run is going ends the program at once;
   finished thumbnails stay, no page is written, nothing half-written remains.
3. Settings round trip: edits in the settings panel, "Speichern", a restart,
   and the values are back in the panel.

The program is run from a copy in the temporary folder, so that the settings
file it keeps beside itself is the test's own.

Set MINISKOP_ATSPI_SHOTS to a folder to also save screenshots there.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

import pyatspi

PROGRAM = os.path.abspath(sys.argv[1])  # replaced by the copy in main()
SHOTS = os.environ.get("MINISKOP_ATSPI_SHOTS")
START_CAPTION = "Thumbnails erzeugen"
COUNT_TEXT = "Anzahl erzeugter Thumbnails: "
FINISHED_TEXT = "Thumbnail Generierung beendet..."
DEFAULT_PATTERN = "*.bmp;*.jpg;*.jpeg;*.gif;*.wmf"

failures = []
started = []  # programs to stop should a scenario fail half-way


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message, flush=True)
    return condition


def write_bmp(path, width, height, seed):
    """A 24-bit bottom-up Windows bitmap with a colour gradient."""
    row_size = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height):
        row = bytearray()
        for x in range(width):
            row += bytes(((x * 255 // width + seed * 40) % 256,
                          (y * 255 // height) % 256, (seed * 70) % 256))
        row += b"\0" * (row_size - len(row))
        pixels += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels),
                       2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def wait_for(what, predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            result = predicate()
        except Exception:  # the tree may change under us while a window opens
            result = None
        if result:
            return result
        time.sleep(0.2)
    raise TimeoutError("timed out waiting for " + what)


def screenshot(name):
    if SHOTS:
        os.makedirs(SHOTS, exist_ok=True)
        subprocess.run(["import", "-window", "root", os.path.join(SHOTS, name + ".png")],
                       check=False)


class Program:
    def __init__(self, folder):
        env = dict(os.environ)
        env.update({
            "QT_ACCESSIBILITY": "1",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            "QTWEBENGINE_DISABLE_SANDBOX": "1",
            "XDG_CONFIG_HOME": os.path.join(folder, "..", "config"),
        })
        self.process = subprocess.Popen([PROGRAM], cwd=folder, env=env)
        started.append(self.process)
        self.app = wait_for("the program on the accessibility bus", self._find_app, 60)
        self.window = wait_for("the main window", lambda: self.frame("Thumbnails"), 30)

    def _find_app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def frame(self, title):
        for window in self.app:
            if window is not None and window.name == title:
                return window
        return None

    def find(self, role, name, within=None):
        root = within or self.window
        return pyatspi.findDescendant(
            root, lambda a: a is not None and a.getRoleName() == role and a.name == name)

    def find_prefix(self, role, prefix, within=None):
        root = within or self.window
        return pyatspi.findDescendant(
            root, lambda a: a is not None and a.getRoleName() == role and
            a.name.startswith(prefix))

    def press(self, name, within=None):
        button = wait_for("button " + name, lambda: self.find("push button", name, within), 20)
        button.queryAction().doAction(0)
        return button

    def wait_exit(self, timeout):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None


def state(acc, which):
    return acc.getState().contains(which)


def leftovers(folder):
    """Files in the thumbnail folder that are neither thumbnails nor the page."""
    return [n for n in os.listdir(folder)
            if not (n.startswith("t_") and n.endswith(".jpg")) and n != "ThumbIndex.html"]


def whole_jpeg(path):
    with open(path, "rb") as f:
        data = f.read()
    return data[:2] == b"\xff\xd8" and data.rstrip(b"\0")[-2:] == b"\xff\xd9"


def scenario_whole_run(base):
    folder = os.path.join(base, "Bilder")
    os.makedirs(folder)
    names = ["Bild%02d" % i for i in range(1, 12)] + ["Grüße"]
    for i, name in enumerate(names):
        write_bmp(os.path.join(folder, name + ".bmp"), 60 + 17 * i, 40 + 11 * i, i)
    with open(os.path.join(folder, "notiz.txt"), "w") as f:
        f.write("kein Bild\n")

    program = Program(folder)
    p = program
    screenshot("1-idle")

    # Start-up state, seen as a user of a screen reader would.
    check(p.find("label", str(len(names))) is not None, "Label5 shows the picture count")
    pattern = p.find("text", "FilePattern:")
    if check(pattern is not None, "pattern box found by its label"):
        check(pattern.queryText().getText(0, -1) == DEFAULT_PATTERN, "initial pattern")
    for caption in ("jpg", "jpeg", "gif", "bmp", "wmf"):
        box = p.find("check box", caption)
        if check(box is not None, "type box " + caption):
            check(state(box, pyatspi.STATE_CHECKED), caption + " checked at start")
    overview = p.find("push button", "Übersicht")
    check(overview is not None and not state(overview, pyatspi.STATE_ENABLED),
          "Übersicht disabled at start")

    # The info dialog opens beside the window and closes with "<<".
    p.press("Info")
    info = wait_for("the info dialog", lambda: p.frame("ThumbNails - Info"), 20)
    screenshot("2-info")
    p.press("<<", within=info)
    wait_for("the info dialog to close", lambda: p.frame("ThumbNails - Info") is None, 20)

    # The settings panel shows inside the window.
    p.press("Settings")
    save = wait_for("the settings panel",
                    lambda: (lambda b: b if b and state(b, pyatspi.STATE_SHOWING) else None)(
                        p.find("push button", "Speichern")), 20)
    screenshot("3-settings")
    panel_close = pyatspi.findDescendant(
        save.parent, lambda a: a is not None and a.getRoleName() == "push button" and
        a.name == "<<")
    if check(panel_close is not None, "settings panel's << button"):
        panel_close.queryAction().doAction(0)

    # The run.
    p.press(START_CAPTION)
    done = wait_for("the closing display",
                    lambda: p.find("label", COUNT_TEXT + str(len(names))), 180)
    check(done is not None, "closing count")
    check(p.find("label", FINISHED_TEXT) is not None, "closing text")
    check(p.find("push button", START_CAPTION) is not None, "caption back to start")
    wait_for("Übersicht enabled",
             lambda: state(p.find("push button", "Übersicht"), pyatspi.STATE_ENABLED), 30)
    time.sleep(2)
    screenshot("4-after-run")

    thumbs = os.path.join(folder, "Thumbnails")
    for name in names:
        path = os.path.join(thumbs, "t_" + name + ".jpg")
        check(os.path.isfile(path) and whole_jpeg(path), "thumbnail of " + name)
    page = os.path.join(thumbs, "ThumbIndex.html")
    if check(os.path.isfile(page), "overview page written"):
        with open(page, "rb") as f:
            html = f.read().decode("cp1252")
        for name in names:
            check(("t_" + name + ".jpg") in html, "page shows " + name)
        check("notiz" not in html, "page leaves out files the pattern excludes")
    check(leftovers(thumbs) == [], "nothing else in the thumbnail folder: %s" % leftovers(thumbs))

    p.press("Beenden", within=p.frame("Thumbnails"))
    code = program.wait_exit(30)
    check(code == 0, "Beenden ends the program (exit code %s)" % code)


def scenario_close_mid_run(base):
    folder = os.path.join(base, "Viele")
    os.makedirs(folder)
    first = os.path.join(folder, "Foto0000.bmp")
    write_bmp(first, 1600, 1200, 3)
    count = 400
    for i in range(1, count):
        os.link(first, os.path.join(folder, "Foto%04d.bmp" % i))

    program = Program(folder)
    p = program
    # While a run is going the program answers the bus only between pictures:
    # look the buttons up beforehand and keep the calls mid-run few.
    start = p.find("push button", START_CAPTION)
    quit_button = p.find("push button", "Beenden")
    check(start is not None and quit_button is not None, "buttons found")
    start.queryAction().doAction(0)
    thumbs = os.path.join(folder, "Thumbnails")
    wait_for("a few thumbnails",
             lambda: os.path.isdir(thumbs) and
             sum(n.endswith(".jpg") for n in os.listdir(thumbs)) >= 3, 120)
    check(start.name == "Abbrechen", "Command1 reads Abbrechen mid-run")
    screenshot("5-mid-run")
    quit_button.queryAction().doAction(0)
    code = program.wait_exit(15)
    check(code == 0, "closing mid-run ends the program at once (exit code %s)" % code)

    made = [n for n in os.listdir(thumbs) if n.endswith(".jpg")]
    check(0 < len(made) < count, "the run stopped where it stood (%d thumbnails)" % len(made))
    check(not os.path.exists(os.path.join(thumbs, "ThumbIndex.html")), "no page for that run")
    check(leftovers(thumbs) == [], "nothing half-written: %s" % leftovers(thumbs))
    for name in made:
        check(whole_jpeg(os.path.join(thumbs, name)), name + " is a whole JPEG")


def scenario_settings_round_trip(base):
    folder = os.path.join(base, "Einstellungen")
    os.makedirs(folder)
    write_bmp(os.path.join(folder, "Probe.bmp"), 80, 60, 1)
    ini = os.path.join(os.path.dirname(PROGRAM), "Miniskop.ini")

    p = Program(folder)
    p.press("Settings")
    wait_for("the settings panel",
             lambda: state(p.find("push button", "Speichern"), pyatspi.STATE_SHOWING), 20)
    ende = p.find("radio button", "das Ende")
    if check(ende is not None, "option das Ende found by its caption"):
        ende.queryAction().doAction(0)
        wait_for("das Ende selected", lambda: state(ende, pyatspi.STATE_CHECKED), 10)
    folder_box = p.find("text", "Name des Thumbnail-Unter-Ordners")
    if check(folder_box is not None, "folder name box found by its label"):
        folder_box.queryEditableText().setTextContents("Vorschau")
    quality = p.find("scroll bar", "JPG-Qualität der erzeugten Thumbnails")
    if check(quality is not None, "quality scroll bar found by its label"):
        quality.queryValue().currentValue = 70
        wait_for("the read-out", lambda: p.find("label", "70 %"), 10)
    p.press("Speichern")
    wait_for("the settings file", lambda: os.path.isfile(ini), 20)
    with open(ini, "rb") as f:
        text = f.read().decode("cp1252")
    for line in ("nameOrdner=Vorschau", "qJPG=70", "optE=False"):
        check(line in text.splitlines(), "settings file holds " + line)
    p.press("Beenden", within=p.frame("Thumbnails"))
    check(p.wait_exit(30) == 0, "Beenden after saving")

    again = Program(folder)
    ende = again.find("radio button", "das Ende")
    check(ende is not None and state(ende, pyatspi.STATE_CHECKED), "das Ende back after restart")
    folder_box = again.find("text", "Name des Thumbnail-Unter-Ordners")
    check(folder_box is not None and folder_box.queryText().getText(0, -1) == "Vorschau",
          "folder name back after restart")
    check(again.find("label", "70 %") is not None, "quality read-out back after restart")
    again.press("Beenden", within=again.frame("Thumbnails"))
    check(again.wait_exit(30) == 0, "Beenden after restart")


def wait_for_registry():
    """Brings up the accessibility bus and its registry before a program
    registers with it; an application that arrives earlier is not listed."""
    desktop = pyatspi.Registry.getDesktop(0)
    wait_for("the accessibility registry", lambda: desktop.childCount is not None, 30)
    time.sleep(1)


def main():
    global PROGRAM
    wait_for_registry()
    with tempfile.TemporaryDirectory() as base:
        own = os.path.join(base, "programm")
        os.makedirs(own)
        PROGRAM = shutil.copy2(PROGRAM, os.path.join(own, os.path.basename(PROGRAM)))
        for scenario in (scenario_whole_run, scenario_close_mid_run,
                         scenario_settings_round_trip):
            print("==", scenario.__name__, flush=True)
            try:
                scenario(base)
            except Exception as error:  # a timeout or a lost program
                failures.append("%s: %r" % (scenario.__name__, error))
                print("FAIL:", failures[-1], flush=True)
    for process in started:
        if process.poll() is None:
            process.kill()
            process.wait()
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
