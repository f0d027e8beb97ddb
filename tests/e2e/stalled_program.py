#!/usr/bin/env python3
"""A program held up across a start second is not a clock set forward: the real program is
frozen (SIGSTOP) from a few seconds before a task's start second until well after it, then
let go (SIGCONT). The task, whose time still runs, starts at once, late, and is heard; the
play log says it started late because the program stalled, and tells no step of the clock.
A task whose whole time passed in the stall is logged as not played, and why.

Usage: stalled_program.py <horalet executable>
Needs PULSE_SERVER (the pulse fixture) in the environment.
"""

import math
import os
import signal
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scheduled_playback import (CHUNK_S, LOUD, SINK, MonitorRecording, pactl, run_program,
                                stop_program, verdict, write_profile, write_tone)

LEAD_S = 20     # launch to start second: start-up first, then the stall
STOP_S = 6      # frozen this long before the start second
HELD_S = 16     # frozen for; beyond the ten seconds a late timer may catch up
LENGTH_S = 34   # start second to end second


def log_rows(store, at):
    path = os.path.join(store, "播放记录", time.strftime("%Y-%m", time.localtime(at)) + ".csv")
    try:
        with open(path, "rb") as f:
            lines = f.read()[3:].decode("utf-8").split("\r\n")
    except OSError:
        return []
    return [line.split(",") for line in lines[1:] if line]


def task(name, start, end):
    clock = lambda t: time.strftime("%H:%M:%S", time.localtime(t))
    return [("Name", name), ("Time", clock(start)), ("Duration", clock(end)), ("Type", "30000"),
            ("Device", "每天"), ("Recurrence", "循环播放"), ("Notes", "")]


def main():
    program = os.path.abspath(sys.argv[1])
    if "PULSE_SERVER" not in os.environ:
        print("PULSE_SERVER is not set: the pulse fixture did not run")
        return 1
    work = tempfile.mkdtemp(prefix="horalet-e2e-stall-")
    store = os.path.join(work, "store")
    os.mkdir(store)
    tone = os.path.join(work, "tone.wav")
    write_tone(tone, LENGTH_S + 10)

    start = math.ceil(time.time()) + LEAD_S
    end = start + LENGTH_S
    frozen, thawed = start - STOP_S, start - STOP_S + HELD_S
    write_profile(os.path.join(store, "song.ini"), [
        ("FileInfo0", task("短铃", start - 4, start - 2)),
        ("FileInfo1", task("上课铃", start, end)),
    ])
    for name in ("短铃", "上课铃"):
        write_profile(os.path.join(store, name + ".ini"), [
            ("歌曲", [("歌曲名称0", tone)]), ("多媒体文件数量", [("数量", "1")])])

    pactl("set-sink-volume", SINK, "65536")
    app, xvfb, log = run_program(program, store, work)
    monitor = MonitorRecording()
    chunks = []
    failures = []
    state = "starting"
    try:
        while time.time() < end + 1:
            chunk = monitor.chunk()
            if not chunk:
                break
            chunks.append(chunk)
            now = time.time()
            if state == "starting" and now >= frozen:
                if not any(r[1] == "程序启动" for r in log_rows(store, start) if len(r) > 1):
                    failures.append("the program had not started %d s after launch" %
                                    (LEAD_S - STOP_S))
                    break
                os.killpg(app.pid, signal.SIGSTOP)
                state, frozen = "frozen", now
            elif state == "frozen" and now >= thawed:
                os.killpg(app.pid, signal.SIGCONT)
                state, thawed = "thawed", now
    finally:
        monitor.close()
        if state == "frozen":
            os.killpg(app.pid, signal.SIGCONT)
        alive = stop_program(app, xvfb, log)

    def heard(t0, t1):
        return [level > LOUD for t, level in chunks if t0 <= t - CHUNK_S and t <= t1]

    if not alive:
        failures.append("the program ended before the test did")
    if state == "thawed":
        if any(heard(0, thawed)):
            failures.append("tone heard before the program was let go")
        # The first item follows its start by about three seconds, counted from the late start.
        if not all(heard(thawed + 4.5, end - 0.5)):
            failures.append("tone not heard throughout from 4.5 s after the thaw to the end")
        rows = log_rows(store, start)
        started = [r for r in rows if len(r) >= 5 and r[1] == "任务开始" and r[2] == "上课铃"]
        if len(started) != 1 or "程序停顿，迟" not in started[0][4]:
            failures.append("no late start of 上课铃 in the play log: %s" % rows)
        elif started[0][0] != time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(start)):
            failures.append("late start logged at %s, not at its second" % started[0][0])
        if not any(r[1] == "补查" and "程序停顿了" in r[4] for r in rows if len(r) >= 5):
            failures.append("the stall is not in the play log: %s" % rows)
        missed = [r for r in rows if len(r) >= 5 and r[1] == "未播放" and r[2] == "短铃"]
        if len(missed) != 1 or "恢复时已过了它的结束时间" not in missed[0][4]:
            failures.append("短铃 not logged as over in the stall: %s" % rows)
        if any("时钟被" in ",".join(r) for r in rows):
            failures.append("the stall was logged as a step of the clock: %s" % rows)
        for r in rows:
            print(",".join(r))

    loud = [t for t, level in chunks if level > LOUD]
    if loud:
        print("tone heard from thaw%+.1f s to end%+.1f s" % (loud[0] - CHUNK_S - thawed,
                                                             loud[-1] - end))
    return verdict(failures, work, [os.path.join(work, "horalet.log")], 4000)


if __name__ == "__main__":
    sys.exit(main())
