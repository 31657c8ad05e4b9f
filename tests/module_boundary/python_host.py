#!/usr/bin/env python3
"""A host written in Python, with nothing but the standard library: it loads the plug-in's Linux
module, hands it callbacks, host blocks and a host view through the module's C contract
(src/host/k4_host_view.h), stands in for the pendant and for the configuration dialog through
the contract's tables, and turns the wheel three counts on the Z axis. The step line must arrive
as the C++ hosts see it. Proof that a host needs neither the plug-in's compiler nor its C++.

    python_host.py PATH/TO/Orvane_K4.so
"""

import ctypes as C
import os
import sys
import tempfile

# ---- The contract, as ctypes sees it (src/host/k4_host_view.h) ------------------------------
K4_HOST_VIEW_VERSION = 1
K4_PENDANT_VENDOR_ID = 0x04D8
K4_PENDANT_PRODUCT_ID = 0xFCE5
K4_INPUT_REPORT_SIZE = 8
K4_OUTPUT_REPORT_SIZE = 5
K4_WRITE_SENT = 0
K4_DIALOG_OK = 1

k4_handle = C.c_ssize_t
k4_callback = C.CFUNCTYPE(None, C.c_void_p)
k4_device_sink = C.CFUNCTYPE(None, C.c_void_p, C.c_uint32, C.c_uint32, C.c_char_p)


class K4DeviceTable(C.Structure):
    _fields_ = [
        ("version", C.c_uint32), ("size", C.c_uint32), ("context", C.c_void_p),
        ("begin_enumeration", C.CFUNCTYPE(None, C.c_void_p)),
        ("interface_path", C.CFUNCTYPE(C.c_int, C.c_void_p, C.c_uint32, C.c_void_p, C.c_size_t)),
        ("end_enumeration", C.CFUNCTYPE(None, C.c_void_p)),
        ("open_probe", C.CFUNCTYPE(k4_handle, C.c_void_p, C.c_char_p)),
        ("attributes", C.CFUNCTYPE(C.c_int, C.c_void_p, k4_handle, C.POINTER(C.c_uint16),
                                   C.POINTER(C.c_uint16))),
        ("open_read", C.CFUNCTYPE(k4_handle, C.c_void_p, C.c_char_p)),
        ("open_write", C.CFUNCTYPE(k4_handle, C.c_void_p, C.c_char_p)),
        ("close", C.CFUNCTYPE(None, C.c_void_p, k4_handle)),
        ("read_report", C.CFUNCTYPE(C.c_int, C.c_void_p, k4_handle, C.c_void_p, C.c_int)),
        ("write_report", C.CFUNCTYPE(C.c_int, C.c_void_p, k4_handle, C.c_void_p)),
        ("register_notifications", C.CFUNCTYPE(C.c_int, C.c_void_p, k4_device_sink, C.c_void_p)),
        ("unregister_notifications", C.CFUNCTYPE(None, C.c_void_p, C.c_void_p)),
    ]


class K4DialogControls(C.Structure):
    _fields_ = [
        ("version", C.c_uint32), ("size", C.c_uint32), ("context", C.c_void_p),
        ("set_text", C.CFUNCTYPE(C.c_int, C.c_void_p, C.c_char_p, C.c_char_p)),
        ("select_entry", C.CFUNCTYPE(C.c_int, C.c_void_p, C.c_char_p, C.c_int)),
        ("set_check", C.CFUNCTYPE(C.c_int, C.c_void_p, C.c_char_p, C.c_int)),
        ("press_ok", C.CFUNCTYPE(C.c_int, C.c_void_p)),
    ]


class K4DialogTable(C.Structure):
    _fields_ = [
        ("version", C.c_uint32), ("size", C.c_uint32), ("context", C.c_void_p),
        ("run_modal", C.CFUNCTYPE(C.c_int, C.c_void_p, C.POINTER(K4DialogControls))),
        ("show_message", C.CFUNCTYPE(None, C.c_void_p, C.c_char_p)),
    ]


class K4HostView(C.Structure):
    _fields_ = [
        ("version", C.c_uint32), ("size", C.c_uint32), ("context", C.c_void_p),
        ("add_timer", C.CFUNCTYPE(C.c_int, C.c_void_p, C.c_uint32, k4_callback, C.c_void_p)),
        ("remove_timer", C.CFUNCTYPE(None, C.c_void_p, C.c_int)),
        ("watch_fd", C.CFUNCTYPE(C.c_int, C.c_void_p, C.c_int, k4_callback, C.c_void_p)),
        ("unwatch_fd", C.CFUNCTYPE(None, C.c_void_p, C.c_int)),
        ("run_nested", C.CFUNCTYPE(C.c_int, C.c_void_p, C.CFUNCTYPE(C.c_int, C.c_void_p),
                                   C.c_void_p)),
        ("devices", C.POINTER(K4DeviceTable)),
        ("dialog", C.POINTER(K4DialogTable)),
    ]


# The host blocks' sizes and the one field this host fills (src/host/host_boundary.h).
ENGINE_BLOCK_SIZE = 12 + 6 * 20
SETUP_BLOCK_SIZE = 16
PLANNER_BLOCK_SIZE = 76 + 128 + 4
PLANNER_STEP_INCREMENT = 16  # a double: the step the wheel moves per count

LED_JOG_ALLOWED = 83
SIDE_BIT = 0x10  # report byte 3


class Host:
    """The host's side: its answers, what it was told, its one timer list."""

    def __init__(self, module_path):
        self.lib = C.CDLL(module_path)
        self.leds = {LED_JOG_ALLOWED: 1}
        self.dros = {}
        self.buttons = []
        self.lines = []
        self.messages = []
        self.timers = {}
        self.next_id = 1
        self.sinks = {}
        self.reports = []  # input reports the stand-in pendant delivers, oldest first
        self.outputs = []
        self.keep = []  # every ctypes function handed over stays alive as long as the host
        self._declare_exports()
        self._hand_over_callbacks()

    def _declare_exports(self):
        lib = self.lib
        lib.SetProName.argtypes = [C.c_char_p]
        lib.SetProName.restype = C.c_char_p
        lib.InitControl.argtypes = [C.c_void_p] * 4
        lib.InitControl.restype = C.c_bool
        for name in ("PostInitControl", "Config", "Update", "StopPlug"):
            getattr(lib, name).argtypes = []
            getattr(lib, name).restype = None

    def _give(self, setter, prototype, function):
        wrapped = prototype(function)
        self.keep.append(wrapped)
        getattr(self.lib, setter).argtypes = [prototype]
        getattr(self.lib, setter)(wrapped)

    def _hand_over_callbacks(self):
        self._give("SetDoButton", C.CFUNCTYPE(None, C.c_int), self.buttons.append)
        self._give("SetSetDRO", C.CFUNCTYPE(None, C.c_int, C.c_double),
                   lambda code, value: self.dros.__setitem__(code, value))
        self._give("SetGetDRO", C.CFUNCTYPE(C.c_double, C.c_int),
                   lambda code: self.dros.get(code, 0.0))
        self._give("SetGetLED", C.CFUNCTYPE(C.c_uint8, C.c_int),
                   lambda code: self.leds.get(code, 0))
        self._give("SetSetLED", C.CFUNCTYPE(None, C.c_int, C.c_bool), lambda code, on: None)
        self._give("SetCode", C.CFUNCTYPE(None, C.c_char_p),
                   lambda line: self.lines.append(line.decode()))

    def _fn(self, structure, field, function):
        prototype = dict(structure._fields_)[field]
        wrapped = prototype(function)
        self.keep.append(wrapped)
        return wrapped

    # ---- The stand-in pendant: one HID interface with the pendant's ids ------------------------
    def device_table(self):
        path = b"/python-host/pendant"
        t = K4DeviceTable

        def interface_path(_, index, buffer, capacity):
            if index != 0:
                return -1
            C.memmove(buffer, path + b"\0", min(len(path) + 1, capacity))
            return len(path)

        def attributes(_, handle, vendor, product):
            vendor[0] = K4_PENDANT_VENDOR_ID
            product[0] = K4_PENDANT_PRODUCT_ID
            return 1

        def read_report(_, handle, report, timeout_ms):
            if not self.reports:
                return 0
            C.memmove(report, bytes(self.reports.pop(0)), K4_INPUT_REPORT_SIZE)
            return 1

        def write_report(_, handle, report):
            self.outputs.append(C.string_at(report, K4_OUTPUT_REPORT_SIZE))
            return K4_WRITE_SENT

        def register(_, deliver, sink):
            self.sinks[sink] = deliver
            return 1

        opened = lambda _, name: 3 if name == path else -1
        return t(version=K4_HOST_VIEW_VERSION, size=C.sizeof(t),
                 begin_enumeration=self._fn(t, "begin_enumeration", lambda _: None),
                 interface_path=self._fn(t, "interface_path", interface_path),
                 end_enumeration=self._fn(t, "end_enumeration", lambda _: None),
                 open_probe=self._fn(t, "open_probe", opened),
                 attributes=self._fn(t, "attributes", attributes),
                 open_read=self._fn(t, "open_read", opened),
                 open_write=self._fn(t, "open_write", opened),
                 close=self._fn(t, "close", lambda _, handle: None),
                 read_report=self._fn(t, "read_report", read_report),
                 write_report=self._fn(t, "write_report", write_report),
                 register_notifications=self._fn(t, "register_notifications", register),
                 unregister_notifications=self._fn(t, "unregister_notifications",
                                                   lambda _, sink: self.sinks.pop(sink, None)))

    # ---- The stand-in dialog: the user unticks automatic mode and presses OK -----------------
    def dialog_table(self):
        t = K4DialogTable

        def run_modal(_, controls):
            c = controls.contents
            if not c.set_check(c.context, b"AutoMode", 0):
                return 2
            return K4_DIALOG_OK if c.press_ok(c.context) else 2

        return t(version=K4_HOST_VIEW_VERSION, size=C.sizeof(t),
                 run_modal=self._fn(t, "run_modal", run_modal),
                 show_message=self._fn(t, "show_message",
                                       lambda _, text: self.messages.append(text.decode())))

    # ---- The event loop: timers only; this host fires them itself ----------------------------
    def host_view(self, devices, dialog):
        t = K4HostView

        def add_timer(_, period_ms, callback, argument):
            timer_id = self.next_id
            self.next_id += 1
            self.timers[timer_id] = (callback, argument)
            return timer_id

        return t(version=K4_HOST_VIEW_VERSION, size=C.sizeof(t),
                 add_timer=self._fn(t, "add_timer", add_timer),
                 remove_timer=self._fn(t, "remove_timer",
                                       lambda _, timer_id: self.timers.pop(timer_id, None)),
                 devices=C.pointer(devices), dialog=C.pointer(dialog))

    def step(self, count=1):
        """What one host tick does: Update, then every timer due (one 25 ms period)."""
        for _ in range(count):
            self.lib.Update()
            for callback, argument in list(self.timers.values()):
                callback(argument)


def report(wheel=0, side=False, knob=0):
    return [0, wheel & 0xFF, 0, SIDE_BIT if side else 0, knob, 0, 0, 0]


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    host = Host(os.path.abspath(sys.argv[1]))
    failures = []

    def check(what, ok):
        print(("ok     " if ok else "FAILED ") + what)
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory() as folder:
        name = host.lib.SetProName(os.path.join(folder, "python-host.xml").encode())
        check("SetProName names the plug-in", name is not None and b"Pendant" in name)

        engine = (C.c_uint8 * ENGINE_BLOCK_SIZE)()
        setup = (C.c_uint8 * SETUP_BLOCK_SIZE)()
        planner = (C.c_uint8 * PLANNER_BLOCK_SIZE)()
        C.c_double.from_buffer(planner, PLANNER_STEP_INCREMENT).value = 0.001
        devices, dialog = host.device_table(), host.dialog_table()
        view = host.host_view(devices, dialog)
        check("InitControl takes the C host view",
              host.lib.InitControl(engine, setup, planner, C.byref(view)))
        host.lib.PostInitControl()
        check("the plug-in found the stand-in pendant and started its timer", len(host.timers) == 1)
        check("the plug-in asked for arrival and removal notifications", len(host.sinks) == 1)

        profile = os.path.join(folder, "python-host.xml")
        host.lib.Config()
        with open(profile, encoding="utf-8") as stored:
            check("the stand-in dialog's OK stored AutoMode 0 in the profile",
                  not host.messages and "<AutoMode>0</AutoMode>" in stored.read())

        # Knob 1 (step jog), two SIDE clicks select Z, then three counts forward.
        wheel = 0
        host.reports.append(report(wheel, knob=1))
        host.step()
        for _ in range(2):
            host.reports.append(report(wheel, side=True, knob=1))
            host.step()
            host.reports.append(report(wheel, knob=1))
            host.step(7)
        host.lines.clear()
        wheel += 3
        host.reports.append(report(wheel, knob=1))
        host.step(4)
        check('three counts on Z give "G91G1 F100 Z 0.0030" (got %r)' % host.lines,
              "G91G1 F100 Z 0.0030" in host.lines)
        check("the plug-in wrote output reports to the stand-in pendant",
              any(len(out) == K4_OUTPUT_REPORT_SIZE for out in host.outputs))

        host.lib.StopPlug()
        check("after StopPlug no timer and no notification is left",
              not host.timers and not host.sinks)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
