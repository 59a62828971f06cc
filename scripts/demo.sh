#!/usr/bin/env bash
# Builds the programs and runs their main jobs against simulated devices on pseudo-terminals.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
bin=$PWD/build/release

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

echo
echo "== Picture tool: the ports as its Port menu shows them"
start_sim scanner 4 --name "Veltrix 2D Scanner (COM4)"
pictavo=$bin/picture/pictavo
"$pictavo" ports

echo
echo "== Picture tool: a scanner command and its reply"
"$pictavo" send "Get SW Version" --port 4

echo
echo "== Picture tool: a picture in snapshot mode, triggered on the scanner"
"$pictavo" capture --port 4 --snapshot --output "$work/picture.jpg" &
capture=$!
# Pull the trigger once the scanner waits for it (its answer says whether it did).
for _ in $(seq 100); do
  grep -q '^triggered' "$work/sim-4.out" && break
  echo trigger >&"$sim_in_4"
  sleep 0.1
done
wait "$capture"
echo "picture.jpg: $(stat -c %s "$work/picture.jpg") bytes, $(head -c 3 "$work/picture.jpg" | od -An -tx1 | tr -d ' ') at its start (a JPEG starts ffd8ff)"

echo
echo "== Picture tool: an uncompressed picture, stored as a grey BMP"
"$pictavo" capture --port 4 --no-snapshot --bmp --window 0,0,159,119 --output "$work/picture"
echo "picture.bmp: $(stat -c %s "$work/picture.bmp") bytes ($((14 + 1064)) of headers and 160 x 120 grey pixels)"
# wait_answer COM TEXT: waits until the simulator on COM has printed TEXT.
wait_answer() {
  for _ in $(seq 100); do grep -q "$2" "$work/sim-$1.out" && return 0; sleep 0.05; done
  echo "demo: no answer \"$2\" from the simulator on COM$1" >&2
  return 1
}

echo
echo "== kolvane: a generated 20000-byte image into a simulated Z7 on COM1 (paced at the real baud rates)"
start_sim z7 1 --pace
head -c 20000 /dev/urandom > "$work/app.bin"
"$bin/download/kolvane" download "$work/app.bin"
echo "status" >&"$sim_in_1"
echo "save $work/received.bin" >&"$sim_in_1"
wait_answer 1 "^ok"
grep "^download:" "$work/sim-1.out"
cmp -n 20000 "$work/app.bin" "$work/received.bin" && echo "The device holds the image (blocks from 8 on)."

echo
echo "== kolvane: the same kind of image through the bootstrap monitor of a simulated Z7 on COM2"
start_sim z7 2 --mode bootstrap
head -c 3000 /dev/urandom > "$work/monitor.bin"
"$bin/download/kolvane" download "$work/monitor.bin" --port 2 --kind bootstrap
echo "status" >&"$sim_in_2"
echo "save $work/flash.bin" >&"$sim_in_2"
wait_answer 2 "^ok"
grep "^bootstrap:" "$work/sim-2.out"
cmp -n 3000 "$work/monitor.bin" "$work/flash.bin" && echo "The flash holds the image at 0x10010000."

echo
echo "== fenwald: an Intel HEX file installed into a simulated scanner on COM5 (it answers at 115200)"
start_sim scanner 5 --rate 115200 --pace --name "Veltrix Scanner (COM5)" --reply "Z1=Veltrix\\sV2.07\\r"
head -c 6000 /dev/urandom > "$work/firmware.bin"
objcopy -I binary -O ihex "$work/firmware.bin" "$work/firmware.hex"
fenwald=$bin/installer/fenwald
# fenwald reads fenwald.ini from the working folder: the demo's own, empty one.
(cd "$work" && "$fenwald" download "$work/firmware.hex" --port 5)
echo "firmware" >&"$sim_in_5"
echo "save-firmware $work/installed.hex" >&"$sim_in_5"
wait_answer 5 "^firmware firmware.hex"
wait_answer 5 "^ok"
grep "^firmware " "$work/sim-5.out"
cmp "$work/firmware.hex" "$work/installed.hex" && echo "The scanner holds the HEX file as it was sent."

echo
echo "== fenwald: the scanner's software versions and its clock set"
(cd "$work" && "$fenwald" versions --port 5 && "$fenwald" send-time --port 5)

echo
echo "== fenwald: the scanner configured from a .vsc file, found again afterwards"
printf 'Config=BEEP=ON' > "$work/scanner.vsc"
(cd "$work" && "$fenwald" configure "$work/scanner.vsc" --port 5)
echo "configuration" >&"$sim_in_5"
wait_answer 5 "^configuration "
grep "^configuration " "$work/sim-5.out"
