#!/usr/bin/env python3
"""The timed shutdown and the sleep inhibitor, seen from outside: the real program against a
mock logind on a private system bus (the logind fixture).

Four runs with the same kind of store (a task stored, the shutdown time a few seconds ahead,
the weekday box of the day after the shutdown ticked):
  armed       box 1076 ticked                          -> exactly one PowerOff(false), at that second
  box clear   box 1076 clear                           -> no PowerOff
  gated day   box ticked, clock shifted a day (faketime) so that day's box is ticked -> no PowerOff
  two days on box ticked, clock shifted two days (faketime), a day not ticked -> one PowerOff(false)
Every run must hold one "sleep:idle" block inhibitor from "Horalet" within 5 s of start, and
none after the program ended.

Usage: timed_shutdown.py <horalet executable>
Needs DBUS_SYSTEM_BUS_ADDRESS (logind fixture) and PULSE_SERVER (pulse fixture).
"""

import datetime
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import dbus

LEAD_S = 10      # launch to shutdown second: room for start-up on a busy machine
AFTER_S = 4      # how long after the shutdown second a call may still come
WEEKDAYS = ["周一", "周二", "周三", "周四", "周五", "周六", "周日"]


def write_profile(path, sections):
    """A profile file in the store's format: code page 936 (GBK) INI text, CRLF line ends."""
    lines = []
    for name, keys in sections:
        lines.append("[%s]" % name)
        lines.extend("%s=%s" % kv for kv in keys)
    with open(path, "wb") as out:
        out.write(("\r\n".join(lines) + "\r\n").encode("gbk"))


class Logind:
    def __init__(self):
        bus = dbus.SystemBus()
        obj = bus.get_object("org.freedesktop.login1", "/org/freedesktop/login1")
        self.manager = dbus.Interface(obj, "org.freedesktop.login1.Manager")
        self.mock = dbus.Interface(obj, "org.freedesktop.DBus.Mock")

    def reset(self):
        self.mock.ClearCalls()
        self.mock.ClearRefusals()

    def power_offs(self):
        return [(float(stamp), [bool(a) for a in args])
                for stamp, method, args in self.mock.GetCalls() if method == "PowerOff"]

    def ours(self):
        return [tuple(str(x) for x in i[:4]) for i in self.manager.ListInhibitors()
                if str(i[1]) == "Horalet"]


def run(program, logind, name, enabled, shift_days):
    work = tempfile.mkdtemp(prefix="horalet-shutdown-")
    store = os.path.join(work, "store")
    os.mkdir(store)
    shutdown_at = math.ceil(time.time()) + LEAD_S
    # The day the program will believe it is at the shutdown second, and the day after it.
    its_day = datetime.date.fromtimestamp(shutdown_at) + datetime.timedelta(days=shift_days)
    off_day = datetime.date.fromtimestamp(shutdown_at) + datetime.timedelta(days=1)
    flags = [(day, "1" if day == WEEKDAYS[off_day.weekday()] else "0") for day in WEEKDAYS]
    flags.append(("是否执行关机时间", "1" if enabled else "0"))
    write_profile(os.path.join(store, "复选控制.ini"), [("复选控制", flags)])
    write_profile(os.path.join(store, "定时器时间设置.ini"), [
        ("定时器时间设置", [("关机时间", time.strftime("%H:%M:%S", time.localtime(shutdown_at)))])])
    write_profile(os.path.join(store, "song.ini"), [
        ("FileInfo0", [("Name", "早铃"), ("Time", "03:00:00"), ("Duration", "03:00:05"),
                       ("Type", "30000"), ("Device", "每天"), ("Recurrence", "顺序播放"),
                       ("Notes", "")])])

    env = dict(os.environ, HORALET_STORE_DIR=store, LC_ALL="C.UTF-8", QT_QPA_PLATFORM="offscreen",
               HORALET_MPV_AO="null", HORALET_MPV_VO="null")
    command = [program]
    if shift_days:
        command = ["faketime", "-f", "+%dd" % shift_days] + command
        env["FAKETIME_DONT_FAKE_MONOTONIC"] = "1"

    logind.reset()
    failures = []
    log_path = os.path.join(work, "horalet.log")
    log = open(log_path, "wb")
    launched = time.time()
    app = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                           start_new_session=True)
    held_after = None
    try:
        while time.time() < launched + 5 and held_after is None:
            if logind.ours():
                held_after = time.time() - launched
            time.sleep(0.1)
        if held_after is None:
            failures.append("no inhibitor from Horalet within 5 s of start")
        else:
            held = logind.ours()
            if held != [("sleep:idle", "Horalet", "等待定时播放任务", "block")]:
                failures.append("inhibitors %s" % held)
        while time.time() < shutdown_at + AFTER_S:
            time.sleep(0.2)
        if app.poll() is not None:
            failures.append("the program ended before the test did")
        calls = logind.power_offs()
    finally:
        if app.poll() is None:
            os.killpg(app.pid, signal.SIGTERM)
        app.wait()
        log.close()
    gone = time.time() + 3
    while logind.ours() and time.time() < gone:
        time.sleep(0.1)
    if logind.ours():
        failures.append("the inhibitor outlived the program")

    if enabled and its_day != off_day:
        if [args for _, args in calls] != [[False]]:
            failures.append("PowerOff calls %s, expected one PowerOff(false)" % calls)
        elif not shutdown_at - 0.2 <= calls[0][0] <= shutdown_at + 2:
            failures.append("PowerOff at shutdown second %+.2f s" % (calls[0][0] - shutdown_at))
        # The play log tells the request, stamped with the program's own date.
        play_log = os.path.join(store, "播放记录", its_day.strftime("%Y-%m") + ".csv")
        try:
            with open(play_log, encoding="utf-8-sig") as rows:
                events = [row.split(",")[1] for row in rows.read().splitlines()[1:] if row]
        except OSError as e:
            events = ["(%s)" % e]
        if "定时关机" not in events:
            failures.append("no 定时关机 row in the play log: %s" % events)
    elif calls:
        failures.append("PowerOff called: %s" % calls)

    print("%s: program day %s (%s), inhibitor after %s s, PowerOff calls %s"
          % (name, its_day, WEEKDAYS[its_day.weekday()],
             "%.1f" % held_after if held_after is not None else "-",
             ["%+.2f s" % (t - shutdown_at) for t, _ in calls]))
    if failures:
        with open(log_path, "rb") as log_in:
            sys.stdout.write(log_in.read().decode("utf-8", "replace")[-3000:])
        print("%s FAILED: %s (files kept in %s)" % (name, "; ".join(failures), work))
        return False
    shutil.rmtree(work)
    return True


def main():
    program = os.path.abspath(sys.argv[1])
    for need in ("DBUS_SYSTEM_BUS_ADDRESS", "PULSE_SERVER"):
        if need not in os.environ:
            print("%s is not set: run through ctest (logind and pulse fixtures)" % need)
            return 1
    if not shutil.which("faketime"):
        print("faketime is not installed (Debian package faketime)")
        return 1
    logind = Logind()
    ok = run(program, logind, "armed", enabled=True, shift_days=0)
    ok = run(program, logind, "box clear", enabled=False, shift_days=0) and ok
    ok = run(program, logind, "gated day", enabled=True, shift_days=1) and ok
    # The gated run's silence counts only if the shifted clock itself works.
    ok = run(program, logind, "two days on", enabled=True, shift_days=2) and ok
    print("ok" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
