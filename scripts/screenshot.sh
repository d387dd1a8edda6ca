#!/usr/bin/env bash
# Runs Zefirel against the simulator under a virtual X display (Xvfb) and saves a
# screenshot after a number of seconds, so the program can be seen without a screen.
#
# Usage: scripts/screenshot.sh [SECONDS] [OUTPUT.png] [-- SIMULATOR OPTIONS...]
#   SECONDS  how long the program runs before the picture is taken (default 8)
#   OUTPUT   the PNG to write (default zefirel-screenshot.png)
# Uses the build folder "build" (or $ZEFIREL_BUILD_DIR); builds what is missing.
# Settings and recordings go to a temporary home, not the user's.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=8
out=zefirel-screenshot.png
if [ $# -gt 0 ] && [ "$1" != "--" ]; then seconds="$1"; shift; fi
if [ $# -gt 0 ] && [ "$1" != "--" ]; then out="$1"; shift; fi
[ "${1:-}" = "--" ] && shift
sim_args=(--baud-timing "$@")
build_dir="${ZEFIREL_BUILD_DIR:-build}"
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

for tool in xvfb-run import; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing (run scripts/setup.sh)" >&2; exit 1; }
done
generator=()
if command -v ninja >/dev/null 2>&1 && [ ! -f "$build_dir/CMakeCache.txt" ]; then generator=(-G Ninja); fi
cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target zefirel zefirel-sim

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  set -u
  "$0/sim/zefirel-sim" "${@:4}" >"$3/sim.out" &
  sim=$!
  for _ in $(seq 1 50); do [ -s "$3/sim.out" ] && break; sleep 0.1; done
  ZEFIREL_COM1=$(head -n 1 "$3/sim.out") "$0/src/ui/zefirel" >"$3/zefirel.log" 2>&1 &
  app=$!
  sleep "$1"
  import -window root "$2"
  kill "$app" 2>/dev/null; wait "$app" 2>/dev/null
  kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
  true
' "$PWD/$build_dir" "$seconds" "$out" "$home" "${sim_args[@]}"
echo "screenshot: $out"
