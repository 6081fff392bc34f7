#!/usr/bin/env python3
"""Serves a folder over HTTP with byte ranges, so that the page's music can seek.

  scripts/serve-web.py [--bind ADDRESS] [--no-ranges] [FOLDER [PORT]]

FOLDER defaults to build/browser, ADDRESS to 127.0.0.1, PORT to 8000 (0: any
free port). The first line on standard output is "Serving FOLDER on
http://ADDRESS:PORT/". python3 -m http.server has no Range requests: a
media element served by it cannot seek. --no-ranges serves like it (no
Accept-Ranges, a Range header is ignored), to try the page on such a host.
"""
import argparse
import functools
import http.server
import os
import re
import sys

TYPES = {
    ".html": "text/html; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".wasm": "application/wasm",
    ".mp3": "audio/mpeg",
    ".kpak": "application/octet-stream",
    ".png": "image/png",
    ".json": "application/json",
    ".css": "text/css; charset=utf-8",
}


def parse_range(header, size):
    """(first, last) for one "bytes=" range of a file of size bytes; None to
    send the whole file (no range, several, or one we do not read); "bad"
    when no byte of it is in the file."""
    match = re.fullmatch(r"\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*", header or "")
    if not match or match.group(1) == match.group(2) == "":
        return None
    first, last = match.group(1), match.group(2)
    if first == "":  # the last N bytes
        length = int(last)
        if length == 0 or size == 0:
            return "bad"
        return max(0, size - length), size - 1
    first = int(first)
    if last != "" and int(last) < first:
        return None  # malformed (last before first): ignored, as the RFC asks
    if first >= size:
        return "bad"
    return first, size - 1 if last == "" else min(int(last), size - 1)


class Handler(http.server.SimpleHTTPRequestHandler):
    ranges = True
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map, **TYPES)

    def send_head(self):
        path = self.translate_path(self.path)
        if os.path.isdir(path) or not self.ranges:
            return super().send_head()
        try:
            f = open(path, "rb")
        except OSError:
            self.send_error(404, "File not found")
            return None
        try:
            size = os.fstat(f.fileno()).st_size
            wanted = parse_range(self.headers.get("Range"), size)
            if wanted == "bad":
                f.close()
                self.send_response(416)
                self.send_header("Content-Range", f"bytes */{size}")
                self.send_header("Content-Length", "0")
                self.end_headers()
                return None
            first, last = wanted if wanted else (0, size - 1)
            self.send_response(206 if wanted else 200)
            self.send_header("Content-Type", self.guess_type(path))
            self.send_header("Accept-Ranges", "bytes")
            if wanted:
                self.send_header("Content-Range", f"bytes {first}-{last}/{size}")
            self.send_header("Content-Length", str(last - first + 1))
            self.send_header("Last-Modified", self.date_time_string(os.fstat(f.fileno()).st_mtime))
            self.end_headers()
            f.seek(first)
            self.remaining = last - first + 1
            return f
        except Exception:
            f.close()
            raise

    def copyfile(self, source, outputfile):
        remaining = getattr(self, "remaining", None)
        if remaining is None:
            return super().copyfile(source, outputfile)
        while remaining > 0:
            chunk = source.read(min(remaining, 64 * 1024))
            if not chunk:
                break
            outputfile.write(chunk)
            remaining -= len(chunk)

    def log_message(self, format, *args):
        pass  # quiet: a test reads the first line only


class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # A browser drops a media stream it no longer needs: no fault.
        if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            super().handle_error(request, client_address)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--no-ranges", action="store_true", help="serve without Range requests")
    parser.add_argument("folder", nargs="?", default="build/browser")
    parser.add_argument("port", nargs="?", type=int, default=8000)
    args = parser.parse_args(argv)
    if not os.path.isdir(args.folder):
        print(f"serve-web: {args.folder} is not a folder (cmake --build build --target web makes build/browser)", file=sys.stderr)
        return 2
    handler = functools.partial(type("H", (Handler,), {"ranges": not args.no_ranges}), directory=args.folder)
    try:
        server = Server((args.bind, args.port), handler)
    except OSError as e:
        print(f"serve-web: cannot listen on {args.bind}:{args.port}: {e.strerror}", file=sys.stderr)
        return 1
    print(f"Serving {args.folder} on http://{args.bind}:{server.server_address[1]}/", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
