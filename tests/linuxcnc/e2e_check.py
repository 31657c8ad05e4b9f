#!/usr/bin/python3
"""End-to-end check of k4-linuxcnc against a headless LinuxCNC.

Runs as LinuxCNC's display program (tests/linuxcnc/with-linuxcnc.sh): each phase starts the
bridge with a scenario whose virtual pendant plays in real time, while this program samples
LinuxCNC's status with its own Python module, outside the bridge; then it checks positions,
overrides, homed flags, offsets, E-stop and that no jog is left running, with tolerances where
motion has acceleration.

    e2e_check.py --bridge BUILD/tools/linuxcnc/k4-linuxcnc [--only NAME] -ini INIFILE
"""
import argparse
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

import linuxcnc

STAT = linuxcnc.stat()
CMD = linuxcnc.command()
FAILURES = []


def poll():
    STAT.poll()
    return STAT


def check(ok, what):
    print(("  ok    " if ok else "  FAIL  ") + what, flush=True)
    if not ok:
        FAILURES.append(what)
    return ok


def near(value, expected, tolerance):
    return abs(value - expected) <= tolerance


class Sampler(threading.Thread):
    """Records LinuxCNC's status every 5 ms while a phase runs."""

    def __init__(self):
        super().__init__(daemon=True)
        self.samples = []
        self.running = True
        self.status = linuxcnc.stat()

    def run(self):
        while self.running:
            self.status.poll()
            s = self.status
            self.samples.append({
                "t": time.monotonic(), "state": s.task_state, "estop": s.estop,
                "pos": tuple(s.actual_position[:4]), "vel": tuple(a["velocity"] for a in s.axis[:4]),
                "interp": s.interp_state, "mode": s.task_mode,
            })
            time.sleep(0.005)

    def stop(self):
        self.running = False
        self.join()


def wait_for(predicate, seconds=3.0):
    until = time.monotonic() + seconds
    while time.monotonic() < until:
        if predicate(poll()):
            return True
        time.sleep(0.01)
    return False


def at_rest(seconds=3.0):
    """True once no axis has moved for 100 ms (the velocities stay stale in E-stop)."""
    until = time.monotonic() + seconds
    last = tuple(poll().actual_position[:4])
    still_since = time.monotonic()
    while time.monotonic() < until:
        time.sleep(0.01)
        now = tuple(poll().actual_position[:4])
        if now != last:
            last = now
            still_since = time.monotonic()
        elif time.monotonic() - still_since >= 0.1:
            return True
    return False


class Bridge:
    def __init__(self, path, folder):
        self.path = path
        self.folder = folder
        self.count = 0

    def run(self, scenario, settings="", timeout=60, signal_after=None, read_errors=True,
            actions=None, during=None, profile_text=None):
        """Runs the bridge on `scenario`; returns (exit code, output, samples). `during` is
        called once the bridge has started."""
        self.count += 1
        script = os.path.join(self.folder, "phase%d.k4" % self.count)
        with open(script, "w") as f:
            if settings:
                f.write("setting " + settings + "\n")
            f.write("start\n" + scenario)
        sampler = Sampler()
        sampler.start()
        self.profile = os.path.join(self.folder, "profile%d.xml" % self.count)
        if profile_text is not None:
            with open(self.profile, "w") as f:
                f.write(profile_text)
        actions_file = os.path.join(self.folder, "actions.conf")
        if actions is not None:
            actions_file = os.path.join(self.folder, "actions%d.conf" % self.count)
            with open(actions_file, "w") as f:
                f.write(actions)
        process = subprocess.Popen(
            [self.path] + (["--read-errors"] if read_errors else []) +
            ["--profile", self.profile,
             "--actions", actions_file, script],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        try:
            if during is not None:
                during()
            if signal_after is not None:
                time.sleep(signal_after)
                process.send_signal(signal.SIGTERM)
            output, _ = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            output, _ = process.communicate()
            check(False, "the bridge ended within %d s" % timeout)
        sampler.stop()
        return process.returncode, output, sampler.samples


def machine_on():
    CMD.state(linuxcnc.STATE_ESTOP_RESET)
    CMD.wait_complete()
    CMD.state(linuxcnc.STATE_ON)
    CMD.wait_complete()
    return wait_for(lambda s: s.task_state == linuxcnc.STATE_ON)


def home_all():
    CMD.mode(linuxcnc.MODE_MANUAL)
    CMD.wait_complete()
    CMD.teleop_enable(0)
    CMD.wait_complete()
    CMD.home(-1)
    CMD.wait_complete()
    return wait_for(lambda s: all(s.homed[:4]), 5.0)


def manual():
    CMD.mode(linuxcnc.MODE_MANUAL)
    CMD.wait_complete()


# Scenario pieces. The knob positions are the pendant's: 1 step jog, 2 velocity jog, 5 feed
# override, 7 zero/reference, 8 and 9 custom actions.
def double_click(side):
    s = "side=1 " if side else ""
    return ("pendant %sstop=1\nstep\npendant stop=0\nstep\npendant stop=1\nstep\n"
            "pendant side=0 stop=0\nstep 6\n" % s)


def velocity_jog(counts):
    return "pendant knob=2 intensity=40\nstep 2\n" + "pendant wheel=+1\nstep\n" * counts


def phase_reset(bridge):
    print("reset switch: on (E-stop), off (machine on), on, off", flush=True)
    code, output, samples = bridge.run(
        "step 4\npendant reset=1\nstep 12\npendant reset=0\nstep 16\n"
        "pendant reset=1\nstep 12\npendant reset=0\nstep 16\n")
    check(code == 0, "the bridge ran the scenario (exit %d)" % code)
    states = [s["state"] for s in samples]
    on_at = [i for i, st in enumerate(states) if st == linuxcnc.STATE_ON]
    check(bool(on_at), "the machine came on when the switch went off")
    if on_at:
        later = states[on_at[0]:]
        check(linuxcnc.STATE_ESTOP in later, "switch on again: E-stop")
    if not check(wait_for(lambda s: s.task_state == linuxcnc.STATE_ON, 1.0),
                 "switch off again: machine on at the end") or code != 0:
        print(output)


def phase_home(bridge):
    print("home X from the pendant (knob 7, STOP double click with SIDE)", flush=True)
    manual()
    code, output, _ = bridge.run("pendant knob=7\nstep 4\n" + double_click(True) + "step 20\n")
    check(code == 0, "the bridge ran the scenario (exit %d)" % code)
    check(wait_for(lambda s: s.homed[0] == 1, 3.0), "X is homed")
    check(poll().homed[1] == 0, "Y is not homed (only X was asked for)")
    if code != 0:
        print(output)
    check(home_all(), "the checker homes the other axes")


def phase_step(bridge):
    print("step jog: knob 1, wheel +3 then +10 at step 0.01 on X", flush=True)
    manual()
    start = poll().actual_position[0]
    # AutoMode=0: knob 1 is the plain step jog (automatic mode would velocity-jog 10 counts).
    code, output, samples = bridge.run("pendant knob=1\nstep 4\npendant wheel=+3\nstep 8\n"
                                       "pendant wheel=+10\nstep 40\n", settings="AutoMode=0")
    check(code == 0, "the bridge ran the scenario (exit %d)" % code)
    at_rest()
    moved = poll().actual_position[0] - start
    check(near(moved, 0.13, 0.0005), "X moved %.4f (expected 0.1300)" % moved)
    check(poll().task_mode == linuxcnc.MODE_MANUAL, "LinuxCNC stayed in manual mode")
    if code != 0 or not near(moved, 0.13, 0.0005):
        print(output)
    # The wheel turning on: a step line every cycle, each arriving while the last still moves.
    start = poll().actual_position[0]
    code, output, samples = bridge.run("pendant knob=1\nstep 4\n" +
                                       "pendant wheel=+2\nstep\n" * 20 + "step 40\n",
                                       settings="AutoMode=0")
    at_rest()
    moved = poll().actual_position[0] - start
    check(near(moved, 0.40, 0.0005), "20 lines in a row moved X %.4f (expected 0.4000)" % moved)
    if code != 0 or not near(moved, 0.40, 0.0005):
        print(output)


def phase_rotated(bridge):
    print("rotated step: coordinate system turned by 30 degrees, wheel +10 on X", flush=True)
    CMD.mode(linuxcnc.MODE_MDI)
    CMD.wait_complete()
    CMD.mdi("G10 L2 P1 R30")
    CMD.wait_complete()
    wait_for(lambda s: s.interp_state == linuxcnc.INTERP_IDLE and abs(s.rotation_xy - 30) < 1e-9)
    manual()
    before = poll().actual_position[:2]
    code, output, _ = bridge.run("pendant knob=1\nstep 4\npendant wheel=+10\nstep 40\n",
                                 settings="AutoMode=0")
    at_rest()
    after = poll().actual_position[:2]
    dx, dy = after[0] - before[0], after[1] - before[1]
    # The plug-in turns the move by -30 degrees: X 0.1 cos 30, Y -0.1 sin 30 (4 decimals).
    ok = near(dx, 0.0866, 0.0005) and near(dy, -0.0500, 0.0005)
    check(ok, "X and Y moved together: %.4f, %.4f (expected 0.0866, -0.0500)" % (dx, dy))
    if code != 0 or not ok:
        print(output)
    CMD.mode(linuxcnc.MODE_MDI)
    CMD.wait_complete()
    CMD.mdi("G10 L2 P1 R0")
    CMD.wait_complete()
    wait_for(lambda s: s.interp_state == linuxcnc.INTERP_IDLE and s.rotation_xy == 0)
    manual()


def phase_velocity(bridge):
    print("velocity jog: knob 2, intensity 40, the wheel turning for 1 s, then intensity 0",
          flush=True)
    start = poll().actual_position[0]
    code, output, samples = bridge.run(velocity_jog(40) + "pendant intensity=0\nstep 20\n")
    check(code == 0, "the bridge ran the scenario (exit %d)" % code)
    fastest = max(abs(s["vel"][0]) for s in samples) if samples else 0.0
    check(fastest > 1.0, "X jogged continuously (top speed %.2f units/s)" % fastest)
    check(at_rest(1.0), "the jog stopped after intensity 0")
    moved = poll().actual_position[0] - start
    check(moved > 0.5, "X moved %.3f forward" % moved)
    if code != 0:
        print(output)


def phase_feed_override(bridge):
    print("feed override with the wheel: knob 5, +20 counts from 100 %", flush=True)
    CMD.feedrate(1.0)
    CMD.wait_complete()
    code, output, _ = bridge.run("pendant knob=5\nstep 4\npendant wheel=+20\nstep 20\n")
    check(code == 0, "the bridge ran the scenario (exit %d)" % code)
    scale = poll().feedrate
    check(near(scale, 1.10, 0.001), "feed override %.1f %% (expected 110 %%)" % (scale * 100))
    CMD.feedrate(1.0)
    CMD.wait_complete()


def phase_zero(bridge):
    print("zero X in the current coordinate system (knob 7, STOP double click)", flush=True)
    x = poll().actual_position[0]
    code, output, _ = bridge.run("pendant knob=7\nstep 4\n" + double_click(False) + "step 20\n")
    check(code == 0, "the bridge ran the scenario (exit %d)" % code)
    wait_for(lambda s: s.interp_state == linuxcnc.INTERP_IDLE)
    offset = poll().g5x_offset[0]
    check(near(offset, x, 0.0001), "G54 X offset %.4f equals machine X %.4f" % (offset, x))
    if not near(offset, x, 0.0001):
        print(output)


def phase_custom_and_macro(bridge):
    print("custom action (knob 8: flood toggle) and macro (knob 9: M123)", flush=True)
    log = os.path.join(os.environ.get("K4_SIM_DIR", "/tmp"), "mcode.log")
    flood_before = poll().flood
    # The user's own profile: the scenario's settings run on a copy and never reach it.
    mine = ('<?xml version="1.0"?>\n<profile><Orvane_K4_Pendant><Macro1>7</Macro1>'
            '<AutoMode>1</AutoMode></Orvane_K4_Pendant></profile>\n')
    code, output, _ = bridge.run(
        "pendant knob=8\nstep 4\npendant stop=1\nstep 2\npendant stop=0\nstep 8\n"
        "pendant knob=9\nstep 4\npendant stop=1\nstep 2\npendant stop=0\nstep 40\n",
        settings="BUTTON0=21 BUTTON2=6 Macro1=123", profile_text=mine)
    with open(bridge.profile) as f:
        check(f.read() == mine, "the named profile is byte for byte as it was")
    check(code == 0, "the bridge ran the scenario (exit %d)" % code)
    check(wait_for(lambda s: s.flood != flood_before, 2.0), "flood toggled")
    ran = wait_for(lambda s: os.path.exists(log), 3.0)
    check(ran and "M123" in open(log).read(), "the user M-code M123 ran")
    if code != 0 or not ran:
        print(output)
    manual()


def phase_cycle(bridge, program):
    print("cycle start (cycle + SIDE) on a small program, then stop (STOP + SIDE)", flush=True)
    CMD.mode(linuxcnc.MODE_AUTO)
    CMD.wait_complete()
    CMD.program_open(program)
    CMD.wait_complete()
    manual()
    code, output, _ = bridge.run("pendant knob=1\nstep 4\npendant side=1 cycle=1\nstep 2\n"
                                 "pendant side=0 cycle=0\nstep 40\n")
    check(code == 0, "the bridge ran the start scenario (exit %d)" % code)
    s = poll()
    check(s.task_mode == linuxcnc.MODE_AUTO and s.interp_state != linuxcnc.INTERP_IDLE,
          "the program runs")
    y = s.actual_position[1]
    check(0.1 < y < 10.0, "Y on its way (%.3f)" % y)
    code, output2, _ = bridge.run("pendant side=1 stop=1\nstep 2\npendant side=0 stop=0\nstep 20\n")
    check(code == 0, "the bridge ran the stop scenario (exit %d)" % code)
    check(wait_for(lambda st: st.interp_state == linuxcnc.INTERP_IDLE, 2.0), "the program stopped")
    check(at_rest(2.0), "the axes are at rest")
    if FAILURES:
        print(output + output2)
    manual()


def phase_exit_mid_jog(bridge):
    print("SIGTERM while a velocity jog runs: the bridge stops it on its way out", flush=True)
    code, output, _ = bridge.run(velocity_jog(400), signal_after=1.5, timeout=20)
    check(code == 3, "the bridge ended with code 3 on SIGTERM (got %d)" % code)
    check(at_rest(1.0), "no jog left running")
    print("  (the scenario's last lines ran to the end; no jog left either)")
    code, output, _ = bridge.run(velocity_jog(30))
    check(code == 0, "a scenario that ends mid-jog ran (exit %d)" % code)
    check(at_rest(1.0), "the jog stopped when the scenario ended")


def phase_unplug(bridge):
    print("unplug the pendant mid-jog", flush=True)
    code, output, samples = bridge.run(velocity_jog(30) + "unplug\nstep 20\n")
    check(code == 0, "the bridge ran the scenario (exit %d)" % code)
    fastest = max(abs(s["vel"][0]) for s in samples) if samples else 0.0
    check(fastest > 1.0, "X was jogging before the unplug")
    check(at_rest(1.0), "the jog stopped on unplug")
    check("Jogs stopped: the pendant was unplugged" in output, "the bridge said why")
    check(poll().task_state == linuxcnc.STATE_ESTOP, "unplugging put LinuxCNC into E-stop")
    if FAILURES:
        print(output)


# ---- the bridge on a real machine: overrun, MDI, stalls, limits, units, messages, gantry ----

def select_step(size):
    """Scenario lines choosing the step size at knob 1: slot 2 holds `size` (0.01 or 0.1)."""
    position = {0.01: 3, 0.1: 4}[size]
    return ("pendant knob=1\nstep 4\npendant stop=1\nstep\npendant stop=0\nstep\n"
            "pendant stop=1\nstep\npendant stop=0\nstep 8\n"), "StepSize1=1 StepSize2=%d" % position


def rest_after_spin(samples, cycles, axis=0):
    """(seconds, distance) from the spin's last count to rest, judged from LinuxCNC's status.
    The first count starts the motion within a few milliseconds; the counts come every 25 ms,
    so the last one is (cycles - 1) * 25 ms after the motion began."""
    start = samples[0]["pos"][axis]
    moving = [s for s in samples if abs(s["pos"][axis] - start) > 1e-7]
    if not moving:
        return None, None
    first = moving[0]["t"]
    last_count = first + (cycles - 1) * 0.025
    rest = moving[-1]["t"]
    for s in moving:
        if s["pos"][axis] == moving[-1]["pos"][axis]:
            rest = s["t"]
            break
    before = [s for s in samples if s["t"] <= last_count]
    at_last = before[-1]["pos"][axis] if before else start
    return max(0.0, rest - last_count), abs(moving[-1]["pos"][axis] - at_last)


def stop_jogs():
    """The checker's own stop, for a bridge that left an axis moving."""
    manual()
    for axis in range(4):
        CMD.jog(linuxcnc.JOG_STOP, False, axis)
    at_rest(2.0)


WORST_OVERRUN = [0.0, 0.0]


def phase_overrun(bridge):
    print("wheel overrun: fast spins in step mode come to rest within 0.5 s of the last count",
          flush=True)
    manual()
    spins = [  # what, step, settings, counts per cycle, cycles
        ("step 0.1 F100, 10 counts per cycle for 1 s", 0.1, "AutoMode=0 StepJogRate=100", 10, 40),
        ("step 0.1 no feed (default velocity), 10 per cycle for 1 s", 0.1,
         "AutoMode=0 StepJogRate=0", 10, 40),
        ("step 0.01 F100, 10 per cycle for 2 s", 0.01, "AutoMode=0 StepJogRate=100", 10, 80),
        ("automatic mode just below its threshold: step 0.1 F100, 3 per cycle for 1 s", 0.1,
         "AutoMode=1 AutoChangeSens=3 StepJogRate=100", 3, 40),
    ]
    for what, size, settings, counts, cycles in spins:
        prelude, sizes = select_step(size)
        sampler = Sampler()
        sampler.start()
        code, output, _ = bridge.run(prelude + ("pendant wheel=+%d\nstep\n" % counts) * cycles +
                                     "step 40\n", settings=settings + " " + sizes)
        still = at_rest(3.0)
        sampler.stop()
        seconds, distance = rest_after_spin(sampler.samples, cycles)
        if seconds is None:
            check(False, "%s: X moved" % what)
            print(output)
            continue
        WORST_OVERRUN[0] = max(WORST_OVERRUN[0], seconds)
        WORST_OVERRUN[1] = max(WORST_OVERRUN[1], distance)
        ok = still and seconds <= 0.5
        check(ok, "%s: at rest %.3f s / %.3f mm after the last count" % (what, seconds, distance))
        dropped = output.count("wheel counts dropped")
        check(dropped == 1, "%s: the bridge said once that it dropped counts (%d)" % (what, dropped))
        if not ok or code != 0:
            print(output)
        stop_jogs()
    # step-mode = exact: every count is moved, however long it takes.
    prelude, sizes = select_step(0.1)
    start = poll().actual_position[0]
    code, output, _ = bridge.run(prelude + "pendant wheel=+2\nstep\n" * 10 + "step 80\n",
                                 settings="AutoMode=0 StepJogRate=100 " + sizes,
                                 actions="step-mode = exact\n")
    at_rest(3.0)
    moved = poll().actual_position[0] - start
    check(near(moved, 2.0, 0.0005), "step-mode = exact moved every count: %.4f (expected 2.0000)"
          % moved)
    if code != 0 or not near(moved, 2.0, 0.0005):
        print(output)
    print("  overrun worst case: %.3f s / %.3f mm" % tuple(WORST_OVERRUN), flush=True)


def phase_mdi_and_wheel(bridge):
    print("an MDI move with a wheel count half a second in ends at its target", flush=True)
    CMD.mode(linuxcnc.MODE_MDI)
    CMD.wait_complete()
    start = poll().actual_position[0]
    CMD.mdi("G1 G91 X40 F600")  # 4 s; not waited for: wait_complete would wait for the end
    wait_for(lambda s: abs(s.actual_position[0] - start) > 0.01, 1.0)
    code, output, _ = bridge.run("pendant knob=1\nstep 12\npendant wheel=+1\nstep 20\n",
                                 settings="AutoMode=0")
    check(wait_for(lambda s: s.interp_state == linuxcnc.INTERP_IDLE, 8.0), "the MDI move ended")
    moved = poll().actual_position[0] - start
    check(near(moved, 40.0, 0.0005), "X moved %.4f (expected 40.0000)" % moved)
    check(poll().task_mode == linuxcnc.MODE_MDI, "LinuxCNC is still in MDI mode")
    if code != 0 or not near(moved, 40.0, 0.0005):
        print(output)
    CMD.mdi("G90")
    CMD.wait_complete()
    manual()


def task_pid():
    out = subprocess.run(["pgrep", "-x", "milltask"], stdout=subprocess.PIPE, text=True).stdout
    pids = out.split()
    return int(pids[0]) if len(pids) == 1 else None


def phase_stall(bridge):
    print("LinuxCNC's task paused for 0.7 s mid-spin (SIGSTOP/SIGCONT): no count lost", flush=True)
    manual()
    pid = task_pid()
    if not check(pid is not None, "LinuxCNC's task process found"):
        return
    start = poll().actual_position[0]

    def pause():
        time.sleep(1.0)  # the bridge up and the spin under way
        os.kill(pid, signal.SIGSTOP)
        time.sleep(0.7)
        os.kill(pid, signal.SIGCONT)

    # 80 cycles of 5 counts at step 0.01: 4.000 mm.
    code, output, _ = bridge.run("pendant knob=1\nstep 4\n" + "pendant wheel=+5\nstep\n" * 80 +
                                 "step 60\n", settings="AutoMode=0 StepJogRate=0", during=pause)
    at_rest(3.0)
    moved = poll().actual_position[0] - start
    check(near(moved, 4.0, 0.0005), "X moved %.4f (expected 4.0000)" % moved)
    if code != 0 or not near(moved, 4.0, 0.0005):
        print(output)


def phase_override_limits(bridge):
    print("override trims held to the INI's limits (feed 120 %, spindle 50-100 %)", flush=True)
    CMD.feedrate(1.0)
    CMD.spindleoverride(1.0)
    CMD.wait_complete()
    code, output, samples = bridge.run(
        "pendant knob=5\nstep 4\n" + "pendant wheel=+100\nstep\n" * 4 + "step 10\n"
        "pendant knob=6\nstep 4\n" + "pendant wheel=+100\nstep\n" * 4 + "step 10\n")
    s = poll()
    check(near(s.feedrate, 1.2, 1e-6), "feed override %.1f %% (limit 120 %%)" % (s.feedrate * 100))
    spindle = s.spindle[0]["override"]
    check(near(spindle, 1.0, 1e-6), "spindle override %.1f %% (limit 100 %%)" % (spindle * 100))
    code2, output2, _ = bridge.run("pendant knob=6\nstep 4\n" + "pendant wheel=-100\nstep\n" * 4 +
                                   "step 10\n")
    spindle = poll().spindle[0]["override"]
    check(near(spindle, 0.5, 1e-6), "spindle override %.1f %% (lower limit 50 %%)" % (spindle * 100))
    if FAILURES:
        print(output + output2)
    CMD.feedrate(1.0)
    CMD.spindleoverride(1.0)
    CMD.wait_complete()


def peak_speed(samples, axis):
    return max((abs(s["vel"][axis]) for s in samples), default=0.0)


def default_velocity_step(bridge, program_units, expected, what):
    """Ten counts at step 0.01 with StepJogRate 0 and no F word: the steps run at
    DEFAULT_LINEAR_VELOCITY, machine units per second, whatever the program units."""
    CMD.mode(linuxcnc.MODE_MDI)
    CMD.wait_complete()
    CMD.mdi(program_units)
    CMD.wait_complete()
    wait_for(lambda s: s.interp_state == linuxcnc.INTERP_IDLE)
    manual()
    check(poll().settings[1] == 0, "no F word in force")
    code, output, samples = bridge.run("pendant knob=1\nstep 4\npendant wheel=+100\nstep 40\n",
                                       settings="AutoMode=0 StepJogRate=0")
    at_rest(3.0)
    top = peak_speed(samples, 0)
    ok = near(top, expected, expected * 0.05)
    check(ok, "%s: step speed %.4f machine units/s (expected %.4f)" % (what, top, expected))
    if code != 0 or not ok:
        print(output)


def phase_default_velocity(bridge):
    print("the default velocity of step lines on a millimetre machine in G20", flush=True)
    default_velocity_step(bridge, "G20", 10.0, "mm machine, G20")
    CMD.mode(linuxcnc.MODE_MDI)
    CMD.wait_complete()
    CMD.mdi("G21")
    CMD.wait_complete()
    manual()


def error_texts(channel, seconds=1.0):
    texts = []
    until = time.monotonic() + seconds
    while time.monotonic() < until:
        message = channel.poll()
        if message:
            texts.append(message[1])
        else:
            time.sleep(0.02)
    return texts


def phase_refusal_message(bridge):
    print("a refusal reaches LinuxCNC's operator messages, once, with its reason", flush=True)
    channel = linuxcnc.error_channel()
    error_texts(channel, 0.2)  # what earlier phases left there
    CMD.state(linuxcnc.STATE_OFF)
    CMD.wait_complete()
    # Cycle start twice with the machine off.
    code, output, _ = bridge.run("pendant knob=1\nstep 4\n" +
                                 "pendant side=1 cycle=1\nstep 2\npendant side=0 cycle=0\nstep 6\n" * 2
                                 + "step 10\n", read_errors=False)
    texts = error_texts(channel, 1.0)
    refusals = [t for t in texts if "refused cycle start" in t and "machine is off" in t]
    check(len(refusals) == 1, "one operator message \"...refused cycle start: the machine is off\""
          " (got %d: %s)" % (len(refusals), texts))
    check(any("refused cycle start" in line for line in output.splitlines()),
          "the refusal is on the bridge's standard output too")
    machine_on()


def phase_gantry_home(bridge):
    print("gantry XYYZ: Ref Y homes both Y joints, Ref Z the Z joint", flush=True)
    manual()
    s = poll()
    check(not any(s.homed[:4]), "nothing homed yet")
    # SIDE clicks at knob 1 step the axis: X -> Y; then Ref at knob 7 (STOP double click + SIDE).
    select_y = "pendant knob=1\nstep 4\npendant side=1\nstep\npendant side=0\nstep 8\n"
    code, output, _ = bridge.run(select_y + "pendant knob=7\nstep 4\n" + double_click(True) +
                                 "step 20\n")
    wait_for(lambda st: st.homed[1] and st.homed[2], 3.0)
    s = poll()
    check(bool(s.homed[1] and s.homed[2]), "joints 1 and 2 (Y) homed: %s" % (s.homed[:4],))
    check(not s.homed[0] and not s.homed[3], "joints 0 (X) and 3 (Z) not homed")
    if FAILURES:
        print(output)
    select_z = ("pendant knob=1\nstep 4\npendant side=1\nstep\npendant side=0\nstep 8\n"
                "pendant side=1\nstep\npendant side=0\nstep 8\n")
    code, output, _ = bridge.run(select_z + "pendant knob=7\nstep 4\n" + double_click(True) +
                                 "step 20\n")
    wait_for(lambda st: st.homed[3], 3.0)
    s = poll()
    check(bool(s.homed[3]) and not s.homed[0], "Ref Z homed joint 3 only: %s" % (s.homed[:4],))
    if FAILURES:
        print(output)


def phase_gantry_default_velocity(bridge):
    print("the default velocity of step lines on an inch machine in G21", flush=True)
    default_velocity_step(bridge, "G21", 0.4, "inch machine, G21")
    CMD.mode(linuxcnc.MODE_MDI)
    CMD.wait_complete()
    CMD.mdi("G20")
    CMD.wait_complete()
    manual()


PHASES = ["reset", "home", "step", "rotated", "overrun", "stall", "defvel", "velocity", "feed",
          "limits", "zero", "mdi", "custom", "cycle", "refusal", "exit", "unplug"]
GANTRY_PHASES = ["gantry-home", "gantry-defvel"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--only", action="append")
    parser.add_argument("--gantry", action="store_true", help="the XYYZ gantry configuration")
    parser.add_argument("-ini")
    args = parser.parse_args()
    if not wait_for(lambda s: s.task_state != 0, 10.0):
        print("LinuxCNC did not answer")
        return 1
    sim_dir = os.environ.get("K4_SIM_DIR", os.path.dirname(args.ini or "."))
    program = os.path.join(sim_dir, "small_program.ngc")
    with tempfile.TemporaryDirectory() as folder:
        bridge = Bridge(args.bridge, folder)
        phases = GANTRY_PHASES if args.gantry else PHASES
        chosen = args.only or phases
        started = time.monotonic()
        for name in phases:
            if name not in chosen:
                continue
            if name != "reset" and poll().task_state != linuxcnc.STATE_ON:
                machine_on()
            if name not in ("reset", "home", "gantry-home") and not all(poll().homed[:4]):
                home_all()
            {"reset": phase_reset, "home": phase_home, "step": phase_step, "rotated": phase_rotated,
             "velocity": phase_velocity, "feed": phase_feed_override, "zero": phase_zero,
             "custom": phase_custom_and_macro, "cycle": lambda b: phase_cycle(b, program),
             "exit": phase_exit_mid_jog, "unplug": phase_unplug, "overrun": phase_overrun,
             "stall": phase_stall, "defvel": phase_default_velocity,
             "limits": phase_override_limits, "mdi": phase_mdi_and_wheel,
             "refusal": phase_refusal_message, "gantry-home": phase_gantry_home,
             "gantry-defvel": phase_gantry_default_velocity}[name](bridge)
        check(at_rest(1.0), "at the end no axis moves")
        print("%d checks failed; %.1f s" % (len(FAILURES), time.monotonic() - started))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
