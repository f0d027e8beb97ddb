#!/usr/bin/env python3
"""Figures of the campus path, on a PulseAudio and a Snapcast server of its own with three
rooms (snapclients into null sinks): the real program plays the same tasks twice, once as the
head-end to every room, once on the machine's own sink.

Prints, per task, the delay from the start second to the first sound in each room and on the
local sink, the spread of the onsets across the rooms, and the head-end's CPU while playing
(the program, and the Snapcast server beside it).

The first item of a task is handed to the player three seconds after its start second by
design; the difference between the local and the room delays is the campus path's own.
Onsets are found in 5 ms chunks of each sink's monitor, all read on this machine.

Usage: bench/campus_latency.py [build-dir] [tasks]   (default build/, 5 tasks)
"""

import math
import os
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(TOP, "tests", "e2e"))
from campus import ROOMS, Recording  # noqa: E402
from scheduled_playback import start_xvfb, write_profile, write_tone  # noqa: E402

FIXTURES = os.path.join(TOP, "tests", "fixtures")
CHUNK_S = 0.005
LENGTH_S = 6
GAP_S = 3
LEAD_S = 12


def cpu_seconds(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except OSError:
        return None


def pid_of(name):
    out = subprocess.run(["pgrep", "-n", "-x", name], capture_output=True, text=True).stdout
    return int(out) if out.strip() else None


def run(program, work, campus, count, settings):
    store = os.path.join(work, "campus" if campus else "local")
    os.mkdir(store)
    tone = os.path.join(work, "tone.wav")
    if not os.path.exists(tone):
        write_tone(tone, LENGTH_S + 5)
    first = math.ceil(time.time()) + LEAD_S
    starts = [first + i * (LENGTH_S + GAP_S) for i in range(count)]
    clock = lambda t: time.strftime("%H:%M:%S", time.localtime(t))
    write_profile(os.path.join(store, "song.ini"), [
        ("FileInfo%d" % i, [("Name", "铃%d" % i), ("Time", clock(s)),
                            ("Duration", clock(s + LENGTH_S)), ("Type", "65535"),
                            ("Device", "每天"), ("Recurrence", "顺序播放"), ("Notes", "")])
        for i, s in enumerate(starts)])
    for i in range(count):
        write_profile(os.path.join(store, "铃%d.ini" % i),
                      [("歌曲", [("歌曲名称0", tone)]), ("多媒体文件数量", [("数量", "1")])])
    if campus:
        write_profile(os.path.join(store, "广播分区.ini"), [
            ("服务器", [("启用", "1"), ("地址", "127.0.0.1"),
                        ("控制端口", settings["SNAPCAST_CONTROL_PORT"]), ("管道", settings["SNAPCAST_FIFO"])])])
    env = dict(os.environ, HORALET_STORE_DIR=store, LC_ALL="C.UTF-8")
    env.pop("QT_QPA_PLATFORM", None)
    xvfb, env["DISPLAY"] = start_xvfb()
    sinks = ROOMS if campus else ["horalet_null"]
    records = {sink: Recording(sink, CHUNK_S) for sink in sinks}
    app = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, start_new_session=True)
    server = pid_of("snapserver")
    cpu = {}
    try:
        while time.time() < starts[0] + 3:
            time.sleep(0.05)
        cpu["from"] = (time.time(), cpu_seconds(app.pid), server and cpu_seconds(server))
        while time.time() < starts[-1] + LENGTH_S:
            time.sleep(0.05)
        cpu["to"] = (time.time(), cpu_seconds(app.pid), server and cpu_seconds(server))
        time.sleep(1)
    finally:
        os.killpg(app.pid, signal.SIGTERM)
        app.wait()
        for record in records.values():
            record.close()
        xvfb.terminate()
        xvfb.wait()
    onsets = []
    for s in starts:
        onsets.append({sink: (lambda o: None if o is None else o - s)(
            records[sink].onset(s, s + LENGTH_S)) for sink in sinks})
    (t0, a0, s0), (t1, a1, s1) = cpu["from"], cpu["to"]
    usage = {"horalet": 100 * (a1 - a0) / (t1 - t0)}
    if campus and s0 is not None and s1 is not None:
        usage["snapserver"] = 100 * (s1 - s0) / (t1 - t0)
    return onsets, usage


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(TOP, "build")
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    program = os.path.join(build, "src", "gui", "app", "horalet")
    work = tempfile.mkdtemp(prefix="horalet-campus-bench-")
    pulse_dir = os.path.join(work, "pulse")
    snap_dir = os.path.join(work, "snapcast")
    subprocess.run([os.path.join(FIXTURES, "pulse-start.sh"), pulse_dir], check=True,
                   stdout=subprocess.DEVNULL)
    os.environ["PULSE_SERVER"] = "unix:%s/native" % pulse_dir
    os.environ["HORALET_SNAPCAST_DIR"] = snap_dir
    os.environ.setdefault("XDG_RUNTIME_DIR", os.path.join(work, "run"))
    os.makedirs(os.environ["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
    subprocess.run([os.path.join(FIXTURES, "snapcast-start.sh"), snap_dir,
                    os.environ["PULSE_SERVER"]], check=True,
                   stdout=subprocess.DEVNULL)
    try:
        from campus import fixture_settings
        settings = fixture_settings()
        campus, campus_cpu = run(program, work, True, count, settings)
        local, local_cpu = run(program, work, False, count, settings)
    finally:
        subprocess.run([os.path.join(FIXTURES, "snapcast-stop.sh"), snap_dir])
        subprocess.run([os.path.join(FIXTURES, "pulse-stop.sh"), pulse_dir])

    ms = lambda v: "   -  " if v is None else "%6.0f" % (v * 1000)
    print("delay from the start second to the first sound (ms); spread across the rooms (ms)")
    print("task  " + "  ".join("%6s" % r for r in ROOMS) + "  spread   local")
    spreads, room_delays, local_delays = [], [], []
    for i, (c, l) in enumerate(zip(campus, local)):
        heard = [v for v in c.values() if v is not None]
        spread = (max(heard) - min(heard)) if len(heard) == len(ROOMS) else None
        if spread is not None:
            spreads.append(spread)
        room_delays.extend(heard)
        if l["horalet_null"] is not None:
            local_delays.append(l["horalet_null"])
        print("%4d  " % i + "  ".join(ms(c[r]) for r in ROOMS) + "  " + ms(spread) + "  " +
              ms(l["horalet_null"]))
    median = lambda xs: sorted(xs)[len(xs) // 2] if xs else None
    print("median delay: rooms %s ms, local %s ms; median spread %s ms, largest %s ms" %
          (ms(median(room_delays)).strip(), ms(median(local_delays)).strip(),
           ms(median(spreads)).strip(), ms(max(spreads) if spreads else None).strip()))
    print("CPU while playing: head-end program %.1f %% to three rooms (snapserver %.1f %%), "
          "%.1f %% on the local sink" % (campus_cpu["horalet"], campus_cpu.get("snapserver", 0),
                                          local_cpu["horalet"]))
    subprocess.run(["rm", "-rf", work])
    return 0


if __name__ == "__main__":
    sys.exit(main())
