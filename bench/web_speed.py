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
Frame N (default 6000) leaves out the show's last seconds, as the page's
hash tests do.
"""
import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "show", "web"))
from browser_test import Server, load_page  # noqa: E402


def native_fps(native, depth, frame):
    out = subprocess.run([os.path.join(native, "bin", "nerith"), "--headless", "--seed", "1", "--depth", str(depth),
                          "--end", f"{frame * 0.04:.2f}", "--benchmark", "--quiet"],
                         capture_output=True, text=True, check=True, cwd=native).stdout
    return float(re.search(r"whole run: \d+ frames in [\d.]+ s, ([\d.]+) frames per second", out).group(1))


def page_fps(web, depth, frame):
    server = Server(web)
    try:
        state = load_page(f"{server.url}nerith.html?seed=1&depth={depth}&frame={frame}")
    finally:
        server.close()
    run = state.get("run") or {}
    if not run.get("endMs"):
        raise RuntimeError(f"{web}: the page did not finish: {state.get('error')}")
    return run["frames"] / ((run["endMs"] - run["startMs"]) / 1000)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("native")
    parser.add_argument("web", nargs="+")
    parser.add_argument("--depth", type=int, default=32)
    parser.add_argument("--frame", type=int, default=6000)
    parser.add_argument("--rounds", type=int, default=1)
    args = parser.parse_args()
    native = os.path.abspath(args.native)
    for round_number in range(1, args.rounds + 1):
        before = native_fps(native, args.depth, args.frame)
        order = args.web if round_number % 2 else args.web[::-1]
        pages = [(web, page_fps(os.path.abspath(web), args.depth, args.frame)) for web in order]
        after = native_fps(native, args.depth, args.frame)
        n = (before + after) / 2
        print(f"round {round_number}, depth {args.depth}: native {n:.1f} frames/s ({before:.1f} before the pages, "
              f"{after:.1f} after)", flush=True)
        for web, p in pages:
            print(f"  {web}: {p:.1f} frames/s, {100 * p / n:.0f} % of native", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
