#!/usr/bin/python3
"""Reads the running panel as a screen reader does: over AT-SPI, with Debian's Python client.

    read_over_at_spi.py PROGRAM BENCH

Starts, in a private directory, an Xvfb display, a session bus and the accessibility bus, then
the panel on a copy of BENCH, and checks what a screen reader gets: the window, and for every
control that Tab reaches its role, name and caption (labelled-by), the support line with the
check box and the Unicable page, and the support line again after another tuner is chosen.
Everything it started is stopped at the end. Exit code 0 when every check holds.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

LIMIT = 20.0  # seconds for any one thing to appear

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what)
    return condition


def wait_for(probe, what, limit=LIMIT):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        try:
            value = probe()
        except Exception:  # the bus or the tree is not there yet
            value = None
        if value:
            return value
        time.sleep(0.1)
    raise RuntimeError("no " + what + " within %d s" % limit)


class Session:
    """Xvfb, a session bus and the accessibility bus, started and stopped by the test."""

    def __init__(self, directory):
        self.directory = directory
        self.processes = []
        os.chmod(directory, 0o700)
        self.env = dict(os.environ)
        for name in ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY",
                     "QT_QPA_PLATFORM", "DISPLAY"):
            self.env.pop(name, None)
        self.env["XDG_RUNTIME_DIR"] = directory
        self.env["HOME"] = directory

    def start(self, argv, **kwargs):
        process = subprocess.Popen(argv, env=self.env, **kwargs)
        self.processes.append(process)
        return process

    def start_display(self):
        # Xvfb picks a free display and writes its number to the pipe.
        read_end, write_end = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                    "-screen", "0", "1024x768x24"], pass_fds=(write_end,),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + LIMIT
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def start_buses(self):
        bus = self.start(["dbus-daemon", "--session", "--nofork", "--print-address",
                          "--address=unix:path=" + os.path.join(self.directory, "bus")],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        launcher = "/usr/libexec/at-spi-bus-launcher"
        self.start([launcher, "--launch-immediately"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
        os.environ.update({k: self.env[k] for k in
                           ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR")})
        # A program asks the session bus for the accessibility bus once, at its start: it may
        # start only once the launcher answers there.
        wait_for(lambda: b"boolean true" in subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
             "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
             "string:org.a11y.Bus"], env=self.env, capture_output=True, timeout=LIMIT).stdout,
                 "accessibility bus")

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


def walk(node, found, depth=0):
    found.append(node)
    if depth > 30:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, found, depth + 1)


def labels_of(pyatspi, node):
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for i in range(relation.getNTargets()):
                names.append(relation.getTarget(i).name)
    return names


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 64
    program, bench = sys.argv[1:]
    directory = tempfile.mkdtemp(prefix="mcc-at-spi-")
    session = Session(directory)
    try:
        session.start_display()
        session.start_buses()
        import pyatspi  # connects to the bus named in the environment

        desktop = pyatspi.Registry.getDesktop(0)
        wait_for(lambda: desktop.childCount >= 0, "accessibility registry")

        shutil.copy(bench, os.path.join(directory, "bench.json"))
        session.env.update({"MORVANE_BENCH": os.path.join(directory, "bench.json"),
                            "QT_QPA_PLATFORM": "xcb",
                            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
        panel = session.start([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def application():
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.name == os.path.basename(program):
                    return app
            return None

        app = wait_for(application, "application on the accessibility bus")
        window = wait_for(lambda: app.getChildAtIndex(0), "window")
        check(window.getRoleName() == "frame",
              "the window is read as a window (frame), not %r" % window.getRoleName())
        check(window.name == "Morvane Control Center for Windows",
              "the window is named by its title, not %r" % window.name)

        def nodes():
            found = []
            walk(window, found)
            return found

        def first(role, name=None):
            for node in nodes():
                if node.getRoleName() == role and (name is None or node.name == name):
                    return node
            return None

        # The first refresh fills the list and shows the Unicable page of the first tuner.
        check_box = wait_for(lambda: first("check box", "Use Unicable"), "Unicable check box")
        wait_for(lambda: check_box.description, "support line on the check box")

        # Every control that Tab reaches (focusable and on screen), and what it is read as:
        # role, name, and the caption it is labelled by (None: the control names itself).
        expected = {
            ("list", "Select Device:", None),
            ("page tab list", "Unicable Configuration", None),
            ("check box", "Use Unicable", None),
            ("combo box", None, "Select Unicable Frequency (MHz)"),
            ("push button", "Save", None),
            ("combo box", None, "SCR:"),
        }
        reachable = []
        for node in nodes():
            states = node.getState()
            if states.contains(pyatspi.STATE_FOCUSABLE) and states.contains(pyatspi.STATE_SHOWING):
                # A list's rows and a tab list's tabs are reached inside their control; an
                # editable combo box takes the focus for its text field; the tab control (a
                # filler) hands the focus to its tab list.
                if node.getRoleName() in ("list item", "page tab", "text", "filler"):
                    continue
                reachable.append(node)
        seen = set()
        for node in reachable:
            role, name, labels = node.getRoleName(), node.name, labels_of(pyatspi, node)
            caption = labels[0] if labels else None
            match = [e for e in expected
                     if e[0] == role and e[2] == caption and (e[1] is None or e[1] == name)]
            check(len(match) == 1, "a control read as %s %r labelled by %r is not expected"
                  % (role, name, labels))
            seen.update(match)
        check(seen == expected, "not reached: %r" % sorted(map(str, expected - seen)))

        # The tabs carry the page captions; the page itself is named by its caption and reads
        # out the support line, like the check box.
        check(first("page tab", "Unicable Configuration") is not None,
              "no tab named Unicable Configuration")
        page = first("filler", "Unicable Configuration")
        check(page is not None, "the Unicable page is not named by its caption")
        supported = "This device supports Unicable"
        check(check_box.description == supported,
              "the check box describes %r, not %r" % (check_box.description, supported))
        check(page is not None and page.description == supported,
              "the page does not read out the support line")

        # Another tuner, chosen as an assistive client chooses it (its "Toggle" clears the
        # selection, then selects): the support line read out follows what the label shows.
        device_list = first("list", "Select Device:")
        device_list.getChildAtIndex(1).queryAction().doAction(0)
        unsupported = "Unicable is not supported by this device"
        wait_for(lambda: check_box.description == unsupported,
                 "support line of the second tuner")
        label = first("label", unsupported)
        check(label is not None, "the label shows %r" % unsupported)

        # Each caption points back at its field.
        for caption, field in (("Select Device:", "list"),
                               ("Select Unicable Frequency (MHz)", "combo box"),
                               ("SCR:", "combo box")):
            node = first("label", caption)
            targets = []
            if node is not None:
                for relation in node.getRelationSet():
                    if relation.getRelationType() == pyatspi.RELATION_LABEL_FOR:
                        targets += [relation.getTarget(i).getRoleName()
                                    for i in range(relation.getNTargets())]
            check(targets == [field], "caption %r labels %r" % (caption, targets))

        panel.send_signal(signal.SIGTERM)
        check(panel.wait(10) == 0, "the panel did not end with 0")
    except Exception as failure:  # a missing bus, a hung start: the test fails with why
        failures.append(repr(failure))
        print("FAILED: %r" % failure)
    finally:
        session.stop()
        shutil.rmtree(directory, ignore_errors=True)
    if not failures:
        print("the window reads as it should over AT-SPI")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
