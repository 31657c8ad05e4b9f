#!/usr/bin/env python3
"""Live sessions played from a terminal: keys typed into a pseudo-terminal as a person types them.

  live_keys.py first-key SIM      three Right presses step X three times (0.0030)
  live_keys.py hold SIM           an arrow key held down (the terminal's repeats) is one jog
  live_keys.py replay SIM DIR     a recorded session replays alone to the same host actions and
                                  end positions; --record keeps an existing file
  live_keys.py device-null SIM    --device /dev/null (no hidraw pendant) is refused
  live_keys.py quit-hidraw SIM    with the pendant read over hidraw (keys play nothing), q quits
  live_keys.py bad-plot SIM       a --plot path that cannot be written is refused at the start
  live_keys.py denied SIM DIR     a pendant node the user may not open ends the run (exit code 1)
                                  with the commands that fix it
"""
import os
import pty
import subprocess
import sys
import time

RIGHT = b"\x1b[C"


def run_live(sim, args, keys, settle=0.4):
    """Runs SIM --live with a terminal on standard input; `keys` is a list of (delay, bytes).
    Returns (exit code, standard output lines, standard error)."""
    master, slave = pty.openpty()
    proc = subprocess.Popen([sim, "--live", "--show", "machine"] + args, stdin=slave,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    os.close(slave)
    try:
        time.sleep(settle)
        for delay, data in keys:
            time.sleep(delay)
            os.write(master, data)
        out, err = proc.communicate(timeout=30)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        os.close(master)
    return proc.returncode, out.decode().splitlines(), err.decode()


def fail(message, lines=()):
    print("FAIL: " + message)
    for line in lines:
        print("  | " + line)
    sys.exit(1)


def end_positions(lines):
    for line in lines:
        if line.startswith("# positions "):
            return line[len("# positions "):]
    fail("no closing positions", lines)


def first_key(sim):
    code, lines, err = run_live(sim, ["--keyboard"],
                                [(0.3, RIGHT), (0.3, RIGHT), (0.3, RIGHT), (0.5, b"q")])
    if code != 0:
        fail("exit code %d: %s" % (code, err), lines)
    positions = end_positions(lines)
    if not positions.startswith("X 0.0030 "):
        fail("three Right presses at knob 1 should end at X 0.0030, not " + positions, lines)
    print("ok: " + positions)


def hold(sim):
    # Knob 2 (velocity jogging) with some wheel speed reading, then the terminal's repeats of a
    # held Right key for 1.5 s at the Linux console's default rate (about 11 a second, slower
    # than the report cycle); then let go.
    # The press itself is one count (a tap must stay one step), and so is the terminal's first
    # repeat, which comes after its repeat delay: each may be a short jog of its own. From the
    # second repeat on, the key is known to be held: the axis must run without a break until the
    # key is let go.
    gap = 0.09
    keys = ([(0.2, b"2")] + [(0.1, b"+")] * 4 + [(0.3, RIGHT), (0.5, RIGHT)] +
            [(gap, RIGHT)] * int(1.5 / gap) + [(0.6, b"q")])
    code, lines, err = run_live(sim, ["--keyboard"], keys)
    if code != 0:
        fail("exit code %d: %s" % (code, err), lines)
    jog = [line for line in lines if line in ('Code "DOJOG"', 'Code "ENDJOG"')]
    runs = []  # lengths of the unbroken DOJOG runs
    for i, line in enumerate(jog):
        if line == 'Code "DOJOG"':
            if i == 0 or jog[i - 1] != line:
                runs.append(0)
            runs[-1] += 1
    # 1.5 s of repeats is 60 report cycles; the plug-in's start-up pause takes a few.
    if len(runs) > 3 or not runs or runs[-1] < 50:
        fail("a held arrow key should jog without a break, not in runs of %s cycles" % runs)
    if jog[-1] != 'Code "ENDJOG"':
        fail("the jog did not end when the key was let go", jog[-5:])
    print("ok: the held key jogged %d cycles without a break (runs %s), ended when let go"
          % (runs[-1], runs))


def actions(lines):
    """The host actions and machine positions, in order: every line but the comments."""
    return [line for line in lines if line and not line.startswith("#")]


def replay(sim, workdir):
    profile = os.path.join(workdir, "replay-profile.xml")
    record = os.path.join(workdir, "replay-session.k4")
    for path in (profile, record):
        if os.path.exists(path):
            os.remove(path)
    # A profile with settings of its own: a step feed that is not the start-up one.
    setup = subprocess.run([sim, "--profile", profile, "--write-profile", "-"],
                           input=b"setting StepJogRate=250 AutoMode=0\nstart\nstop\n",
                           capture_output=True)
    if setup.returncode != 0:
        fail("could not write the profile: " + setup.stderr.decode())
    # Step jogs, the reset switch (the host answers it), a held key at knob 2, unplug and plug.
    keys = ([(0.2, RIGHT), (0.25, RIGHT), (0.25, RIGHT), (0.3, b"r"), (0.4, b"r"), (0.3, b"2")] +
            [(0.1, b"+")] * 4 + [(0.3, RIGHT)] + [(1 / 30, RIGHT)] * 20 +
            [(0.4, b"u"), (0.4, b"u"), (0.3, b"1"), (0.3, RIGHT), (0.4, b"q")])
    code, live_lines, err = run_live(sim, ["--profile", profile, "--record", record], keys)
    if code != 0:
        fail("live exit code %d: %s" % (code, err), live_lines)
    played = subprocess.run([sim, "--show", "machine", record], capture_output=True)
    if played.returncode != 0:
        fail("replay exit code %d: %s" % (played.returncode, played.stderr.decode()))
    replay_lines = played.stdout.decode().splitlines()
    live_actions, replay_actions = actions(live_lines), actions(replay_lines)
    if sum(1 for line in live_actions if "DoButton 1021" in line) == 0:
        fail("the live session sent no code 1021; the test plays nothing", live_lines)
    if live_actions != replay_actions:
        for i, (a, b) in enumerate(zip(live_actions, replay_actions)):
            if a != b:
                fail("the replay differs from the live run at action %d: %r against %r live"
                     % (i + 1, b, a), replay_actions[max(0, i - 5):i + 5])
        fail("the replay has %d actions, the live run %d"
             % (len(replay_actions), len(live_actions)), replay_actions[-10:])
    # The settings are what the record must bring: without its setting lines it plays otherwise.
    bare = "".join(line for line in open(record).readlines() if not line.startswith("setting "))
    played_bare = subprocess.run([sim, "--show", "machine", "-"], input=bare.encode(),
                                 capture_output=True)
    if actions(played_bare.stdout.decode().splitlines()) == live_actions:
        fail("the profile's settings change nothing in this session; the test proves little")
    if not any("DOJOG" in line for line in live_actions):
        fail("the live session made no velocity jog", live_actions)
    positions = end_positions(live_lines)
    machine = [line for line in replay_lines if "X " in line and " Y " in line and " C " in line]
    if not machine or not machine[-1].endswith(positions):
        fail("end positions differ: live " + positions, machine[-3:])
    # The record is not replaced without --overwrite.
    before = open(record, "rb").read()
    code, lines, err = run_live(sim, ["--record", record, "--duration", "0.2"], [])
    if code == 0 or "--overwrite" not in err or open(record, "rb").read() != before:
        fail("--record replaced an existing file (exit %d): %s" % (code, err), lines)
    print("ok: %d host actions replayed alike, end %s; existing record kept: %s"
          % (len(live_actions), positions, err.strip()))


def device_null(sim):
    # /dev/null opens for reading and writing but is no hidraw pendant: refused at once.
    code, lines, err = run_live(sim, ["--device", "/dev/null", "--duration", "5"], [], settle=0)
    if code != 2 or "not a hidraw device" not in err:
        fail("--device /dev/null: exit %d, %s" % (code, err), lines)
    print("ok: " + err.strip())


def quit_hidraw(sim):
    # The plug-in's own hidraw services serve the pendant (there or not): the keys play no
    # pendant, but q still ends the session, as the guide says.
    started = time.monotonic()
    code, lines, err = run_live(sim, ["--hidraw", "--duration", "20"], [(0.5, b"q")])
    took = time.monotonic() - started
    if code != 0 or took > 10:
        fail("q did not end the session (exit %d after %.1f s): %s" % (code, took, err), lines)
    print("ok: q ended the session after %.1f s" % took)


def bad_plot(sim):
    started = time.monotonic()
    code, lines, err = run_live(sim, ["--keyboard", "--plot", "/nonexistent-k4/session.svg",
                                      "--duration", "20"], [], settle=0)
    took = time.monotonic() - started
    if code != 2 or "--plot /nonexistent-k4/session.svg" not in err or took > 10:
        fail("a bad --plot path: exit %d after %.1f s: %s" % (code, took, err), lines)
    print("ok: " + err.strip())


def denied(sim, workdir):
    # A node the user may not open (root may open anything: the run is then made as nobody).
    node = os.path.join(workdir, "denied-node")
    with open(node, "w"):
        pass
    os.chmod(node, 0)
    command = [sim, "--live", "--device", node, "--duration", "20"]
    if os.geteuid() == 0:
        nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        if subprocess.run(nobody + ["test", "-x", sim]).returncode != 0:
            print("skipped: nobody may not run %s (a folder above it is closed)" % sim)
            sys.exit(77)
        command = nobody + command
    started = time.monotonic()
    run = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    took = time.monotonic() - started
    os.remove(node)
    wanted = ["the pendant at %s cannot be opened (Permission denied)" % node,
              "/etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger",
              "sudo usermod -aG plugdev $USER", "--keyboard"]
    missing = [text for text in wanted if text not in run.stderr]
    if run.returncode != 1 or missing or took > 10:
        fail("exit %d after %.1f s, missing %s:\n%s" % (run.returncode, took, missing,
                                                         run.stderr))
    print("ok: exit 1:\n" + run.stderr)


if __name__ == "__main__":
    mode, sim = sys.argv[1], sys.argv[2]
    if mode == "first-key":
        first_key(sim)
    elif mode == "hold":
        hold(sim)
    elif mode == "replay":
        replay(sim, sys.argv[3])
    elif mode == "device-null":
        device_null(sim)
    elif mode == "denied":
        denied(sim, sys.argv[3])
    elif mode == "bad-plot":
        bad_plot(sim)
    elif mode == "quit-hidraw":
        quit_hidraw(sim)
    else:
        fail("unknown mode " + mode)
