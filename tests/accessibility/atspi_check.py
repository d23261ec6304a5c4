#!/usr/bin/env python3
"""The editor read through the Linux accessibility bus, as a screen reader reads it.

Starts a private X server, a private D-Bus session and the AT-SPI registry, runs the
editor in a throw-away home with the in-process virtual pedal, and then only uses
what a screen reader has: the accessible tree, names, values and actions.

  atspi_check.py EDITOR

Exit 0 when every check holds, 1 on a failure, 77 (skipped) when the bus cannot start.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
LIMIT_S = 60  # generous: a loaded machine is slow, a broken editor never gets there


class Failure(Exception):
    pass


def skip(why):
    print(f"SKIPPED: accessibility bus not available: {why}")
    sys.exit(SKIP)


def pump():
    """Lets the client library take in what the bus told it (new windows, changed names)."""
    from gi.repository import GLib

    context = GLib.MainContext.default()
    while context.iteration(False):
        pass


def wait_for(what, probe, limit=LIMIT_S):
    """Polls probe() until it returns something true; fails after `limit` seconds."""
    deadline = time.monotonic() + limit
    while True:
        pump()
        try:
            found = probe()
        except Exception:  # the tree changes under our feet while windows open
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            raise Failure(f"gave up waiting for {what}")
        time.sleep(0.1)


class Session:
    """Xvfb, a D-Bus session and the accessibility bus; torn down in reverse."""

    def __init__(self):
        self.processes = []
        self.tmp = tempfile.mkdtemp(prefix="zendal-atspi-")
        self.env = dict(os.environ)
        runtime = os.path.join(self.tmp, "run")
        os.mkdir(runtime, 0o700)
        home = os.path.join(self.tmp, "home")
        os.makedirs(os.path.join(home, "Documents"))
        empty = os.path.join(self.tmp, "no-serial-ports")
        os.mkdir(empty)
        self.env.update(
            {
                "HOME": home,
                "XDG_RUNTIME_DIR": runtime,
                "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
                # No real device, no network: the virtual pedal only.
                "ZENDAL_TEST": "1",
                "ZENDAL_VIRTUAL_PEDAL": "1",
                "ZENDAL_SYSFS_TTY": empty,
                "ZENDAL_EXTRA_PORTS": "",
                "ZENDAL_FTD2XX_LIBRARY": os.path.join(self.tmp, "no-ftd2xx.so"),
                "ZENDAL_WEB_BASE": "https://127.0.0.1:9",
                "NO_AT_BRIDGE": "0",
            }
        )
        for name in ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)

    def spawn(self, argv, **kw):
        kw.setdefault("env", self.env)
        p = subprocess.Popen(argv, **kw)
        self.processes.append(p)
        return p

    def start(self):
        for tool in ("Xvfb", "dbus-daemon"):
            if not shutil.which(tool):
                skip(f"{tool} is not installed")
        launcher = "/usr/libexec/at-spi-bus-launcher"
        if not os.path.exists(launcher):
            skip("at-spi2-core is not installed")

        read, write = os.pipe()
        self.spawn(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write,),
            stderr=open(os.path.join(self.tmp, "xvfb.log"), "w"),
        )
        os.close(write)
        # The number comes in more than one write; closing early would end the server.
        display = b""
        while not display.endswith(b"\n"):
            chunk = os.read(read, 64)
            if not chunk:
                break
            display += chunk
        os.close(read)
        display = display.decode().strip()
        if not display:
            skip("Xvfb did not start")
        self.env["DISPLAY"] = ":" + display

        bus = self.spawn(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
            stdout=subprocess.PIPE,
            stderr=open(os.path.join(self.tmp, "dbus.log"), "w"),
            text=True,
        )
        address = bus.stdout.readline().strip()
        if not address:
            skip("dbus-daemon did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

        log = open(os.path.join(self.tmp, "at-spi.log"), "w")
        self.spawn([launcher, "--launch-immediately"], stdout=log, stderr=log)
        try:
            from gi.repository import Gio, GLib
        except ImportError:
            skip("python3-gi is not installed")

        def bus(address):
            flags = (
                Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
            )
            return Gio.DBusConnection.new_for_address_sync(address, flags, None, None)

        def call(connection, name, path, interface, method, args, reply):
            return connection.call_sync(
                name, path, interface, method, args, GLib.VariantType(reply),
                Gio.DBusCallFlags.NONE, 2000, None,
            ).unpack()[0]

        def registry_up():
            a11y = call(bus(address), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                        "GetAddress", None, "(s)")
            # The registry is started on demand, as a screen reader's first call would.
            return call(bus(a11y), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                        "org.freedesktop.DBus", "StartServiceByName",
                        GLib.Variant("(su)", ("org.a11y.atspi.Registry", 0)), "(u)") in (1, 2)

        try:
            wait_for("the accessibility registry", registry_up, limit=30)
        except Failure as f:
            skip(str(f))
        # The client library finds the bus through these, as a desktop session's would.
        os.environ.update(
            {k: self.env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR")}
        )
        try:
            import pyatspi  # noqa: F401  (connects to the bus on import)
        except ImportError:
            skip("python3-pyatspi is not installed")

    def stop(self):
        for p in reversed(self.processes):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
        for p in reversed(self.processes):
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)


# --- reading the tree ---------------------------------------------------------


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def find(root, role, name=None):
    import pyatspi

    wanted = getattr(pyatspi, role)
    for node in walk(root):
        try:
            if node.getRole() == wanted and (name is None or node.name == name):
                return node
        except Exception:
            continue
    return None


def find_all(root, role):
    import pyatspi

    wanted = getattr(pyatspi, role)
    return [n for n in walk(root) if n.getRole() == wanted]


def editor_application():
    import pyatspi

    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name in ("zendal-editor", "Zendal Editor"):
            return app
    return None


def window(app, title_start):
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and w.name.startswith(title_start):
            return w
    return None


def press(node, action_names=("press", "click", "Press", "Click", "toggle", "Toggle")):
    """Does what Enter on a focused control would: its default action, by name."""
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    for i, n in enumerate(names):
        if n in action_names:
            action.doAction(i)
            return
    raise Failure(f"{node.name!r} offers no press action, only {names}")


def enabled(node):
    import pyatspi

    return node if node is not None and node.getState().contains(pyatspi.STATE_ENABLED) else None


def value_of(slider):
    return int(round(slider.queryValue().currentValue))


# --- the checks ---------------------------------------------------------------

NOISE_GATE_CAPTIONS = ["Threshold", "Release"]  # the virtual pedal runs Noise Gate


def check(editor_path, session):
    import pyatspi

    def start_editor():
        return session.spawn(
            [editor_path],
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            env={
                **session.env,
                "QT_QPA_PLATFORM": "xcb",
                "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                "QT_ACCESSIBILITY": "1",
            },
        )

    editor = start_editor()
    try:
        app = wait_for("the editor on the accessibility bus", editor_application)
    except Failure:
        # On a loaded machine the editor's bridge can start before the bus is
        # ready and never register: one more start, as a user would try again.
        print("the editor did not appear on the accessibility bus; starting it once more",
              file=sys.stderr)
        editor.terminate()
        editor.wait(timeout=30)
        editor = start_editor()
        app = wait_for("the editor on the accessibility bus", editor_application)
    main = wait_for("the main window", lambda: find(app, "ROLE_FRAME") and app.getChildAtIndex(0))

    heard = []
    pyatspi.Registry.registerEventListener(
        lambda event: heard.append(event.source.name),
        "object:property-change:accessible-name",
    )
    checked = []
    pyatspi.Registry.registerEventListener(
        lambda event: checked.append((event.source.name, event.detail1)),
        "object:state-changed:checked",
    )

    # Link through the menu, as a keyboard user in the menu bar would.
    scan = wait_for("Scan and Link", lambda: find(main, "ROLE_MENU_ITEM", "Scan and Link"))
    press(scan)
    device = wait_for(
        "the link label saying linked",
        lambda: next(
            (
                n
                for n in find_all(main, "ROLE_LABEL")
                if n.name.endswith(" linked")
            ),
            None,
        ),
    )
    print(f"link label: {device.name!r}")

    # The parameter window: its sliders go by the parameter's caption and tell their value.
    params = wait_for(
        "the parameter window's sliders",
        lambda: [w for w in (app.getChildAtIndex(i) for i in range(app.childCount))
                 if w is not None and len(find_all(w, "ROLE_SLIDER")) >= 2][0],
    )
    sliders = {s.name: s for s in find_all(params, "ROLE_SLIDER")}
    print(f"sliders: {sorted(sliders)}")
    for caption in NOISE_GATE_CAPTIONS:
        if caption not in sliders:
            raise Failure(f"no slider named {caption!r}; named: {sorted(sliders)}")
        s = sliders[caption]
        v = s.queryValue()
        if not (v.minimumValue == 0 and v.maximumValue == 1023):
            raise Failure(f"{caption}: range {v.minimumValue}..{v.maximumValue}, not 0..1023")
        if not s.description.endswith("%)") or "of 1023" not in s.description:
            raise Failure(f"{caption}: description {s.description!r} does not tell the value")
        print(f"{caption}: value {value_of(s)}, described as {s.description!r}")

    # Every control of both windows says what it is.
    interactive = ("ROLE_PUSH_BUTTON", "ROLE_CHECK_BOX", "ROLE_RADIO_BUTTON", "ROLE_COMBO_BOX",
                   "ROLE_LIST", "ROLE_SLIDER")
    controls = [(role, n) for w in (main, params) for role in interactive for n in find_all(w, role)]
    unnamed = [f"{role} in {n.parent.name!r}" for role, n in controls if not n.name.strip()]
    if unnamed:
        raise Failure(f"controls with no name: {unnamed}")
    print(f"{len(controls)} controls in the main and parameter windows, all named")
    names = {n.name for _, n in controls}
    for name in ("Categories", "Effects", "Live", "Assignment of Threshold", "Reverse Release",
                 "Assignment of Bypass Toggle"):
        if name not in names:
            raise Failure(f"no control named {name!r}")

    # Live through its box: the box says it is checked, its frame says "Live ON".
    live = wait_for("an enabled Live box", lambda: enabled(find(main, "ROLE_CHECK_BOX", "Live")))
    press(live)
    wait_for("the Live frame to say Live ON", lambda: find(main, "ROLE_PANEL", "Live ON"))
    wait_for("the Live box's check to be announced", lambda: ("Live", 1) in checked)
    wait_for("Live ON to be announced", lambda: "Live ON" in heard)
    press(live)
    wait_for("Live OFF to be announced", lambda: "Live OFF" in heard)
    print("Live announced: checked, Live ON, Live OFF")

    # Moving a slider through its value sends the new value to the pedal; a fresh
    # link reads it back from the pedal into a rebuilt window.
    threshold = sliders["Threshold"]
    wanted = 700 if value_of(threshold) != 700 else 300
    threshold.queryValue().currentValue = wanted
    wait_for("the slider to take the value", lambda: value_of(threshold) == wanted)
    wait_for("the description to follow", lambda: threshold.description.startswith(f"{wanted} of"))

    press(wait_for("Unlink", lambda: find(main, "ROLE_MENU_ITEM", "Unlink")))
    wait_for("the link label to drop linked",
             lambda: not any(n.name.endswith(" linked") for n in find_all(main, "ROLE_LABEL")))
    press(wait_for("Scan and Link", lambda: find(main, "ROLE_MENU_ITEM", "Scan and Link")))

    def threshold_from_pedal():
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            s = find(w, "ROLE_SLIDER", "Threshold") if w is not None else None
            if s is not None and value_of(s) == wanted:
                return s
        return None

    wait_for(f"Threshold to read {wanted} back from the pedal", threshold_from_pedal)
    print(f"Threshold read back from the pedal: {wanted}")

    # A button pressed through its action: the upload goes to the pedal, the
    # question comes as an alert with its own buttons, the pedal's answer shows.
    upload = wait_for("an enabled upload button", lambda: enabled(
        find(main, "ROLE_PUSH_BUTTON", "Upload Selected Effect")))
    press(upload)
    question = wait_for("the upload question", lambda: next(
        (w for w in (app.getChildAtIndex(i) for i in range(app.childCount))
         if w is not None and find(w, "ROLE_LABEL", "Upload the selected effect?")), None))
    press(wait_for("its Yes button", lambda: find(question, "ROLE_PUSH_BUTTON", "Yes")))
    wait_for("the pedal's answer in the status",
             lambda: find(main, "ROLE_LABEL", "Upload complete"))
    print("upload answered: Upload complete")

    # What a screen reader was told while the states changed.
    for said in (device.name, "Upload complete"):
        wait_for(f"a name change announcing {said!r}", lambda: said in heard)
    print(f"announced, among {len(heard)} name changes: {device.name!r}, 'Upload complete'")

    if editor.poll() is not None:
        raise Failure(f"the editor ended with {editor.returncode}")


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    session = Session()
    try:
        session.start()
        check(sys.argv[1], session)
    except Failure as f:
        print(f"FAILED: {f}")
        return 1
    finally:
        session.stop()
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
