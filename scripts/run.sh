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

. scripts/lib/sim.sh
build_targets zefirel zefirel-sim
start_sim "$(mktemp -d)" "${sim_args[@]}"

ZEFIREL_COM1="$pty" "$build_dir/src/ui/zefirel"
