#!/usr/bin/env python3
"""The campus from outside: the real program under Xvfb as the head-end of a real Snapcast
server with three rooms (snapclients playing into null sinks of the test's PulseAudio).

1. A task for 教学楼 (room1, room2) is heard in room1 and room2 and not in room3.
2. A task without a zone entry is heard in all three rooms.
3. With the server stopped, the next task is heard on the machine's own sink, and logged.
4. The server started again, the task after that is routed again (操场: room3 only).
5. A long task for 教学楼: the server killed while it plays, the rest is heard on the machine's
   own sink within 2 s, at the task's volume; the server started again before the task ends,
   the rooms are taken back and the machine's sink falls silent.
6. A task for 教学楼 with the server frozen under it (SIGSTOP: the connection stays open but
   nothing answers): the rest is heard on the machine's own sink within 2 s all the same.

Each campus start has its row in the play log naming the zones and the rooms online.

Before that, a run whose 广播分区.ini names a pipe the server does not read: the task is heard
on the machine's own sink, in no room, its row says "服务器没有读取管道 …", and no pipe is made
at that path.

Then a run under a server that reads a pipe at the configured path in a mount namespace of its
own (as one with a private /tmp does): the program sees the pipe read, the task plays into the
campus sink, the server's source stays idle, and the task is "未出声" with that reason within
9 s of its start second.

Usage: campus.py <horalet executable>
Needs PULSE_SERVER (the pulse fixture) and HORALET_SNAPCAST_DIR (the snapcast fixture).
"""

import math
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from scheduled_playback import (log_seconds, loudness, run_program, stop_program,  # noqa: E402
                                verdict, write_profile, write_tone)

FIXTURES = os.path.join(HERE, "..", "fixtures")
RATE = 48000
CHUNK_S = 0.1
LOUD = 300
LOCAL = "horalet_null"
ROOMS = ["room1", "room2", "room3"]
TASK_VOLUME = 30000
LEAD_S = 12
LENGTH_S = 8
# The server's buffer and the rooms' own latency: a room hears the head-end this much later.
ROOM_DELAY_S = 1.5
# The task the server is lost under, and when (after its start second) it goes and comes back.
LONG_S = 36
KILL_AT_S = 7
RESTART_AT_S = 12
FROZEN_S = 14  # the task the server freezes under, and when
FREEZE_AT_S = 7


class Recording:
    """A sink's monitor, read a tenth of a second at a time on a thread of its own. The
    monitor only delivers while some stream plays into the sink: silence is kept playing."""

    def __init__(self, sink, chunk_s=CHUNK_S):
        self.chunk_s = chunk_s
        self.chunks = []  # (arrival time, loudness)
        self.silence = subprocess.Popen(["pacat", "--playback", "-d", sink, "--raw",
                                         "--format=s16le", "--rate=%d" % RATE, "--channels=1"],
                                        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
        self.recorder = subprocess.Popen(["parec", "-d", sink + ".monitor", "--raw",
                                          "--format=s16le", "--rate=%d" % RATE, "--channels=1",
                                          "--latency-msec=20"], stdout=subprocess.PIPE)
        self.stop = threading.Event()
        threading.Thread(target=self._feed, daemon=True).start()
        threading.Thread(target=self._read, daemon=True).start()

    def _feed(self):
        zeros = bytes(int(RATE * 2 * self.chunk_s))
        try:
            while not self.stop.is_set():
                self.silence.stdin.write(zeros)
                self.silence.stdin.flush()
        except (BrokenPipeError, ValueError):
            pass

    def _read(self):
        size = int(RATE * self.chunk_s) * 2
        while True:
            raw = self.recorder.stdout.read(size)
            if not raw:
                return
            self.chunks.append((time.time(), loudness(raw)))

    def heard(self, t0, t1):
        return [level > LOUD for t, level in self.chunks if t0 <= t - self.chunk_s and t <= t1]

    def onset(self, t0, t1):
        """When the sound began: the start of the first loud chunk in t0..t1."""
        loud = [t - self.chunk_s for t, level in self.chunks
                if level > LOUD and t0 <= t - self.chunk_s <= t1]
        return loud[0] if loud else None

    def close(self):
        self.stop.set()
        self.recorder.terminate()
        self.recorder.wait()
        self.silence.kill()
        self.silence.wait()


def snapcast(action):
    subprocess.run([os.path.join(FIXTURES, "snapcast-ctl.sh"), os.environ["HORALET_SNAPCAST_DIR"],
                    action], check=True, stdout=subprocess.DEVNULL)


def fixture_settings():
    settings = {}
    with open(os.path.join(os.environ["HORALET_SNAPCAST_DIR"], "snapcast.env")) as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            if key:
                settings[key] = value
    return settings


def sink_volume(sink):
    words = subprocess.run(["pactl", "get-sink-volume", sink], capture_output=True,
                           text=True).stdout.replace(",", " ").split()
    numbers = [int(words[i + 1]) for i, w in enumerate(words)
               if w.endswith(":") and i + 1 < len(words) and words[i + 1].isdigit()]
    return numbers[0] if numbers else None


def log_rows(store, when):
    path = os.path.join(store, "播放记录", time.strftime("%Y-%m", time.localtime(when)) + ".csv")
    try:
        with open(path, "rb") as f:
            text = f.read()[3:].decode("utf-8")
    except OSError:
        return []
    return [line.split(",") for line in text.split("\r\n")[1:] if line]



def one_task_store(work, folder, name, start, length, tone, settings, pipe):
    """A store of one task for every room, at the task volume, with the campus on that pipe."""
    store = os.path.join(work, folder)
    os.mkdir(store)
    clock = lambda t: time.strftime("%H:%M:%S", time.localtime(t))
    write_profile(os.path.join(store, "song.ini"), [
        ("FileInfo0", [("Name", name), ("Time", clock(start)),
                       ("Duration", clock(start + length)), ("Type", str(TASK_VOLUME)),
                       ("Device", "每天"), ("Recurrence", "顺序播放"), ("Notes", "")])])
    write_profile(os.path.join(store, name + ".ini"),
                  [("歌曲", [("歌曲名称0", tone)]), ("多媒体文件数量", [("数量", "1")])])
    write_profile(os.path.join(store, "广播分区.ini"), [
        ("服务器", [("启用", "1"), ("地址", "127.0.0.1"),
                    ("控制端口", settings["SNAPCAST_CONTROL_PORT"]), ("管道", pipe)])])
    return store


def pipe_not_read(program, settings, work, tone):
    """The server reads another pipe than the one configured: heard here, with the reason."""
    elsewhere = os.path.join(work, "elsewhere.fifo")
    start = math.ceil(time.time()) + 10
    length = 5
    store = one_task_store(work, "store-pipe", "早读铃", start, length, tone, settings, elsewhere)
    app, xvfb, log = run_program(program, store, work, "horalet-pipe.log")
    records = {sink: Recording(sink) for sink in ROOMS + [LOCAL]}
    try:
        while time.time() < start + length + 2:
            time.sleep(0.1)
    finally:
        alive = stop_program(app, xvfb, log)
        for record in records.values():
            record.close()
    failures = [] if alive else ["pipe not read: the program ended before the test did"]
    for sink, record in records.items():
        window = record.heard(start + 4, start + length - 0.3)
        around = record.heard(start - 1, start + length + ROOM_DELAY_S + 1)
        if not window:
            failures.append("pipe not read: nothing recorded in %s" % sink)
        elif sink == LOCAL and not all(window):
            failures.append("pipe not read: not heard throughout on this machine")
        elif sink != LOCAL and any(around):
            failures.append("pipe not read: heard in %s" % sink)
    notes = [r[4] for r in log_rows(store, start) if len(r) >= 5 and r[2] == "早读铃"]
    reason = "服务器没有读取管道 " + elsewhere
    if not any(reason in note for note in notes):
        failures.append("pipe not read: play log %r lacks %r" % (notes, reason))
    if os.path.lexists(elsewhere):
        failures.append("pipe not read: a pipe was made at %s" % elsewhere)
    print("pipe not read: %s" % notes)
    return failures


def private_pipe(program, settings, work, tone):
    """The server reads another FIFO at the configured path: nothing written reaches it."""
    fixture = os.environ["HORALET_SNAPCAST_DIR"]
    hidden = os.path.join(work, "private.fifo")
    os.mkfifo(hidden, 0o600)
    snapcast("stop-server")
    with open(os.path.join(fixture, "snapserver.out"), "ab") as out:
        server = subprocess.Popen(
            ["unshare", "-m", "sh", "-c", 'mount --bind "$1" "$2" && exec snapserver -c "$3"',
             "sh", hidden, settings["SNAPCAST_FIFO"], settings["SNAPCAST_CONFIG"]],
            stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
    # snapcast-ctl.sh ends it (its command line names the configuration) and starts the usual
    # one again.
    with open(os.path.join(fixture, "snapserver.pid"), "w") as f:
        f.write("%d\n" % server.pid)
    start = math.ceil(time.time()) + 10
    length = 10
    store = one_task_store(work, "store-private", "午休铃", start, length, tone, settings,
                           settings["SNAPCAST_FIFO"])
    try:
        snapcast("wait-rooms")
        app, xvfb, log = run_program(program, store, work, "horalet-private.log")
        try:
            while time.time() < start + 9.5:
                time.sleep(0.1)
        finally:
            alive = stop_program(app, xvfb, log)
    finally:
        snapcast("start-server")
    failures = [] if alive else ["private pipe: the program ended before the test did"]
    rows = [r for r in log_rows(store, start) if len(r) >= 5 and r[2] == "午休铃"]
    print("private pipe: %s" % rows)
    reason = "服务器的音频流“horalet”没有收到声音（服务器没有读取管道 %s）" % settings["SNAPCAST_FIFO"]
    if not any(r[1] == "校园广播" and "全部 3/3" in r[4] for r in rows):
        failures.append("private pipe: not routed to the rooms: %s" % rows)
    told = [r for r in rows if r[1] == "未出声" and reason in r[4]]
    if not told:
        failures.append("private pipe: no 未出声 row naming %r" % reason)
    elif log_seconds(told[0][0]) > start + 9:
        failures.append("private pipe: 未出声 told at %s, later than 9 s after the start"
                        % told[0][0])
    return failures


def main():
    program = os.path.abspath(sys.argv[1])
    for needed in ("PULSE_SERVER", "HORALET_SNAPCAST_DIR"):
        if needed not in os.environ:
            print("%s is not set: its fixture did not run" % needed)
            return 1
    settings = fixture_settings()
    work = tempfile.mkdtemp(prefix="horalet-campus-")
    store = os.path.join(work, "store")
    os.mkdir(store)
    tone = os.path.join(work, "tone.wav")
    write_tone(tone, LONG_S + 10)
    subprocess.run(["pactl", "set-sink-volume", LOCAL, "65536"], check=True)
    early_failures = pipe_not_read(program, settings, work, tone)
    early_failures += private_pipe(program, settings, work, tone)

    s1 = math.ceil(time.time()) + LEAD_S  # 上课铃 -> 教学楼
    s2 = s1 + LENGTH_S + 3               # 全校通知 -> every room
    s3 = s2 + LENGTH_S + 4               # 下课铃 -> 教学楼, with the server stopped
    s4 = s3 + LENGTH_S + 20              # 课间操 -> 操场, the server back
    s5 = s4 + LENGTH_S + 3               # 午间广播 -> 教学楼, the server lost under it
    s6 = s5 + LONG_S + 3                 # 眼保健操 -> 教学楼, the server frozen under it
    tasks = [("上课铃", s1), ("全校通知", s2), ("下课铃", s3), ("课间操", s4), ("午间广播", s5),
             ("眼保健操", s6)]
    length = {"午间广播": LONG_S, "眼保健操": FROZEN_S}
    clock = lambda t: time.strftime("%H:%M:%S", time.localtime(t))
    write_profile(os.path.join(store, "song.ini"), [
        ("FileInfo%d" % i, [("Name", name), ("Time", clock(start)),
                            ("Duration", clock(start + length.get(name, LENGTH_S))),
                            ("Type", str(TASK_VOLUME)),
                            ("Device", "每天"), ("Recurrence", "顺序播放"), ("Notes", "")])
        for i, (name, start) in enumerate(tasks)])
    for name, _ in tasks:
        write_profile(os.path.join(store, name + ".ini"),
                      [("歌曲", [("歌曲名称0", tone)]), ("多媒体文件数量", [("数量", "1")])])
    write_profile(os.path.join(store, "广播分区.ini"), [
        ("服务器", [("启用", "1"), ("地址", "127.0.0.1"),
                    ("控制端口", settings["SNAPCAST_CONTROL_PORT"]), ("管道", settings["SNAPCAST_FIFO"])]),
        ("分区", [("教学楼", "room1,room2"), ("操场", "room3")]),
        ("任务分区", [("上课铃", "教学楼"), ("下课铃", "教学楼"), ("课间操", "操场"),
                      ("午间广播", "教学楼"), ("眼保健操", "教学楼")]),
    ])

    subprocess.run(["pactl", "set-sink-volume", LOCAL, "65536"], check=True)
    app, xvfb, log = run_program(program, store, work, "horalet.log")
    records = {sink: Recording(sink) for sink in ROOMS + [LOCAL]}
    volumes = {}
    server_stopped = server_started = False
    killed = restarted = None  # when the server went under 午间广播, and was back
    frozen = None
    server_pid = None
    try:
        while time.time() < s6 + FROZEN_S + 2:
            now = time.time()
            if "campus" not in volumes and now > s1 + 5:
                volumes["campus"] = sink_volume("horalet_campus")
                volumes["local"] = sink_volume(LOCAL)
            if not server_stopped and now > s2 + LENGTH_S + 1:
                snapcast("stop-server")
                server_stopped = True
            if "fallback" not in volumes and now > s3 + 5:
                volumes["fallback"] = sink_volume(LOCAL)
            if not server_started and now > s3 + LENGTH_S + 1:
                snapcast("start-server")
                server_started = True
            if "reset" not in volumes and now > s4 + LENGTH_S + 1:
                subprocess.run(["pactl", "set-sink-volume", LOCAL, "65536"], check=True)
                volumes["reset"] = 65536
            if killed is None and now > s5 + KILL_AT_S:
                killed = time.time()  # the script waits until the port is closed
                snapcast("stop-server")
            if "midtask" not in volumes and killed and now > killed + 3:
                volumes["midtask"] = sink_volume(LOCAL)
            if restarted is None and now > s5 + RESTART_AT_S:
                snapcast("start-server")
                restarted = time.time()
            if frozen is None and now > s6 + FREEZE_AT_S:
                with open(os.path.join(os.environ["HORALET_SNAPCAST_DIR"], "snapserver.pid")) as f:
                    server_pid = int(f.read().strip())
                os.kill(server_pid, signal.SIGSTOP)
                frozen = time.time()
            time.sleep(0.1)
    finally:
        if server_pid:
            os.kill(server_pid, signal.SIGCONT)
        alive = stop_program(app, xvfb, log)
        for record in records.values():
            record.close()
        if (server_stopped and not server_started) or (killed and not restarted):
            snapcast("start-server")

    failures = early_failures
    if not alive:
        failures.append("the program ended before the test did")

    # Loud all through its window (from the first item, three seconds after the start second,
    # plus the rooms' delay) or silent all through, on each sink.
    def expect(start, hearing, label):
        for sink, record in records.items():
            delay = 0 if sink == LOCAL else ROOM_DELAY_S
            window = record.heard(start + 3 + delay + 1, start + LENGTH_S - 0.3)
            around = record.heard(start - 1, start + LENGTH_S + delay + 1.5)
            if not window:
                failures.append("%s: nothing recorded in %s" % (label, sink))
            elif sink in hearing and not all(window):
                failures.append("%s: not heard throughout in %s" % (label, sink))
            elif sink not in hearing and any(around):
                failures.append("%s: heard in %s" % (label, sink))

    expect(s1, {"room1", "room2"}, "上课铃 (教学楼)")
    expect(s2, set(ROOMS), "全校通知 (no zone)")
    expect(s3, {LOCAL}, "下课铃 (server stopped)")
    expect(s4, {"room3"}, "课间操 (操场, server back)")

    # 午间广播: in the rooms, then here within 2 s of the loss, then in the rooms again.
    if killed and restarted:
        local, rooms = records[LOCAL], [records[r] for r in ("room1", "room2")]
        if not all(all(r.heard(s5 + 3 + ROOM_DELAY_S + 1, killed - 0.5)) for r in rooms):
            failures.append("午间广播: not heard in 教学楼 before the server was lost")
        if any(local.heard(s5 - 1, killed - 0.3)):
            failures.append("午间广播: heard here while the rooms had it")
        here = local.heard(killed + 2, restarted)
        if not here or not all(here):
            failures.append("午间广播: not heard here from 2 s after the loss: %s" % here)
        onset = local.onset(killed - 0.5, restarted)
        print("午间广播: heard here %.1f s after the server was killed" %
              ((onset - killed) if onset else -1))
        tail = (s5 + LONG_S - 6, s5 + LONG_S - 0.5)
        if not all(all(r.heard(*tail)) for r in rooms):
            failures.append("午间广播: rooms not taken back by %.0f s" % (tail[0] - s5))
        if any(local.heard(*tail)):
            failures.append("午间广播: still heard here after the rooms were taken back")
        if any(records["room3"].heard(s5 - 1, s5 + LONG_S + 1)):
            failures.append("午间广播: heard in room3")
        back = [t for t, level in local.chunks if level > LOUD and restarted < t < tail[0]]
        print("午间广播: server back %.1f s after its start, heard here until %.1f s" %
              (restarted - s5, (back[-1] - s5) if back else -1))

    # 眼保健操: the server frozen, not gone; found out by its silence all the same.
    if frozen:
        local = records[LOCAL]
        if any(local.heard(s6 - 1, frozen - 0.3)):
            failures.append("眼保健操: heard here while the rooms had it")
        here = local.heard(frozen + 2, s6 + FROZEN_S - 0.5)
        if not here or not all(here):
            failures.append("眼保健操: not heard here from 2 s after the server froze: %s" % here)
        onset = local.onset(frozen - 0.5, s6 + FROZEN_S)
        print("眼保健操: heard here %.1f s after the server froze" %
              ((onset - frozen) if onset else -1))

    expected = round(TASK_VOLUME * 65536 / 65535)
    if volumes.get("campus") != expected:
        failures.append("campus sink volume %s, expected %d" % (volumes.get("campus"), expected))
    if volumes.get("local") != 65536:
        failures.append("local sink changed to %s in campus mode" % volumes.get("local"))
    if volumes.get("fallback") != expected:
        failures.append("local sink volume %s when played locally" % volumes.get("fallback"))
    if volumes.get("midtask") != expected:
        failures.append("local sink volume %s after the loss mid-task" % volumes.get("midtask"))

    rows = [r for r in log_rows(store, s1) if len(r) >= 5 and r[1] == "校园广播"]
    notes = {}
    for r in rows:
        notes[r[2]] = notes.get(r[2], "") + r[4] + "\n"
    wanted = {"上课铃": "教学楼 2/2", "全校通知": "全部 3/3", "下课铃": "广播服务器不可用，已在本机播放",
              "课间操": "操场 1/1"}
    for text in ("教学楼 2/2", "与广播服务器的连接已断开，余下部分在本机播放",
                 "广播服务器已恢复，余下部分在校园广播播放：教学楼"):
        if text not in notes.get("午间广播", ""):
            failures.append("play log for 午间广播: %r lacks %r" % (notes.get("午间广播"), text))
    for task, text in wanted.items():
        if text not in notes.get(task, ""):
            failures.append("play log for %s: %r lacks %r" % (task, notes.get(task), text))

    # Each task was listened to on the sink it played to: the campus sink, or this machine's
    # output while the server was away.
    told = {}
    for r in log_rows(store, s1):
        if len(r) >= 5 and r[1] in ("已出声", "未出声", "输出音量", "无法确认出声"):
            told.setdefault(r[2], []).append(r[1])
    for task, _ in tasks:
        if told.get(task) != ["已出声"]:
            failures.append("%s: told %s, expected 已出声" % (task, told.get(task)))

    onsets = {sink: records[sink].onset(s2, s2 + LENGTH_S) for sink in ROOMS}
    if all(onsets.values()):
        spread = max(onsets.values()) - min(onsets.values())
        print("全校通知: onsets after the start second %s; spread %.1f s (chunks of %.1f s)" %
              ({k: round(v - s2, 1) for k, v in onsets.items()}, spread, CHUNK_S))
    print("volumes: %s" % volumes)
    print("campus rows: %s" % rows)
    return verdict(failures, work, [os.path.join(work, "horalet.log")], 4000)


if __name__ == "__main__":
    sys.exit(main())
