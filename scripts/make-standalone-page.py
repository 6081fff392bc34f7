#!/usr/bin/env python3
"""Writes the one-file page: build/browser's nerith.html with everything it loads
embedded, so that it plays when opened from disk (file://), where a page may
not fetch the files beside it.

  make-standalone-page.py WEB_BUILD OUTPUT.html

The program's script goes in as an inline script; the wasm, the pack (still
gzip-compressed), the music and the icon as base64 in window.kvEmbedded,
which the page reads instead of fetching.
"""
import base64
import json
import os
import sys

EMBEDDED = ("nerith.wasm", "nerith.kpak", "nerith.mp3")


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    web, output = argv[1], argv[2]
    read = lambda name: open(os.path.join(web, name), "rb").read()
    page = read("nerith.html").decode("utf-8")
    script = read("nerith.js").decode("utf-8")
    files = {name: base64.b64encode(read(name)).decode("ascii") for name in EMBEDDED}
    icon = "data:image/png;base64," + base64.b64encode(read("favicon.png")).decode("ascii")

    # Inline scripts end at the first "</script" whatever the quoting.
    script = script.replace("</script", "<\\/script")
    marker = "<script>\n'use strict';"
    if page.count(marker) != 1 or page.count('href="favicon.png"') != 1:
        print(f"make-standalone-page: {web}/nerith.html is not the page this script knows", file=sys.stderr)
        return 1
    head = ("<script>window.kvEmbedded = " + json.dumps(files) + ";</script>\n"
            "<script>\n" + script + "\n</script>\n")
    page = page.replace(marker, head + marker).replace('href="favicon.png"', f'href="{icon}"')
    temp = output + ".part"
    with open(temp, "w", encoding="utf-8") as out:
        out.write(page)
    os.replace(temp, output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
