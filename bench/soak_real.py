#!/usr/bin/env python3
"""The real soak run behind bench/soak_real.sh: the built program under Xvfb (offscreen when
there is no Xvfb), a task each minute, the null sink's monitor recorded throughout.

Usage: soak_real.py <horalet executable> <minutes> <work dir>   (PULSE_SERVER set)
"""

import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from scheduled_playback import (CHUNK_S, LOUD, SINK, MonitorRecording, pactl,  # noqa: E402
                                start_xvfb, write_profile, write_tone)

LEAD_S = 40      # launch to the first start second: room for start-up on a busy machine
TONE_S = 3       # length of each task's tone
LENGTH_S = 10    # start second to end second
STEP_S = 3       # the first item plays one playlist step after the start second
TASK_VOLUME = 30000


def memory_kib(pid):
    """Resident and virtual size of a process, in KiB."""
    fields = {}
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            key, _, value = line.partition(":")
            fields[key] = value.split()[0] if value.split() else "0"
    return int(fields.get("VmRSS", 0)), int(fields.get("VmSize", 0))


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def bursts(chunks):
    """(onset, offset) of each run of loud chunks; a gap of half a second splits runs."""
    runs = []
    for t, level in chunks:
        if level <= LOUD:
            continue
        if runs and t - runs[-1][1] <= 0.5:
            runs[-1][1] = t
        else:
            runs.append([t - CHUNK_S, t])
    return runs


def logged(store, event):
    """Tasks of the rows of one event in the play log (播放记录/YYYY-MM.csv), by task name."""
    folder = os.path.join(store, "播放记录")
    names = []
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        with open(os.path.join(folder, name), "rb") as f:
            text = f.read().decode("utf-8-sig", "replace")
        names += [row.split(",")[2] for row in text.split("\r\n")[1:]
                  if row.count(",") >= 4 and row.split(",")[1] == event]
    return names


def main():
    program, minutes, work = os.path.abspath(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    if not os.access(program, os.X_OK):
        print("no program at %s: build first" % program)
        return 2
    store = os.path.join(work, "store")
    os.mkdir(store)
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    tone = os.path.join(work, "tone.wav")
    write_tone(tone, TONE_S)

    # One task per minute at second 30, each with its own one-item playlist.
    first = (int(time.time() + LEAD_S) // 60 + 1) * 60 + 30
    starts = [first + 60 * k for k in range(minutes)]
    clock = lambda t: time.strftime("%H:%M:%S", time.localtime(t))
    tasks = []
    for k, start in enumerate(starts):
        name = "soak%04d" % k
        tasks.append(("FileInfo%d" % k, [("Name", name), ("Time", clock(start)),
                                         ("Duration", clock(start + LENGTH_S)),
                                         ("Type", str(TASK_VOLUME)), ("Device", "每天"),
                                         ("Recurrence", "顺序播放"), ("Notes", "")]))
        write_profile(os.path.join(store, name + ".ini"), [
            ("歌曲", [("歌曲名称0", tone)]),
            ("多媒体文件数量", [("数量", "1")]),
        ])
    write_profile(os.path.join(store, "song.ini"), tasks)

    pactl("set-sink-volume", SINK, "65536")
    env = dict(os.environ, HORALET_STORE_DIR=store, LC_ALL="C.UTF-8", XDG_RUNTIME_DIR=runtime)
    xvfb = None
    try:
        xvfb, env["DISPLAY"] = start_xvfb()
        env.pop("QT_QPA_PLATFORM", None)
    except (OSError, RuntimeError):
        env["QT_QPA_PLATFORM"] = "offscreen"
    log = open(os.path.join(work, "horalet.log"), "wb")
    launched = time.time()
    app = subprocess.Popen([program], env=env, stdout=log, stderr=subprocess.STDOUT,
                           start_new_session=True)
    print("%d tasks, %s .. %s; work files in %s" % (len(starts), clock(starts[0]),
                                                    clock(starts[-1]), work), flush=True)

    monitor = MonitorRecording()
    chunks = []
    memory = []  # (time, rss KiB, vsize KiB)
    next_sample = time.time() + 20
    alive = True
    try:
        while time.time() < starts[-1] + LENGTH_S + 5:
            chunk = monitor.chunk()
            if not chunk:
                break
            chunks.append(chunk)
            if chunk[0] >= next_sample:
                if app.poll() is not None:
                    alive = False
                    break
                memory.append((chunk[0],) + memory_kib(app.pid))
                next_sample += 60
        alive = alive and app.poll() is None
        cpu = cpu_seconds(app.pid) if alive else None
        if alive:
            memory.append((time.time(),) + memory_kib(app.pid))
    finally:
        monitor.close()
        if app.poll() is None:
            os.killpg(app.pid, signal.SIGTERM)
        app.wait()
        if xvfb:
            xvfb.terminate()
            xvfb.wait()
        log.close()

    # A start is heard when a tone begins within two seconds of one step after its second.
    heard = {}
    unexpected = []
    for onset, offset in bursts(chunks):
        start = min(starts, key=lambda s: abs(onset - (s + STEP_S)))
        if abs(onset - (start + STEP_S)) <= 2.0:
            heard.setdefault(start, []).append((onset, offset))
        else:
            unexpected.append(onset)
    missed = [s for s in starts if s not in heard]
    doubled = [s for s in starts if len(heard.get(s, [])) > 1]
    delays = [runs[0][0] - s for s, runs in heard.items()]

    print("starts expected %d, heard %d, missed %d, heard twice %d, tones at no start %d" %
          (len(starts), len(heard), len(missed), len(doubled), len(unexpected)))
    if delays:
        print("tone onset after the start second: %.2f .. %.2f s (one playlist step is %d s)" %
              (min(delays), max(delays), STEP_S))
    for s in missed:
        print("  missed %s" % clock(s))
    started = logged(store, "任务开始")
    print("play log: %d task starts logged (%d distinct tasks)" % (len(started), len(set(started))))
    # The program's own verdict on each start: every tone was recorded, so none may be unheard.
    heard_rows, unheard_rows = logged(store, "已出声"), logged(store, "未出声")
    print("play log: %d 已出声, %d 未出声" % (len(heard_rows), len(unheard_rows)))
    if memory:
        mib = lambda kib: kib / 1024.0
        # The first tones load the player's and the sound server's libraries: growth that
        # matters shows in the second half.
        settled = next((m for m in memory if m[0] > starts[0] + LENGTH_S), memory[-1])
        half = memory[len(memory) // 2]
        print("memory (RSS) at start %.1f MiB, after the first task %.1f MiB, at end %.1f MiB, "
              "highest %.1f MiB; drift over the second half %+.1f MiB; virtual %.1f -> %.1f MiB"
              % (mib(memory[0][1]), mib(settled[1]), mib(memory[-1][1]),
                 mib(max(m[1] for m in memory)), mib(memory[-1][1] - half[1]),
                 mib(memory[0][2]), mib(memory[-1][2])))
        print("RSS each minute (MiB): " + " ".join("%.0f" % mib(m[1]) for m in memory))
    if cpu is not None:
        print("CPU time of the program: %.1f s in %.1f min" % (cpu, (time.time() - launched) / 60))
    if not alive:
        print("the program ended before the run did; see %s" % os.path.join(work, "horalet.log"))
    ok = alive and not missed and not doubled and not unexpected and not unheard_rows \
        and len(heard_rows) == len(starts)
    print("ok" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
