# Shared steps of the scripts that run a program against the virtual controller.
# Source it from the repository root after setting build_dir and setup.

# build_targets TARGET...: installs what is missing (unless setup=0), configures
# the build folder once and builds the given targets.
build_targets() {
  if [ "${setup:-1}" = 1 ]; then bash scripts/setup.sh; fi
  local generator=()
  if command -v ninja >/dev/null 2>&1 && [ ! -f "$build_dir/CMakeCache.txt" ]; then generator=(-G Ninja); fi
  cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build_dir" -j "$(nproc)" --target "$@"
}

# start_sim WORKDIR [SIMULATOR OPTIONS...]: starts zefirel-sim, waits for the path
# of its pseudo-terminal (the first line it prints) and sets sim_pid and pty. The
# simulator and WORKDIR go away when the script exits.
start_sim() {
  sim_work="$1"; shift
  "$build_dir/sim/zefirel-sim" "$@" >"$sim_work/sim.out" &
  sim_pid=$!
  trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -rf "$sim_work"' EXIT INT TERM
  for _ in $(seq 1 50); do
    [ -s "$sim_work/sim.out" ] && break
    sleep 0.1
  done
  pty=$(head -n 1 "$sim_work/sim.out")
  if [ -z "$pty" ]; then echo "$(basename "$0"): the simulator did not start" >&2; exit 1; fi
  echo "zefirel-sim on $pty (port 1)" >&2
}
