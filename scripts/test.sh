#!/usr/bin/env bash
# The one test command: installs what is missing, builds everything and runs every
# test. Usage: scripts/test.sh [--sanitize] [--no-setup]
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
setup=1
for arg in "$@"; do
  case "$arg" in
    --sanitize) build_dir=build-asan; cmake_args+=(-DZEFIREL_SANITIZE=ON -DZEFIREL_BUILD_BENCH=OFF) ;;
    --no-setup) setup=0 ;;
    *) echo "usage: scripts/test.sh [--sanitize] [--no-setup]" >&2; exit 2 ;;
  esac
done

if [ "$setup" = 1 ]; then bash scripts/setup.sh; fi

generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" "${generator[@]}" "${cmake_args[@]}"
else
  cmake -S . -B "$build_dir" "${cmake_args[@]}"
fi
cmake --build "$build_dir" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
# Tests never touch the user's own preferences, recordings or car files.
test_home="$PWD/$build_dir/test-home"
rm -rf "$test_home" && mkdir -p "$test_home/config" "$test_home/data" "$test_home/run"
chmod 700 "$test_home/run"
export XDG_CONFIG_HOME="$test_home/config" XDG_DATA_HOME="$test_home/data" XDG_RUNTIME_DIR="$test_home/run"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
