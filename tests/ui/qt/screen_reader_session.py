"""The real pelorin read through the accessibility bus, as a screen reader
reads it: the window is driven through AT-SPI alone (the row name and the
gateway typed into its edits, the start button pressed), then each row must
read as its name and what it shows, and a tool that listens must be told of
changes calmly, while none is told anything before a tool listens.

Run inside a private session bus and display (see screen_reader_session.sh).
Usage: screen_reader_session.py PELORIN GATEWAY_SIM DUMP_FILE
"""
import collections
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

pelorin, simulator, dump_file = sys.argv[1:4]
failures = []


def check(what, ok, detail=""):
    print(("ok    " if ok else "FAIL  ") + what + (f": {detail}" if detail and not ok else ""))
    if not ok:
        failures.append(what)


def start_sim(*options):
    sim = subprocess.Popen([simulator, "--tcp", "127.0.0.1:0", *options], stdout=subprocess.PIPE, text=True)
    return sim, sim.stdout.readline().strip().rsplit(":", 1)[-1]


def wait_for(condition, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value is not None:  # accessible objects without children are false
            return value
        time.sleep(0.1)
    return None


def descendants(node):
    for child in node:
        if child is not None:
            yield child
            yield from descendants(child)


def find(window, role, name):
    return next((n for n in descendants(window) if n.getRoleName() == role and n.name == name), None)


def labelled_by(node):
    return [target for relation in node.getRelationSet()
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
            for target in (relation.getTarget(i) for i in range(relation.getNTargets()))]


def text_of(node):
    try:
        text = node.queryText()
        return text.getText(0, text.characterCount)
    except NotImplementedError:
        return None


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def rows_of(window):
    """For each row name edit: the faces it labels that are showing."""
    edits = [find(window, "text", f"入力 {row}") for row in range(1, 6)]
    faces = [n for n in descendants(window) if labelled_by(n)]
    return [[f for f in faces if showing(f) and labelled_by(f)[0] == edit] for edit in edits]


def dump(window):
    lines = []
    for node in descendants(window):
        states = [pyatspi.stateToString(s) for s in node.getState().getStates()
                  if s in (pyatspi.STATE_SHOWING, pyatspi.STATE_VISIBLE, pyatspi.STATE_ENABLED,
                           pyatspi.STATE_FOCUSABLE)]
        line = f"{node.getRoleName():<12} name={node.name!r}"
        text = text_of(node)
        if text is not None and node.getRoleName() != "text":
            line += f" text={text!r}"
        if node.getRoleName() == "text":
            line += f" text={text!r}"
        for target in labelled_by(node):
            line += f" labelled-by={target.name!r} ({text_of(target)!r})"
        lines.append(f"{line} [{' '.join(states)}]")
    return "\n".join(lines)


def count_name_events(seconds):
    """Name changes told to a tool that listens: by row (its name edit's
    name) for the rows' faces, by role for other objects."""
    told = collections.Counter()

    def heard(event):
        label = labelled_by(event.source)
        told[label[0].name if label else event.source.getRoleName()] += 1

    pyatspi.Registry.registerEventListener(heard, "object:property-change:accessible-name")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(heard, "object:property-change:accessible-name")
    return told


def a11y_signals_from(bus, seconds):
    """Object events on the accessibility bus over some seconds, as a bystander sees them."""
    monitor = subprocess.Popen(["dbus-monitor", "--address", bus, "type='signal',path_namespace='/org/a11y/atspi/accessible'"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    time.sleep(seconds)
    monitor.terminate()
    out = monitor.communicate()[0]
    return [line for line in out.splitlines() if line.startswith("signal") and "Event.Object" in line]


# A screen reader starting: the desktop's setting turns accessibility on.
subprocess.run(["gsettings", "set", "org.gnome.desktop.a11y.applications", "screen-reader-enabled", "true"],
               check=True)
a11y_bus = subprocess.run(["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus", "/org/a11y/bus",
                           "org.a11y.Bus.GetAddress"], check=True, capture_output=True, text=True).stdout.strip()

fixed, fixed_port = start_sim("--rate", "100", "--fixed-report")
busy, busy_port = start_sim("--rate", "100")
app = subprocess.Popen([pelorin], stderr=subprocess.DEVNULL)
try:
    window = wait_for(lambda: next((a[0] for a in pyatspi.Registry.getDesktop(0)
                                    if a is not None and a.name == "pelorin" and a.childCount), None))
    check("the window is on the accessibility bus", window is not None)
    if window is None:
        sys.exit(1)

    def connect(port):
        find(window, "text", "アドレス").queryEditableText().setTextContents("127.0.0.1")
        find(window, "text", "ポート番号").queryEditableText().setTextContents(port)
        find(window, "push button", "接続").queryAction().doAction(0)
        return wait_for(lambda: find(window, "push button", "切断"), 20) is not None

    find(window, "text", "入力 1").queryEditableText().setTextContents("温度 1")
    check("a session starts through the accessibility bus", connect(busy_port))
    signals = a11y_signals_from(a11y_bus, 3)
    check("nothing is told before a tool listens", not signals, f"{len(signals)} signals: {signals[:3]}")
    told = count_name_events(4)
    rows_told = [told[f"入力 {row}"] for row in range(1, 6)]
    check("a tool that listens hears every row change", all(rows_told), str(told))
    # At most once a second per row: in 4 s a row is told no more than 5
    # times, and one more for an event on its way when listening began.
    check("and no row more than once a second", all(n <= 6 for n in rows_told), str(told))
    find(window, "push button", "切断").queryAction().doAction(0)
    wait_for(lambda: find(window, "push button", "接続"), 20)

    check("a session with a fixed report starts", connect(fixed_port))
    wanted = [("label", " 5.0000 V"), ("label", "断線"), ("image", "オン"), ("image", "オフ"), ("image", "オフ")]
    shown = wait_for(lambda: (lambda rows: rows if [[(f.getRoleName(), f.name) for f in r] for r in rows] ==
                              [[w] for w in wanted] else None)(rows_of(window)), 10)
    check("each row reads as what it shows, labelled by its name edit", shown is not None,
          str([[(f.getRoleName(), f.name) for f in r] for r in rows_of(window)]))
    if shown:
        check("a value offers its text", text_of(shown[0][0]) == " 5.0000 V", repr(text_of(shown[0][0])))
        check("the first row's label is the name typed", text_of(labelled_by(shown[0][0])[0]) == "温度 1")
    status = next((n for n in descendants(window) if n.name.startswith("node : [ 26 ]")), None)
    check("the status line reads as its text", status is not None and text_of(status) == status.name)
    with open(dump_file, "w") as out:
        out.write(dump(window) + "\n")
finally:
    app.terminate()
    app.wait(10)
    for sim in (fixed, busy):
        sim.terminate()
        sim.wait(10)

print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
