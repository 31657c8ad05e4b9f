#!/usr/bin/env python3
"""The live dashboard as a user sees it: k4-hostsim in a tmux pane, keys sent, screens captured.

  dashboard_tmux.py screens SIM DIR   the mode's name, the DROs, an unplug, the key legend broken
                                      between words in 80 columns, where the picture and the
                                      recording went on quit
  dashboard_tmux.py small SIM         a terminal too small gets a notice
  dashboard_tmux.py dumb SIM DIR      TERM=dumb gets no escape codes
  dashboard_tmux.py suspend SIM       after Ctrl-Z and fg the keys play the pendant again
Each case runs its own tmux server and ends it, also on failure.
"""
import os
import re
import shlex
import subprocess
import sys
import time

LEGEND = ("Keys: arrows wheel  1-9 knob  s/S STOP click/hold  d/D SIDE  c cycle  a any  "
          "r reset  +/- intensity  u unplug/plug  q quit")


class Tmux:
    def __init__(self, width, height, command, env=None):
        self.socket = "k4dash-%d" % os.getpid()
        self.base = ["tmux", "-L", self.socket, "-f", "/dev/null"]
        setup = ["new-session", "-d", "-x", str(width), "-y", str(height)]
        for key, value in (env or {}).items():
            setup += ["-e", "%s=%s" % (key, value)]
        subprocess.run(self.base + setup + [command], check=True)
        subprocess.run(self.base + ["set-option", "-g", "remain-on-exit", "on"], check=True)

    def keys(self, *keys, pause=0.4):
        for key in keys:
            subprocess.run(self.base + ["send-keys", "-t", "0", key], check=True)
            time.sleep(pause)

    def screen(self, joined=False):
        # joined: rows the terminal wrapped are one line again, so a long path
        # reads the same whatever folder the tests run in.
        flags = ["-p", "-J"] if joined else ["-p"]
        return subprocess.run(self.base + ["capture-pane"] + flags + ["-t", "0"], check=True,
                              capture_output=True, text=True).stdout

    def wait_for(self, text, seconds=8.0, joined=False):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            shown = self.screen(joined)
            if text in shown:
                return shown
            time.sleep(0.1)
        fail("the screen never showed %r" % text, self.screen())

    def close(self):
        subprocess.run(self.base + ["kill-server"], capture_output=True)


def fail(message, screen=""):
    print("FAIL: " + message)
    for line in screen.splitlines():
        print("  | " + line)
    sys.exit(1)


def screens(sim, workdir):
    record = os.path.join(workdir, "dashboard-session.k4")
    picture = os.path.join(workdir, "dashboard-session.svg")
    command = "%s --live --keyboard --duration 30 --record %s --overwrite --plot %s" % (
        shlex.quote(sim), shlex.quote(record), shlex.quote(picture))
    tmux = Tmux(80, 30, command)
    try:
        shown = tmux.wait_for("Mode:")
        # Knob 1 with the start-up settings is the automatic mode.
        if "Mode:   Automatic (mode 10), knob 1" not in shown:
            fail("the mode is not named at knob 1", shown)
        for dro in ("3 jog speed %", "821 feed override", "74 ", "828 step size"):
            if dro not in shown:
                fail("the dashboard does not show DRO " + dro, shown)
        # The legend: every row within 80 columns, and broken only between words.
        rows = shown.splitlines()
        start = next(i for i, row in enumerate(rows) if row.startswith("Keys:"))
        legend = [row.rstrip() for row in rows[start:] if row.strip()]
        if any(len(row) > 80 for row in legend) or len(legend) < 2:
            fail("the key legend should take two rows of 80 columns at most", shown)
        if " ".join(" ".join(legend).split()) != " ".join(LEGEND.split()):
            fail("the key legend is broken inside a word", shown)
        tmux.keys("3")
        shown = tmux.wait_for("Continuous jog (mode 3), knob 3")
        tmux.keys("5")
        tmux.wait_for("Adjust DRO 821 (mode 5), knob 5")
        tmux.keys("u")
        shown = tmux.wait_for("Pendant: UNPLUGGED")
        tmux.keys("u")
        shown = tmux.screen()
        if "UNPLUGGED" in shown:
            time.sleep(0.5)
            shown = tmux.screen()
            if "UNPLUGGED" in shown:
                fail("plugged in again, the pendant still shows as unplugged", shown)
        tmux.keys("q")
        shown = tmux.wait_for("# the session's recording:", joined=True)
        if ("# the session's picture: " + picture) not in shown or record not in shown:
            fail("on quit the dashboard does not say where the picture and recording went",
                 shown)
    finally:
        tmux.close()
    print("ok: mode names, DROs, unplug, a two-row legend, the files named on quit")


def small(sim):
    tmux = Tmux(80, 12, "%s --live --keyboard --duration 30" % shlex.quote(sim))
    try:
        shown = tmux.wait_for("too small")
        if "Keys:" in shown or "Mode:" in shown:
            fail("a terminal too small shows a cut dashboard", shown)
        tmux.keys("q")
    finally:
        tmux.close()
    print("ok: " + " ".join(shown.split()))


def dumb(sim, workdir):
    log = os.path.join(workdir, "dashboard-dumb.out")
    if os.path.exists(log):
        os.remove(log)
    command = "%s --live --keyboard --duration 2" % shlex.quote(sim)
    # tmux gives its pane its own TERM: the command sets TERM=dumb itself.
    tmux = Tmux(80, 30, "sleep 0.5; TERM=dumb " + command)
    try:
        subprocess.run(tmux.base + ["pipe-pane", "-t", "0", "-o", "cat > " + shlex.quote(log)],
                       check=True)
        tmux.wait_for("# positions", seconds=10)
    finally:
        tmux.close()
    out = open(log, "rb").read()
    if b"\x1b" in out:
        fail("TERM=dumb got escape codes: %r" % out[:200])
    if b"# live: pendant" not in out:
        fail("TERM=dumb got no lines: %r" % out[:200])
    print("ok: TERM=dumb: %d bytes of plain lines" % len(out))


def suspend(sim):
    tmux = Tmux(80, 30, "bash --norc --noprofile -i", env={"PS1": "$ "})
    try:
        time.sleep(0.5)
        tmux.keys("%s --live --keyboard --duration 60" % shlex.quote(sim), "Enter")
        tmux.wait_for("Mode:")
        tmux.keys("C-z")
        tmux.wait_for("Stopped")
        tmux.keys("fg", "Enter", pause=1.0)
        tmux.wait_for("Mode:")
        # Raw again: a key plays the pendant at once, without Enter (knob 1: one step of X).
        tmux.keys("Right", pause=1.0)
        shown = tmux.screen()
        if "Axes:   X 0.0010" not in shown:
            fail("after Ctrl-Z and fg the Right key did not step X", shown)
        tmux.keys("q")
        tmux.wait_for("# positions X 0.0010")
    finally:
        tmux.close()
    print("ok: after Ctrl-Z and fg the terminal is raw again")


if __name__ == "__main__":
    mode, sim = sys.argv[1], sys.argv[2]
    if mode == "screens":
        screens(sim, sys.argv[3])
    elif mode == "small":
        small(sim)
    elif mode == "dumb":
        dumb(sim, sys.argv[3])
    elif mode == "suspend":
        suspend(sim)
    else:
        fail("unknown mode " + mode)
