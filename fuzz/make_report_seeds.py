#!/usr/bin/env python3
"""Writes the seed corpus of report_sequence_fuzzer: one short session per jog mode and per
link fault, in the fuzzer's operation format (see `Op` in report_sequence_fuzzer.cpp).

    fuzz/make_report_seeds.py fuzz/corpus/report_sequence_fuzzer
"""
import struct
import sys
from pathlib import Path

# Operations, as the fuzzer numbers them.
REPORT, CYCLES, UPDATES, SET_LED, SET_DRO, SETTING, HOST_BLOCK = range(7)
UNPLUG, PLUG, WRITES_FAIL, SHORT_READS, LATE_REPORT, OTHER_DEVICE, TURN_WHEEL = range(7, 14)
STALL = 14

LED = {800: 0, 804: 1, 805: 2, 15: 3, 83: 4}
DRO = {3: 0, 74: 1, 22: 2, 818: 3, 821: 4, 828: 5}
KEYS = ["BUTTON0", "BUTTON1", "BUTTON2", "BUTTON3", "StepSize1", "StepSize2", "StepSize3", "Vel",
        "AxisASelection", "AxisBSelection", "AxisCSelection", "AxisXYZSelection", "Macro1",
        "Macro2", "Macro3", "Macro4", "OEM1", "OEM2", "OEM3", "OEM4", "StepJogRate",
        "DelaySteps", "SingleMode", "AutoMode", "AutoChangeSens", "VelocityInAuto",
        "SlowDownRate"]
HOST_FIELDS = {"stepIncrement": 0, "rotationAngle": 1, "fullJogSpeed": 2, "absoluteWord": 4,
               "busyWord": 5, "jogInhibit": 8, "idle": 9}


def report(wheel=0, intensity=0, knob=1, reset=False, any_button=False, cycle=False,
           stop=False, side=False):
    buttons = (reset << 0) | (any_button << 1) | (cycle << 2) | (stop << 3) | (side << 4)
    return bytes([0, wheel & 0xFF, intensity & 0xFF, buttons, knob, 0, 0, 0])


def op_report(**kw):
    return bytes([REPORT]) + report(**kw)


def op_cycles(n, updates=False):
    return bytes([CYCLES, ((n - 1) & 31) | (0x80 if updates else 0)])


def op_updates(n):
    return bytes([UPDATES, (n - 1) & 15])


def op_led(code, on):
    return bytes([SET_LED, LED[code] | (0x80 if on else 0)])


def op_dro(code, value):
    return bytes([SET_DRO, DRO[code]]) + struct.pack("<d", value)


def op_setting(key, value):
    return bytes([SETTING, KEYS.index(key)]) + struct.pack("<i", value)


def op_host_double(field, value, axis=0):
    return bytes([HOST_BLOCK, HOST_FIELDS[field] | axis << 4]) + struct.pack("<d", value)


def op_host_int(field, value, axis=0):
    return bytes([HOST_BLOCK, HOST_FIELDS[field] | axis << 4]) + struct.pack("<iI", value, 0)


def op_turn(count, stride=1, period=2, **kw):
    return bytes([TURN_WHEEL]) + report(**kw) + bytes([stride & 0xFF, count - 1, period])


def click(**kw):
    """Press and release within a click's time, then a pause."""
    return op_report(**kw) + op_updates(1) + op_report(knob=kw.get("knob", 1)) + op_updates(1)


def double_click(**kw):
    return click(**kw) + click(**kw) + op_updates(8) + op_cycles(4)


SEEDS = {
    "step_jog": op_report(knob=1) + op_setting("AutoMode", 0) + op_turn(40, 3)
    + op_cycles(8, True),
    "step_jog_backlog": op_setting("AutoMode", 0) + op_dro(22, 25.0) + op_turn(20, 2)
    + op_dro(22, 0.0) + op_cycles(12, True),
    "step_jog_rotated": op_setting("AutoMode", 0) + op_host_double("rotationAngle", 30.0)
    + op_turn(20, 1) + op_turn(20, -1) + op_cycles(6, True),
    "step_jog_host_feed": op_setting("AutoMode", 0) + op_setting("StepJogRate", 0)
    + op_dro(818, 250.0) + op_turn(20, 5) + op_cycles(8, True),
    "velocity_jog": op_led(15, True) + op_turn(60, 2, 1, knob=2, intensity=60)
    + op_turn(20, 0, 1, knob=2) + op_cycles(10, True),
    "velocity_jog_reversal": op_turn(20, 3, 1, knob=2, intensity=50)
    + op_turn(20, -3, 1, knob=2, intensity=50) + op_cycles(10, True),
    "delayed_jog": op_dro(3, 40.0) + op_turn(60, 4, 1, knob=3, intensity=50)
    + op_turn(10, 0, 1, knob=3) + op_cycles(8, True),
    "dro_adjust": op_dro(3, 50.0) + op_dro(821, 100.0) + op_dro(74, 100.0)
    + op_turn(30, 5, knob=4) + op_turn(30, -5, knob=5) + op_turn(30, 7, knob=6)
    + op_turn(10, 3, knob=3, side=True),
    "zero_reference": op_report(knob=7) + op_updates(8) + double_click(knob=7, stop=True)
    + double_click(knob=7, stop=True, side=True),
    "custom_actions": op_setting("BUTTON0", 3) + op_setting("BUTTON1", 7)
    + op_setting("BUTTON2", 12) + op_setting("BUTTON3", 20) + op_setting("Macro1", -12)
    + op_setting("OEM1", 1021) + op_report(knob=8) + click(knob=8, stop=True)
    + click(knob=8, stop=True, side=True) + op_report(knob=9) + click(knob=9, stop=True)
    + click(knob=9, stop=True, side=True),
    "auto_mode": op_setting("AutoMode", 1) + op_setting("AutoChangeSens", 1)
    + op_turn(30, 1, knob=1, intensity=20) + op_turn(40, 12, 1, knob=1, intensity=90)
    + op_turn(10, 0, 1, knob=1) + op_cycles(10, True),
    "single_step": op_setting("SingleMode", 0) + op_report(knob=1, side=True)
    + op_report(knob=1, side=True, intensity=30) + op_report(knob=1, side=True)
    + op_report(knob=1, side=True, intensity=30) + op_updates(5) + op_cycles(4),
    "step_sizes": op_setting("StepSize1", 1) + op_setting("StepSize2", 3)
    + op_setting("StepSize3", 4) + op_report(knob=1) + op_updates(8)
    + double_click(knob=1, stop=True) + double_click(knob=1, stop=True),
    "axis_selection": op_setting("AxisASelection", 1) + op_setting("AxisXYZSelection", 2)
    + op_report(knob=1) + op_updates(8) + click(knob=1, side=True) + op_updates(8)
    + double_click(knob=1, side=True) + op_updates(8) + click(knob=1, stop=True)
    + op_updates(8) + op_cycles(4, True),
    "buttons_and_combinations": op_report(reset=True) + op_cycles(3) + op_led(800, True)
    + op_cycles(2) + op_report() + op_report(cycle=True, side=True) + op_report()
    + op_led(804, True) + op_report(cycle=True, side=True) + op_report()
    + op_report(stop=True, side=True) + op_report(),
    "unplug_mid_velocity_jog": op_turn(30, 2, 1, knob=2, intensity=70) + bytes([UNPLUG])
    + op_cycles(8, True) + bytes([PLUG]) + op_cycles(8, True)
    + op_turn(10, 2, 1, knob=2, intensity=70) + op_cycles(8, True),
    "unplug_replug_rounds": (op_report(knob=1, wheel=9) + bytes([UNPLUG]) + op_cycles(3)
                             + bytes([PLUG]) + op_cycles(2) + op_report(knob=1, wheel=200)) * 6,
    "other_device_after_removal": bytes([UNPLUG]) + bytes([OTHER_DEVICE, 0]) + op_cycles(6, True)
    + bytes([OTHER_DEVICE, 1]) + bytes([PLUG]) + op_report(reset=True) + op_cycles(4),
    "link_faults": bytes([SHORT_READS, 1]) + op_turn(10, 3) + bytes([SHORT_READS, 0])
    + bytes([WRITES_FAIL, 1]) + op_turn(10, 3) + bytes([WRITES_FAIL, 0])
    + bytes([LATE_REPORT]) + report(wheel=50) + op_cycles(3),
    "stalled_output_mid_jog": op_led(15, True) + op_turn(20, 2, 1, knob=2, intensity=70)
    + bytes([STALL, 1]) + op_turn(50, 2, 1, knob=2, intensity=70) + bytes([STALL, 0])
    + bytes([OTHER_DEVICE, 0]) + op_turn(10, 2, 1, knob=2, intensity=70) + op_cycles(8, True),
    "axis_click_mid_delayed_jog": op_setting("DelaySteps", 1) + op_dro(3, 50.0)
    + op_report(knob=3, intensity=200) + op_report(knob=3, intensity=200, wheel=1)
    + op_report(knob=3, intensity=200, wheel=1) + op_updates(6)
    + op_report(knob=3, intensity=200, wheel=1, side=True) + op_updates(4)
    + op_report(knob=3, intensity=200, wheel=1) + op_cycles(8, True),
    "host_busy_and_inhibited": op_host_int("busyWord", 1) + op_turn(10, 2)
    + op_host_int("jogInhibit", 1) + op_turn(10, 2, knob=2, intensity=40)
    + op_host_int("idle", 0) + op_led(83, False) + op_turn(10, 2) + op_turn(10, 2, knob=3,
                                                                              intensity=40),
}


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, ops in SEEDS.items():
        # Byte 0: the pendant is present at discovery, with another HID device before it.
        (out / name).write_bytes(bytes([2]) + ops)
    (out / "absent_at_discovery").write_bytes(bytes([1]) + op_turn(10, 2) + bytes([PLUG])
                                              + op_turn(10, 2))


if __name__ == "__main__":
    main()
