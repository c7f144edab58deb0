#!/bin/sh
# `make install` and `make uninstall` into a scratch DESTDIR: the installed
# plug-in is stripped, loads, and is all there is; uninstall takes exactly
# that away. Arguments: source folder, build folder (RelWithDebInfo, as make
# install configures it), its build type, veldrana-host.
set -eu
src="$1"
build="$2"
type="$3"
host="$4"
if [ "$type" != "RelWithDebInfo" ]; then
  echo "install test skipped: $build is a $type build, make install configures RelWithDebInfo"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
stage="$dir/stage"
vst="$dir/vst"  # inside the scratch folder too, should make ignore DESTDIR
so="$stage$vst/Veldrana.so"
fail() {
  echo "install test: $*" >&2
  exit 1
}

make -s -C "$src" install BUILD="$build" DESTDIR="$stage" VST_PATH="$vst" >"$dir/log" 2>&1 ||
  { cat "$dir/log" >&2; fail "make install failed"; }
grep -q "Installed $so" "$dir/log" || fail "make install did not say where: $(cat "$dir/log")"
[ "$(find "$stage" -type f)" = "$so" ] || fail "not just $so installed: $(find "$stage" -type f)"
! readelf -S -W "$so" | grep -q -e '\.debug_' -e '\.symtab' || fail "the installed plug-in is not stripped"
readelf -S -W "$build/Veldrana.so" | grep -q '\.debug_info' || fail "the build's own copy lost its debug info"
"$host" info "$so" >"$dir/info" 2>&1 || { cat "$dir/info" >&2; fail "the installed plug-in does not load"; }
grep -q Veldrana "$dir/info" || fail "info does not name Veldrana: $(cat "$dir/info")"

make -s -C "$src" uninstall BUILD="$build" DESTDIR="$stage" VST_PATH="$vst" >"$dir/log" 2>&1 ||
  { cat "$dir/log" >&2; fail "make uninstall failed"; }
[ "$(find "$stage" -type f | wc -l)" -eq 0 ] || fail "make uninstall left files: $(find "$stage" -type f)"
