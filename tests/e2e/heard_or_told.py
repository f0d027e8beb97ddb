#!/usr/bin/env python3
"""Heard, or told, from outside: the real program listens to its own output. A tone is
"已出声" with the delay the recording shows; the sink muted by hand before a task gives
"输出音量" at the start and "未出声" within 9 s of the start second; an item of pure silence
is "未出声"; a quiet 3 s intro then a tone is "已出声（迟 3 秒）".

Usage: heard_or_told.py <horalet executable>
Needs PULSE_SERVER (the pulse fixture) in the environment.
"""

import array
import math
import os
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scheduled_playback import (CHUNK_S, MonitorRecording, log_seconds, pactl,  # noqa: E402
                                run_program, stop_program, verdict, write_profile)

RATE = 44100
SINK = "horalet_null"
LEAD_S = 12     # launch to the first start second
SPACING_S = 12  # start second to the next task's start second
LENGTH_S = 10   # start second to end second
LOUD = 300      # RMS of a 0.1 s chunk that holds the tone


def write_wav(path, silence_s, tone_s):
    frames = array.array("h", [0] * int(RATE * silence_s))
    frames.extend(int(20000 * math.sin(2 * math.pi * 440 * i / RATE))
                  for i in range(int(RATE * tone_s)))
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames.tobytes())


def read_log(store, at):
    path = os.path.join(store, "播放记录", time.strftime("%Y-%m", time.localtime(at)) + ".csv")
    with open(path, "rb") as f:
        lines = f.read()[3:].decode("utf-8").split("\r\n")[1:]
    return [line.split(",", 4) for line in lines if line]


def main():
    program = os.path.abspath(sys.argv[1])
    if "PULSE_SERVER" not in os.environ:
        print("PULSE_SERVER is not set: the pulse fixture did not run")
        return 1
    work = tempfile.mkdtemp(prefix="horalet-heard-")
    store = os.path.join(work, "store")
    os.mkdir(store)
    # name: (quiet intro, tone) in seconds
    tasks = [("响铃", 0, 6), ("静音铃", 0, 6), ("无声", 6, 0), ("迟响", 3, 5)]
    first = math.ceil(time.time()) + LEAD_S
    starts = {name: first + i * SPACING_S for i, (name, _, _) in enumerate(tasks)}
    clock = lambda t: time.strftime("%H:%M:%S", time.localtime(t))
    sections = []
    for i, (name, intro, tone) in enumerate(tasks):
        item = os.path.join(work, "%d.wav" % i)
        write_wav(item, intro, tone)
        write_profile(os.path.join(store, name + ".ini"),
                      [("歌曲", [("歌曲名称0", item)]), ("多媒体文件数量", [("数量", "1")])])
        sections.append(("FileInfo%d" % i, [
            ("Name", name), ("Time", clock(starts[name])),
            ("Duration", clock(starts[name] + LENGTH_S)), ("Type", "30000"), ("Device", "每天"),
            ("Recurrence", "顺序播放"), ("Notes", "")]))
    write_profile(os.path.join(store, "song.ini"), sections)

    pactl("set-sink-mute", SINK, "0")
    pactl("set-sink-volume", SINK, "65536")
    app, xvfb, log = run_program(program, store, work)
    monitor = MonitorRecording()
    chunks = []  # (end time, loudness)
    muted = False
    mute_from, mute_to = starts["静音铃"] - 2, starts["静音铃"] + LENGTH_S + 0.5
    try:
        while time.time() < starts["迟响"] + LENGTH_S + 1:
            chunk = monitor.chunk()
            if not chunk:
                break
            chunks.append(chunk)
            # Muted by hand before the task, unmuted after its end second.
            if not muted and mute_from <= time.time() < mute_to:
                pactl("set-sink-mute", SINK, "1")
                muted = True
            elif muted and time.time() >= mute_to:
                pactl("set-sink-mute", SINK, "0")
                muted = False
    finally:
        monitor.close()
        pactl("set-sink-mute", SINK, "0")
        alive = stop_program(app, xvfb, log)

    failures = [] if alive else ["the program ended before the test did"]
    rows = read_log(store, first)
    told = {name: [r for r in rows if len(r) == 5 and r[2] == name and
                   r[1] in ("已出声", "未出声", "输出音量", "无法确认出声")] for name, _, _ in tasks}
    for name, kinds in told.items():
        print("%s (start %s): %s" % (name, clock(starts[name]),
                                     ["%s %s %s" % (r[0][11:], r[1], r[4]) for r in kinds]))

    def onset(name):
        loud = [t - CHUNK_S for t, level in chunks
                if level > LOUD and starts[name] <= t - CHUNK_S < starts[name] + LENGTH_S]
        return loud[0] - starts[name] if loud else None

    def since_start(note):
        # "…（任务开始后 3.4 秒）"
        return float(note.rsplit("任务开始后 ", 1)[1].split(" ")[0])

    # The tone: heard on time, the delay told matches what the sink carried.
    got = told["响铃"]
    heard_at = onset("响铃")
    if [r[1] for r in got] != ["已出声"] or heard_at is None:
        failures.append("响铃: expected one 已出声 and a recorded tone, got %s" % got)
    elif abs(since_start(got[0][4]) - heard_at) > 0.5:
        failures.append("响铃: told heard %.1f s after the start, the recording says %.1f s" %
                        (since_start(got[0][4]), heard_at))
    else:
        print("响铃: told %.2f s after the start second, recorded %.2f s" %
              (since_start(got[0][4]), heard_at))

    # Muted by hand: said at the start, then 未出声 within 9 s of the start second.
    got = told["静音铃"]
    if [r[1] for r in got] != ["输出音量", "未出声"] or "已静音" not in got[0][4] or \
            "已静音" not in got[1][4]:
        failures.append("静音铃: expected 输出音量 then 未出声 naming the mute, got %s" % got)
    elif log_seconds(got[1][0]) > starts["静音铃"] + 9:
        failures.append("静音铃: 未出声 told at %s, later than 9 s after its start" % got[1][0])

    # Pure silence: the item is blamed, nothing on the way.
    got = told["无声"]
    if [r[1] for r in got] != ["未出声"] or "项目解码后是静音" not in got[0][4]:
        failures.append("无声: expected 未出声 blaming the item, got %s" % got)

    # A quiet intro: heard 3 s late, as the recording shows.
    got = told["迟响"]
    heard_at = onset("迟响")
    if [r[1] for r in got] != ["已出声"] or not got[0][4].startswith("已出声（迟 3 秒）"):
        failures.append("迟响: expected 已出声（迟 3 秒）, got %s (recorded %s s after the start)"
                        % (got, heard_at))
    elif heard_at is None or abs(since_start(got[0][4]) - heard_at) > 0.5:
        failures.append("迟响: told %s, the recording says %s" % (got[0][4], heard_at))
    return verdict(failures, work, [os.path.join(work, "horalet.log")], 4000)


if __name__ == "__main__":
    sys.exit(main())
