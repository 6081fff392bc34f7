#!/usr/bin/env bash
# The speed goals' figures side by side in one run, each with the machine's
# load (uptime) next to it: the whole show offline, a frame copy, the page
# against native, and 20 s recordings with music at 1080p and 2160p.
#
#   bench/goal_figures.sh [NATIVE_BUILD] [WEB_BUILD] [ROUNDS]   (build build/browser 3)
#
# Needs the native build (nerith, assets, bench_draw2d) and, for the page,
# scripts/build-web.sh's output; a missing web build skips the page.
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(cd "${1:-build}" && pwd)
web=${2:-build/browser}
rounds=${3:-3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

load() { echo "    load: $(cut -d' ' -f1-3 /proc/loadavg)"; }

echo "== whole show, depth 32, $rounds runs (wall ms per frame; CPU seconds of the run)"
for i in $(seq "$rounds"); do
  load
  (cd "$native/bin" && /usr/bin/time -f "CPU %U user + %S sys" ./nerith --headless --seed 1 --benchmark --quiet) \
    >"$out/show.txt" 2>&1
  grep -E "whole run|CPU" "$out/show.txt" | sed 's/^/    /'
  awk '$1 ~ /^[0-9]+$/ && NF == 5 { if ($4 > w) { w = $4; s = $1 } }
       END { printf "    worst frame %.3f ms (scene %d)\n", w, s }' "$out/show.txt"
done

echo "== a 640 x 480 frame copy"
load
"$native/bin/bench_draw2d" --benchmark_filter='BM_Memcpy_Frame/depth:32' --benchmark_min_time=0.2 \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null | grep median | sed 's/^/    /'

if [ -f "$web/nerith.wasm" ]; then
  echo "== the page against native, test mode to frame 6000"
  load
  python3 bench/web_speed.py "$native" "$web" --rounds "$rounds" | sed 's/^/    /'
  load
fi

# CPU seconds of each thread of a running process (the most it reached, as
# threads end before the process does), sampled until the process ends.
thread_cpu() {
  local pid=$1 t v
  local -A most=()
  while kill -0 "$pid" 2>/dev/null; do
    for t in /proc/"$pid"/task/*; do
      v=$(awk '{print $14 + $15}' "$t/stat" 2>/dev/null) || continue
      [ -n "$v" ] && [ "$v" -gt "${most[${t##*/}]:-0}" ] && most[${t##*/}]=$v
    done
    sleep 0.5
  done
  echo -n "    CPU seconds per thread:"
  for t in $(printf '%s\n' "${!most[@]}" | sort -n); do awk -v c="${most[$t]}" 'BEGIN { printf " %.1f", c / 100 }'; done
  echo
}

for size in 1080p 2160p; do
  echo "== recording, 20 s of show with music (40 to 60 s), --size $size"
  load
  (cd "$native/bin" && /usr/bin/time -v ./nerith --seed 1 --start 40 --end 60 --size "$size" \
     --record "$out/slice.mp4" --quiet 2>"$out/time.txt") &
  sleep 1
  pid=$(pgrep -n -f -- "--record $out/slice.mp4" || true)
  [ -n "$pid" ] && thread_cpu "$pid"
  wait
  awk -F': ' '/Elapsed/ { split($2, t, ":"); s = t[1] * 60 + t[2]; printf "    wall %.2f s: %.2f x real time\n", s, 20 / s }
              /User time|System time|Percent of CPU|Maximum resident/ { print "    " $0 }' "$out/time.txt"
  load
done
