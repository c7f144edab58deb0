#!/bin/sh
# Proves the test suite's strength: applies, one at a time, the small faults
# listed in tools/mutations.tsv to a private copy of the source tree,
# rebuilds, runs the suite and reports each fault as caught (a test failed or
# timed out), survived (every test passed), unbuildable (the fault does not
# compile, so it proves nothing) or stale (its line is no longer in the file).
# The real tree is never modified, so an interrupted run leaves nothing behind.
#
# Usage: tools/mutation-check.sh [--list FILE] [--dir DIR] [--only N[,N...]]
#                                [--ctest "ARGS"] [--jobs N] [--resume]
#   --list   the fault list (default tools/mutations.tsv)
#   --dir    work folder for the copy and its build (default build-mutation)
#   --only   run just these faults (numbers as printed, from 1)
#   --ctest  which tests make up the suite, as ctest arguments; several runs
#            are separated by ';' and a later one runs only when the earlier
#            passed (default: every plain test but the long torture soak,
#            the quick unit tests first, stopping at the first failure)
#   --resume keep DIR/report.tsv and run only the faults it does not hold yet,
#            so a long run can be split over several sittings
# The report goes to standard output and to DIR/report.tsv.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

list=tools/mutations.tsv
dir=build-mutation
only=""
# The unit tests (the allocation tests among them) take seconds and catch
# most faults; the .so and tool tests run only when they pass.
ctest_args="-L unit --stop-on-failure;-L dlopen|tools -LE unit -E HostTorture --stop-on-failure"
jobs=$(nproc)
resume=0
while [ $# -gt 0 ]; do
  case "$1" in
    --list) list=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --ctest) ctest_args=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --resume) resume=1; shift ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "mutation-check: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -f "$list" ] || { echo "mutation-check: no fault list $list" >&2; exit 2; }
case "$list" in /*) ;; *) list="$root/$list" ;; esac
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac

src="$dir/src"
# Inside the copy, where a checkout has its own: the compiler sees the same
# relative paths as in any worktree, so a shared compiler cache serves every
# file the fault does not touch.
build="$src/build"
logs="$dir/logs"
mkdir -p "$src" "$logs"

# The copy holds the tree as it is now, uncommitted changes included, so a
# fault list can be checked against work in progress.
echo "mutation-check: copying the tree to $src"
# Files the tree no longer has go from the copy too; its build folder stays,
# so that only what changed is rebuilt.
find "$src" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
git ls-files -z --cached --others --exclude-standard | (cd "$root" && xargs -0 tar cf -) | (cd "$src" && tar xf -)
[ -e "$src/third_party" ] || ln -s "$root/third_party" "$src/third_party"

run_suite() {
  cmake --build "$build" -j "$jobs" > "$1.build" 2>&1 || return 2
  : > "$1.test"
  rest=$ctest_args
  while [ -n "$rest" ]; do
    stage=${rest%%;*}
    case "$rest" in *';'*) rest=${rest#*;} ;; *) rest="" ;; esac
    # shellcheck disable=SC2086
    (cd "$build" && ctest -j "$jobs" --timeout 300 $stage) >> "$1.test" 2>&1 || return 1
  done
  return 0
}

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDRANA_BENCH=OFF > "$logs/configure" 2>&1
report="$dir/report.tsv"
if [ "$resume" -eq 1 ] && [ -f "$report" ] && [ -f "$logs/baseline.passed" ]; then
  echo "mutation-check: resuming; the unchanged suite passed before"
else
  echo "mutation-check: building and running the unchanged suite"
  rm -f "$logs/baseline.passed"
  status=0
  run_suite "$logs/baseline" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "mutation-check: the unchanged suite does not pass (see $logs/baseline.*); nothing to measure" >&2
    exit 1
  fi
  : > "$logs/baseline.passed"
  printf 'n\tresult\tfile\twhy\n' > "$report"
fi
caught=0 survived=0 unbuildable=0 stale=0 n=0
# Fields are split one by one: `read` with a tab in IFS would run two tabs
# together and shift an empty replacement's reason into its place.
while IFS= read -r line; do
  file=$(printf '%s\n' "$line" | cut -f1)
  case "$file" in ''|'#'*|file) continue ;; esac
  match=$(printf '%s\n' "$line" | cut -f2)
  replacement=$(printf '%s\n' "$line" | cut -f3)
  why=$(printf '%s\n' "$line" | cut -f4)
  n=$((n + 1))
  if [ -n "$only" ] && ! echo ",$only," | grep -q ",$n,"; then
    continue
  fi
  if [ "$resume" -eq 1 ] && cut -f1 "$report" | grep -qx "$n"; then
    continue
  fi
  target="$src/$file"
  result=""
  if [ ! -f "$target" ] || ! grep -qF -- "$match" "$target"; then
    result=stale
  else
    cp "$target" "$target.orig"
    # Replace the first occurrence only, as plain text (no regular
    # expressions, so the list can quote code as it stands).
    MATCH=$match REPLACEMENT=$replacement perl -0pi -e \
      's/\Q$ENV{MATCH}\E/$ENV{REPLACEMENT}/' "$target"
    status=0
    run_suite "$logs/$n" || status=$?
    case $status in
      0) result=survived ;;
      1) result=caught ;;
      *) result=unbuildable ;;
    esac
    mv "$target.orig" "$target"
    # The restored file must not look older than its objects.
    touch "$target"
  fi
  case $result in
    caught) caught=$((caught + 1)) ;;
    survived) survived=$((survived + 1)) ;;
    unbuildable) unbuildable=$((unbuildable + 1)) ;;
    stale) stale=$((stale + 1)) ;;
  esac
  failed=""
  if [ "$result" = caught ]; then
    failed=$(grep -m1 -E '(Failed|Timeout|Exception)' "$logs/$n.test" | sed 's/^ *//' || true)
  fi
  printf '%3d %-11s %s: %s%s\n' "$n" "$result" "$file" "$why" "${failed:+ [$failed]}"
  printf '%s\t%s\t%s\t%s\n' "$n" "$result" "$file" "$why" >> "$report"
done < "$list"

# Leave the copy's build matching the unchanged tree.
cmake --build "$build" -j "$jobs" > "$logs/restore.build" 2>&1 || true
echo "mutation-check: this sitting: $caught caught, $survived survived, $unbuildable unbuildable, $stale stale"
# The whole report, earlier sittings included.
for result in caught survived unbuildable stale; do
  printf '%s %s, ' "$(cut -f2 "$report" | grep -cx "$result" || true)" "$result"
done
echo "of $n faults listed (report: $report)"
