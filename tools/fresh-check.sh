#!/bin/sh
# Proves the README's commands on a machine that has never seen the project:
# a minimal Debian 12 root (debootstrap --variant=minbase, from the mirror
# this machine's apt uses), a clean `git archive HEAD` of the project in it,
# nothing installed but make, then `make demo` (or `make test`) run inside
# it with chroot. After the demo its four results must exist and be sound.
#
# Usage: sh tools/fresh-check.sh demo|test
# The base root is made once and kept in $VELDRANA_FRESH_CACHE (default
# /var/cache/veldrana/fresh-check); every run works on a new copy of it.
# Only committed work is checked: uncommitted changes are not in HEAD.
set -eu
cd "$(dirname "$0")/.."
goal=${1:-demo}
case "$goal" in
  demo | test) ;;
  *)
    echo "usage: sh tools/fresh-check.sh demo|test" >&2
    exit 2
    ;;
esac

if [ "$(id -u)" != 0 ]; then
  exec sudo VELDRANA_FRESH_CACHE="${VELDRANA_FRESH_CACHE:-}" sh "$0" "$@"
fi

project=$(pwd)
cache=${VELDRANA_FRESH_CACHE:-/var/cache/veldrana/fresh-check}
base=$cache/base
root=$cache/run-$goal
case "$root" in
  *[[:space:]]*)
    echo "fresh-check: the cache folder must not contain spaces: $root" >&2
    exit 1
    ;;
esac
log_dir=$project/out/log
mkdir -p "$cache" "$log_dir"
started=$(date +%s)
stage() {
  sh "$project/tools/stage.sh" "$@"
}
elapsed() {
  echo "$(($(date +%s) - $1)) s"
}

if ! command -v debootstrap > /dev/null 2>&1; then
  stage "Installing debootstrap on this machine" "$log_dir/fresh-debootstrap-install.log" \
    sh -c "apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap"
fi

mirror=$(sh tools/apt-sources.sh | awk '$2 == "bookworm" { print $1; exit }')
if [ -z "$mirror" ]; then
  echo "fresh-check: apt on this machine has no Debian 12 (bookworm) archive to make a root from" >&2
  exit 1
fi

if [ ! -f "$base/.veldrana-base-complete" ]; then
  rm -rf "$base"
  t=$(date +%s)
  stage "Making a minimal Debian 12 root from $mirror (kept in $base)" "$log_dir/fresh-debootstrap.log" \
    debootstrap --variant=minbase bookworm "$base" "$mirror"
  touch "$base/.veldrana-base-complete"
  echo "    took $(elapsed "$t")"
fi

# Everything mounted into the copy, innermost last, so that it can be taken
# down in reverse before the copy is removed: removing a tree with the
# machine's /dev still bound into it would empty the machine's /dev.
mounted_under() {
  awk -v prefix="$1/" 'index($2 "/", prefix) == 1 { print $2 }' /proc/mounts
}
unmount_all() {
  for point in $(mounted_under "$root" | sort -r); do
    umount "$point" 2> /dev/null || umount -l "$point"
  done
}
remove_root() {
  unmount_all
  if [ -n "$(mounted_under "$root")" ]; then
    echo "fresh-check: $root still has mounts; not removing it" >&2
    return 1
  fi
  rm -rf "$root"
}
trap 'unmount_all' EXIT
trap 'exit 130' INT TERM

remove_root
cp -a "$base" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# debootstrap leaves /etc/hosts to the installer; every installed machine
# has one, and names such as localhost resolve through it.
if [ ! -f "$root/etc/hosts" ]; then
  printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' > "$root/etc/hosts"
fi
# A proxy this machine's apt goes through is needed inside as well.
apt-config dump | grep -i '^Acquire::[a-z]*::Proxy' > "$root/etc/apt/apt.conf.d/90proxy" || true
mkdir -p "$root/root/veldrana"
git archive HEAD | tar -x -C "$root/root/veldrana"

mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"

# A command prefix (not a function, so that stage.sh can run it too).
inside="chroot $root /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"

stage "Installing make, and nothing else, in the fresh root" "$log_dir/fresh-make.log" \
  $inside sh -c "apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends make"

t=$(date +%s)
echo "Running make $goal in the fresh root (its output follows)"
status=0
$inside sh -c "cd /root/veldrana && make $goal" || status=$?
echo "    make $goal took $(elapsed "$t")"
if [ "$status" != 0 ]; then
  cp -r "$root/root/veldrana/out/log" "$log_dir/fresh-$goal" 2> /dev/null || true
  echo "fresh-check: make $goal failed in the fresh root (exit status $status); its logs are in" \
    "$log_dir/fresh-$goal/ and the root is left in $root" >&2
  exit "$status"
fi

if [ "$goal" = demo ]; then
  results="out/editor.png out/demo-spectrum.png out/demo-in.wav out/demo-out.wav"
  stage "Checking the demo's results in the fresh root" "$log_dir/fresh-results.log" \
    $inside sh -c "cd /root/veldrana && build/veldrana-demo-check $results"
  sed 's/^/    /' "$log_dir/fresh-results.log"
  rm -rf "$project/out/fresh-demo"
  mkdir -p "$project/out/fresh-demo"
  for f in $results; do cp "$root/root/veldrana/$f" "$project/out/fresh-demo/"; done
fi

remove_root
echo "fresh-check $goal passed in $(elapsed "$started")"
