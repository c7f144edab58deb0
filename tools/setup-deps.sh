#!/bin/sh
# Installs the Debian 12 packages the build, the tests and the demo need,
# but only those that are missing, so a prepared machine is not touched,
# then fetches the third-party sources compiled into the plug-in. Quiet:
# one line per stage, the details in out/log/.
set -eu
cd "$(dirname "$0")/.."
LOG_DIR=${LOG_DIR:-out/log}

# Build and test tools and libraries, fonts the editor and its tests pick
# (Arial- and Tahoma-compatible, DejaVu), the X server the editor tests and
# the demo's screenshot start, Mesa's software GL, clang's fuzzer runtime, and
# two packages of third-party VST plug-ins our host tool is tested against,
# and liblo's oscdump, which the host tool's OSC docs are checked against.
PACKAGES="
build-essential cmake pkg-config clang libclang-rt-14-dev dpkg-dev
googletest libgtest-dev libgmock-dev libbenchmark-dev
libsndfile1-dev libsmf-dev libfftw3-dev
libpng-dev zlib1g-dev
libx11-dev libxtst-dev libgl-dev libglu1-mesa-dev libglew-dev
libfreetype-dev libftgl-dev libfontconfig-dev fonts-liberation fonts-dejavu-core
xvfb xauth xfonts-base libgl1-mesa-dri
liblo-tools
lsp-plugins-vst dpf-plugins-vst
"

missing=""
count=0
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
    count=$((count + 1))
  fi
done

if [ -n "$missing" ]; then
  SUDO=""
  if [ "$(id -u)" != "0" ]; then
    SUDO="sudo"
  fi
  # shellcheck disable=SC2086
  sh tools/stage.sh "Installing $count packages" "$LOG_DIR/packages.log" sh -c \
    "$SUDO apt-get update && $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing"
fi
sh tools/fetch-third-party.sh
