#!/usr/bin/env python3
"""Power-on for the bells, seen from outside: the real program, running as root, against the
mock logind on a private system bus and a fake real-time clock (a tmpfs over /sys/class in a
mount namespace of its own), so the program runs the helper built beside it.

  shutdown   the timed shutdown writes the alarm (next task minus 5 minutes) before PowerOff
  sleep      PrepareForSleep(true) writes it, a holiday moving it a day; the sleep delay
             inhibitor is let go once it is written; PrepareForSleep(false) leaves an alarm
             ahead standing and clears one that has passed
  off        setting off: a shutdown and a sleep write nothing; the passed alarm of ours found
             at start-up is cleared

Usage: wake_alarm.py <horalet executable>    (exit 77: not root, or no mount namespaces)
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

RTC = "/sys/class/rtc/rtc0/wakealarm"
LEAD_S = 10   # launch to shutdown second
LEAD_MIN = 5  # the setting's lead time


def write_profile(path, sections):
    lines = []
    for name, keys in sections:
        lines.append("[%s]" % name)
        lines.extend("%s=%s" % kv for kv in keys)
    with open(path, "wb") as out:
        out.write(("\r\n".join(lines) + "\r\n").encode("gbk"))


def read_profile_value(path, key):
    with open(path, "rb") as f:
        for line in f.read().decode("gbk").split("\r\n"):
            if line.startswith(key + "="):
                return line[len(key) + 1:]
    return None


def rtc():
    with open(RTC) as f:
        return f.read().strip()


def set_rtc(value):
    with open(RTC, "w") as f:
        f.write("%s\n" % value)


def wait_for(what, seconds=8):
    end = time.time() + seconds
    while time.time() < end:
        if what():
            return True
        time.sleep(0.05)
    return what()


class Logind:
    def __init__(self):
        obj = dbus.SystemBus().get_object("org.freedesktop.login1", "/org/freedesktop/login1")
        self.manager = dbus.Interface(obj, "org.freedesktop.login1.Manager")
        self.mock = dbus.Interface(obj, "org.freedesktop.DBus.Mock")
        self.seen = 0

    def reset(self):
        self.mock.ClearCalls()
        self.mock.ClearRefusals()
        self.seen = len(self.mock.PowerOffTimes())

    def power_offs(self):
        return [float(t) for t in self.mock.PowerOffTimes()][self.seen:]

    def ours(self):
        return [tuple(str(x) for x in i[:4]) for i in self.manager.ListInhibitors()
                if str(i[1]) == "Horalet"]

    def prepare_for_sleep(self, start):
        self.mock.EmitSignal("org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                             [dbus.Boolean(start)])


class Run:
    """One start of the program on a fresh store: a daily task two hours after the shutdown
    second, the timed shutdown armed (or not), the wake alarm on (or not)."""

    def __init__(self, program, logind, name, wake_on, shutdown_on, holiday=False,
                 stored_alarm=None):
        self.name = name
        self.logind = logind
        self.work = tempfile.mkdtemp(prefix="horalet-wake-")
        self.store = os.path.join(self.work, "store")
        os.mkdir(self.store)
        self.shutdown_at = math.ceil(time.time()) + LEAD_S
        moment = datetime.datetime.fromtimestamp(self.shutdown_at)
        task_time = (moment + datetime.timedelta(hours=2)).replace(second=0, microsecond=0)
        first = datetime.datetime.combine(moment.date(), task_time.time())
        if first <= moment:
            first += datetime.timedelta(days=1)
        if holiday:
            write_profile(os.path.join(self.store, "date.ini"),
                          [("Holiday", [("Date0", first.strftime("%Y-%m-%d"))]),
                           ("The number of date", [("quantity", "1")])])
            first += datetime.timedelta(days=1)
        self.expected = int(first.timestamp()) - 60 * LEAD_MIN
        write_profile(os.path.join(self.store, "song.ini"), [
            ("FileInfo0", [("Name", "早铃"), ("Time", task_time.strftime("%H:%M:%S")),
                           ("Duration", (task_time + datetime.timedelta(minutes=1)).strftime("%H:%M:%S")),
                           ("Type", "30000"), ("Device", "每天"), ("Recurrence", "顺序播放"),
                           ("Notes", "")])])
        write_profile(os.path.join(self.store, "复选控制.ini"),
                      [("复选控制", [("是否执行关机时间", "1" if shutdown_on else "0")])])
        write_profile(os.path.join(self.store, "定时器时间设置.ini"), [
            ("定时器时间设置", [("关机时间", moment.strftime("%H:%M:%S"))])])
        keys = [("启用", "1" if wake_on else "0"), ("提前分钟", str(LEAD_MIN))]
        if stored_alarm is not None:
            keys.append(("唤醒时间", str(stored_alarm)))
        self.ini = os.path.join(self.store, "定时开机.ini")
        write_profile(self.ini, [("定时开机", keys)])

        env = dict(os.environ, HORALET_STORE_DIR=self.store, LC_ALL="C.UTF-8",
                   QT_QPA_PLATFORM="offscreen", HORALET_MPV_AO="null", HORALET_MPV_VO="null")
        logind.reset()
        self.log_path = os.path.join(self.work, "horalet.log")
        self.log = open(self.log_path, "wb")
        self.app = subprocess.Popen([program], env=env, stdout=self.log,
                                    stderr=subprocess.STDOUT, start_new_session=True)
        self.failures = []

    def check(self, ok, what):
        if not ok:
            self.failures.append(what)

    def log_rows(self):
        path = os.path.join(self.store, "播放记录",
                            datetime.date.today().strftime("%Y-%m") + ".csv")
        try:
            with open(path, encoding="utf-8-sig") as rows:
                return [row.split(",") for row in rows.read().splitlines()[1:] if row]
        except OSError:
            return []

    def wake_notes(self):
        return [",".join(r[4:]) for r in self.log_rows() if len(r) > 1 and r[1] == "定时开机"]

    def started(self):
        return wait_for(lambda: any(r[1] == "程序启动" for r in self.log_rows() if len(r) > 1))

    def end(self):
        if self.app.poll() is None:
            os.killpg(self.app.pid, signal.SIGTERM)
        self.app.wait()
        self.log.close()
        print("%s: %s" % (self.name, "ok" if not self.failures else "; ".join(self.failures)))
        if self.failures:
            with open(self.log_path, "rb") as log_in:
                sys.stdout.write(log_in.read().decode("utf-8", "replace")[-3000:])
            print("files kept in %s; play log notes %s" % (self.work, self.wake_notes()))
            return False
        shutil.rmtree(self.work)
        return True


def shutdown_run(program, logind):
    set_rtc(0)
    run = Run(program, logind, "shutdown", wake_on=True, shutdown_on=True)
    run.check(run.started(), "no start in the play log")
    run.check(wait_for(lambda: logind.power_offs(), LEAD_S + 6), "no PowerOff")
    calls = logind.power_offs()
    run.check(rtc() == str(run.expected), "rtc holds %s, expected %d" % (rtc(), run.expected))
    if calls:
        written = os.stat(RTC).st_mtime
        run.check(written <= calls[0], "alarm written %.3f s after PowerOff" % (written - calls[0]))
    run.check(any("已设置" in n for n in run.wake_notes()),
              "no 定时开机 row for the alarm set: %s" % run.wake_notes())
    run.check(read_profile_value(run.ini, "唤醒时间") == str(run.expected),
              "the alarm is not remembered")
    return run.end()


def sleep_run(program, logind):
    set_rtc(0)
    run = Run(program, logind, "sleep", wake_on=True, shutdown_on=False, holiday=True)
    run.check(run.started(), "no start in the play log")
    delay = ("sleep", "Horalet", "设置定时开机时间", "delay")
    run.check(wait_for(lambda: delay in logind.ours()), "no sleep delay inhibitor: %s" % logind.ours())
    logind.prepare_for_sleep(True)
    run.check(wait_for(lambda: rtc() == str(run.expected)),
              "after PrepareForSleep(true) rtc holds %s, expected %d (holiday skipped)"
              % (rtc(), run.expected))
    run.check(wait_for(lambda: delay not in logind.ours()), "the delay inhibitor was kept")
    # Woken before the alarm: it stands, and the delay is taken again for the next sleep.
    logind.prepare_for_sleep(False)
    run.check(wait_for(lambda: delay in logind.ours()), "no delay inhibitor after the wake-up")
    run.check(rtc() == str(run.expected), "an alarm ahead was cleared")
    # Woken by it: the remembered alarm has passed.
    passed = int(time.time()) - 120
    write_profile(run.ini, [("定时开机", [("启用", "1"), ("提前分钟", str(LEAD_MIN)),
                                       ("唤醒时间", str(passed))])])
    set_rtc(passed)
    logind.prepare_for_sleep(False)
    run.check(wait_for(lambda: rtc() == "0"), "a passed alarm stands after the wake-up: %s" % rtc())
    run.check(wait_for(lambda: not read_profile_value(run.ini, "唤醒时间")),
              "the cleared alarm is still remembered")
    run.check(wait_for(lambda: any("已清除" in n for n in run.wake_notes())),
              "no 定时开机 row for the alarm cleared: %s" % run.wake_notes())
    run.check(not logind.power_offs(), "PowerOff without a timed shutdown")
    return run.end()


def off_run(program, logind):
    passed = int(time.time()) - 3600
    set_rtc(passed)
    run = Run(program, logind, "off", wake_on=False, shutdown_on=True, stored_alarm=passed)
    run.check(run.started(), "no start in the play log")
    run.check(wait_for(lambda: rtc() == "0"), "the passed alarm of ours stands after start-up")
    set_rtc(4242)
    logind.prepare_for_sleep(True)
    run.check(wait_for(lambda: logind.power_offs(), LEAD_S + 6), "no PowerOff")
    time.sleep(0.5)
    run.check(rtc() == "4242", "rtc written with the setting off: %s" % rtc())
    run.check(not any(i[3] == "delay" for i in logind.ours()), "a delay inhibitor while off")
    return run.end()


def main():
    program = os.path.abspath(sys.argv[1])
    if not os.environ.get("HORALET_IN_NAMESPACE"):
        if os.geteuid() != 0:
            print("not root: skipped")
            return 77
        if subprocess.call(["unshare", "-m", "--propagation", "private", "true"]) != 0:
            print("no mount namespaces: skipped")
            return 77
        os.environ["HORALET_IN_NAMESPACE"] = "1"
        return subprocess.call(["unshare", "-m", "--propagation", "private",
                                sys.executable, os.path.abspath(__file__), program])
    for need in ("DBUS_SYSTEM_BUS_ADDRESS", "PULSE_SERVER"):
        if need not in os.environ:
            print("%s is not set: run through ctest (logind and pulse fixtures)" % need)
            return 1
    helper = os.path.join(os.path.dirname(program), "horalet-wakealarm")
    if not os.access(helper, os.X_OK):
        print("no %s beside the program" % helper)
        return 1
    subprocess.check_call(["mount", "-t", "tmpfs", "none", "/sys/class"])
    os.makedirs(os.path.dirname(RTC))
    logind = Logind()
    ok = shutdown_run(program, logind)
    ok = sleep_run(program, logind) and ok
    ok = off_run(program, logind) and ok
    print("ok" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
