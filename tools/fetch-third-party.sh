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
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" > "$work/sources.list"
opts="-o Dir::Etc::SourceList=$work/sources.list -o Dir::Etc::SourceParts=/dev/null -o Dir::State::Lists=$work/lists -o APT::Sandbox::User=root"
echo "Fetching Debian sources:$need"
# shellcheck disable=SC2086
apt-get $opts -qq update
# shellcheck disable=SC2086
(cd "$dest" && apt-get $opts -qq source $need)
