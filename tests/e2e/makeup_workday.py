#!/usr/bin/env python3
"""A make-up workday, seen from outside: on a Sunday whose box is ticked, listed in
调休上班.ini as following Monday, a Monday task rings; without that file the Sunday stays
silent. The same task in a timetable (作息表.ini) rings when the timetable's range holds that
Sunday alone, and stays silent, logged with the reason, when its range holds every other day.

Runs the real program under Xvfb with its clock moved to the coming Sunday by libfaketime
(whole days, so the time of day stays the real one), against the PulseAudio null sink of
the pulse fixture.

Usage: makeup_workday.py <horalet executable>
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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scheduled_playback import (CHUNK_S, LOUD, MonitorRecording, start_xvfb,  # noqa: E402
                                write_profile, write_tone)

LEAD_S = 12
LENGTH_S = 6


def days_to_sunday(day):
    return (6 - day.weekday()) % 7


def run_case(program, work, with_makeup, season=None):
    """Runs the program once; returns (start second, end second, chunks, alive, store).
    season: None, "holds" (a range of that Sunday alone) or "misses" (every other day)."""
    # Keep the whole window on one day: wait out the last minute before midnight.
    while datetime.datetime.now().time() > datetime.time(23, 59, 0):
        time.sleep(5)
    store = os.path.join(work, "store-%s-%s" % ("makeup" if with_makeup else "plain", season))
    os.mkdir(store)
    tone = os.path.join(work, "tone.wav")
    if not os.path.exists(tone):
        write_tone(tone, 40)

    start = math.ceil(time.time()) + LEAD_S
    end = start + LENGTH_S
    clock = lambda t: time.strftime("%H:%M:%S", time.localtime(t))
    shift = days_to_sunday(datetime.date.fromtimestamp(start))
    sunday = datetime.date.fromtimestamp(start) + datetime.timedelta(days=shift)
    assert sunday.weekday() == 6

    write_profile(os.path.join(store, "song.ini"), [
        ("FileInfo0", [("Name", "周一上课铃"), ("Time", clock(start)), ("Duration", clock(end)),
                       ("Type", "30000"), ("Device", "周一"),
                       ("Recurrence", "顺序播放"), ("Notes", "")]),
    ])
    write_profile(os.path.join(store, "周一上课铃.ini"), [
        ("歌曲", [("歌曲名称0", tone)]),
        ("多媒体文件数量", [("数量", "1")]),
    ])
    write_profile(os.path.join(store, "复选控制.ini"), [
        ("复选控制", [("周日", "1")]),
    ])
    if with_makeup:
        write_profile(os.path.join(store, "调休上班.ini"), [
            ("调休上班", [(sunday.isoformat(), "周一")]),
        ])
    if season:
        day = lambda d: d.strftime("%m-%d")
        one = datetime.timedelta(days=1)
        span = (day(sunday), day(sunday)) if season == "holds" else \
            (day(sunday + one), day(sunday - one))
        write_profile(os.path.join(store, "作息表.ini"), [
            ("作息表", [("夏季", "%s~%s" % span)]),
            ("任务作息表", [("周一上课铃", "夏季")]),
        ])

    env = dict(os.environ, HORALET_STORE_DIR=store, LC_ALL="C.UTF-8",
               # Qt's timers and libmpv's waits run on the monotonic clock: leave it alone.
               FAKETIME_DONT_FAKE_MONOTONIC="1")
    env.pop("QT_QPA_PLATFORM", None)
    xvfb, env["DISPLAY"] = start_xvfb()
    log = open(os.path.join(work, "horalet-%s.log" % with_makeup), "wb")
    app = subprocess.Popen(["faketime", "-f", "+%dd" % shift, program],
                           env=env, stdout=log, stderr=subprocess.STDOUT,
                           start_new_session=True)
    monitor = MonitorRecording()
    chunks = []
    try:
        while time.time() < end + 1:
            chunk = monitor.chunk()
            if not chunk:
                break
            chunks.append(chunk)
    finally:
        monitor.close()
        alive = app.poll() is None
        if alive:
            os.killpg(app.pid, signal.SIGTERM)
        app.wait()
        xvfb.terminate()
        xvfb.wait()
        log.close()
    print("%s, timetable %s: program clock %+d days (%s, a Sunday), start %s" %
          ("with 调休上班.ini" if with_makeup else "without it", season, shift, sunday,
           clock(start)))
    return start, end, chunks, alive, store


def main():
    program = os.path.abspath(sys.argv[1])
    if "PULSE_SERVER" not in os.environ:
        print("PULSE_SERVER is not set: the pulse fixture did not run")
        return 1
    if not shutil.which("faketime"):
        print("faketime is not installed")
        return 1
    work = tempfile.mkdtemp(prefix="horalet-makeup-")
    failures = []

    def heard(chunks, t0, t1):
        return [level > LOUD for t, level in chunks if t0 <= t - CHUNK_S and t <= t1]

    start, end, chunks, alive, _ = run_case(program, work, True, "holds")
    if not alive:
        failures.append("with the make-up day: the program ended early")
    window = heard(chunks, start + 4.5, end - 0.3)
    if not window or not all(window):
        failures.append("with the make-up day: the Monday task was not heard on the Sunday")

    start, end, chunks, alive, store = run_case(program, work, True, "misses")
    if not alive:
        failures.append("outside its timetable: the program ended early")
    if not chunks or any(heard(chunks, start - 1, end + 0.5)):
        failures.append("outside its timetable: the task was heard, or nothing was recorded")
    logged = ""
    log_dir = os.path.join(store, "播放记录")
    for name in os.listdir(log_dir) if os.path.isdir(log_dir) else []:
        with open(os.path.join(log_dir, name), encoding="utf-8-sig") as log_in:
            logged += log_in.read()
    if "不在作息表‘夏季’的日期内" not in logged:
        failures.append("outside its timetable: the play log does not say why: %r" % logged)

    start, end, chunks, alive, _ = run_case(program, work, False)
    if not alive:
        failures.append("without the make-up day: the program ended early")
    if not chunks:
        failures.append("without the make-up day: nothing was recorded")
    if any(heard(chunks, start - 1, end + 0.5)):
        failures.append("without the make-up day: sound on a Sunday whose box is ticked")

    if failures:
        for name in sorted(os.listdir(work)):
            if name.endswith(".log"):
                with open(os.path.join(work, name), "rb") as log_in:
                    sys.stdout.write(log_in.read().decode("utf-8", "replace")[-3000:])
        print("FAILED: " + "; ".join(failures))
        print("files kept in " + work)
        return 1
    shutil.rmtree(work)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
