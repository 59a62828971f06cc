#!/usr/bin/env bash
# Builds the programs and runs their main jobs against simulated devices on pseudo-terminals.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
bin=build/release

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export VELTRIX_PORTS=$work/ports
export XDG_CONFIG_HOME=$work/config
: > "$VELTRIX_PORTS"

# start_sim KIND COM [options...]: runs a simulator in the background until the demo ends,
# and waits until its port is in the map.
start_sim() {
  local kind=$1 com=$2; shift 2
  local fifo=$work/sim-$com.in
  mkfifo "$fifo"
  "$bin/sim/veltrix-sim" "$kind" --com "$com" "$@" < "$fifo" > "$work/sim-$com.out" &
  pids+=($!)
  exec {fd}>"$fifo"   # keeps the simulator's input open for control commands
  eval "sim_in_$com=$fd"
  for _ in $(seq 100); do grep -q "^COM$com " "$VELTRIX_PORTS" && return 0; sleep 0.05; done
  echo "demo: the $kind simulator did not come up" >&2
  return 1
}

echo "== Simulated port map"
start_sim echo 3 --name "Veltrix Echo (COM3)"
cat "$VELTRIX_PORTS"
