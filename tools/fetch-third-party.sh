#!/bin/sh
# Fetches the Debian 12 source packages of the libraries that are compiled
# into the plug-in itself (Lua 5.1 and oscpack) into third_party/. Debian
# ships them only as shared or non-PIC archives; the plug-in needs them as
# position-independent code with hidden symbols so that they cannot clash
# with a host's own copies. Sources are checked by apt against Debian's
# signed indices and unpacked with Debian's patches applied.
set -eu
cd "$(dirname "$0")/.."
dest=third_party
mkdir -p "$dest"

need=""
[ -f "$dest/lua5.1-5.1.5/src/lua.h" ] || need="$need lua5.1"
[ -f "$dest/oscpack-1.1.0/osc/OscTypes.h" ] || need="$need oscpack"
[ -z "$need" ] && exit 0

work="$(pwd)/$dest/.apt"
mkdir -p "$work/lists/partial"
# The source entries come from the machine's own apt configuration, so the
# mirror, proxy or snapshot it uses serves the sources too.
sh tools/apt-sources.sh | awk '{
  opts = ""
  if ($NF ~ /^signed-by=/) { opts = " [" $NF "]"; NF-- }
  print "deb-src" opts " " $0
}' > "$work/sources.list"
if [ ! -s "$work/sources.list" ]; then
  echo "fetch-third-party: no Debian 12 (bookworm) archive in /etc/apt/sources.list or" >&2
  echo "/etc/apt/sources.list.d/; add one to apt's configuration to fetch the sources" >&2
  exit 1
fi
opts="-o Dir::Etc::SourceList=$work/sources.list -o Dir::Etc::SourceParts=/dev/null -o Dir::State::Lists=$work/lists -o APT::Sandbox::User=root"
# shellcheck disable=SC2086
sh tools/stage.sh "Fetching third-party sources:$need" "${LOG_DIR:-out/log}/third-party.log" sh -c \
  "apt-get $opts update && cd '$dest' && apt-get $opts source $need"
