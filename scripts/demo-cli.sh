#!/usr/bin/env bash
# Installs what is missing, builds the virtual controller and the command-line
# client, starts zefirel-sim on a pseudo-terminal, maps serial port 1 to it and runs
# `zefirelctl --port 1 info` (or the zefirelctl command given) against it. The
# simulator stops when the script ends.
#
# Usage: scripts/demo-cli.sh [--no-setup] [--build-dir DIR] [COMMAND ...]
#   --no-setup       do not check/install the Debian packages
#   --build-dir DIR  build folder (default: build)
#   COMMAND ...      a zefirelctl command instead of `info`, e.g. `settings get`,
#                    `--json errors`, `eeprom read /tmp/backup.eeprom`
# Preferences and car settings files go to a temporary folder, not your own.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
setup=1
while [ $# -gt 0 ]; do
  case "$1" in
    --no-setup) setup=0 ;;
    --build-dir) build_dir="$2"; shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) break ;;
  esac
  shift
done
command=("$@")
if [ ${#command[@]} -eq 0 ]; then command=(info); fi

. scripts/lib/sim.sh
build_targets zefirel-sim zefirelctl
work=$(mktemp -d)
start_sim "$work"

set +e
ZEFIREL_COM1="$pty" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
  "$build_dir/cli/zefirelctl" --port 1 "${command[@]}"
rc=$?
set -e
exit "$rc"
