#!/usr/bin/env python3
"""The browser build's test mode against the native offline run, side by side.

  bench/web_speed.py NATIVE_BUILD WEB_BUILD [WEB_BUILD...] [--depth D] [--frame N] [--rounds R]

Each round runs, one after the other, the native offline run to frame N
(nerith --headless --seed 1 --depth D --end N x 0.04 --benchmark) and the
page's test mode (nerith.html?seed=1&depth=D&frame=N in headless Chromium)
of every web build given, so that all of them see the same machine load.
Prints frames per second per run and each page's share of native speed: the
native run is repeated after the pages, and its mean is the round's native
figure, so a load that changes during the round weighs on both sides. Pages
are run in the order given in odd rounds and in reverse in even ones.

Beside the clock's figures, the same in CPU time, which the machine's load
moves far less: the native run's (its rusage) against the page's (every
process node and the browser run for it, sampled from /proc, so the
browser's own threads count against the page). The start-up's CPU time (a
run to frame 1, measured once per build) is taken off both sides.
Frame N (default 6000) leaves out the show's last seconds, as the page's
hash tests do.
"""
import argparse
import os
import re
import resource
import subprocess
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "show", "web"))
from browser_test import Server, load_page  # noqa: E402


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def native_fps(native, depth, frame):
    """(frames per second, frames, CPU seconds) of the native offline run."""
    cpu = children_cpu()
    out = subprocess.run([os.path.join(native, "bin", "nerith"), "--headless", "--seed", "1", "--depth", str(depth),
                          "--end", f"{frame * 0.04:.2f}", "--benchmark", "--quiet"],
                         capture_output=True, text=True, check=True, cwd=native).stdout
    match = re.search(r"whole run: (\d+) frames in [\d.]+ s, ([\d.]+) frames per second", out)
    return float(match.group(2)), int(match.group(1)), children_cpu() - cpu


class DescendantCpu:
    """CPU seconds of this process's descendants, but for one left out (the
    web server), sampled until stopped: each process counts with the most it
    reached, as a process that ends takes its figure with it."""

    def __init__(self, leave_out):
        self.leave_out = leave_out
        self.most = {}
        self.done = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def sample(self):
        parent, ticks = {}, {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            parent[int(entry)] = int(fields[1])
            ticks[int(entry)] = int(fields[11]) + int(fields[12])
        for pid in ticks:
            p = pid
            while p > 1 and p != os.getpid() and p != self.leave_out:
                p = parent.get(p, 0)
            if p == os.getpid() and pid != p:
                self.most[pid] = max(self.most.get(pid, 0), ticks[pid])

    def run(self):
        while not self.done.wait(0.2):
            self.sample()

    def stop(self):
        self.done.set()
        self.thread.join()
        return sum(self.most.values()) / os.sysconf("SC_CLK_TCK")


def page_fps(web, depth, frame):
    """(frames per second, frames, CPU seconds) of the page's test mode."""
    server = Server(web)
    cpu = DescendantCpu(server.proc.pid)
    try:
        state = load_page(f"{server.url}nerith.html?seed=1&depth={depth}&frame={frame}")
    finally:
        seconds = cpu.stop()
        server.close()
    run = state.get("run") or {}
    if not run.get("endMs"):
        raise RuntimeError(f"{web}: the page did not finish: {state.get('error')}")
    return run["frames"] / ((run["endMs"] - run["startMs"]) / 1000), run["frames"], seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("native")
    parser.add_argument("web", nargs="+")
    parser.add_argument("--depth", type=int, default=32)
    parser.add_argument("--frame", type=int, default=6000)
    parser.add_argument("--rounds", type=int, default=1)
    args = parser.parse_args()
    native = os.path.abspath(args.native)
    # The CPU time of a run of one frame, the start-up's, is taken off every run.
    start = {native: native_fps(native, args.depth, 2)[1:]}
    for web in args.web:
        start[web] = page_fps(os.path.abspath(web), args.depth, 2)[1:]
    print("start-up: " + ", ".join(f"{os.path.basename(k)} {v[1]:.2f} CPU s ({v[0]} frames)" for k, v in start.items()))

    def per_cpu(run, key):  # frames per CPU second, the start-up's left out
        return (run[0] - start[key][0]) / (run[1] - start[key][1])

    for round_number in range(1, args.rounds + 1):
        before, *before_cpu = native_fps(native, args.depth, args.frame)
        order = args.web if round_number % 2 else args.web[::-1]
        pages = [(web, *page_fps(os.path.abspath(web), args.depth, args.frame)) for web in order]
        pages = [(web, p, frames_cpu) for web, p, *frames_cpu in pages]
        after, *after_cpu = native_fps(native, args.depth, args.frame)
        n = (before + after) / 2
        n_cpu = (per_cpu(before_cpu, native) + per_cpu(after_cpu, native)) / 2
        print(f"round {round_number}, depth {args.depth}: native {n:.1f} frames/s ({before:.1f} before the pages, "
              f"{after:.1f} after), {n_cpu:.1f} frames per CPU second", flush=True)
        for web, p, p_cpu in pages:
            p_cpu = per_cpu(p_cpu, web)
            print(f"  {web}: {p:.1f} frames/s, {100 * p / n:.0f} % of native; {p_cpu:.1f} frames per CPU second, "
                  f"{100 * p_cpu / n_cpu:.0f} % of native", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
