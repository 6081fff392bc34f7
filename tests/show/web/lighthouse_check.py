#!/usr/bin/env python3
"""Lighthouse (from npm, pinned in tests/package.json) on the served page, in
Chromium, as a desktop and as a phone: accessibility, best practices and
SEO must score 100; performance is reported.

  lighthouse_check.py WEB_BUILD NPM_FOLDER

NPM_FOLDER (in the build tree) gets tests/package.json and its lockfile and
an `npm ci` whenever they differ from what it holds.
Exit status 0: passed; 1: failed; 77: no browser build, chromium or npm.
"""
import json
import os
import shutil
import subprocess
import sys

from browser_test import SKIP, Server

TESTS = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MUST_BE_FULL = ("accessibility", "best-practices", "seo")


def install(folder):
    """npm ci into folder, unless it already holds this lockfile's packages."""
    os.makedirs(folder, exist_ok=True)
    lock = open(os.path.join(TESTS, "package-lock.json"), "rb").read()
    stamp = os.path.join(folder, "node_modules", ".installed-lock")
    if os.path.exists(stamp) and open(stamp, "rb").read() == lock:
        return
    for name in ("package.json", "package-lock.json"):
        shutil.copy(os.path.join(TESTS, name), folder)
    subprocess.run(["npm", "ci", "--no-audit", "--no-fund", "--loglevel=error"], cwd=folder, check=True)
    open(stamp, "wb").write(lock)


def audit(folder, url, form):
    flags = ["--preset=desktop"] if form == "desktop" else ["--form-factor=mobile"]
    env = dict(os.environ, CHROME_PATH=shutil.which("chromium"))
    proc = subprocess.run(
        [os.path.join(folder, "node_modules", ".bin", "lighthouse"), url, *flags, "--quiet", "--output=json",
         "--output-path=stdout", "--only-categories=performance,accessibility,best-practices,seo",
         "--chrome-flags=--headless=new --no-sandbox --mute-audio"],
        capture_output=True, text=True, env=env, timeout=600)
    if proc.returncode != 0:
        raise RuntimeError(f"lighthouse failed ({form}):\n{proc.stderr[-3000:]}")
    report = json.loads(proc.stdout)
    scores = {name: round(100 * (c["score"] or 0)) for name, c in report["categories"].items()}
    # What cost points, to fix without running it again by hand.
    lost = [f"{a['id']} ({a['title']})" for a in report["audits"].values()
            if a.get("score") is not None and a["score"] < 1 and a.get("scoreDisplayMode") == "binary"]
    return scores, lost


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    web, folder = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    if not os.path.exists(os.path.join(web, "nerith.html")) or not shutil.which("chromium") or not shutil.which("npm"):
        print(f"no browser build in {web}, or no chromium or npm: skipped")
        return SKIP
    install(folder)
    server = Server(web)
    ok = True
    try:
        for form in ("desktop", "mobile"):
            scores, lost = audit(folder, f"{server.url}nerith.html", form)
            full = all(scores[name] == 100 for name in MUST_BE_FULL)
            print(f"{form}: " + ", ".join(f"{name} {score}" for name, score in scores.items()) +
                  ("" if full else " WRONG: " + "; ".join(lost)))
            ok = ok and full
    finally:
        server.close()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
