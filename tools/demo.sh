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
CHECK="$BUILD/veldrana-demo-check"
OUT=out

for tool in "$HOST" "$PLUGIN" "$SIGNAL" "$PLOT" "$CHECK"; do
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

LOG_DIR=${LOG_DIR:-$OUT/log}
stage() {
  sh tools/stage.sh "$@"
}

# Runs a command on the user's display, or without one on a private X server
# that goes away with the command.
ON_DISPLAY='
  if [ -n "${DISPLAY:-}" ]; then exec "$@"; fi
  if ! command -v xvfb-run > /dev/null 2>&1; then
    echo "demo: no DISPLAY and no xvfb-run to make one (apt-get install xvfb xauth)" >&2
    exit 1
  fi
  exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$@"'

stage "Describing the plug-in: $OUT/plugin-info.txt" "$OUT/plugin-info.txt" \
  sh -c '"$0" info "$1" && echo && "$0" params "$1" --limit 40' "$HOST" "$PLUGIN"

stage "Making the test signal: $OUT/demo-in.wav" "$LOG_DIR/signal.log" \
  "$SIGNAL" "$OUT/demo-in.wav" --seconds 6 --rate "$RATE"

stage "Rendering it at FFT Size $FFT_FRAMES with bins $FIRST_BIN-$LAST_BIN ($LOW_HZ-$HIGH_HZ Hz) drawn down: $OUT/demo-out.wav" \
  "$LOG_DIR/render.log" \
  "$HOST" render "$PLUGIN" "$OUT/demo-in.wav" "$OUT/demo-out.wav" \
  --set "FFT Size=$FFT_SIZE" \
  --set "Bin $FIRST_BIN Level..Bin $LAST_BIN Level=0" \
  --compensate

stage "Plotting both spectra: $OUT/demo-spectrum.png" "$LOG_DIR/spectrum.log" \
  "$PLOT" "$OUT/demo-in.wav" "$OUT/demo-out.wav" "$OUT/demo-spectrum.png" \
  --band "$LOW_HZ" "$HIGH_HZ" \
  --title "Veldrana: bins $FIRST_BIN-$LAST_BIN drawn down at FFT size $FFT_FRAMES"

# Five seconds in, the signal is in its pink noise, whose spectrum spans the
# whole display, so the drawn-down band shows as a gap in the processed
# spectrum above and as missing level bars below. The run is timed rather
# than counted in frames, so a slow display does not move the picture into
# another part of the signal.
stage "Taking a screenshot of the editor playing it: $OUT/editor.png" "$LOG_DIR/screenshot.log" \
  sh -c "$ON_DISPLAY" on-display "$HOST" editor "$PLUGIN" --play "$OUT/demo-in.wav" \
  --set "FFT Size=$FFT_SIZE" \
  --set "Bin $FIRST_BIN Level..Bin $LAST_BIN Level=0" \
  --seconds 5 --screenshot "$OUT/editor.png"

stage "Checking that the pictures show something and the sounds are not silent" "$LOG_DIR/check.log" \
  "$CHECK" "$OUT/editor.png" "$OUT/demo-spectrum.png" "$OUT/demo-in.wav" "$OUT/demo-out.wav"

echo
echo "$OUT/demo-in.wav        the test signal: chord, log sweep, pink noise (6 s, stereo, $RATE Hz)"
echo "$OUT/demo-out.wav       the same through Veldrana, lined up with the input"
echo "$OUT/demo-spectrum.png  average spectrum of both; the shaded band is the one drawn down"
echo "$OUT/editor.png         the editor with the test signal playing: live spectra above, the"
echo "                        drawn-down band among the bin levels below"
echo "$OUT/plugin-info.txt    what our host tool reports about the plug-in and its parameters"
