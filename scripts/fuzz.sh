#!/bin/sh
# Builds the libFuzzer targets (clang, build-fuzz/) and runs each for N
# seconds (default 30), one after another, printing executions and coverage.
#   scripts/fuzz.sh [seconds] [target...]
# New inputs go to build-fuzz/corpus/<target> (the checked-in seeds under
# fuzz/corpus/<target> are read, never written); a failing input is saved as
# build-fuzz/crash-<target>-*. With FUZZ_KEEP_GOING=1 a target runs in
# libFuzzer's fork mode and goes on after timeouts and crashes (each saved).
# FUZZ_SEED=N and FUZZ_RUNS=N (or "N target=M ...") make a run repeatable: the same seed, at most N
# inputs per target (the seconds still bound it), so a slower machine runs a
# part of the same sequence and finds nothing a faster one would not.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-30}
[ $# -gt 0 ] && shift
build="$here/build-fuzz"
targets=${*:-"ini_settings date_format folder_settings wiki render_chain note_highlight download_name csv entities multibar"}
jobs=${FUZZ_BUILD_JOBS:-2}
keep=""
[ "${FUZZ_KEEP_GOING:-0}" = 1 ] && keep="-fork=1 -ignore_timeouts=1 -ignore_crashes=1"
[ -n "${FUZZ_SEED:-}" ] && keep="$keep -seed=$FUZZ_SEED"
# FUZZ_RUNS="20000 csv=800": a number for every target, target=N for one.
runs_for() {
  n=""
  for w in ${FUZZ_RUNS:-}; do
    case "$w" in
      "$1"=*) n=${w#*=}; break ;;
      *=*) ;;
      *) n=$w ;;
    esac
  done
  [ -n "$n" ] && echo "-runs=$n"
  return 0
}

launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" $launcher -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELLUMARK_BUILD_GUI=OFF -DVELLUMARK_BUILD_TESTS=OFF -DVELLUMARK_BUILD_BENCH=OFF -DVELLUMARK_FUZZ=ON >/dev/null
fi
for t in $targets; do
  cmake --build "$build" -j"$jobs" --target "fuzz_$t" >/dev/null
done

# The INI and folder-settings targets write files: in memory they run far faster.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

status=0
printf '%-16s %12s %8s %8s %s\n' target executions cov features result
for t in $targets; do
  mkdir -p "$build/corpus/$t"
  log="$build/fuzz-$t.log"
  if "$build/fuzz/fuzz_$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 $keep $(runs_for "$t") \
       -artifact_prefix="$build/crash-$t-" "$build/corpus/$t" "$here/fuzz/corpus/$t" >"$log" 2>&1; then
    result=ok
  else
    result="FAILED (see $log)"
    status=1
    { echo "-- $t: the end of its log"; tail -n 30 "$log"; } >&2
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  printf '%-16s %12s %8s %8s %s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$result"
done
exit $status
