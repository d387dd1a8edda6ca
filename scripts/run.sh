#!/usr/bin/env bash
# Builds Zefirel, starts the virtual controller zefirel-sim on a pseudo-terminal,
# maps serial port 1 to it and opens the program connected to it. Closing the
# program's window stops the simulator.
#
# Usage: scripts/run.sh [--no-setup] [--build-dir DIR] [-- SIMULATOR OPTIONS...]
#   --no-setup       do not check/install the Debian packages
#   --build-dir DIR  build folder (default: build)
#   after --         options for zefirel-sim (see build/sim/zefirel-sim --help),
#                    e.g. -- --extended --errors 0,4
# The simulator paces its bytes at 14400 baud (--baud-timing) as a real line does.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
setup=1
sim_args=(--baud-timing)
while [ $# -gt 0 ]; do
  case "$1" in
    --no-setup) setup=0 ;;
    --build-dir) build_dir="$2"; shift ;;
    --) shift; sim_args+=("$@"); break ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

if [ "$setup" = 1 ]; then bash scripts/setup.sh; fi
generator=()
if command -v ninja >/dev/null 2>&1 && [ ! -f "$build_dir/CMakeCache.txt" ]; then generator=(-G Ninja); fi
cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target zefirel zefirel-sim

sim_out=$(mktemp)
"$build_dir/sim/zefirel-sim" "${sim_args[@]}" >"$sim_out" &
sim_pid=$!
stop_sim() { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -f "$sim_out"; }
trap stop_sim EXIT INT TERM

# The simulator prints its terminal's path as its first line.
for _ in $(seq 1 50); do
  [ -s "$sim_out" ] && break
  sleep 0.1
done
pty=$(head -n 1 "$sim_out")
if [ -z "$pty" ]; then echo "run.sh: the simulator did not start" >&2; exit 1; fi
echo "zefirel-sim on $pty (port 1)"

ZEFIREL_COM1="$pty" "$build_dir/src/ui/zefirel"
