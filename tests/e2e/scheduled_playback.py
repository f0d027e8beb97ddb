#!/usr/bin/env python3
"""The program's main job, seen from outside: a task in song.ini plays its tone at its
second, at its volume, and stops at its end second. A second task's short tone ends before
its end second, and the play log says when each sequence ended: at the moment the sound
stopped, checked against the recording.

Runs the real program under Xvfb against a private PulseAudio server whose default sink is
a null sink, records that sink's monitor, and checks when the tone was heard.

Usage: scheduled_playback.py <horalet executable>
Needs PULSE_SERVER (the pulse fixture) in the environment.
"""

import array
import math
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import wave

RATE = 44100
CHUNK_S = 0.1
TONE_HZ = 440
TASK_VOLUME = 30000
SINK = "horalet_null"
LEAD_S = 12    # launch to start second: room for Xvfb and start-up on a busy machine
LENGTH_S = 8   # start second to end second
GAP_S = 3      # first task's end second to the second task's start second
SHORT_S = 6    # the second task's tone, over before its end second
LENGTH2_S = 14
LOUD = 300     # RMS of a chunk that holds the tone; silence is 0


def write_tone(path, seconds):
    frames = array.array("h", (int(30000 * math.sin(2 * math.pi * TONE_HZ * i / RATE))
                               for i in range(int(RATE * seconds))))
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames.tobytes())


def write_profile(path, sections):
    """A profile file in the store's format: code page 936 (GBK) INI text with CRLF line ends."""
    lines = []
    for name, keys in sections:
        lines.append("[%s]" % name)
        lines.extend("%s=%s" % kv for kv in keys)
    with open(path, "wb") as out:
        out.write(("\r\n".join(lines) + "\r\n").encode("gbk"))


def pactl(*args):
    return subprocess.run(["pactl", *args], check=True, capture_output=True,
                          text=True).stdout


def sink_volumes():
    # "Volume: front-left: 30000 /  46% / -20.20 dB,   front-right: 30000 / ..."
    words = pactl("get-sink-volume", SINK).replace(",", " ").split()
    return [int(words[i + 1]) for i, w in enumerate(words) if w.endswith(":") and
            w not in ("Volume:", "balance") and i + 1 < len(words) and words[i + 1].isdigit()]


def loudness(raw):
    samples = array.array("h")
    samples.frombytes(raw[: len(raw) // 2 * 2])
    if not samples:
        return 0.0
    return math.sqrt(sum(s * s for s in samples) / len(samples))


class MonitorRecording:
    """The null sink's monitor, read a chunk at a time. The monitor only delivers while a
    stream plays into the sink, so silence is kept playing alongside."""

    def __init__(self):
        self.silence = subprocess.Popen(["pacat", "--playback", "-d", SINK, "--raw",
                                         "--format=s16le", "--rate=%d" % RATE, "--channels=1"],
                                        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
        self.stop_silence = threading.Event()
        threading.Thread(target=self._feed_silence, daemon=True).start()
        self.recorder = subprocess.Popen(["parec", "-d", SINK + ".monitor", "--raw",
                                          "--format=s16le", "--rate=%d" % RATE, "--channels=1",
                                          "--latency-msec=20"], stdout=subprocess.PIPE)

    def _feed_silence(self):
        zeros = bytes(int(RATE * 2 * CHUNK_S))
        try:
            while not self.stop_silence.is_set():
                self.silence.stdin.write(zeros)
                self.silence.stdin.flush()
        except (BrokenPipeError, ValueError):
            pass

    def chunk(self):
        """(arrival time, loudness) of the next tenth of a second, or None at the end. The
        chunk holds the sound of the tenth of a second before it arrived."""
        raw = self.recorder.stdout.read(int(RATE * CHUNK_S) * 2)
        if not raw:
            return None
        return time.time(), loudness(raw)

    def close(self):
        self.recorder.terminate()
        self.recorder.wait()
        self.stop_silence.set()
        self.silence.kill()
        self.silence.wait()


def verdict(failures, work, logs=(), tail=2000):
    """Prints the outcome and returns the exit status. On failure the end of each program
    log is shown and the work folder kept; otherwise the folder goes."""
    if failures:
        for path in logs:
            if os.path.exists(path):
                with open(path, "rb") as log_in:
                    sys.stdout.write(log_in.read().decode("utf-8", "replace")[-tail:])
        print("FAILED: " + "; ".join(failures))
        print("files kept in " + work)
        return 1
    subprocess.run(["rm", "-rf", work])
    print("ok")
    return 0


def start_xvfb():
    """A display of our own: Xvfb picks a free number, so parallel tests never share one."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp"], pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        display = numbers.readline().strip()
    if not display:
        xvfb.kill()
        raise RuntimeError("Xvfb did not start")
    return xvfb, ":" + display


def run_program(program, store, work, name="horalet.log"):
    """The program on a private Xvfb with the store, its output into work/name."""
    env = dict(os.environ, HORALET_STORE_DIR=store, LC_ALL="C.UTF-8")
    env.pop("QT_QPA_PLATFORM", None)
    xvfb, env["DISPLAY"] = start_xvfb()
    log = open(os.path.join(work, name), "wb")
    app = subprocess.Popen([program], env=env, stdout=log, stderr=subprocess.STDOUT,
                           start_new_session=True)
    return app, xvfb, log


def stop_program(app, xvfb, log):
    """Ends what run_program started; whether the program was still running."""
    alive = app.poll() is None
    os.killpg(app.pid, signal.SIGTERM)
    app.wait()
    xvfb.terminate()
    xvfb.wait()
    log.close()
    return alive


def log_seconds(text):
    return time.mktime(time.strptime(text, "%Y-%m-%d %H:%M:%S"))


def pass_end_failures(rows, task, t0, t1, label):
    """The task's "顺序播放结束" row is stamped with the second that holds t0..t1."""
    ends = [r for r in rows if len(r) >= 5 and r[1] == "顺序播放结束" and r[2] == task]
    if len(ends) != 1:
        return ["%s: expected one 顺序播放结束 row, got %s" % (task, ends)]
    at = log_seconds(ends[0][0])
    if not (t0 - 1 < at <= t1):
        return ["%s: 顺序播放结束 logged at %s, but %s at %.1f..%.1f" %
                (task, ends[0][0], label, t0, t1)]
    return []


def play_log_failures(store, start, tone, missing):
    """The month's play log holds the task's start, its item and its end second, in order."""
    path = os.path.join(store, "播放记录", time.strftime("%Y-%m", time.localtime(start)) + ".csv")
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        return ["no play log: %s" % e]
    if not data.startswith(b"\xef\xbb\xbf"):
        return ["play log without its BOM"]
    lines = data[3:].decode("utf-8").split("\r\n")
    rows = [line.split(",") for line in lines[1:] if line]
    wanted = [("任务开始", ""), ("项目开始", tone), ("到达结束时间", "")]
    kinds = [kind for kind, _ in wanted]
    ours = [(r[1], r[3]) for r in rows if len(r) >= 5 and r[2] == "上课铃" and r[1] in kinds]
    if ours != wanted or rows[0][1] != "程序启动":
        return ["play log rows %s, expected 程序启动 then %s" % (rows, wanted)]
    # Found at start-up, long before the task's own start second.
    flagged = [r for r in rows if len(r) >= 5 and r[1] == "文件问题" and r[2] == "坏铃"
               and r[3] == missing]
    if not flagged or flagged[0][0] > time.strftime("%Y-%m-%d %H:%M:%S",
                                                     time.localtime(start)):
        return ["missing file of 坏铃 not in the play log before %s: %s" % (start, rows)]
    return []


def main():
    program = os.path.abspath(sys.argv[1])
    if "PULSE_SERVER" not in os.environ:
        print("PULSE_SERVER is not set: the pulse fixture did not run")
        return 1
    work = tempfile.mkdtemp(prefix="horalet-e2e-")
    store = os.path.join(work, "store")
    os.mkdir(store)
    tone = os.path.join(work, "tone.wav")
    write_tone(tone, LEAD_S + LENGTH_S + 15)
    short = os.path.join(work, "short.wav")
    write_tone(short, SHORT_S)

    start = math.ceil(time.time()) + LEAD_S
    end = start + LENGTH_S
    start2 = end + GAP_S
    end2 = start2 + LENGTH2_S
    clock = lambda t: time.strftime("%H:%M:%S", time.localtime(t))
    write_profile(os.path.join(store, "song.ini"), [
        ("FileInfo0", [("Name", "上课铃"), ("Time", clock(start)), ("Duration", clock(end)),
                       ("Type", str(TASK_VOLUME)), ("Device", "每天"),
                       ("Recurrence", "顺序播放"), ("Notes", "")]),
        ("FileInfo2", [("Name", "下课铃"), ("Time", clock(start2)), ("Duration", clock(end2)),
                       ("Type", str(TASK_VOLUME)), ("Device", "每天"),
                       ("Recurrence", "顺序播放"), ("Notes", "")]),
        ("FileInfo1", [("Name", "坏铃"), ("Time", clock(start + 3600)),
                       ("Duration", clock(start + 3660)), ("Type", str(TASK_VOLUME)),
                       ("Device", "每天"), ("Recurrence", "顺序播放"), ("Notes", "")]),
    ])
    # A task due later today whose playlist names a missing file: the check of what will
    # play names it in the log within seconds of start-up.
    missing = os.path.join(work, "不在了.mp3")
    write_profile(os.path.join(store, "坏铃.ini"), [
        ("歌曲", [("歌曲名称0", missing)]),
        ("多媒体文件数量", [("数量", "1")]),
    ])
    write_profile(os.path.join(store, "上课铃.ini"), [
        ("歌曲", [("歌曲名称0", tone)]),
        ("多媒体文件数量", [("数量", "1")]),
    ])
    write_profile(os.path.join(store, "下课铃.ini"), [
        ("歌曲", [("歌曲名称0", short)]),
        ("多媒体文件数量", [("数量", "1")]),
    ])

    pactl("set-sink-volume", SINK, "65536")
    app, xvfb, log = run_program(program, store, work)
    monitor = MonitorRecording()
    # The start of the recording does not matter.
    chunks = []  # (end time, loudness)
    volume_during = None
    try:
        while time.time() < end2 + 1:
            chunk = monitor.chunk()
            if not chunk:
                break
            chunks.append(chunk)
            if volume_during is None and time.time() > start + 5:
                volume_during = sink_volumes()
    finally:
        monitor.close()
        alive = stop_program(app, xvfb, log)

    def heard(t0, t1):
        return [level > LOUD for t, level in chunks if t0 <= t - CHUNK_S and t <= t1]

    failures = []
    if not alive:
        failures.append("the program ended before the test did")
    if not chunks:
        failures.append("nothing was recorded")
    if any(heard(0, start + 2.5)):
        failures.append("tone heard before about three seconds after the start second")
    if not all(heard(start + 4.5, end - 0.3)):
        failures.append("tone not heard throughout from start+4.5 s to the end second")
    if any(heard(end + 0.7, end + 4.8)):
        failures.append("tone still heard after the end second")
    expected = round(TASK_VOLUME * 65536 / 65535)
    if not volume_during or any(abs(v - expected) > 1 for v in volume_during):
        failures.append("sink volume %s, expected %d" % (volume_during, expected))

    failures.extend(play_log_failures(store, start, tone, missing))

    # The short tone: heard from about three seconds after its start, then silence before
    # its task's end second. Its sequence ended when the sound did, not when it began.
    loud2 = [t for t, level in chunks if level > LOUD and t - CHUNK_S >= start2]
    if not loud2 or loud2[-1] > end2 - 1:
        failures.append("short tone not heard ending before its end second: %s" % loud2[-1:])
    else:
        path = os.path.join(store, "播放记录", time.strftime("%Y-%m", time.localtime(start)) +
                            ".csv")
        with open(path, "rb") as f:
            rows = [line.split(",") for line in f.read()[3:].decode("utf-8").split("\r\n")[1:]
                    if line]
        # The sound stops within the chunk that ends at the last loud chunk's successor.
        failures.extend(pass_end_failures(rows, "下课铃", loud2[-1] - CHUNK_S, loud2[-1] + 0.4,
                                          "the tone stopped"))
        # The long tone was cut at the end second: its sequence ended then.
        failures.extend(pass_end_failures(rows, "上课铃", end, end + 1, "the end second came"))

    loud = [t for t, level in chunks if level > LOUD]
    onset, offset = (loud[0] - CHUNK_S, loud[-1]) if loud else (None, None)
    print("start second %s, end second %s" % (clock(start), clock(end)))
    if onset:
        print("tone heard from start%+.1f s to end%+.1f s" % (onset - start, offset - end))
    print("sink volume while playing: %s (expected %d)" % (volume_during, expected))
    return verdict(failures, work, [os.path.join(work, "horalet.log")], 4000)


if __name__ == "__main__":
    sys.exit(main())
