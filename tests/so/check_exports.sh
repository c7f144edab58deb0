#!/bin/sh
# The .so must export exactly VSTPluginMain and main, and they must be the
# same function.
set -eu
so="$1"
syms=$(nm -D --defined-only "$so" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$syms" != "VSTPluginMain main " ]; then
  echo "unexpected exported symbols: $syms" >&2
  exit 1
fi
a=$(nm -D --defined-only "$so" | awk '$3=="VSTPluginMain"{print $1}')
b=$(nm -D --defined-only "$so" | awk '$3=="main"{print $1}')
if [ "$a" != "$b" ]; then
  echo "VSTPluginMain ($a) and main ($b) differ" >&2
  exit 1
fi
echo "exports ok: $syms"
