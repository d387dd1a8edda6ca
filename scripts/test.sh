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
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
