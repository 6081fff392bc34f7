#!/usr/bin/env python3
"""Picture against music as heard, for the Windows build's live run under Wine.

  bench/wine_av.py [--rate R] [--stall-at S] [--start T] [--limit MS] [BUILD [SOURCE]]

The device: Wine's sound output plays into ALSA, whose default device here
is our test sound card (BUILD/tests/libasound_module_pcm_kvtest.so, from
tests/windows/tools/AlsaTestDevice.cpp): R x 44,100 frames a second by its
own clock (1.001 and 0.999: 0.1 % fast and slow), standing still for 200 ms
S seconds after the music began, telling ALSA its delay truthfully. It
records each frame it plays and when. Silence it played for want of data
(an underrun) or Wine wrote before the music is not music: the music's
position is counted over the frames from its first non-zero one, leaving out
runs of 64 or more zero frames.

The exe (from BUILD/windows/package, run with --window --seed 1 --start
T) writes each frame's wall time, show time and the music's cue
(NERITH_FRAME_LOG): the picture at show time X belongs with the music at X -
cue. At every whole second of music, the frame nearest it (within 100 ms) is
compared with the music heard then: "after" is the show's clock, "before" the
steady clock from the first live frame (what a live run did before its clock
followed the music), up to 0.3 s before the music's last frame. Prints the worst and
median offsets (WINE_AV_DEBUG=1: each second's figures too).

Runs under its own Xvfb (xvfb-run) and BUILD's Wine prefix
(scripts/wine-env.sh). Exit status 0 when it measured (and, with --limit,
every second was within MS), 1 otherwise.
"""
import argparse
import bisect
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import threading


ZERO_RUN = 64  # frames


class Device:
    """The test sound card's record (tests/windows/tools/AlsaTestDevice.cpp):
    the frames it played, in order, and (wall seconds, frames played in all)
    after each step of its clock."""

    def __init__(self, prefix):
        self.data = open(prefix + ".raw", "rb").read()
        self.reads, self.queued = [], []
        for line in open(prefix + ".log"):
            us, n, queued = line.split()
            self.reads.append((int(us) / 1e6, int(n)))
            self.queued.append(int(queued))
        self.format = (2, 44100, 16)
        self.silence = int(open(prefix + ".end").read().split()[3])
        first = (len(self.data) - len(self.data.lstrip(b"\0"))) // 4
        last = len(self.data.rstrip(b"\0")) // 4
        self.music_from = next((t for t, n in self.reads if n > first), None)
        self.music_to = next((t for t, n in self.reads if n >= last), None)


def music_counter(data, frame):
    """first, skipped: the index of the first non-zero frame, and the
    (start, end) frame runs of ZERO_RUN or more zero frames after it."""
    first = (len(data) - len(data.lstrip(b"\0"))) // frame
    runs, zeros, at = [], b"\0" * (ZERO_RUN * frame), first * frame
    while True:
        found = data.find(zeros, at)
        if found < 0:
            break
        found -= found % frame
        end = found
        while end < len(data) and data[end:end + frame] == b"\0" * frame:
            end += frame
        if end - found >= ZERO_RUN * frame:
            runs.append((found // frame, end // frame))
        at = max(end, found + frame)
    return first, runs


def raise_show(done, raised, show, prefix):
    """Gives the exe's threads (run in show) the priority a foreground
    program with sound has, where allowed: Wine 8 maps no thread priority,
    so its sound thread (winealsa_timer, which moves the frames into ALSA
    every 10 ms) and the show's drawing wait behind a loaded machine's other
    work; the card then runs dry, Wine's clock (counted by that thread) is
    off, and frames are shown late. A sound server's thread runs real-time
    (PulseAudio, PipeWire); here the show's threads get nice -5, Wine's own
    (its sound thread, its server) -10."""
    while not done.wait(0.05):
        for task in glob.glob("/proc/[0-9]*/task/[0-9]*/comm"):
            tid = int(task.split("/")[4])
            if tid in raised:
                continue
            try:
                process = task.rsplit("/", 3)[0]
                name = open(task).read().strip()
                if open(process + "/comm").read().startswith("wineserver"):
                    # Every wait and event of Wine 8 goes through its server.
                    if prefix not in open(process + "/environ", "rb").read().split(b"\0"):
                        continue
                elif os.readlink(process + "/cwd") != show or b"nerith.exe" not in open(process + "/cmdline", "rb").read():
                    continue
                os.setpriority(os.PRIO_PROCESS, tid, -5 if name.startswith("nerith") else -10)
                raised[tid] = True
            except OSError:
                raised[tid] = False  # gone, or not ours to raise


def wine_environment(build, source):
    out = subprocess.run(["bash", "-c", f'source "{source}/scripts/wine-env.sh" "{build}" >&2 && env -0'],
                         capture_output=True, check=True).stdout
    return dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)


def measure(args, work):
    env = wine_environment(args.build, args.source)
    home = os.path.join(work, "home")
    os.makedirs(home)
    card = os.path.join(args.build, "tests", "libasound_module_pcm_kvtest.so")
    if not os.path.exists(card):
        raise RuntimeError(f"no {card}: build the target asound_module_pcm_kvtest")
    heard = os.path.join(work, "heard")
    with open(os.path.join(home, ".asoundrc"), "w") as f:
        f.write(f'pcm_type.kvtest {{ lib "{card}" }}\n'
                f'pcm.!default {{ type kvtest; rate {args.rate}; stall_at {args.stall_at}; stall_ms 200; '
                f'record "{heard}" }}\nctl.!default {{ type null }}\n')
    packages = os.path.join(args.build, "windows", "package")
    show = os.path.join(work, "show")
    shutil.copytree(os.path.join(packages, sorted(os.listdir(packages))[0]), show)
    frames_log = os.path.join(work, "frames.txt")
    env.update(HOME=home, KELVRA_NO_MESSAGEBOX="1", NERITH_FRAME_LOG=subprocess.run(
        ["winepath", "-w", frames_log], env=env, capture_output=True, text=True).stdout.strip())
    try:
        done, raised = threading.Event(), {}
        watcher = threading.Thread(target=raise_show, args=(done, raised, show, f"WINEPREFIX={env['WINEPREFIX']}".encode()), daemon=True)
        watcher.start()
        try:
            run = subprocess.run(["wine", "nerith.exe", "--window", "--seed", "1", "--start", str(args.start)],
                                 cwd=show, env=env, capture_output=True, text=True, timeout=300)
        finally:
            done.set()
            watcher.join()
    finally:
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=env, capture_output=True)
    if run.returncode != 0:
        raise RuntimeError(f"nerith.exe ended with status {run.returncode}: {run.stderr[-2000:]}")
    if not os.path.exists(heard + ".end"):
        raise RuntimeError("the test sound card was not opened (or not closed)")
    device = Device(heard)
    device.raised = sum(raised.values())
    if device.music_from is None:
        raise RuntimeError("no music was heard")
    channels, rate, bits = device.format
    frame = channels * bits // 8
    first, runs = music_counter(bytes(device.data), frame)
    skipped_before = [0]
    for a, b in runs:
        skipped_before.append(skipped_before[-1] + b - a)
    frames = [tuple(int(v) for v in line.split()) for line in open(frames_log)]
    cue = frames[-1][2]
    start_ms = (args.start * 1000 + 39) // 40 * 40
    reads_t = [t for t, _ in device.reads]
    run_starts = [a for a, _ in runs]

    def heard_ms(wall):
        """The music's position (ms) heard at wall time, or None before it."""
        i = bisect.bisect_right(reads_t, wall) - 1
        if i < 0 or device.reads[i][1] <= first:
            return None
        read = device.reads[i][1]
        n = bisect.bisect_right(run_starts, read)  # runs that began before it
        skipped = skipped_before[n - 1] + min(read, runs[n - 1][1]) - runs[n - 1][0] if n else 0
        return (start_ms - cue) + (read - first - skipped) * 1000.0 / rate

    if os.environ.get("WINE_AV_DEBUG"):
        print("zero runs (ms of music from its first frame): " + ", ".join(
            f"{(a - first) / 44.1:.0f}+{(b - a) / 44.1:.1f}" for a, b in runs), file=sys.stderr)
    live = [(us / 1e6, show) for us, show, _ in frames]
    landing = next((w, s) for w, s in live if s >= start_ms)
    after, before = [], []
    due = device.music_from + 1.0
    # Not in the song's last 0.3 s: its fade has runs of zeros the count leaves out.
    while due <= min(live[-1][0], device.music_to - 0.3):
        near = min(live, key=lambda f: abs(f[0] - due))
        heard = heard_ms(near[0])
        if abs(near[0] - due) <= 0.1 and heard is not None:
            after.append(near[1] - cue - heard)
            steady = landing[1] + (near[0] - landing[0]) * 1000.0
            if os.environ.get("WINE_AV_DEBUG"):
                queued = device.queued[bisect.bisect_right(reads_t, near[0]) - 1] * 1000.0 / rate
                k = live.index(near)
                gaps = [round((live[j][0] - live[j - 1][0]) * 1000) for j in range(max(1, k - 2), min(len(live), k + 3))]
                print(f"{due - device.music_from:.0f} s: show {near[1]} cue {cue} heard {heard:.1f} "
                      f"steady {steady:.1f}, {queued:.1f} ms queued in the card, frame gaps {gaps} ms", file=sys.stderr)
            before.append(abs(steady - cue - heard))
        due += 1.0
    return device, after, before, len(runs), sum(b - a for a, b in runs)


def figures(values):
    values = sorted(values)
    return f"worst {values[-1]:.1f} ms, median {values[len(values) // 2]:.1f} ms"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rate", type=float, default=1.0, help="the device's speed (1.001: 0.1 %% fast)")
    parser.add_argument("--stall-at", type=float, default=15.0, help="seconds of music before a 200 ms stall")
    parser.add_argument("--start", type=int, default=215, help="show second to start at")
    parser.add_argument("--limit", type=float, help="fail (status 1) if a second is off by more than this (ms)")
    parser.add_argument("--least", type=int, default=10, help="fail if fewer seconds of music were measured")
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("source", nargs="?", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    args = parser.parse_args(argv)
    args.build, args.source = os.path.abspath(args.build), os.path.abspath(args.source)
    if not os.environ.get("DISPLAY"):
        return subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", sys.executable, *sys.argv]).returncode
    with tempfile.TemporaryDirectory(prefix="nerith-wine-av.") as work:
        try:
            device, after, before, underruns, lost = measure(args, work)
        except (RuntimeError, subprocess.SubprocessError, OSError, StopIteration) as e:
            print(f"wine_av: {e}", file=sys.stderr)
            return 1
    if len(after) < args.least:
        print(f"wine_av: only {len(after)} seconds of music were measured", file=sys.stderr)
        return 1
    # The spread about the median: what the clock's following costs, apart
    # from any latency a device holds and does not report.
    middle = sorted(after)[len(after) // 2]
    print(f"device {args.rate}, stall of 200 ms at {args.stall_at:g} s, {device.format[1]} Hz: "
          f"steady clock {figures([abs(v) for v in before])}; show clock {figures([abs(v) for v in after])}, "
          f"less its median {figures([abs(v - middle) for v in after])} ({len(after)} seconds; "
          f"{underruns} silent runs in the music, {lost} frames; the card ran dry for {device.silence} frames; "
          f"{device.raised} of the exe's threads raised)")
    off = [f"{i + 1} s: {v:+.1f} ms" for i, v in enumerate(after) if args.limit is not None and abs(v) > args.limit]
    if off:
        print(f"wine_av: off by more than {args.limit:g} ms at " + ", ".join(off), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
