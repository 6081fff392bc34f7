#!/usr/bin/env python3
"""The page in headless Chromium, served by scripts/serve-web.py on 127.0.0.1.

  browser_test.py frames NATIVE_BUILD WEB_BUILD SEED DEPTH FRAME,FRAME,...
      The page's test mode hashes each frame; the native offline run
      (nerith --headless --seed S --depth D --dump-frames DIR --frames ...)
      dumps the same frames as PNG, whose RGB bytes are hashed the same way.
      Every hash must be equal.
  browser_test.py broken-pack WEB_BUILD
      Truncated, damaged and missing asset packs, and music that is missing
      or cannot be decoded: the page must show an error message (on the
      page, not only in the console), never a canvas.
      Also: a browser without wasm SIMD, or without DecompressionStream,
      is told which it lacks and which versions have it.
  browser_test.py play WEB_BUILD
      Click to start, play a few seconds (the music must have started),
      press Escape: the show must end cleanly.
  browser_test.py player SCENARIO WEB_BUILD
      player_check.mjs: hidden (a hidden tab pauses the show and its music
      in step), controls (buttons, keys, keys left to the browser, Play
      again), touch (a phone's hint and tap).
  browser_test.py av RATE WEB_BUILD
      av_check.mjs: frames against the music heard on a test device RATE
      times as fast as the page's clock, with a stall and latency.
  browser_test.py budget WEB_BUILD
      What a plain static host serves for the page, exact bytes: at most
      9 MB, and every file the page fetched arrived whole (as on disk).
  browser_test.py standalone NATIVE_BUILD WEB_BUILD
      nerith-standalone.html opened from disk (file://) hashes a frame as
      the native run does and plays with music; the served page opened from
      disk says how to serve its folder.
  browser_test.py lighthouse WEB_BUILD NPM_FOLDER
      Lighthouse (pinned in tests/package.json, `npm ci` into NPM_FOLDER
      when the lockfile changed) on the served page as a desktop and as a
      phone: accessibility, best practices and SEO must score 100;
      performance is printed.

Exit status 0: passed; 1: failed; 77: no browser build (ctest: skipped).
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib
import gzip
import json

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.dirname(os.path.dirname(HERE))
PAGE_CHECK = os.path.join(HERE, "page_check.mjs")
PLAYER_CHECK = os.path.join(HERE, "player_check.mjs")
AV_CHECK = os.path.join(HERE, "av_check.mjs")
SERVE_WEB = os.path.join(os.path.dirname(TESTS), "scripts", "serve-web.py")
# What the page may weigh as a static host serves it.
BUDGET_BYTES = 9_000_000
# Everything the served page loads.
PAGE_FILES = ("nerith.html", "nerith.js", "nerith.wasm", "nerith.kpak", "nerith.mp3", "favicon.png")
SKIP = 77


def fnv1a32(data):
    h = 2166136261
    for b in data:
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return h


def png_rgb(path):
    """The RGB bytes of an 8-bit RGB, non-interlaced PNG (what the show dumps)."""
    data = open(path, "rb").read()
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + size]
        pos += 12 + size
        if kind == b"IHDR":
            width, height, bits, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunk)
            if (bits, colour, interlace) != (8, 2, 0):
                raise ValueError(f"{path}: not an 8-bit RGB PNG")
        elif kind == b"IDAT":
            idat += chunk
    raw = zlib.decompress(idat)
    stride = width * 3
    out = bytearray()
    prev = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = row[x - 3] if x >= 3 else 0
            b = prev[x]
            c = prev[x - 3] if x >= 3 else 0
            if kind == 1:
                row[x] = (row[x] + a) & 255
            elif kind == 2:
                row[x] = (row[x] + b) & 255
            elif kind == 3:
                row[x] = (row[x] + (a + b) // 2) & 255
            elif kind == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                row[x] = (row[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out += row
        prev = row
    return bytes(out)


class Server:
    """scripts/serve-web.py on 127.0.0.1, on a port it picks itself; without
    Range requests when ranges is false (as python3 -m http.server)."""

    def __init__(self, folder, ranges=True):
        self.proc = subprocess.Popen(
            [sys.executable, "-u", SERVE_WEB, "--bind", "127.0.0.1", *([] if ranges else ["--no-ranges"]), folder, "0"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = self.proc.stdout.readline()
        match = re.search(r":(\d+)/$", line.strip())
        if not match:
            self.close()
            raise RuntimeError(f"serve-web.py did not start: {line!r}")
        self.url = f"http://127.0.0.1:{match.group(1)}/"
        # Keep reading its output so it never blocks on a full pipe.
        self.drain = subprocess.Popen(["cat"], stdin=self.proc.stdout, stdout=subprocess.DEVNULL)

    def close(self):
        self.proc.kill()
        self.proc.wait()


def load_page(url, timeout=600, extra=()):
    proc = subprocess.run(["node", PAGE_CHECK, url, str(timeout), *extra],
                          capture_output=True, text=True)
    if proc.returncode != 0:
        raise RuntimeError(f"page_check failed for {url}:\n{proc.stderr}")
    return json.loads(proc.stdout.strip().splitlines()[-1])


def native_titles(native, seed, depth, frames):
    """The titles the page must set, from the native run's dumped frames."""
    wanted = [int(f) for f in frames.split(",")]
    with tempfile.TemporaryDirectory() as dump:
        subprocess.run([os.path.join(native, "bin", "nerith"), "--headless", "--seed", seed, "--depth", depth,
                        "--dump-frames", dump, "--frames", frames], check=True, cwd=dump,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return [f"frame {n} rgb-fnv1a32 {fnv1a32(png_rgb(os.path.join(dump, f'frame_{n:05d}.png'))):08x}"
                for n in wanted]


def compare_frames(state, wanted, expected):
    """The page's titles against the native ones; the page must have drawn with its SIMD path."""
    page_titles = state["run"]["titles"] if state.get("run") else []
    ok = page_titles == expected and state["title"] == expected[-1]
    for n, native_title in zip(wanted, expected):
        page_title = next((t for t in page_titles if t.startswith(f"frame {n} ")), "(none)")
        print(f"frame {n}: native \"{native_title}\", page \"{page_title}\"")
    path = (state.get("run") or {}).get("path")
    print(f"page drawing path: {path}")
    return ok and path == "sse2"


def frames_test(native, web, seed, depth, frames):
    native, web = os.path.abspath(native), os.path.abspath(web)
    wanted = [int(f) for f in frames.split(",")]
    expected = native_titles(native, seed, depth, frames)
    server = Server(web)
    try:
        state = load_page(f"{server.url}nerith.html?seed={seed}&depth={depth}&frame={frames}")
    finally:
        server.close()
    print(f"depth {depth}:")
    ok = compare_frames(state, wanted, expected)
    if state.get("error"):
        print(f"page error: {state['error']}")
    run = state.get("run") or {}
    if run.get("endMs"):
        seconds = (run["endMs"] - run["startMs"]) / 1000
        print(f"page: {run['frames']} frames in {seconds:.2f} s, {run['frames'] / seconds:.1f} frames per second")
    return ok


def broken_pack_test(web):
    served = open(os.path.join(web, "nerith.kpak"), "rb").read()
    pack = gzip.decompress(served)

    def flipped(data):
        damaged = bytearray(data)
        damaged[len(data) // 2] ^= 0x40
        return bytes(damaged)

    # The served (gzip) pack broken, and the pack itself broken, sent as it
    # is or compressed: the same one line either way.
    cases = {
        "truncated": (pack[:len(pack) // 3], "LoadPack -> the asset pack is truncated or damaged"),
        "header only": (pack[:10], "LoadPack -> the asset pack is truncated"),
        "damaged": (flipped(pack), "LoadPack -> the asset pack is truncated or damaged"),
        "damaged, compressed": (gzip.compress(flipped(pack)), "LoadPack -> the asset pack is truncated or damaged"),
        "compressed, truncated": (served[:len(served) // 3], "LoadPack -> the asset pack is truncated or damaged"),
        "compressed, damaged": (flipped(served), "LoadPack -> the asset pack is truncated or damaged"),
        "not a pack": (b"<html>404</html>" * 4, "LoadPack -> not a Kelvra asset pack"),
        "missing": (None, "could not be loaded: HTTP 404"),
    }
    ok = True
    with tempfile.TemporaryDirectory() as folder:
        for name in ("nerith.html", "nerith.js", "nerith.wasm", "nerith.mp3"):
            shutil.copy(os.path.join(web, name), folder)
        server = Server(folder)
        try:

            def shows_error(case, name, data, query, expected):
                """The page with folder/name replaced by data (None: absent) names what is wrong."""
                target = os.path.join(folder, name)
                if os.path.exists(target):
                    os.remove(target)
                if data is not None:
                    open(target, "wb").write(data)
                state = load_page(f"{server.url}nerith.html{query}", timeout=120)
                good = expected in state["error"] and state["title"].startswith("error: ")
                print(f"{case}: {'ok' if good else 'WRONG'}: title \"{state['title']}\", page \"{state['error']}\"")
                return good

            for case, (data, expected) in cases.items():
                ok = shows_error(case, "nerith.kpak", data, "?seed=1&depth=32&frame=5", expected) and ok
            # The music, on the page that plays (the test mode has none).
            shutil.copy(os.path.join(web, "nerith.kpak"), folder)
            for case, data, expected in (
                    ("music missing", None, "The music (nerith.mp3) could not be loaded: HTTP 404"),
                    ("music not audio", b"ID3 but no frames" * 100, "The music (nerith.mp3) could not be decoded")):
                ok = shows_error(case, "nerith.mp3", data, "", expected) and ok
            state = load_page(f"{server.url}nerith.html", timeout=120, extra=["--no-wasm-simd"])
            good = "needs WebAssembly with SIMD" in state["error"] and "update your browser" in state["error"]
            print(f"no wasm SIMD: {'ok' if good else 'WRONG'}: page \"{state['error']}\"")
            ok = ok and good
            state = load_page(f"{server.url}nerith.html", timeout=120, extra=["--no-decompression-stream"])
            good = "needs DecompressionStream" in state["error"] and "Firefox 113" in state["error"]
            print(f"no DecompressionStream: {'ok' if good else 'WRONG'}: page \"{state['error']}\"")
            ok = ok and good
        finally:
            server.close()
    return ok


def play_test(web):
    server = Server(web)
    try:
        state = load_page(f"{server.url}nerith.html", timeout=180, extra=["--click-after-load", "4", "--press-escape"])
    finally:
        server.close()
    run = state.get("run") or {}
    print(f"after Escape: title \"{state['title']}\", error \"{state['error']}\", music starts {run.get('musicStarts', 0)}")
    return not state["error"] and run.get("endMs", 0) > 0 and run.get("musicStarts", 0) >= 1


def player_test(scenario, web, script=PLAYER_CHECK):
    server = Server(web, ranges=scenario != "plainhost")
    try:
        proc = subprocess.run(["node", script, f"{server.url}nerith.html", scenario],
                              capture_output=True, text=True)
    finally:
        server.close()
    print(proc.stdout, end="")
    if proc.returncode != 0:
        print(proc.stderr[-3000:], end="")
    return proc.returncode == 0


def budget_test(web):
    on_disk = {name: os.path.getsize(os.path.join(web, name)) for name in PAGE_FILES}
    total = sum(on_disk.values())
    server = Server(web)
    try:
        proc = subprocess.run(["node", PLAYER_CHECK, f"{server.url}nerith.html", "budget"],
                              capture_output=True, text=True)
    finally:
        server.close()
    if proc.returncode != 0:
        print(proc.stderr[-3000:])
        return False
    fetched = json.loads(proc.stdout.strip().splitlines()[-1])["files"]
    ok = True
    for name, size in fetched:
        whole = on_disk.get(name) == size
        print(f"{name}: {size} bytes fetched{'' if whole else ', WRONG: ' + str(on_disk.get(name)) + ' on disk'}")
        ok = ok and whole
    missing = set(PAGE_FILES) - {name for name, _ in fetched} - {"favicon.png"}
    if missing:
        print(f"WRONG: the page did not fetch {', '.join(sorted(missing))}")
    print(f"served total: {total} bytes ({total / 1e6:.2f} MB) of at most {BUDGET_BYTES}")
    return ok and not missing and total <= BUDGET_BYTES


def standalone_test(native, web):
    native, web = os.path.abspath(native), os.path.abspath(web)
    page = os.path.join(web, "nerith-standalone.html")
    if not os.path.exists(page):
        print(f"no {page} (scripts/build-web.sh --single-file)")
        return False
    frames = "3700"
    expected = native_titles(native, "1", "32", frames)
    ok = compare_frames(load_page(f"file://{page}?seed=1&depth=32&frame={frames}"), [3700], expected)
    state = load_page(f"file://{page}", timeout=180, extra=["--click-after-load", "3", "--press-escape"])
    run = state.get("run") or {}
    plays = not state["error"] and run.get("musicStarts", 0) >= 1 and run.get("endMs", 0) > 0
    print(f"from disk, played with music and ended on Escape: {'ok' if plays else 'WRONG'} ({state['error']})")
    state = load_page(f"file://{os.path.join(web, 'nerith.html')}", timeout=60)
    advice = "python3 -m http.server" in state["error"] and "nerith-standalone.html" in state["error"]
    print(f"the served page from disk says how to serve it: {'ok' if advice else 'WRONG'} ({state['error']})")
    return ok and plays and advice


def lighthouse_test(web, folder):
    lock = open(os.path.join(TESTS, "package-lock.json"), "rb").read()
    stamp = os.path.join(folder, "node_modules", ".installed-lock")
    if not os.path.exists(stamp) or open(stamp, "rb").read() != lock:
        os.makedirs(folder, exist_ok=True)
        for name in ("package.json", "package-lock.json"):
            shutil.copy(os.path.join(TESTS, name), folder)
        subprocess.run(["npm", "ci", "--no-audit", "--no-fund", "--loglevel=error"], cwd=folder, check=True)
        open(stamp, "wb").write(lock)
    server = Server(web)
    ok = True
    try:
        for form, flags in (("desktop", "--preset=desktop"), ("mobile", "--form-factor=mobile")):
            proc = subprocess.run(
                [os.path.join(folder, "node_modules", ".bin", "lighthouse"), f"{server.url}nerith.html", flags, "--quiet",
                 "--output=json", "--output-path=stdout", "--only-categories=performance,accessibility,best-practices,seo",
                 "--chrome-flags=--headless=new --no-sandbox --mute-audio"],
                capture_output=True, text=True, env=dict(os.environ, CHROME_PATH=shutil.which("chromium")), timeout=600)
            report = json.loads(proc.stdout) if proc.returncode == 0 else {"categories": {}, "audits": {}}
            scores = {name: round(100 * (c["score"] or 0)) for name, c in report["categories"].items()}
            full = all(scores.get(name) == 100 for name in ("accessibility", "best-practices", "seo"))
            # What cost points, to fix without running it again by hand.
            lost = [a["id"] for a in report["audits"].values() if a.get("scoreDisplayMode") == "binary" and a.get("score") == 0]
            print(f"{form}: {scores}" + ("" if full else f" WRONG: {lost} {proc.stderr[-2000:]}"))
            ok = ok and full
    finally:
        server.close()
    return ok


def main(argv):
    if len(argv) >= 2 and argv[1] == "frames" and len(argv) == 7:
        web = argv[3]
    elif len(argv) == 3 and argv[1] in ("broken-pack", "play", "budget"):
        web = argv[2]
    elif len(argv) == 4 and argv[1] in ("player", "standalone", "av"):
        web = argv[3]
    elif len(argv) == 4 and argv[1] == "lighthouse":
        web = argv[2]
    else:
        print(__doc__, file=sys.stderr)
        return 2
    if not os.path.exists(os.path.join(web, "nerith.html")) or not shutil.which("chromium"):
        print(f"no browser build in {web} (scripts/build-web.sh) or no chromium: skipped")
        return SKIP
    if argv[1] == "lighthouse" and not shutil.which("npm"):
        print("no npm: skipped")
        return SKIP
    if argv[1] == "frames":
        ok = frames_test(*argv[2:])
    elif argv[1] == "lighthouse":
        ok = lighthouse_test(web, argv[3])
    elif argv[1] == "player":
        ok = player_test(argv[2], web)
    elif argv[1] == "av":
        ok = player_test(argv[2], web, AV_CHECK)
    elif argv[1] == "standalone":
        ok = standalone_test(argv[2], web)
    elif argv[1] == "budget":
        ok = budget_test(web)
    else:
        ok = broken_pack_test(web) if argv[1] == "broken-pack" else play_test(web)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
