#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang with address and undefined sanitizers)
# in build-fuzz/ and runs each for RUNS executions (default 1,000,000) with a 2 s
# limit per input, starting from its seed corpus in fuzz/corpus/<target>/. Prints
# one line per target and exits non-zero when any target crashed or hung; the input
# that did it is kept in build-fuzz/artifacts/.
# Usage: scripts/fuzz.sh [RUNS] [--no-setup] [--only NAME]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=1000000
setup=1
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --no-setup) setup=0 ;;
    --only) only="$2"; shift ;;
    ''|*[!0-9]*) echo "usage: scripts/fuzz.sh [RUNS] [--no-setup] [--only NAME]" >&2; exit 2 ;;
    *) runs="$1" ;;
  esac
  shift
done

if [ "$setup" = 1 ]; then bash scripts/setup.sh --fuzz; fi

cxx="${FUZZ_CXX:-clang++-14}"
if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "fuzz: $cxx not found (scripts/setup.sh --fuzz installs it)" >&2
  exit 2
fi

build_dir=build-fuzz
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
generator=()
if command -v ninja >/dev/null 2>&1 && [ ! -f "$build_dir/CMakeCache.txt" ]; then generator=(-G Ninja); fi
cmake -S . -B "$build_dir" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="$cxx" -DZEFIREL_FUZZ=ON -DZEFIREL_BUILD_GUI=OFF -DZEFIREL_BUILD_TESTS=OFF \
  -DZEFIREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" --target fuzz_all -j "$(nproc)"

targets=()
for source in fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  if [ -z "$only" ] || [ "$only" = "$name" ]; then targets+=("$name"); fi
done
if [ ${#targets[@]} -eq 0 ]; then echo "fuzz: no target named $only" >&2; exit 2; fi

mkdir -p "$build_dir/artifacts" "$build_dir/logs"
# The targets that read files write each input to a scratch file: keep those in
# memory when the machine has a RAM file system (an fsync there costs nothing).
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# An input over the time limit is a hang only when it is over the limit again when
# run alone: on a loaded machine a process may simply not get the processor for a
# while. A stall that does not come back is set aside and the target goes on with
# the executions it has left.
hang_reproduced() {
  local binary="$1" input="$2"
  for _ in 1 2 3; do
    if "$binary" -timeout=2 "$input" >/dev/null 2>&1; then return 1; fi
  done
  return 0
}

failed=0
printf '%-26s %12s %8s  %s\n' target executions seconds result
for name in "${targets[@]}"; do
  # New inputs go to a corpus in the build folder; the seeds in the repository stay.
  work="$build_dir/corpus/$name"
  mkdir -p "$work" "$build_dir/artifacts/stalls"
  log="$build_dir/logs/$name.log"
  binary="$build_dir/fuzz/$name"
  start=$(date +%s)
  done_runs=0
  stalls=0
  : >"$log"
  while :; do
    set +e
    "$binary" -runs=$((runs - done_runs)) -timeout=2 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$build_dir/artifacts/$name-" "$work" "fuzz/corpus/$name" >>"$log" 2>&1
    rc=$?
    set -e
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    done_runs=$((done_runs + ${executed:-0}))
    if [ "$rc" -eq 0 ]; then
      result=ok
      break
    fi
    if grep -q 'ERROR: libFuzzer: timeout' <(tail -n 200 "$log"); then
      input=$(ls -t "$build_dir/artifacts/$name-timeout-"* 2>/dev/null | head -1)
      if [ -n "$input" ] && ! hang_reproduced "$binary" "$input" && [ "$stalls" -lt 10 ] && [ "$done_runs" -lt "$runs" ]; then
        stalls=$((stalls + 1))
        mv "$input" "$build_dir/artifacts/stalls/"
        continue
      fi
      result="HANG (see $log)"
    else
      result="CRASH (see $log)"
    fi
    failed=1
    break
  done
  seconds=$(( $(date +%s) - start ))
  if [ "$stalls" -gt 0 ] && [ "$result" = ok ]; then result="ok ($stalls stall(s) under load, not reproduced alone)"; fi
  printf '%-26s %12s %8s  %s\n' "$name" "$done_runs" "$seconds" "$result"
done
exit "$failed"
