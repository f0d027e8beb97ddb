#!/usr/bin/env python3
"""The sound server from outside: the real program under Xvfb with a PulseAudio of the
test's own, killed under a playing task and started again, and not there at all when the
program starts.

1. Task A plays; the server is killed, then started again: A is heard again within its window
   at its volume, and task B plays at its second at its own volume.
2. The program starts with no server; the server comes before the task's second: it plays.

Usage: sound_server_loss.py <horalet executable>
"""

import math
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from scheduled_playback import start_xvfb, verdict, write_profile, write_tone  # noqa: E402

FIXTURES = os.path.join(HERE, "..", "fixtures")
SINK = "horalet_null"


def pactl(*args):
    return subprocess.run(["pactl", *args], capture_output=True, text=True).stdout


def streams_of(pid):
    return len(re.findall(r'application\.process\.id = "%d"' % pid, pactl("list", "sink-inputs")))


def sink_volume():
    words = pactl("get-sink-volume", SINK).replace(",", " ").split()
    numbers = [int(words[i + 1]) for i, w in enumerate(words)
               if w.endswith(":") and i + 1 < len(words) and words[i + 1].isdigit()]
    return numbers[0] if numbers else None


def at(volume):
    """Whether the sink stands at the task's volume (0..65535 as PulseAudio's 0..65536)."""
    return sink_volume() == round(volume * 65536 / 65535)


def pulse(action, directory):
    subprocess.run([os.path.join(FIXTURES, "pulse-%s.sh" % action), directory],
                   check=action == "start", stdout=subprocess.DEVNULL)


def wait_for(condition, until):
    while time.time() < until:
        if condition():
            return True
        time.sleep(0.2)
    return False


def task(name, start, end, volume):
    clock = lambda t: time.strftime("%H:%M:%S", time.localtime(t))
    return (name, [("Name", name), ("Time", clock(start)), ("Duration", clock(end)),
                   ("Type", str(volume)), ("Device", "每天"), ("Recurrence", "顺序播放"),
                   ("Notes", "")])


def launch(program, work, name, tasks, tone):
    store = os.path.join(work, name)
    os.mkdir(store)
    write_profile(os.path.join(store, "song.ini"),
                  [("FileInfo%d" % i, keys) for i, (_, keys) in enumerate(tasks)])
    for task_name, _ in tasks:
        write_profile(os.path.join(store, task_name + ".ini"),
                      [("歌曲", [("歌曲名称0", tone)]), ("多媒体文件数量", [("数量", "1")])])
    env = dict(os.environ, HORALET_STORE_DIR=store, LC_ALL="C.UTF-8")
    env.pop("QT_QPA_PLATFORM", None)
    xvfb, env["DISPLAY"] = start_xvfb()
    log = open(os.path.join(work, name + ".log"), "wb")
    app = subprocess.Popen([program], env=env, stdout=log, stderr=subprocess.STDOUT,
                           start_new_session=True)
    return app, xvfb, log


def finish(app, xvfb, log):
    if app.poll() is None:
        os.killpg(app.pid, signal.SIGTERM)
    try:
        app.wait(timeout=10)
    except subprocess.TimeoutExpired:
        os.killpg(app.pid, signal.SIGKILL)
        app.wait()
    xvfb.terminate()
    xvfb.wait()
    log.close()


def server_lost_and_back(program, work, pulse_dir, tone):
    failures = []
    pulse("start", pulse_dir)
    s = math.ceil(time.time()) + 12
    tasks = [task("上课铃", s, s + 25, 20000), task("下课铃", s + 27, s + 36, 40000)]
    app, xvfb, log = launch(program, work, "lost", tasks, tone)
    try:
        if not wait_for(lambda: streams_of(app.pid), s + 7):
            failures.append("task A not heard before the server went")
        pulse("stop", pulse_dir)
        time.sleep(3)
        pulse("start", pulse_dir)
        back = time.time()
        if wait_for(lambda: streams_of(app.pid), s + 24):
            print("task A heard again %.1f s after the server came back" % (time.time() - back))
            time.sleep(0.5)
            if not at(20000):
                failures.append("task A again at volume %s, expected 20000" % sink_volume())
        else:
            failures.append("task A not heard again in its window")
        # B: the first item at its step three seconds after its second.
        if not wait_for(lambda: streams_of(app.pid) and at(40000), s + 33):
            failures.append("task B not heard at volume 40000 (volume %s)" % sink_volume())
        if app.poll() is not None:
            failures.append("the program ended")
    finally:
        finish(app, xvfb, log)
    return failures


def no_server_at_start(program, work, pulse_dir, tone):
    failures = []
    pulse("stop", pulse_dir)
    s = math.ceil(time.time()) + 14
    app, xvfb, log = launch(program, work, "late", [task("上课铃", s, s + 10, 30000)], tone)
    try:
        time.sleep(6)
        pulse("start", pulse_dir)
        if not wait_for(lambda: streams_of(app.pid) and at(30000), s + 8):
            failures.append("a task after the server came was not heard at its volume")
        if app.poll() is not None:
            failures.append("the program ended")
    finally:
        finish(app, xvfb, log)
    return failures


def main():
    program = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="horalet-sound-")
    pulse_dir = os.path.join(work, "pulse")
    os.environ["PULSE_SERVER"] = "unix:%s/native" % pulse_dir
    tone = os.path.join(work, "tone.wav")
    write_tone(tone, 60)
    try:
        failures = server_lost_and_back(program, work, pulse_dir, tone)
        failures += no_server_at_start(program, work, pulse_dir, tone)
    finally:
        pulse("stop", pulse_dir)
    return verdict(failures, work, [os.path.join(work, name + ".log") for name in ("lost", "late")])


if __name__ == "__main__":
    sys.exit(main())
