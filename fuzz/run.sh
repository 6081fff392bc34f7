#!/usr/bin/env bash
# fuzz/run.sh SECONDS [TARGET[:SECONDS]...]
#
# Builds the libFuzzer binaries (clang-14, engine and show instrumented, ASan
# and UBSan; in build-fuzz/) and runs every target (or the ones named, each
# with its own time if given) for SECONDS each, one after the other, at the
# lowest CPU priority. RUNS=N also ends a target after N executions. Each target
# starts from its seeds in fuzz/corpus/<name> plus what earlier runs found
# (build-fuzz/corpus/<name>); findings go to build-fuzz/findings/<name>/.
# At the end it prints per target the executions, the coverage (counters
# reached, features) and the number of findings, and exits 1 if there were
# any. PARALLEL=2 runs two targets at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET[:SECONDS]...]}
shift
parallel=${PARALLEL:-1}
build=build-fuzz

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELVRA_LIBFUZZER=ON -DKELVRA_BENCH=OFF -DNERITH_ASSETS=OFF >/dev/null
if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
declare -A limit
for i in "${!targets[@]}"; do
  t=${targets[$i]}
  limit[${t%%:*}]=${t#*:}
  [ "${t#*:}" != "$t" ] || limit[$t]=$seconds
  targets[$i]=${t%%:*}
done
nice -n 19 cmake --build "$build" --parallel 2 --target "${targets[@]/#/fuzz_}"

run_one() {
  local name=$1 log="$build/fuzz_$1.log"
  mkdir -p "$build/corpus/$name" "$build/findings/$name"
  # -timeout: one input running 10 s is a hang; -rss_limit_mb: the picture
  # limit (64 M pixels) needs well under this.
  nice -n 19 "$build/bin/fuzz_$name" "$build/corpus/$name" "fuzz/corpus/$name" \
    -max_total_time="${limit[$name]}" -runs="${RUNS:--1}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$name/" >"$log" 2>&1 || true
}

running=0
for name in "${targets[@]}"; do
  run_one "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then wait -n; running=$((running - 1)); fi
done
wait

status=0
printf '%-8s %14s %10s %8s %8s %9s\n' target executions exec/s cov ft findings
for name in "${targets[@]}"; do
  log="$build/fuzz_$name.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  found=$(find "$build/findings/$name" -type f | wc -l)
  printf '%-8s %14s %10s %8s %8s %9s\n' "$name" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$found"
  [ "$found" -eq 0 ] && [ -n "$execs" ] || status=1
done
exit $status
