#!/bin/sh
# tools/apt-sources.sh reads both of apt's formats into one line per Debian 12
# archive and suite; fetch-third-party refuses clearly when there are none.
# The hosts are under .invalid: nothing is fetched.
set -eu
tools="$1/tools"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/etc/sources.list.d"

cat > "$dir/etc/sources.list" <<'LIST'
# a comment, then a disabled entry
# deb http://off.invalid/debian bookworm main
deb http://one.invalid/debian bookworm main contrib
deb [arch=amd64 signed-by=/keys/two.gpg] http://two.invalid/debian/ bookworm-updates main # note
deb-src http://one.invalid/debian bookworm main
deb cdrom:[Debian 12]/ bookworm main
deb http://old.invalid/debian bullseye main
deb http://one.invalid/debian bookworm main contrib
LIST
cat > "$dir/etc/sources.list.d/extra.list" <<'LIST'
deb http://three.invalid/security bookworm-security main
LIST
cat > "$dir/etc/sources.list.d/debian.sources" <<'LIST'
Types: deb
# a comment inside a stanza does not end it
URIs: http://four.invalid/d http://five.invalid/d
Suites: bookworm bookworm-updates
Components: main non-free-firmware
Signed-By: /keys/four.gpg

Enabled: no
Types: deb
URIs: http://disabled.invalid/d
Suites: bookworm
Components: main

Types: deb-src
URIs: http://sourceonly.invalid/d
Suites: bookworm
Components: main
LIST

cat > "$dir/expected" <<'LIST'
http://one.invalid/debian bookworm main contrib
http://two.invalid/debian/ bookworm-updates main signed-by=/keys/two.gpg
http://three.invalid/security bookworm-security main
http://four.invalid/d bookworm main non-free-firmware signed-by=/keys/four.gpg
http://four.invalid/d bookworm-updates main non-free-firmware signed-by=/keys/four.gpg
http://five.invalid/d bookworm main non-free-firmware signed-by=/keys/four.gpg
http://five.invalid/d bookworm-updates main non-free-firmware signed-by=/keys/four.gpg
LIST
APT_ETC="$dir/etc" sh "$tools/apt-sources.sh" > "$dir/actual"
diff -u "$dir/expected" "$dir/actual" || { echo "apt-sources.sh misread (- expected, + read)" >&2; exit 1; }

# With no Debian 12 archive, fetching says why instead of fetching nothing.
mkdir -p "$dir/project/tools" "$dir/empty"
cp "$tools/apt-sources.sh" "$tools/fetch-third-party.sh" "$tools/stage.sh" "$dir/project/tools/"
status=0
APT_ETC="$dir/empty" sh "$dir/project/tools/fetch-third-party.sh" > /dev/null 2> "$dir/err" || status=$?
[ "$status" != 0 ] && grep -q "no Debian 12 (bookworm) archive" "$dir/err" ||
  { echo "fetch-third-party.sh without an archive: status $status: $(cat "$dir/err")" >&2; exit 1; }
