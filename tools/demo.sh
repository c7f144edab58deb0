#!/bin/sh
# The demo: describe Veldrana with our own host, render a test signal through
# it with a band of spectral bins drawn down, and draw the spectrum before
# and after. Usage: sh tools/demo.sh BUILD_DIR (relative to the repository).
set -eu
cd "$(dirname "$0")/.."

BUILD=${1:-build}
HOST="$BUILD/veldrana-host"
PLUGIN="$BUILD/Veldrana.so"
SIGNAL="$BUILD/veldrana-demo-signal"
PLOT="$BUILD/veldrana-spectrum-plot"
OUT=out

for tool in "$HOST" "$PLUGIN" "$SIGNAL" "$PLOT"; do
  if [ ! -e "$tool" ]; then
    echo "demo: $tool is missing; build first (make build)" >&2
    exit 1
  fi
done
mkdir -p "$OUT"

# "FFT Size" is an index 0..7 (32 ... 4096 samples) on the normalized 0..1
# scale: 6/7 selects 2048-sample frames.
FFT_SIZE=0.857142
FFT_FRAMES=2048
FIRST_BIN=20
LAST_BIN=120
RATE=48000
# Bin k of an N-point FFT sits at k * rate / N Hz.
LOW_HZ=$(awk "BEGIN { printf \"%.0f\", $FIRST_BIN * $RATE / $FFT_FRAMES }")
HIGH_HZ=$(awk "BEGIN { printf \"%.0f\", $LAST_BIN * $RATE / $FFT_FRAMES }")

section() {
  echo
  echo "== $*"
}

section "veldrana-host info $PLUGIN"
"$HOST" info "$PLUGIN"

section "veldrana-host params $PLUGIN --limit 40"
"$HOST" params "$PLUGIN" --limit 40

section "test signal"
"$SIGNAL" "$OUT/demo-in.wav" --seconds 6 --rate "$RATE"

section "render: FFT Size $FFT_FRAMES, Bin $FIRST_BIN..$LAST_BIN Level = 0 ($LOW_HZ-$HIGH_HZ Hz), latency compensated"
"$HOST" render "$PLUGIN" "$OUT/demo-in.wav" "$OUT/demo-out.wav" \
  --set "FFT Size=$FFT_SIZE" \
  --set "Bin $FIRST_BIN Level..Bin $LAST_BIN Level=0" \
  --compensate

section "spectrum before and after"
"$PLOT" "$OUT/demo-in.wav" "$OUT/demo-out.wav" "$OUT/demo-spectrum.png" \
  --band "$LOW_HZ" "$HIGH_HZ" \
  --title "Veldrana: bins $FIRST_BIN-$LAST_BIN drawn down at FFT size $FFT_FRAMES"

section "done"
echo "$OUT/demo-in.wav        the test signal: chord, log sweep, pink noise (6 s, stereo, $RATE Hz)"
echo "$OUT/demo-out.wav       the same through Veldrana, lined up with the input"
echo "$OUT/demo-spectrum.png  average spectrum of both; the shaded band is the one drawn down"
