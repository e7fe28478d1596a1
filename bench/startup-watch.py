#!/usr/bin/env python3
"""One timed start for bench/startup-bench.sh, run inside with-wine.

    startup-watch.py TEMP MODULE_BYTES PROGRAM [ARGUMENT...]

Starts `wine PROGRAM ARGUMENT...` and prints, on one line, the milliseconds from the start at
which each step was seen (0 for a step not seen):

    window folder copy cfg started module

window   a window of the .scr mapped (the saver's own window)
folder   a run folder "Saverpak-*" made in TEMP (the Unix path of %TEMP%)
copy     Module.exe there at its full size, MODULE_BYTES
cfg      the argument file Module.cfg there
started  a process whose program is Module.exe (its command line as Wine sets it)
module   the window named TestModule mapped: the module's window shows

A saver started with any other switch than /s (the configuration dialog) is watched only
until its window shows. Then it ends what it started: the saver by the Escape key (by force if it stays), the module
by force. The wineserver stays warm for the next start.

Windows are seen through X's own notices (MapNotify on the root window, libX11 through
ctypes), not by polling with a program per look: a poll that forks takes the processor from
what it measures.
"""
import ctypes
import os
import select
import signal
import subprocess
import sys
import time

STEPS = ["window", "folder", "copy", "cfg", "started", "module"]
MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class ClassHint(ctypes.Structure):
    _fields_ = [("res_name", ctypes.c_char_p), ("res_class", ctypes.c_char_p)]


class Screen:
    """The X display's top-level windows as they are mapped."""

    def __init__(self):
        x = ctypes.cdll.LoadLibrary("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
        x.XGetClassHint.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ClassHint)]
        x.XFlush.argtypes = [ctypes.c_void_p]
        self.x = x
        self.display = x.XOpenDisplay(None)
        if not self.display:
            sys.exit("cannot open the X display")
        x.XSelectInput(self.display, x.XDefaultRootWindow(self.display), SUBSTRUCTURE_NOTIFY_MASK)
        x.XFlush(self.display)
        self.fd = x.XConnectionNumber(self.display)
        self.event = ctypes.create_string_buffer(192)
        self.unnamed = []  # mapped before its name and class were set

    def describe(self, window):
        name = ctypes.c_char_p()
        hint = ClassHint()
        self.x.XFetchName(self.display, window, ctypes.byref(name))
        self.x.XGetClassHint(self.display, window, ctypes.byref(hint))
        return (name.value or b"").decode(errors="replace"), \
               ((hint.res_name or b"") + b" " + (hint.res_class or b"")).decode(errors="replace")

    def mapped(self, timeout):
        """The (name, class) of each window mapped since the last call, waiting up to timeout."""
        if not self.x.XPending(self.display):
            select.select([self.fd], [], [], timeout)
        windows = self.unnamed
        self.unnamed = []
        while self.x.XPending(self.display):
            self.x.XNextEvent(self.display, self.event)
            if int.from_bytes(self.event.raw[0:4], "little") == MAP_NOTIFY:
                windows.append(int.from_bytes(self.event.raw[40:48], "little"))
        found = []
        for window in windows:
            name, klass = self.describe(window)
            if name or klass.strip():
                found.append((name, klass.lower()))
            else:
                self.unnamed.append(window)
        return found


def program_of(pid):
    """The program a Wine process runs, from the command line Wine gives it."""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            line = f.read().split(b"\0")[0].decode(errors="replace").strip()
    except OSError:
        return ""
    if line.startswith('"'):
        return line[1:].split('"')[0]
    return line.split(" ")[0]


def module_pids(before):
    return [p for p in os.listdir("/proc")
            if p.isdigit() and p not in before and program_of(p).lower().endswith("module.exe")]


def main():
    temp, module_bytes, command = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    # Each start finds the temporary folder as a user's would: nothing of an earlier start.
    for name in os.listdir(temp):
        if name.startswith("Saverpak-") or name.startswith("Module."):
            subprocess.run(["rm", "-rf", os.path.join(temp, name)])
    screen = Screen()
    processes_before = set(os.listdir("/proc"))
    is_saver = command[0].lower().endswith(".scr")
    last = "module" if not is_saver or command[1:2] == ["/s"] else "window"
    seen = {}
    start = time.monotonic()
    process = subprocess.Popen(["wine"] + command, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)

    def mark(step):
        seen.setdefault(step, round((time.monotonic() - start) * 1000))

    folder = None
    pids = []
    while last not in seen and time.monotonic() - start < 20:
        for name, klass in screen.mapped(0.003):
            if name == "TestModule":
                mark("module")
            elif is_saver and klass.split(" ")[0].endswith(".scr"):
                mark("window")
        if is_saver and folder is None:
            made = [n for n in os.listdir(temp) if n.startswith("Saverpak-")]
            if made:
                folder = os.path.join(temp, made[0])
                mark("folder")
        if folder is not None and "cfg" not in seen:
            try:
                if os.path.getsize(os.path.join(folder, "Module.exe")) == module_bytes:
                    mark("copy")
                if os.path.exists(os.path.join(folder, "Module.cfg")):
                    mark("cfg")
            except OSError:
                pass
        if "started" not in seen:
            pids = module_pids(processes_before)
            if pids:
                mark("started")
    print(" ".join(str(seen.get(step, 0)) for step in STEPS))
    sys.stdout.flush()

    if is_saver:
        subprocess.run(["xdotool", "key", "Escape"], stderr=subprocess.DEVNULL)
        try:
            process.wait(3)
        except subprocess.TimeoutExpired:
            pass
    for pid in pids + module_pids(processes_before) + [str(process.pid)]:
        try:
            os.kill(int(pid), signal.SIGKILL)
        except OSError:
            pass
    process.wait()


if __name__ == "__main__":
    main()
