#!/usr/bin/env python3
"""scripts/check-includes.py against the real map on a small scratch tree:
each forbidden include is reported with its rule, the allowed ones are not."""
import os
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../.."))

FILES = {
    "engine/core/Ok.cpp": '#include "Ok.h"\n#include "../draw/D.h"\n#include <vector>\n#include <unistd.h>\n',
    "engine/core/Ok.h": "",
    "engine/draw/D.h": "",
    "engine/core/Sdl.cpp": "#include <SDL.h>\n",
    "engine/core/Names.cpp": '#include "../platform/sdl/S.h"\n',
    "engine/platform/sdl/S.h": '#include "../../core/Ok.h"\n#include <SDL.h>\n#include <X11/Xlib.h>\n',
    "engine/platform/sdl/Web.cpp": '#include "../web/W.h"\n',
    "engine/platform/web/W.h": "#include <emscripten.h>\n",
    "show/Ok.cpp": '#include "Show.h"\n#include <kelvra/core/Errors.h>\n#include <cstdio>\n',
    "show/Show.h": "",
    "show/Reach.cpp": '#include "../engine/core/Ok.h"\n',
    "show/Private.cpp": "#include <kelvra/core/MemoryDevice.h>\n",
    "tools/webpack/Pack.cpp": '#include "engine/core/Ok.h"\n#include "show/Show.h"\n',
    "tools/assetgen/Gen.cpp": '#include "show/ShowTime.h"\n#include "show/Show.h"\n',
    "show/ShowTime.h": "",
    "tests/AnyTest.cpp": '#include "engine/platform/sdl/S.h"\n#include <gtest/gtest.h>\n',
    "engine/text/Missing.cpp": '#include "Nowhere.h"\n',
    "engine/core/Errors.h": '#include "Platform.h"\n#include "Ok.h"\n',
    "engine/core/Platform.h": "",
}
EXPECTED = [
    "engine/core/Errors.h:2: #include \"Ok.h\" -- the public header engine/core/Errors.h includes engine/core/Ok.h, "
    "which is not public",
    "engine/core/Names.cpp:1: #include \"../platform/sdl/S.h\" -- part core may include only itself, not part sdl",
    "engine/core/Sdl.cpp:1: #include <SDL.h> -- part core may use the headers standard, C runtime files, vector "
    "intrinsics, not SDL.h",
    "engine/platform/sdl/Web.cpp:1: #include \"../web/W.h\" -- part sdl may include core, audio, not part web",
    "engine/text/Missing.cpp:1: #include \"Nowhere.h\" -- part text: \"Nowhere.h\" is no file of the tree",
    "show/Private.cpp:1: #include <kelvra/core/MemoryDevice.h> -- <kelvra/core/MemoryDevice.h> is not a public header",
    "show/Reach.cpp:1: #include \"../engine/core/Ok.h\" -- part show reaches the engine only as <kelvra/...>",
    "tools/assetgen/Gen.cpp:2: #include \"show/Show.h\" -- part assetgen may include show/AssetTable.h, "
    "show/ShowTime.h, not part show",
    "tools/webpack/Pack.cpp:2: #include \"show/Show.h\" -- part webpack may include core, pack, not part show",
]


def main():
    with tempfile.TemporaryDirectory() as tree:
        for path in ("docs/ARCHITECTURE.md", "engine/CMakeLists.txt"):
            os.makedirs(os.path.join(tree, os.path.dirname(path)), exist_ok=True)
            shutil.copy(os.path.join(SOURCE, path), os.path.join(tree, path))
        for path, text in FILES.items():
            os.makedirs(os.path.join(tree, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(tree, path), "w") as f:
                f.write(text)
        run = subprocess.run([sys.executable, os.path.join(SOURCE, "scripts/check-includes.py"), tree],
                             capture_output=True, text=True)
    lines = run.stdout.splitlines()
    failures = []
    if run.returncode != 1:
        failures.append(f"exit status {run.returncode}, not 1")
    if not lines or lines[-1] != f"{len(EXPECTED)} include(s) break the map's rules (docs/ARCHITECTURE.md, include rules)":
        failures.append("no summary line for %d includes" % len(EXPECTED))
    reported = lines[:-1]
    for want in EXPECTED:
        if not any(line.startswith(want) for line in reported):
            failures.append("missing: " + want)
    if len(reported) != len(EXPECTED):
        failures.append(f"{len(reported)} reports, not {len(EXPECTED)}")
    for f in failures:
        print(f)
    if failures:
        print("--- the check said:\n" + run.stdout + run.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
