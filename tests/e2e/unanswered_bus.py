#!/usr/bin/env python3
"""Start-up with a D-Bus that takes connections and never answers, and with no D-Bus at all:
the real program must reach its schedule, so a task due a few seconds after the launch plays
into the null sink at its volume.

Usage: unanswered_bus.py <horalet executable>
Needs PULSE_SERVER (the pulse fixture) in the environment.
"""

import math
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scheduled_playback import (SINK, pactl, sink_volumes, start_xvfb, verdict,  # noqa: E402
                                write_profile, write_tone)

HERE = os.path.dirname(os.path.abspath(__file__))
SILENT_BUS = os.path.join(HERE, "..", "fixtures", "silent_bus.py")
LEAD_S = 12
LENGTH_S = 6
TASK_VOLUME = 24000


def our_streams(pid):
    """Sink inputs of the process pid."""
    text = pactl("list", "sink-inputs")
    return [block for block in text.split("Sink Input #")[1:]
            if re.search(r'application\.process\.id = "%d"' % pid, block)]


def run_case(program, work, name, session, system):
    store = os.path.join(work, name)
    os.mkdir(store)
    tone = os.path.join(work, "tone.wav")
    if not os.path.exists(tone):
        write_tone(tone, 30)
    start = math.ceil(time.time()) + LEAD_S
    end = start + LENGTH_S
    clock = lambda t: time.strftime("%H:%M:%S", time.localtime(t))
    write_profile(os.path.join(store, "song.ini"), [
        ("FileInfo0", [("Name", "上课铃"), ("Time", clock(start)), ("Duration", clock(end)),
                       ("Type", str(TASK_VOLUME)), ("Device", "每天"),
                       ("Recurrence", "顺序播放"), ("Notes", "")]),
    ])
    write_profile(os.path.join(store, "上课铃.ini"), [
        ("歌曲", [("歌曲名称0", tone)]),
        ("多媒体文件数量", [("数量", "1")]),
    ])
    pactl("set-sink-volume", SINK, "65536")
    env = dict(os.environ, HORALET_STORE_DIR=store, LC_ALL="C.UTF-8",
               DBUS_SESSION_BUS_ADDRESS=session, DBUS_SYSTEM_BUS_ADDRESS=system)
    env.pop("QT_QPA_PLATFORM", None)
    xvfb, env["DISPLAY"] = start_xvfb()
    log_path = os.path.join(work, name + ".log")
    log = open(log_path, "wb")
    app = subprocess.Popen([program], env=env, stdout=log, stderr=subprocess.STDOUT,
                           start_new_session=True)
    heard_at = None
    volume = None
    failures_kill = False
    try:
        while time.time() < end and app.poll() is None:
            if our_streams(app.pid):
                heard_at = heard_at or time.time()
                volume = sink_volumes()
                if time.time() > start + 4:
                    break
            time.sleep(0.2)
        alive = app.poll() is None
    finally:
        if app.poll() is None:
            os.killpg(app.pid, signal.SIGTERM)
        try:
            app.wait(timeout=10)
        except subprocess.TimeoutExpired:
            # A program stuck before its event loop never sees the signal's request.
            failures_kill = True
            os.killpg(app.pid, signal.SIGKILL)
            app.wait()
        xvfb.terminate()
        xvfb.wait()
        log.close()
    failures = []
    if not alive:
        failures.append("%s: the program ended" % name)
    if failures_kill:
        failures.append("%s: the program did not end on SIGTERM" % name)
    if heard_at is None:
        failures.append("%s: no stream of the program in the task's window" % name)
    elif heard_at < start:
        failures.append("%s: played before the start second" % name)
    expected = round(TASK_VOLUME * 65536 / 65535)
    if heard_at and (not volume or any(abs(v - expected) > 1 for v in volume)):
        failures.append("%s: sink volume %s, expected %d" % (name, volume, expected))
    if heard_at:
        print("%s: stream from start%+.1f s at volume %s" % (name, heard_at - start, volume))
    if failures:
        with open(log_path, "rb") as log_in:
            sys.stdout.write(log_in.read().decode("utf-8", "replace")[-3000:])
    return failures


def main():
    program = os.path.abspath(sys.argv[1])
    if "PULSE_SERVER" not in os.environ:
        print("PULSE_SERVER is not set: the pulse fixture did not run")
        return 1
    work = tempfile.mkdtemp(prefix="horalet-bus-")
    socket_path = os.path.join(work, "silent.sock")
    silent = subprocess.Popen(["/usr/bin/python3", SILENT_BUS, socket_path],
                              stdout=subprocess.PIPE)
    try:
        if silent.stdout.readline().strip() != b"ready":
            print("the silent bus did not start")
            return 1
        address = "unix:path=" + socket_path
        failures = run_case(program, work, "silent", address, address)
        missing = "unix:path=" + os.path.join(work, "no-such-bus")
        failures += run_case(program, work, "absent", missing, missing)
    finally:
        silent.kill()
        silent.wait()
    return verdict(failures, work)


if __name__ == "__main__":
    sys.exit(main())
