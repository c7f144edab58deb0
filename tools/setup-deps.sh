#!/bin/sh
# Installs the Debian 12 packages the build, the tests and the demo need,
# but only those that are missing, so a prepared machine is not touched.
set -eu

PACKAGES="
build-essential cmake pkg-config clang libclang-rt-14-dev dpkg-dev
googletest libgtest-dev libgmock-dev libbenchmark-dev
libsndfile1-dev libsmf-dev libfftw3-dev
libpng-dev zlib1g-dev
libx11-dev libxtst-dev libgl-dev libglu1-mesa-dev libglew-dev
libfreetype-dev libftgl-dev libfontconfig-dev fonts-liberation fonts-dejavu-core
xvfb xauth xfonts-base libgl1-mesa-dri
lsp-plugins-vst dpf-plugins-vst
"

install_missing() {
  echo "Installing missing packages:$missing"
  SUDO=""
  if [ "$(id -u)" != "0" ]; then
    SUDO="sudo"
  fi
  $SUDO apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
}

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  install_missing
fi
sh "$(dirname "$0")/fetch-third-party.sh"
