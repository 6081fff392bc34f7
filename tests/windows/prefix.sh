#!/usr/bin/env bash
# Makes the Wine prefix the Windows checks share (scripts/wine-env.sh), once,
# before any of them: the CTest fixture windows_prefix. Made inside a check,
# Wine's first start (some seconds, more on a loaded machine) would eat into
# that check's own waits.
set -euo pipefail
source "$(dirname "$0")/../../scripts/wine-env.sh" "$1"
{ wineserver -k; wineserver -w; } 2>/dev/null || true
echo "Wine prefix ready: $WINEPREFIX"
