#!/bin/sh
# Runs one stage of the set-up, the build or the demo quietly: prints one line
# saying what it does, keeps the command's own output in a log, and when the
# command fails says which stage failed, shows the end of the log and where
# the whole of it is.
# Usage: sh tools/stage.sh "What it does" LOG COMMAND [ARG...]
set -eu
what=$1
log=$2
shift 2
mkdir -p "$(dirname "$log")"
echo "$what"
status=0
"$@" > "$log" 2>&1 || status=$?
if [ "$status" != 0 ]; then
  {
    echo "Failed: $what (exit status $status). The end of its log:"
    tail -n 30 "$log" | sed 's/^/    /'
    echo "The whole log: $log"
  } >&2
  exit "$status"
fi
