#!/bin/sh
# The demo: describe Veldrana with our own host, render a test signal through
# it with a band of spectral bins drawn down, draw the spectrum before and
# after, and take a picture of the editor while the signal plays through it.
# Usage: sh tools/demo.sh BUILD_DIR (relative to the repository).
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

# Runs a command on the user's display, or without one on a private X server
# that goes away with the command.
on_display() {
  if [ -n "${DISPLAY:-}" ]; then
    "$@"
  elif command -v xvfb-run > /dev/null 2>&1; then
    xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$@"
  else
    echo "demo: no DISPLAY and no xvfb-run to make one (apt-get install xvfb xauth)" >&2
    return 1
  fi
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

# Five seconds in, the signal is in its pink noise, whose spectrum spans the
# whole display, so the drawn-down band shows as a gap in the processed
# spectrum above and as missing level bars below. The run is timed rather
# than counted in frames, so a slow display does not move the picture into
# another part of the signal.
section "editor: the same settings while the test signal plays, screenshot after 5 s"
on_display "$HOST" editor "$PLUGIN" --play "$OUT/demo-in.wav" \
  --set "FFT Size=$FFT_SIZE" \
  --set "Bin $FIRST_BIN Level..Bin $LAST_BIN Level=0" \
  --seconds 5 --screenshot "$OUT/editor.png"

section "done"
echo "$OUT/demo-in.wav        the test signal: chord, log sweep, pink noise (6 s, stereo, $RATE Hz)"
echo "$OUT/demo-out.wav       the same through Veldrana, lined up with the input"
echo "$OUT/demo-spectrum.png  average spectrum of both; the shaded band is the one drawn down"
echo "$OUT/editor.png         the editor with the test signal playing: live spectra above, the"
echo "                        drawn-down band among the bin levels below"
